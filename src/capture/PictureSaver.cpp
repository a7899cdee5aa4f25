#include "PictureSaver.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <pthread.h>
#endif

#include <QCoreApplication>
#include <QPointer>
#include <QSet>

#include "AppInfo.h"
#include "Camera.h"
#include "DateTimeText.h"
#include "DibSection.h"
#include "JpegWriter.h"
#include "SnapshotFileName.h"
#include "TessalyError.h"

namespace {

// The writer's failure in words a user can act on: a file failure carries the
// system error number, which the system can name.
Failure withReason(Failure failure)
{
    if (failure.systemError != 0)
        failure.text +=
            QStringLiteral(" (") + qt_error_string(failure.systemError) + QLatin1Char(')');
    return failure;
}

struct WriteResult
{
    QString path;
    // Set when nothing was written.
    std::optional<Failure> failure;
    // The file's bytes, as the writer wrote them.
    QByteArray bytes;
    // The camera's own bytes were written, not a new encoding.
    bool original = false;
};

// Encodes picture at quality 90 under the safe snapshot name for camName at
// when, in cam/, never over an existing file. The picture is decoded at most
// once (not at all while someone else holds its full decode). With
// keepOriginal, a JPEG the camera sent is written as it came instead: it
// passed the structure check on arrival, and re-encoding it would only cost
// time and a generation of quality.
WriteResult writeSnapshot(const Picture &picture, const QString &camName, const QDateTime &when,
                          bool keepOriginal = false)
{
    WriteResult result;
    const QString directory = PictureSaver::camDirectory();
    const QString name = SnapshotFileName::make(camName, when);
    result.path = directory + QLatin1Char('/') + name;
    // make() never lets a separator through; the file goes into cam/ or nowhere.
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        result.failure =
            Failure::of(Failure::Kind::File, QStringLiteral("the camera name makes no file name"));
        return result;
    }

    const QByteArray original = keepOriginal && picture.format() == QByteArrayLiteral("jpeg")
                                    ? picture.bytes()
                                    : QByteArray();
    DibSection dib;
    if (original.isEmpty()) {
        const std::shared_ptr<const QImage> pixels = picture.full();
        if (pixels->isNull()) {
            result.failure = Failure::of(Failure::Kind::Decode,
                                         QStringLiteral("the picture could not be decoded"));
            return result;
        }
        dib.CreateFromPicture(*pixels);
    }
    if (original.isEmpty() && dib.isEmpty()) {
        result.failure =
            Failure::of(Failure::Kind::Encode, QStringLiteral("not enough memory for the picture"));
        return result;
    }

    for (int attempt = 0; attempt <= PictureSaver::MaxNameRetries; ++attempt) {
        const QString path = SnapshotFileName::freePath(directory, name);
        if (path.isEmpty()) {
            result.failure = Failure::of(
                Failure::Kind::NameTaken,
                QStringLiteral("every name up to -%1 is taken").arg(SnapshotFileName::MaxSuffix),
                EEXIST);
            return result;
        }
        result.path = path;
        // Keep: a file that appeared since freePath looked is someone else's
        // snapshot, never ours to replace.
        const Result<QByteArray> written =
            original.isEmpty() ? WriteJpegFile(dib, path, PictureSaver::Quality, JpegExisting::Keep)
                               : WriteJpegBytes(original, path, JpegExisting::Keep);
        if (written) {
            result.bytes = written.value();
            result.original = !original.isEmpty();
            return result;
        }
        if (written.failure().kind != Failure::Kind::NameTaken) {
            result.failure = withReason(written.failure());
            return result;
        }
    }
    result.failure = Failure::of(Failure::Kind::NameTaken,
                                 QStringLiteral("the name was taken again on every try"), EEXIST);
    return result;
}

// The saved file as the panel should show it: the bytes the writer put in the
// file (not read back: we have them already), with the thumbnail the panel
// already had of the same pixels. Null when there are no bytes (the panel then
// keeps the picture it shows).
Picture savedPicture(const QByteArray &bytes, const Picture &shown)
{
    if (bytes.isEmpty())
        return {};
    return Picture::fromEncoded(bytes, QByteArrayLiteral("jpeg"), shown.size(),
                                shown.cachedThumbnail());
}

QString failureText(const QString &when, const QString &what, const QString &path,
                    const QString &reason)
{
    return when + QStringLiteral(" could not save ") + what + QStringLiteral(" as ") + path +
           QStringLiteral(": ") + reason;
}

} // namespace

