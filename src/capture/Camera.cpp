#include "Camera.h"

#include <cmath>
#include <limits>

#include <QLocale>
#include <QTimer>

#include "CameraAddress.h"
#include "CameraEngine.h"
#include "CertificatePins.h"
#include "DateTimeText.h"
#include "DetectionSettings.h"
#include "DisplayText.h"
#include "HttpExchange.h"
#include "HttpSnapshot.h"
#include "OffThread.h"
#include "SnapshotResponse.h"

namespace {

// Bodies a camera may have waiting for their decode. One fetch runs at a time
// and a decode takes milliseconds, so more than this means the machine cannot
// keep up; the oldest waiting one then gives way.
constexpr size_t MaxWaitingArrivals = 4;

Failure undecodable()
{
    return Failure::of(Failure::Kind::Decode, QStringLiteral("the picture could not be decoded"));
}

} // namespace

Camera::Camera(CameraEngine &engine, int panel, const QString &name, const QString &address,
               const QString &refresh)
    : QObject(&engine)
    , m_engine(engine)
    , m_panel(panel)
    , m_health(engine.nowMs())
{
    m_status.inUse = true;
    m_status.name = name;
    m_status.address = address;
    m_status.refresh = refresh;
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &Camera::tick);
    m_timerAllowed = engine.realTimersEnabled();
}

void Camera::start()
{
    startFetch();
}

void Camera::end()
{
    // Nothing the camera still has under way may reach anyone now.
    blockSignals(true);
    m_timer->stop();
    m_fetch.counting = false;
    closeSocket();
    m_arrivals.clear();
}

Camera::~Camera()
{
    // A fetch still running ends here; nobody hears of it.
    closeSocket();
}

quint64 Camera::fetchId() const
{
    return m_socket == SocketState::Receiving ? m_fetchId : 0;
}

bool Camera::isStale() const
{
    // The refresh the fetch cycle really runs on, the default for one that is no number.
    const qint32 refresh =
        m_fetch.refreshSecs > 0 ? m_fetch.refreshSecs : CameraEngine::DefaultRefreshSecs;
    return m_health.isStale(m_engine.nowMs(), refresh);
}

