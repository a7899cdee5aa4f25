#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "CameraChangeWatch.h"
#include "CameraHealth.h"
#include "PictureRetention.h"
#include "Result.h"
#include "Settings.h"

class Camera;
class CameraEngine;
class Picture;
class PictureIndex;
class PictureSaver;
class RetentionKeeper;
struct SaveReport;

// Headless recording: every camera of the camera list (up to 24, in file
// order) opened in one capture engine, each in the lowest free panel as the
// main window opens them, with no window at all. What happens is told as one
// line per event: a saved picture, a failed fetch, a picture that could not be
// decoded, a save that failed. New pictures are saved by the same PictureSaver
// the main window uses, switched by the stored "autoSave". The app prints those lines; nothing here
// touches standard output, so tests read the same lines from the signal.
class Recorder : public QObject
{
    Q_OBJECT
public:
    struct Counts
    {
        qint64 pictures = 0;    // pictures that arrived whole (checked or decoded)
        qint64 newPictures = 0; // of those, the ones with a new Last-Modified line
        qint64 saved = 0;
        qint64 failed = 0;    // failed fetches, undecodable bodies and failed saves
        qint64 abandoned = 0; // new pictures still waiting to be saved at the stop
        qint64 changes = 0;   // changes that started
    };

    // The engine is used, not owned; it must outlive the recorder.
    explicit Recorder(CameraEngine *engine, QObject *parent = nullptr);
    ~Recorder() override;

    // Reads "autoSave", makes the cam directory when missing and opens every
    // camera of the list. False when nothing can be recorded: no camera list,
    // an unreadable one, no camera in it, or no camera that could be opened
    // (startError() says which). Cameras that cannot be opened while others
    // can are reported through notice() and skipped.
    bool start();
    // Stops every camera, and gives the pictures still waiting to be saved
    // up to graceMs before they are abandoned (and counted); the recorder can
    // be started again.
    void stop(int graceMs = 2000);

    bool isRunning() const { return m_running; }
    // The stored "AutoSave New Pictures" and what it saves, as read by start().
    bool autoSave() const { return m_autoSave != Settings::AutoSaveMode::Off; }
    Settings::AutoSaveMode autoSaveMode() const { return m_autoSave; }
    // The stored change detection switch, as read by start().
    bool detect() const { return m_detect; }
    // The stored "Keep the camera's own pictures", as read by start().
    bool keepOriginal() const;
    QString startError() const { return m_startError; }
    // Names of the cameras opened, in panel order.
    QStringList openedCameras() const;
    Counts counts() const { return m_counts; }

    // "recorded 240 pictures (48 new, 48 saved, 0 failed) from 24 cameras in 10.0 s";
    // pictures the save queue dropped or abandoned are added when there are any:
    // "(48 new, 40 saved, 0 failed, 8 not saved)".
    QString summaryLine() const;
    // "failures by camera: Door 12, Yard 0": every opened camera, in panel order.
    QString failureSummaryLine() const;
    // Failed fetches of the named camera since the start (saves not counted).
    qint64 fetchFailures(const QString &camera) const;

    // Keeps cam/ within the stored limits; owned.
    RetentionKeeper &keeper() const { return *m_keeper; }
    // The index of the saved pictures, open from start(); null when it cannot be.
    PictureIndex *pictureIndex() const { return m_index; }
    // The moment at the start of every reported line: "2026-12-08 14:20:01".
    static QString timestamp(const QDateTime &moment);

public slots:
    // What the saver reports.
    void onPictureSaved(const SaveReport &report);
    void onSaveFailed(const SaveReport &report);

signals:
    // One event line, without its line end: "<timestamp> saved <camera> -> <path>",
    // "<timestamp> failed <camera>: <reason>", "<timestamp> still failing
    // <camera>: ...", "<timestamp> recovered <camera> ...", "<timestamp>
    // paused autosave: ...", "<timestamp> resumed autosave: ...",
    // "<timestamp> removed ...", "<timestamp> change started <camera> (3.2 % of
    // the picture)", "<timestamp> change ended <camera> after 1 min 12 s".
    void reported(const QString &line);
    // Start-up and camera list notices meant for the operator, not for scripts.
    void notice(const QString &text);

private:
    void onPictureArrived(Camera *camera, const Picture &picture, bool isNew);
    void onFetchFailed(Camera *camera);
    void onHealthChanged(Camera *camera, CameraHealth::Change change);
    void onPauseChanged(bool paused, const QString &text);
    void onEnforced(const PictureRetention::Report &report);
    bool isOurs(const Camera *camera) const;
    void report(const QString &verbAndText);
    void onChangeJudged(Camera *camera, const CameraChangeWatch::Outcome &outcome);
    // A stored setting, or the fallback (with a notice) when the store cannot be read.
    template <typename T>
    T readSetting(const QString &key, T (*read)(), T fallback);
    bool openCameras(const QStringList &names);
    void openPictureIndex(const QString &camDir, const QStringList &names);

    CameraEngine *m_engine = nullptr;
    PictureSaver *m_saver = nullptr;     // owned; the same autosave the main window runs
    RetentionKeeper *m_keeper = nullptr; // owned
    PictureIndex *m_index = nullptr;     // owned; null when it cannot be opened
    bool m_running = false;
    Settings::AutoSaveMode m_autoSave = Settings::AutoSaveMode::Off;
    bool m_detect = false;
    // The cameras in a change, and since when: a change going on at the stop
    // still gets its end line.
    QHash<QString, QDateTime> m_changeSince;
    QString m_startError;
    Counts m_counts;
    QElapsedTimer m_clock;
    // The cameras opened here, in panel order, and their failed fetches by name.
    QStringList m_opened;
    QHash<QString, qint64> m_fetchFailures;
};