// The writer thread and what it has to do. Shared with the thread so a
// report on its way back never outlives its queue.
struct PictureSaver::Queue
{
    struct Job
    {
        SaveReport report; // camera, panel and source filled in
        QDateTime when;
        bool keepOriginal = false;
        // The full decode the viewer made, held so the writer need not decode again.
        std::shared_ptr<const QImage> heldFull;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    int writing = 0;
    bool stopping = false;
    qint64 dropped = 0;
    QSet<QString> dropping; // cameras in a run of drops, told once
    WriteHook hook;
    WrittenHook written;
    std::thread thread;
};

namespace {

SaveReport writeJob(const SaveReport &queued, const QDateTime &when, bool keepOriginal)
{
    SaveReport report = queued;
    const QString timeText = DateTimeText::timeText(when.time());
    WriteResult result;
    try {
        result = writeSnapshot(report.source, report.camera, when, keepOriginal);
    } catch (const std::exception &error) {
        // Out of memory for the pixels, say: a failed save, not a dead writer.
        result.failure =
            Failure::of(Failure::Kind::Unexpected, QString::fromLocal8Bit(error.what()));
    }
    report.path = result.path;
    if (result.failure) {
        report.failure = result.failure;
        report.statusText =
            failureText(timeText, QStringLiteral("new picture"), report.path, report.failure->text);
        return report;
    }
    // The camera's own bytes are the picture already on show.
    report.picture = result.original ? report.source : savedPicture(result.bytes, report.source);
    report.statusText = timeText + QStringLiteral(" new picture saved as ") + result.path;
    return report;
}

} // namespace

PictureSaver::PictureSaver(QObject *parent)
    : QObject(parent)
    , m_queue(std::make_shared<Queue>())
{
    const std::shared_ptr<Queue> queue = m_queue;
    const QPointer<PictureSaver> self(this);
    queue->thread = std::thread([queue, self] {
#ifdef __linux__
        // Named, so a look at the process (top -H, strace -p) finds the writer.
        pthread_setname_np(pthread_self(), "tessaly-saver");
#endif
        std::unique_lock lock(queue->mutex);
        for (;;) {
            queue->wake.wait(lock, [&] { return queue->stopping || !queue->jobs.empty(); });
            if (queue->jobs.empty())
                break;
            Queue::Job job = std::move(queue->jobs.front());
            queue->jobs.pop_front();
            ++queue->writing;
            const WriteHook hook = queue->hook;
            const WrittenHook written = queue->written;
            lock.unlock();
            if (hook)
                hook(job.report.camera);
            const SaveReport report = writeJob(job.report, job.when, job.keepOriginal);
            job.heldFull.reset();
            if (written && report.saved())
                written(report);
            // Told on the saver's thread; a saver that is gone hears nothing.
            QMetaObject::invokeMethod(
                self.data(),
                [self, report] {
                    if (self)
                        self->deliver(report);
                },
                Qt::QueuedConnection);
            lock.lock();
            --queue->writing;
            queue->idle.notify_all();
        }
    });
}

PictureSaver::~PictureSaver()
{
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->jobs.clear();
        m_queue->stopping = true;
    }
    m_queue->wake.notify_all();
    // The file being written is finished first: no half file under a final name.
    m_queue->thread.join();
}

void PictureSaver::setWriteHook(WriteHook hook)
{
    std::lock_guard lock(m_queue->mutex);
    m_queue->hook = std::move(hook);
}

void PictureSaver::setWrittenHook(WrittenHook hook)
{
    std::lock_guard lock(m_queue->mutex);
    m_queue->written = std::move(hook);
}

void PictureSaver::follow(const CameraEngine *engine)
{
    if (!engine)
        return;
    connect(engine, &CameraEngine::pictureArrived, this,
            [this](Camera *camera, const Picture &picture, bool isNew) {
                saveIfNew(camera->name(), camera->panel(), picture, isNew);
            });
    connect(engine, &CameraEngine::changeJudged, this,
            [this](Camera *camera, const CameraChangeWatch::Outcome &outcome) {
                saveChanges(camera->name(), camera->panel(), outcome.saves);
            });
}

void PictureSaver::setTimeSource(TimeSource source)
{
    m_timeSource = std::move(source);
}

QDateTime PictureSaver::now() const
{
    return m_timeSource ? m_timeSource() : QDateTime::currentDateTime();
}

QString PictureSaver::camDirectory()
{
    return AppInfo::programFile(QStringLiteral("cam"));
}

bool PictureSaver::saveIfNew(const QString &cameraName, int panel, const Picture &picture,
                             bool isNew)
{
    if (m_mode != Settings::AutoSaveMode::Every || !isNew || picture.isNull())
        return false;
    // The file is named after the moment the picture came, not when the
    // writer gets to it.
    return enqueue(cameraName, panel, picture, now());
}