std::optional<double> Camera::refreshNumber() const
{
    bool ok = false;
    const double value = QLocale::c().toDouble(m_status.refresh.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // Whole seconds, nearest, halves to even; it has to fit the 32-bit count.
    const double whole = std::nearbyint(value);
    if (whole < double(std::numeric_limits<qint32>::min()) ||
        whole > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return value;
}

QString Camera::nextRefreshLabel() const
{
    const double refresh = refreshNumber().value_or(CameraEngine::DefaultRefreshSecs);
    return HttpSnapshot::numberText(refresh - m_fetch.ticks);
}

void Camera::setEntry(const QString &name, const QString &address, const QString &refresh)
{
    m_status.name = name;
    m_status.caption = name;
    m_status.address = address;
    m_status.refresh = refresh;
    if (m_watch && m_watch->camera() != name) {
        // Settings are kept by name: a renamed camera starts from its own.
        m_watch->setCamera(name);
        m_watch->setDetection(DetectionSettings::load(name));
    }
    emit statusChanged(this);
}

void Camera::setTimerRunning(bool allowed)
{
    m_timerAllowed = allowed;
    if (allowed && m_fetch.counting)
        m_timer->start();
    else
        m_timer->stop();
}

// ---- the cycle ---------------------------------------------------------------

void Camera::refreshNow()
{
    startFetch();
}

void Camera::tick()
{
    if (!m_fetch.counting)
        return;
    ++m_fetch.ticks;
    emit ticked(this);
    if (m_fetch.ticks < m_fetch.refreshSecs)
        return;
    // The fetch still running is dropped by the next start; say so, or a
    // camera that never answers would go unnoticed.
    if (m_socket == SocketState::Receiving)
        reportFailure(
            Failure::of(Failure::Kind::Timeout,
                        QStringLiteral("No complete answer within %1 s").arg(m_fetch.ticks)));
    m_fetch.counting = false;
    m_timer->stop();
    startFetch();
}

void Camera::startFetch()
{
    m_status.busy = true;
    emit fetchStarted(this);

    if (const std::optional<double> refresh = refreshNumber()) {
        m_fetch.refreshSecs = qint32(std::nearbyint(*refresh));
    } else {
        // Nothing upstream makes the text numeric; a camera that cannot count
        // would never fetch again, so it runs on the default and says so.
        m_fetch.refreshSecs = CameraEngine::DefaultRefreshSecs;
        emit statusText(QStringLiteral("Refresh \"%1\" of %2 is not a number; using %3 seconds")
                            .arg(m_status.refresh, m_status.name)
                            .arg(CameraEngine::DefaultRefreshSecs));
    }
    m_fetch.ticks = 0;
    m_fetch.counting = true;
    if (m_timerAllowed)
        m_timer->start();
    m_status.caption = m_status.name;
    emit statusChanged(this);

    closeSocket();
    const std::optional<CameraAddress> address = CameraAddress::parse(m_status.address);
    if (!address) {
        m_socket = SocketState::Failed;
        reportFailure(Failure::of(Failure::Kind::BadAddress,
                                  QStringLiteral("Address \"%1\" has no path")
                                      .arg(DisplayText::address(m_status.address))));
        return;
    }
    m_fetch.host = address->hostText;
    m_fetch.path = address->requestPath();
    m_fetch.buffer.clear();
    m_fetch.headerDone = false;
    m_fetch.contentLength = 0;
    m_fetch.bytesReceived = 0;

    FetchRequest request;
    request.address = *address;
    request.maxBytes = HttpSnapshot::MaxResponseBytes;
    if (address->https)
        request.pinnedSha256 = CertificatePins::pinFor(address->hostPort());
    m_socket = SocketState::Receiving;
    m_fetchId = m_engine.exchange().start(request);
}

void Camera::closeSocket()
{
    // Our own close is not the server's: nothing of the dropped fetch may
    // reach the handlers.
    m_socket = SocketState::Idle;
    if (m_fetchId != 0)
        m_engine.exchange().cancel(m_fetchId);
    m_fetchId = 0;
}

// ---- the exchange ------------------------------------------------------------

void Camera::fetchProgress(qint64 bodyBytes, qint64 declared, bool headerEnded)
{
    m_fetch.bytesReceived = qint32(qMin<qint64>(bodyBytes, HttpSnapshot::MaxResponseBytes));
    if (headerEnded) {
        // The read that ends the header shows no progress, whatever body came with it.
        m_fetch.headerDone = true;
        m_fetch.contentLength =
            qint32(qBound<qint64>(0, declared, qint64(HttpSnapshot::MaxResponseBytes)));
        return;
    }
    // Without a declared length there is nothing to measure progress against.
    if (m_fetch.contentLength < 1)
        return;
    const float percent =
        HttpSnapshot::progressPercent(m_fetch.bytesReceived, m_fetch.contentLength);
    // The bar refuses values outside its range and keeps the one it had.
    if (percent >= 0 && percent <= 100)
        m_fetch.progress = percent;
    m_status.progress = m_fetch.progress;
    emit statusChanged(this);
    // The file part may carry a password in its query: shown masked.
    emit statusText(HttpSnapshot::downloadingText(
        DisplayText::address(HttpSnapshot::displayFileName(m_fetch.path)), m_fetch.progress));
}

void Camera::fetchFinished(const FetchResult &result)
{
    m_fetchId = 0;
    switch (result.kind) {
    case FetchResult::Kind::Ok:
    case FetchResult::Kind::HttpStatus:
        m_socket = SocketState::Completed;
        pictureArrival(result);
        return;
    case FetchResult::Kind::TooLarge:
        m_fetch.buffer.clear();
        m_fetch.bytesReceived = 0;
        failFetch(Failure::of(Failure::Kind::TooLarge, result.text));
        return;
    case FetchResult::Kind::Certificate: {
        // Kept before the failure is told, so a window can offer to trust it.
        const std::optional<CameraAddress> address = CameraAddress::parse(m_status.address);
        const bool known = address && !result.certificateSha256.isEmpty();
        m_status.refusedCertificateSha256 = known ? result.certificateSha256 : QByteArray();
        m_status.refusedCertificateHost = known ? address->hostPort() : QString();
        failFetch(Failure::of(Failure::Kind::Certificate, result.text));
        return;
    }
    case FetchResult::Kind::Stream:
    case FetchResult::Kind::Network:
        break;
    }
    failFetch(Failure::of(Failure::Kind::Network, result.text));
}

void Camera::failFetch(const Failure &failure)
{
    // The busy indicator stays: the panel waits for its next interval.
    closeSocket();
    m_socket = SocketState::Failed;
    reportFailure(failure);
}

void Camera::reportFailure(const Failure &failure)
{
    m_status.lastFailure = failure;
    if (failure.kind != Failure::Kind::Certificate) {
        m_status.refusedCertificateSha256.clear();
        m_status.refusedCertificateHost.clear();
    }
    emit fetchFailed(this, failure);
    const CameraHealth::Change change = m_health.failure(failure.text, m_engine.nowMs());
    if (change != CameraHealth::Change::None)
        emit healthChanged(this, change);
}

// ---- picture arrival -----------------------------------------------------------

void Camera::pictureArrival(const FetchResult &result)
{
    m_status.busy = false;
    m_fetch.buffer = result.body;

    const bool failedStatus = result.kind == FetchResult::Kind::HttpStatus;
    if (failedStatus || !SnapshotResponse::isImage(result.header)) {
        // The repeat judge is left alone: the page says nothing about the picture.
        m_status.picture = m_engine.notFoundPicture();
        emit statusChanged(this);
        const QString host = DisplayText::escapeControls(m_fetch.host);
        reportFailure(
            failedStatus
                ? Failure::of(Failure::Kind::HttpStatus,
                              QStringLiteral("%1 answered %2").arg(host, result.text))
                : Failure::of(Failure::Kind::NotAPicture,
                              QStringLiteral("Response from %1 is not a picture").arg(host)));
        return;
    }

    const SnapshotResponse::Change change =
        SnapshotResponse::detectChange(result.header, m_fetch.lastModified);
    // Without Last-Modified a changed ETag or a changed body tells.
    const ChangeDetector::Outcome outcome =
        m_repeats.judge(result.header, result.body, m_fetch.lastModified);
    if (change.hasLine) {
        m_status.lastChange = change.updatedText;
        if (change.record) {
            m_fetch.lastModified = change.line;
            m_status.lastRecorded = DateTimeText::currentDateTimeText();
        }
    }
    m_fetch.newPicture = outcome.isNew;

    if (m_arrivals.size() > MaxWaitingArrivals) {
        // The front one is decoding; the oldest waiting behind it gives way.
        m_arrivals.erase(m_arrivals.begin() + 1);
        emit statusText(QStringLiteral("%1: pictures arrive faster than they can be decoded; "
                                       "one was skipped")
                            .arg(m_status.name));
    }
    m_arrivals.push_back(Arrival{result.body, outcome.isNew, m_engine.now()});
    decodeNext();
}

void Camera::decodeNext()
{
    if (m_decoding || m_arrivals.empty())
        return;
    const Arrival arrival = m_arrivals.front();
    PictureDecode how = m_engine.decodeFor(*this, arrival.isNew);
    const QSize size = m_engine.thumbnailSize();
    // Only a new picture is judged: a repeat shows nothing new.
    const bool judge = arrival.isNew && m_watch;
    // The window judges every camera on its panel decode, hidden or not: a
    // detector fed pictures of two sizes would start learning afresh each time.
    if (judge && how == PictureDecode::StructureOnly && m_engine.judgesPanelDecode())
        how = PictureDecode::Thumbnail;
    if (how == PictureDecode::StructureOnly && !judge) {
        // A structure check takes microseconds: no thread needed.
        m_arrivals.pop_front();
        showDecoded(Picture::fromBytesChecked(arrival.body, size), arrival, {});
        decodeNext();
        return;
    }
    // The decode leaves the window's thread; the picture shown before stays
    // until it is done, and arrivals behind it wait their turn.
    m_decoding = true;
    struct Decoded
    {
        Picture picture;
        std::shared_ptr<const QImage> full;
        GreyPicture grey;
    };
    offThread<Decoded>(
        this,
        [body = arrival.body, size, how, judge] {
            Decoded made;
            if (how == PictureDecode::Full)
                made.picture = Picture::fromBytesInFull(body, size, &made.full);
            else if (how == PictureDecode::Thumbnail)
                made.picture = Picture::fromBytes(body, size);
            else
                made.picture = Picture::fromBytesChecked(body, size);
            if (!judge || made.picture.isNull())
                return made;
            // The panel's decode is small and grey enough to judge; without
            // one, the smallest decode the DCT gives costs about as much.
            const QImage panel = made.picture.cachedThumbnail();
            made.grey =
                panel.isNull() ? GreyPicture::fromJpeg(body) : GreyPicture::fromImage(panel);
            if (made.grey.isNull()) // not a JPEG: a camera sending PNG or GIF
                made.grey = GreyPicture::fromImage(made.picture.thumbnail(size));
            return made;
        },
        [this, arrival](const Decoded &made) {
            m_decoding = false;
            if (!m_arrivals.empty())
                m_arrivals.pop_front();
            // The full decode, when one was made, is held until everyone has
            // handled the arrival: the viewer shows it, the saver keeps its own hold.
            showDecoded(made.picture, arrival, made.grey);
            decodeNext();
        });
}

void Camera::showDecoded(const Picture &picture, const Arrival &arrival, const GreyPicture &grey)
{
    if (picture.isNull()) {
        // A body that cannot be decoded leaves the previous picture in place.
        emit statusChanged(this);
        reportFailure(undecodable());
        return;
    }
    m_status.picture = picture;
    m_status.lastFailure.reset();
    m_status.refusedCertificateSha256.clear();
    m_status.refusedCertificateHost.clear();
    const CameraHealth::Change health = m_health.picture(m_engine.nowMs());
    emit statusChanged(this);
    emit pictureArrived(this, picture, arrival.isNew);
    // Detection may have been switched off while the decode ran.
    if (arrival.isNew && m_watch && !grey.isNull()) {
        const CameraChangeWatch::Outcome outcome =
            m_watch->offer(picture.bytes(), arrival.arrived, grey);
        m_lastVerdict = outcome.verdict;
        emit changeJudged(this, outcome);
    }
    if (health != CameraHealth::Change::None)
        emit healthChanged(this, health);
}

void Camera::setDetection(bool on)
{
    if (!on) {
        m_watch.reset();
        m_lastVerdict = {};
        return;
    }
    if (m_watch)
        return;
    // Capturing costs one held picture's bytes, shared with the picture itself;
    // whether anything is saved of it is the saver's choice.
    m_watch = std::make_unique<CameraChangeWatch>(name(), DetectionSettings::load(name()),
                                                  m_engine.captureOptions());
    m_watch->setCapturing(true);
}

void Camera::setDetectionOptions(const DetectionOptions &options)
{
    if (m_watch)
        m_watch->setDetection(options);
}

DetectionOptions Camera::detectionOptions() const
{
    return m_watch ? m_watch->detection() : DetectionSettings::load(name());
}
