#include "CameraEngine.h"

#include <algorithm>

#include <QElapsedTimer>

#include "Camera.h"
#include "HttpExchange.h"

namespace {

qint64 monotonicMs()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

// What a free panel shows: a stopped one's caption, no picture.
const PanelStatus &freePanel()
{
    static const PanelStatus status = [] {
        PanelStatus s;
        s.caption = QStringLiteral("[webcam]");
        return s;
    }();
    return status;
}

} // namespace

CameraEngine::CameraEngine(QObject *parent)
    : QObject(parent)
    , m_exchange(new HttpExchange(this))
{
    connect(m_exchange, &HttpExchange::progress, this,
            [this](HttpExchange::FetchId id, qint64 bytes, qint64 declared, bool headerEnded) {
                if (Camera *camera = cameraOfFetch(id))
                    camera->fetchProgress(bytes, declared, headerEnded);
            });
    connect(m_exchange, &HttpExchange::finished, this,
            [this](HttpExchange::FetchId id, const FetchResult &result) {
                if (Camera *camera = cameraOfFetch(id))
                    camera->fetchFinished(result);
            });
}

CameraEngine::~CameraEngine()
{
    // Fetches still running end with the exchange; nobody hears of them.
    m_exchange->blockSignals(true);
    for (Camera *camera : m_cameras) {
        camera->end();
        delete camera;
    }
    m_cameras.clear();
}

Camera *CameraEngine::camera(int index) const
{
    for (Camera *camera : m_cameras) {
        if (camera->panel() == index)
            return camera;
    }
    return nullptr;
}

Camera *CameraEngine::cameraNamed(const QString &name) const
{
    for (Camera *camera : m_cameras) {
        if (camera->name() == name)
            return camera;
    }
    return nullptr;
}

QList<Camera *> CameraEngine::cameras() const
{
    QList<Camera *> list(m_cameras.begin(), m_cameras.end());
    std::sort(list.begin(), list.end(),
              [](const Camera *a, const Camera *b) { return a->panel() < b->panel(); });
    return list;
}

const PanelStatus &CameraEngine::status(int index) const
{
    const Camera *shown = camera(index);
    return shown ? shown->status() : freePanel();
}

void CameraEngine::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void CameraEngine::setDetection(bool on, const ChangeCapture::Options &capture)
{
    m_detection = on;
    m_capture = capture;
    for (Camera *camera : m_cameras)
        camera->setDetection(on);
}

QDateTime CameraEngine::now() const
{
    return m_timeSource ? m_timeSource() : QDateTime::currentDateTime();
}

qint64 CameraEngine::nowMs() const
{
    return m_clock ? m_clock() : monotonicMs();
}

int CameraEngine::lowestFreePanel() const
{
    for (int i = 0; i < PanelCount; ++i) {
        if (!camera(i))
            return i;
    }
    return -1;
}

int CameraEngine::panelsInUse() const
{
    return int(m_cameras.size());
}

Camera *CameraEngine::open(const QString &name, const QString &address, const QString &refresh)
{
    const int index = lowestFreePanel();
    if (index < 0)
        return nullptr;
    auto *camera = new Camera(*this, index, name, address, refresh);
    camera->setRecordedLastModified(m_recordedLastModified.value(name));
    m_cameras.push_back(camera);
    connect(camera, &Camera::statusChanged, this, &CameraEngine::statusChanged);
    connect(camera, &Camera::fetchStarted, this, &CameraEngine::fetchStarted);
    connect(camera, &Camera::ticked, this, &CameraEngine::ticked);
    connect(camera, &Camera::pictureArrived, this, &CameraEngine::pictureArrived);
    connect(camera, &Camera::fetchFailed, this, &CameraEngine::fetchFailed);
    connect(camera, &Camera::healthChanged, this, &CameraEngine::healthChanged);
    connect(camera, &Camera::statusText, this, &CameraEngine::statusText);
    connect(camera, &Camera::changeJudged, this, &CameraEngine::changeJudged);
    if (m_detection)
        camera->setDetection(true);
    emit opened(camera);
    camera->start();
    return camera;
}

void CameraEngine::setNotFoundPicture(const Picture &picture)
{
    m_notFound = picture;
}

void CameraEngine::setThumbnailSize(const QSize &size)
{
    if (!size.isEmpty())
        m_thumbnailSize = size;
}

PictureDecode CameraEngine::decodeFor(const Camera &camera, bool isNew) const
{
    return m_decodeRule ? m_decodeRule(camera, isNew) : PictureDecode::Thumbnail;
}

void CameraEngine::setRealTimersEnabled(bool enabled)
{
    m_realTimers = enabled;
    for (Camera *camera : m_cameras)
        camera->setTimerRunning(enabled);
}

Camera *CameraEngine::cameraOfFetch(quint64 id) const
{
    for (Camera *camera : m_cameras) {
        if (camera->fetchId() == id)
            return camera;
    }
    return nullptr;
}

void CameraEngine::tick(int index)
{
    if (Camera *shown = camera(index))
        shown->tick();
}

void CameraEngine::refreshNow(int index)
{
    if (Camera *shown = camera(index))
        shown->refreshNow();
}

void CameraEngine::stop(int index)
{
    Camera *shown = camera(index);
    if (shown) {
        if (!shown->fetch().lastModified.isEmpty())
            m_recordedLastModified.insert(shown->name(), shown->fetch().lastModified);
        m_cameras.erase(std::find(m_cameras.begin(), m_cameras.end(), shown));
        // Ended now, deleted later: a stop may come from inside one of the
        // camera's own signals.
        shown->end();
        shown->deleteLater();
    }
    emit stopped(index, shown != nullptr);
}

void CameraEngine::stopAll()
{
    for (int i = 0; i < PanelCount; ++i)
        stop(i);
}
