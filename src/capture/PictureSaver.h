#pragma once

#include <functional>

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include "Picture.h"

class CameraEngine;

// What a click on "Save Image" did, for the main window to show.
struct SaveImageResult
{
    // True only when the file was really written.
    bool saved = false;
    // The file written; on a failed save the file that could not be written;
    // empty when the save was refused before a name was made.
    QString path;
    // What imgMain shows now: the selected panel's picture. Null unless saved.
    Picture picture;
    // For the first panel of StatusBar1, always set: "<time> saved as <path>",
    // a refusal ("Save Image: no camera is selected") or a failure naming the
    // file and the reason.
    QString statusText;
};

// Saving snapshots as JPEG files in cam/ beside the program: the autosave of
// every new picture and the manual "Save Image".
//
// Both save the picture the panel shows, re-encoded at quality 90, under the
// snapshot name rule (camera name, date and time) made safe for the file
// system, and neither ever overwrites an earlier file: a name taken within the
// same second becomes "...AM-2.jpg", "...AM-3.jpg" and so on. A save is
// reported as done only after the file is really written; a failure is told
// in the status bar with the file and the reason, never in a message box.
//
// The saver does not create cam/: the main window does at start-up, and a cam/
// that disappears later makes saves fail visibly rather than quietly.
class PictureSaver : public QObject
{
    Q_OBJECT
public:
    static constexpr int Quality = 90;
    // How often a save takes the next free name when another writer took the
    // one it picked between the look and the write.
    static constexpr int MaxNameRetries = 16;

    using Clock = std::function<QDateTime()>;

    // Connects to engine->pictureArrived with a direct connection, so the save
    // runs inside picture arrival, after the panel shows the new picture.
    // The engine is not owned and may go away first.
    explicit PictureSaver(CameraEngine *engine, QObject *parent = nullptr);

    // Whether new pictures are saved ("AutoSave New Pictures"). Off until the
    // owner sets it: the main window from chkSave, the recorder from the
    // stored "autoSave".
    // Switching it on also asks the engine to decode new pictures once in full
    // on arrival, which the save then uses.
    bool autoSave() const { return m_autoSave; }
    void setAutoSave(bool on);

    // The local date and time names and messages are made from; the system
    // clock unless a test injects another. An empty clock restores the system's.
    void setClock(Clock clock);
    QDateTime now() const;

    // AppInfo::programFile("cam").
    static QString camDirectory();

    // "Save Image" for the engine's selected camera, at the given moment.
    // Refuses when selectedCam is -1 or its panel shows no picture (blank or
    // the not-found picture). Touches neither the panel nor its change
    // detection, and emits none of the signals below: the caller shows the
    // returned picture in imgMain and the text in the status bar.
    static SaveImageResult saveSelectedPicture(const CameraEngine &engine, const QDateTime &when);
    // The same, with the engine given at construction and this saver's clock.
    SaveImageResult saveSelectedPicture();

public slots:
    // The save step of picture arrival for panel index. Saves only when
    // autoSave is on, the picture is new and the new body was decoded (a body
    // that could not be decoded leaves the old picture on the panel, which must
    // not be saved under the new time). The name comes from the panel's Frame
    // caption. After the write the panel shows the picture as saved, and for
    // the selected camera statusText says "<time> new picture saved as
    // <path>". A failure, for any camera, puts "<time> could not save new
    // picture as <path>: <reason>" in statusText instead. Never throws.
    void savePictureIfNew(int index, bool isNew, bool decoded);

signals:
    // A new picture of panel index was written to path (autosave only).
    void pictureSaved(int index, const QString &path);
    // The autosave of panel index failed; path is the file it tried (empty
    // when no name could be made), reason says why in words.
    void saveFailed(int index, const QString &path, const QString &reason);
    // Text for the first panel of StatusBar1 (autosave only).
    void statusText(const QString &text);

private:
    void reportUnexpected(int index, const QString &path, const QString &reason);

    QPointer<CameraEngine> m_engine;
    bool m_autoSave = false;
    Clock m_clock;
};
