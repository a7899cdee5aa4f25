#pragma once

#include <functional>

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include "PictureRetention.h"

class PictureSaver;
class QTimer;
struct SaveReport;

// Runs the picture limits for a saver: enforces them at start, once a minute
// and after an autosave that takes the pictures over the size limit, and
// holds autosave back while the disk's free space is below the floor. The
// window and the recorder each own one beside their saver.
class RetentionKeeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int EnforceEveryMs = 60 * 1000;
    // The free space is read at most this often while pictures are saved.
    static constexpr qint64 SpaceCheckEveryMs = 1000;

    using Clock = std::function<qint64()>; // monotonic milliseconds
    using TimeSource = std::function<QDateTime()>;

    // Keeps the pictures of directory that saver writes; the saver asks this
    // keeper before every autosave from now on.
    RetentionKeeper(PictureSaver *saver, const QString &directory, QObject *parent = nullptr);
    ~RetentionKeeper() override;

    // The stored limits (Settings); throws TessalyError as the settings do.
    static PictureRetention::Limits storedLimits();

    const QString &directory() const { return m_directory; }
    // The folder may move with the program directory between runs.
    void setDirectory(const QString &directory) { m_directory = directory; }

    const PictureRetention::Limits &limits() const { return m_limits; }
    // Takes effect for the next enforcement and free-space check.
    void setLimits(const PictureRetention::Limits &limits) { m_limits = limits; }

    // Enforces the limits, checks the free space and starts the minute timer.
    void start();
    void stop();

    // True while autosave is held back for want of space.
    bool isPaused() const { return m_paused; }
    // Whether an autosave may go ahead now; what the saver asks.
    bool roomToSave();
    // Reads the free space now; emits pauseChanged when it crossed the floor.
    void checkFreeSpace();

    // Tests replace the clocks: monotonic for the space checks, wall time for
    // the age of pictures. Empty ones restore the system's.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setTimeSource(TimeSource source) { m_timeSource = std::move(source); }

public slots:
    PictureRetention::Report enforceNow();

signals:
    // Autosave paused or went on. text gives the numbers: "812M free on the
    // disk of /srv/cam, below the 1G to keep free", "2.1G free on the disk of /srv/cam".
    void pauseChanged(bool paused, const QString &text);
    // An enforcement removed pictures or failed to.
    void enforced(const PictureRetention::Report &report);

private:
    void onSaved(const SaveReport &report);
    PictureRetention::Report enforce(const PictureRetention::Limits &limits);
    qint64 nowMs() const;

    QPointer<PictureSaver> m_saver; // may go first
    QString m_directory;
    PictureRetention::Limits m_limits;
    QTimer *m_timer = nullptr;
    Clock m_clock;
    TimeSource m_timeSource;
    bool m_paused = false;
    bool m_checked = false;
    qint64 m_lastCheckMs = 0;
    // What the kept pictures held after the last enforcement, plus what was
    // saved since: whether a save crossed the size limit, without a look at
    // the folder per save.
    qint64 m_keptBytes = 0;
};
