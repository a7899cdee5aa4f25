#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "CameraEngine.h"
#include "Picture.h"
#include "Result.h"
#include "Settings.h"

// What one save did.
struct SaveReport
{
    QString camera; // the list name of the camera whose picture it was
    int panel = -1; // the panel that camera was shown in when the picture came
    // The picture as it arrived, which the save was made from.
    Picture source;
    // The file written; on a failed save the file that could not be written;
    // empty when no name could be made.
    QString path;
    // The picture as written (the file's own bytes); null unless saved.
    Picture picture;
    // Why the save failed: its kind, the system error number where there is
    // one, and the reason in words. Empty when saved.
    std::optional<Failure> failure;
    // For the status bar: "<time> new picture saved as <path>", or
    // "<time> could not save new picture as <path>: <reason>".
    QString statusText;

    bool saved() const { return !failure.has_value(); }
};

Q_DECLARE_METATYPE(SaveReport)

// What a manual save ("Save Image") did.
struct SaveImageResult
{
    // True only when the file was really written.
    bool saved = false;
    // The file written; on a failed save the file that could not be written;
    // empty when the save was refused before a name was made.
    QString path;
    // The picture that was saved. Null unless saved.
    Picture picture;
    // For the status bar, always set: "<time> saved as <path>" or a failure
    // naming the file and the reason.
    QString statusText;
};

// Saving snapshots as JPEG files in cam/ beside the program: the autosave of
// every new picture and the manual "Save Image".
//
// Both save a picture re-encoded at quality 90, under the snapshot name rule
// (camera name, date and time) made safe for the file system, and neither ever
// overwrites an earlier file: a name taken within the same second becomes
// "...AM-2.jpg", "...AM-3.jpg" and so on. A save is reported as done only
// after the file is really written; a failure is reported with the file, the
// reason and the system error number.
//
// Autosave never runs on the caller's thread: a new picture is queued with the
// moment it arrived (which names the file), and one writer thread decodes,
// encodes and writes the queue in arrival order, so a slow disk slows the
// saving, never the window or the fetches. Each camera may have
// MaxWaitingPerCamera pictures waiting; one more drops that camera's oldest
// waiting picture, which is counted and told, never reported as saved. Reports
// come back as signals on the saver's own thread.
//
// The saver listens to picture arrivals and reports what it saved; it never
// changes the engine. It does not create cam/: the main window and the
// recorder do at start-up, and a cam/ that disappears later makes saves fail
// visibly rather than quietly.
class PictureSaver : public QObject
{
    Q_OBJECT
public:
    static constexpr int Quality = 90;
    // How often a save takes the next free name when another writer took the
    // one it picked between the look and the write.
    static constexpr int MaxNameRetries = 16;
    // Pictures of one camera that may wait for the writer.
    static constexpr int MaxWaitingPerCamera = 8;

    using TimeSource = std::function<QDateTime()>;
    // Asked before every autosave; false holds the save back (the disk is
    // too full), and nothing is reported for it: not saved, not failed.
    using RoomCheck = std::function<bool()>;
    // Called on the writer thread before each file is written, with its
    // camera: what a test uses to hold the writer.
    using WriteHook = std::function<void(const QString &camera)>;

    explicit PictureSaver(QObject *parent = nullptr);
    // Finishes the picture being written and abandons the rest.
    ~PictureSaver() override;

    // Saves every new picture of engine's cameras, named after the camera.
    // The engine is only read, never changed, and may go away first.
    void follow(const CameraEngine *engine);

    // Whether new pictures are saved ("AutoSave New Pictures"). Off until the
    // owner sets it. On means every new picture.
    bool autoSave() const { return m_mode != Settings::AutoSaveMode::Off; }
    void setAutoSave(bool on)
    {
        m_mode = on ? Settings::AutoSaveMode::Every : Settings::AutoSaveMode::Off;
    }
    // What is saved: nothing, every new picture, or, with "save only changes",
    // the pictures the cameras' change detection keeps around each change
    // (the one before, the changed ones, a few after, the regular ones).
    Settings::AutoSaveMode autoSaveMode() const { return m_mode; }
    void setAutoSaveMode(Settings::AutoSaveMode mode) { m_mode = mode; }

    // "Keep the camera's own pictures": a new JPEG is saved byte for byte as
    // the camera sent it, under the same name and never-overwrite rule, instead
    // of re-encoded at Quality. Other formats are still re-encoded, so every
    // file in cam/ is a JPEG. Off until the owner sets it.
    bool keepOriginal() const { return m_keepOriginal; }
    void setKeepOriginal(bool on) { m_keepOriginal = on; }

    // Without a check every autosave goes ahead.
    void setRoomCheck(RoomCheck check) { m_roomCheck = std::move(check); }
    void setWriteHook(WriteHook hook);
    // Called on the writer thread for every file really written, before the
    // report goes out: for followers (the index of saved pictures) whose own
    // work belongs off the window's thread too.
    using WrittenHook = std::function<void(const SaveReport &report)>;
    void setWrittenHook(WrittenHook hook);

    // The local date and time names and messages are made from: the system's
    // unless a test injects another source. An empty source restores the system's.
    void setTimeSource(TimeSource source);
    QDateTime now() const;

    // AppInfo::programFile("cam").
    static QString camDirectory();

    // A manual save of picture under cameraName at the given moment, whether
    // or not the picture is new, on the calling thread. Emits nothing: the
    // caller shows the result.
    static SaveImageResult savePicture(const QString &cameraName, const Picture &picture,
                                       const QDateTime &when);

    // Pictures waiting for the writer or being written.
    int pending() const;
    // Pictures dropped since the start because their camera's queue was full.
    qint64 dropped() const;
    // Waits up to timeoutMs for the writer to finish everything queued, then
    // delivers the reports; true when nothing is left.
    bool waitForIdle(int timeoutMs);
    // Gives the writer up to graceMs to work off the queue, then abandons what
    // is still waiting and waits for the file being written, which is always
    // finished: no half file ever carries a final name. Returns how many
    // pictures were abandoned. The saver goes on taking pictures afterwards.
    int finishQueue(int graceMs);

public slots:
    // The autosave of one arrival: queued when autoSave is on, the picture is
    // new and the room check allows it. Returns whether it was queued; the
    // outcome comes as pictureSaved or saveFailed. Never throws.
    bool saveIfNew(const QString &cameraName, int panel, const Picture &picture, bool isNew);
    // The autosave of a change: in "save only changes" mode, queues the
    // pictures the camera's change watch keeps, each named after the moment
    // it came (the one before a change came a refresh earlier). Returns how
    // many were queued.
    int saveChanges(const QString &cameraName, int panel, const QList<ChangeCapture::Save> &saves);

signals:
    void pictureSaved(const SaveReport &report);
    void saveFailed(const SaveReport &report);
    // The camera's queue was full and its oldest waiting picture was dropped.
    // Sent for the first drop of a run of drops, with the total so far; the
    // next is sent after that camera's queue has emptied once.
    void picturesDropped(const QString &camera, qint64 droppedInAll);

private:
    struct Queue;
    void deliver(const SaveReport &report);
    bool enqueue(const QString &cameraName, int panel, const Picture &picture,
                 const QDateTime &when);

    Settings::AutoSaveMode m_mode = Settings::AutoSaveMode::Off;
    bool m_keepOriginal = false;
    TimeSource m_timeSource;
    RoomCheck m_roomCheck;
    std::shared_ptr<Queue> m_queue;
};
