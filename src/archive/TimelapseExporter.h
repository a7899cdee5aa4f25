#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include <QList>
#include <QObject>
#include <QString>

#include "Result.h"

// One picture to go into a timelapse: when it was taken and where it is.
struct TimelapsePicture
{
    qint64 timeMs = 0;
    QString path;
};

struct TimelapseOptions
{
    QString output;
    int fps = 30;
    // Real seconds per video second. Used when lengthSeconds is 0.
    double speed = 60;
    // The video's length; when set, the speed follows from it.
    double lengthSeconds = 0;
    // A gap longer than this many frames is cut to one.
    int maxGapFrames = 3;
    // The x264 preset: the speed of the encoder against the size of the file.
    QString preset = QStringLiteral("veryfast");
};

// What an export did.
struct TimelapseSummary
{
    int frames = 0;
    int pictures = 0;   // distinct pictures shown
    int unreadable = 0; // pictures that would not decode: the one before stays
    int gapsCut = 0;
    qint64 cutMs = 0;
    int width = 0;
    int height = 0;
    bool cancelled = false;
    qint64 elapsedMs = 0;
    std::optional<Failure> failure;

    bool ok() const { return !cancelled && !failure; }
};

Q_DECLARE_METATYPE(TimelapseSummary)

// Makes an H.264 video in an MP4 file from saved pictures, through libavcodec
// (libx264) and libavformat: yuv420p, even dimensions (the first picture's,
// cut by a pixel where odd), the index at the front of the file so a player
// can start before it has it all. The file is written under a temporary name
// beside the output and renamed only when whole: a cancel or a failure leaves
// nothing under the output name.
class TimelapseExporter : public QObject
{
    Q_OBJECT
public:
    using Progress = std::function<void(int done, int total)>;

    explicit TimelapseExporter(QObject *parent = nullptr);
    ~TimelapseExporter() override;

    // The whole export on the calling thread. progress is called now and then
    // with frames done and frames in all; cancel is looked at between frames.
    static TimelapseSummary exportNow(const QList<TimelapsePicture> &pictures,
                                      const TimelapseOptions &options, const Progress &progress,
                                      const std::atomic<bool> &cancel);

    // The same on a worker thread of its own: progress and finished follow
    // as signals. False when an export is running already.
    bool start(const QList<TimelapsePicture> &pictures, const TimelapseOptions &options);
    void cancel() { m_cancel = true; }
    bool isRunning() const { return m_running.load(); }
    // Blocks until a started export has ended.
    void wait();

signals:
    void progress(int done, int total);
    void finished(const TimelapseSummary &summary);

private:
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    std::thread m_worker;
};