int PictureSaver::saveChanges(const QString &cameraName, int panel,
                              const QList<ChangeCapture::Save> &saves)
{
    if (m_mode != Settings::AutoSaveMode::Change)
        return 0;
    int queued = 0;
    for (const ChangeCapture::Save &save : saves) {
        // The bytes were checked when they came; the writer decodes them.
        const Picture picture = Picture::fromBytesChecked(save.bytes);
        if (!picture.isNull() &&
            enqueue(cameraName, panel, picture, save.time.isValid() ? save.time : now()))
            ++queued;
    }
    return queued;
}

bool PictureSaver::enqueue(const QString &cameraName, int panel, const Picture &picture,
                           const QDateTime &when)
{
    if (m_roomCheck && !m_roomCheck())
        return false;
    Queue::Job job;
    job.report.camera = cameraName;
    job.report.panel = panel;
    job.report.source = picture;
    job.when = when;
    job.keepOriginal = m_keepOriginal;

    bool told = false;
    qint64 droppedInAll = 0;
    {
        std::lock_guard lock(m_queue->mutex);
        const auto sameCamera = [&](const Queue::Job &waiting) {
            return waiting.report.camera == cameraName;
        };
        if (std::count_if(m_queue->jobs.begin(), m_queue->jobs.end(), sameCamera) >=
            MaxWaitingPerCamera) {
            m_queue->jobs.erase(
                std::find_if(m_queue->jobs.begin(), m_queue->jobs.end(), sameCamera));
            ++m_queue->dropped;
            droppedInAll = m_queue->dropped;
            told = !m_queue->dropping.contains(cameraName);
            m_queue->dropping.insert(cameraName);
        } else if (std::none_of(m_queue->jobs.begin(), m_queue->jobs.end(), sameCamera)) {
            // The camera's queue ran empty: the next drop is news again.
            m_queue->dropping.remove(cameraName);
        }
        // The full decode the viewer made spares the writer a decode, but
        // full-size pixels waiting behind a slow disk would pile up: held only
        // for a picture that is next in its camera's line.
        if (std::none_of(m_queue->jobs.begin(), m_queue->jobs.end(), sameCamera))
            job.heldFull = picture.heldFull();
        m_queue->jobs.push_back(std::move(job));
    }
    m_queue->wake.notify_one();
    if (told)
        emit picturesDropped(cameraName, droppedInAll);
    return true;
}

void PictureSaver::deliver(const SaveReport &report)
{
    if (report.saved())
        emit pictureSaved(report);
    else
        emit saveFailed(report);
}

int PictureSaver::pending() const
{
    std::lock_guard lock(m_queue->mutex);
    return int(m_queue->jobs.size()) + m_queue->writing;
}

qint64 PictureSaver::dropped() const
{
    std::lock_guard lock(m_queue->mutex);
    return m_queue->dropped;
}

bool PictureSaver::waitForIdle(int timeoutMs)
{
    bool empty = false;
    {
        std::unique_lock lock(m_queue->mutex);
        empty = m_queue->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return m_queue->jobs.empty() && m_queue->writing == 0;
        });
    }
    // The reports are queued to this thread: hand them out now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return empty;
}

int PictureSaver::finishQueue(int graceMs)
{
    int abandoned = 0;
    {
        std::unique_lock lock(m_queue->mutex);
        m_queue->idle.wait_for(lock, std::chrono::milliseconds(qMax(0, graceMs)),
                               [&] { return m_queue->jobs.empty(); });
        abandoned = int(m_queue->jobs.size());
        m_queue->jobs.clear();
        // The file being written is finished: it goes to its final name whole
        // or not at all.
        m_queue->idle.wait(lock, [&] { return m_queue->writing == 0; });
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return abandoned;
}

SaveImageResult PictureSaver::savePicture(const QString &cameraName, const Picture &picture,
                                          const QDateTime &when)
{
    SaveImageResult result;
    try {
        const QString timeText = DateTimeText::timeText(when.time());
        const WriteResult written = writeSnapshot(picture, cameraName, when);
        result.path = written.path;
        if (written.failure) {
            result.statusText = failureText(timeText, QStringLiteral("picture"), written.path,
                                            written.failure->text);
            return result;
        }
        result.saved = true;
        result.picture = picture;
        result.statusText = timeText + QStringLiteral(" saved as ") + written.path;
    } catch (const std::exception &error) {
        result.saved = false;
        result.picture = Picture();
        result.statusText =
            QStringLiteral("Save Image failed: ") + QString::fromLocal8Bit(error.what());
    }
    return result;
}
