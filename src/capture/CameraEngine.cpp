#include "CameraEngine.h"

#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>

#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>

#include "CameraAddress.h"
#include "CertificatePins.h"
#include "DateTimeText.h"
#include "DisplayText.h"
#include "HttpExchange.h"
#include "HttpSnapshot.h"
#include "SnapshotResponse.h"

namespace {

const QString StoppedCaption = QStringLiteral("[webcam]");

// Runs one handler to its end; nothing it throws reaches the event loop.
template <typename F>
void guarded(const char *where, F &&step)
{
    try {
        step();
    } catch (const std::exception &e) {
        qWarning("%s: %s", where, e.what());
    } catch (...) {
        qWarning("%s: unknown failure", where);
    }
}

qint64 monotonicMs()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

} // namespace

CameraEngine::CameraEngine(QObject *parent)
    : QObject(parent)
    , m_exchange(new HttpExchange(this))
{
    for (int i = 0; i < PanelCount; ++i) {
        Channel &channel = m_channels[i];
        channel.timer = new QTimer(this);
        channel.timer->setInterval(1000);
        connect(channel.timer, &QTimer::timeout, this, [this, i] { tick(i); });
    }
    connect(m_exchange, &HttpExchange::progress, this,
            [this](HttpExchange::FetchId id, qint64 bytes, qint64 declared, bool headerEnded) {
                guarded("data arrival", [&] { onFetchProgress(id, bytes, declared, headerEnded); });
            });
    connect(m_exchange, &HttpExchange::finished, this,
            [this](HttpExchange::FetchId id, const FetchResult &result) {
                guarded("fetch end", [&] { onFetchFinished(id, result); });
            });
}

CameraEngine::~CameraEngine()
{
    // Fetches still running end with the exchange; nobody hears of them.
    for (Channel &channel : m_channels)
        channel.timer->stop();
    m_exchange->blockSignals(true);
}

void CameraEngine::checkIndex(int index) const
{
    if (index < 0 || index >= PanelCount)
        throw std::out_of_range("camera panel index " + std::to_string(index) + " is not 0..23");
}

const PanelStatus &CameraEngine::status(int index) const
{
    checkIndex(index);
    return m_status[index];
}

const SnapshotFetch &CameraEngine::fetch(int index) const
{
    checkIndex(index);
    return m_fetch[index];
}

const CameraHealth &CameraEngine::health(int index) const
{
    checkIndex(index);
    return m_health[index];
}

bool CameraEngine::isStale(int index) const
{
    checkIndex(index);
    if (!m_status[index].inUse)
        return false;
    // The refresh the fetch cycle really runs on, the default for one that is no number.
    const qint32 refresh =
        m_fetch[index].refreshSecs > 0 ? m_fetch[index].refreshSecs : DefaultRefreshSecs;
    return m_health[index].isStale(nowMs(), refresh);
}

void CameraEngine::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

qint64 CameraEngine::nowMs() const
{
    return m_clock ? m_clock() : monotonicMs();
}

int CameraEngine::lowestFreePanel() const
{
    for (int i = 0; i < PanelCount; ++i) {
        if (!m_status[i].inUse)
            return i;
    }
    return -1;
}

int CameraEngine::panelsInUse() const
{
    int count = 0;
    for (const PanelStatus &status : m_status)
        count += status.inUse ? 1 : 0;
    return count;
}

int CameraEngine::open(const QString &name, const QString &address, const QString &refresh)
{
    const int index = lowestFreePanel();
    if (index < 0)
        return -1;
    PanelStatus &s = m_status[index];
    s.inUse = true;
    s.name = name;
    s.address = address;
    s.refresh = refresh;
    m_health[index] = CameraHealth(nowMs());
    guarded("open", [&] { startFetch(index); });
    return index;
}

void CameraEngine::setCamera(int index, const QString &name, const QString &address,
                             const QString &refresh)
{
    checkIndex(index);
    PanelStatus &s = m_status[index];
    s.name = name;
    s.caption = name;
    s.address = address;
    s.refresh = refresh;
    emit statusChanged(index);
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

void CameraEngine::setRealTimersEnabled(bool enabled)
{
    m_realTimers = enabled;
    for (int i = 0; i < PanelCount; ++i) {
        if (enabled && m_fetch[i].counting)
            m_channels[i].timer->start();
        else
            m_channels[i].timer->stop();
    }
}

std::optional<double> CameraEngine::refreshNumber(int index) const
{
    bool ok = false;
    const double value = QLocale::c().toDouble(m_status[index].refresh.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // Whole seconds, nearest, halves to even; it has to fit the 32-bit count.
    const double whole = std::nearbyint(value);
    if (whole < double(std::numeric_limits<qint32>::min()) ||
        whole > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return value;
}

QString CameraEngine::nextRefreshLabel(int index) const
{
    checkIndex(index);
    const double refresh = refreshNumber(index).value_or(DefaultRefreshSecs);
    return HttpSnapshot::numberText(refresh - m_fetch[index].ticks);
}

// ---- the cycle ---------------------------------------------------------------

void CameraEngine::refreshNow(int index)
{
    guarded("refresh now", [&] { startFetch(index); });
}

void CameraEngine::stop(int index)
{
    guarded("stop", [&] { stopPanel(index); });
}

void CameraEngine::stopAll()
{
    for (int i = 0; i < PanelCount; ++i)
        stop(i);
}

void CameraEngine::tick(int index)
{
    guarded("tick", [&] {
        checkIndex(index);
        SnapshotFetch &f = m_fetch[index];
        if (!f.counting)
            return;
        ++f.ticks;
        emit ticked(index);
        if (f.ticks >= f.refreshSecs) {
            // The fetch still running is dropped by the next start; say so, or
            // a camera that never answers would go unnoticed.
            if (m_channels[index].state == SocketState::Receiving)
                reportFailure(
                    index,
                    Failure::of(Failure::Kind::Timeout,
                                QStringLiteral("No complete answer within %1 s").arg(f.ticks)));
            f.counting = false;
            m_channels[index].timer->stop();
            startFetch(index);
        }
    });
}

void CameraEngine::startFetch(int index)
{
    checkIndex(index);
    PanelStatus &s = m_status[index];
    SnapshotFetch &f = m_fetch[index];
    Channel &channel = m_channels[index];

    s.busy = true;
    emit fetchStarted(index);

    const std::optional<double> refresh = refreshNumber(index);
    if (refresh) {
        f.refreshSecs = qint32(std::nearbyint(*refresh));
    } else {
        // Nothing upstream makes the text numeric; a panel that cannot count
        // would never fetch again, so it runs on the default and says so.
        f.refreshSecs = DefaultRefreshSecs;
        emit statusText(QStringLiteral("Refresh \"%1\" of %2 is not a number; using %3 seconds")
                            .arg(s.refresh, s.name)
                            .arg(DefaultRefreshSecs));
    }
    f.ticks = 0;
    f.counting = true;
    if (m_realTimers)
        channel.timer->start();
    s.caption = s.name;
    emit statusChanged(index);

    closeSocket(index);
    const std::optional<CameraAddress> address = CameraAddress::parse(s.address);
    if (!address) {
        channel.state = SocketState::Failed;
        reportFailure(
            index,
            Failure::of(
                Failure::Kind::BadAddress,
                QStringLiteral("Address \"%1\" has no path").arg(DisplayText::address(s.address))));
        return;
    }
    f.host = address->hostText;
    f.path = address->requestPath();
    f.buffer.clear();
    f.headerDone = false;
    f.contentLength = 0;
    f.bytesReceived = 0;

    FetchRequest request;
    request.address = *address;
    request.maxBytes = HttpSnapshot::MaxResponseBytes;
    if (address->https)
        request.pinnedSha256 = CertificatePins::pinFor(address->hostPort());
    channel.state = SocketState::Receiving;
    channel.fetch = m_exchange->start(request);
}

void CameraEngine::stopPanel(int index)
{
    checkIndex(index);
    PanelStatus &s = m_status[index];
    closeSocket(index);
    // The next open is a new run: its first picture is compared with nothing.
    m_changes[index].reset();
    m_fetch[index].counting = false;
    m_channels[index].timer->stop();
    const bool wasInUse = s.inUse;
    s.picture = Picture();
    s.busy = false;
    s.caption = StoppedCaption;
    s.inUse = false;
    emit statusChanged(index);
    emit stopped(index, wasInUse);
}

void CameraEngine::closeSocket(int index)
{
    // Our own close is not the server's: nothing of the dropped fetch may
    // reach the handlers.
    Channel &channel = m_channels[index];
    channel.state = SocketState::Idle;
    if (channel.fetch != 0)
        m_exchange->cancel(channel.fetch);
    channel.fetch = 0;
}

// ---- the exchange ------------------------------------------------------------

int CameraEngine::panelOfFetch(quint64 id) const
{
    for (int i = 0; i < PanelCount; ++i) {
        if (m_channels[i].fetch == id && m_channels[i].state == SocketState::Receiving)
            return i;
    }
    return -1;
}

void CameraEngine::onFetchProgress(quint64 id, qint64 bodyBytes, qint64 declared, bool headerEnded)
{
    const int index = panelOfFetch(id);
    if (index < 0)
        return;
    SnapshotFetch &f = m_fetch[index];
    f.bytesReceived = qint32(qMin<qint64>(bodyBytes, HttpSnapshot::MaxResponseBytes));
    if (headerEnded) {
        // The read that ends the header shows no progress, whatever body came with it.
        f.headerDone = true;
        f.contentLength =
            qint32(qBound<qint64>(0, declared, qint64(HttpSnapshot::MaxResponseBytes)));
        return;
    }
    // Without a declared length there is nothing to measure progress against.
    if (f.contentLength < 1)
        return;
    const float percent = HttpSnapshot::progressPercent(f.bytesReceived, f.contentLength);
    // The bar refuses values outside its range and keeps the one it had.
    if (percent >= 0 && percent <= 100)
        f.progress = percent;
    m_status[index].progress = f.progress;
    emit statusChanged(index);
    // The file part may carry a password in its query: shown masked.
    emit statusText(HttpSnapshot::downloadingText(
        DisplayText::address(HttpSnapshot::displayFileName(f.path)), f.progress));
}

void CameraEngine::onFetchFinished(quint64 id, const FetchResult &result)
{
    const int index = panelOfFetch(id);
    if (index < 0)
        return;
    Channel &channel = m_channels[index];
    channel.fetch = 0;
    switch (result.kind) {
    case FetchResult::Kind::Ok:
    case FetchResult::Kind::HttpStatus:
        channel.state = SocketState::Completed;
        pictureArrival(index, result);
        return;
    case FetchResult::Kind::TooLarge:
        m_fetch[index].buffer.clear();
        m_fetch[index].bytesReceived = 0;
        failFetch(index, Failure::of(Failure::Kind::TooLarge, result.text));
        return;
    case FetchResult::Kind::Certificate: {
        // Kept before the failure is told, so a window can offer to trust it.
        PanelStatus &s = m_status[index];
        const std::optional<CameraAddress> address = CameraAddress::parse(s.address);
        const bool known = address && !result.certificateSha256.isEmpty();
        s.refusedCertificateSha256 = known ? result.certificateSha256 : QByteArray();
        s.refusedCertificateHost = known ? address->hostPort() : QString();
        failFetch(index, Failure::of(Failure::Kind::Certificate, result.text));
        return;
    }
    case FetchResult::Kind::Stream:
    case FetchResult::Kind::Network:
        break;
    }
    failFetch(index, Failure::of(Failure::Kind::Network, result.text));
}

void CameraEngine::failFetch(int index, const Failure &failure)
{
    // The busy indicator stays: the panel waits for its next interval.
    closeSocket(index);
    m_channels[index].state = SocketState::Failed;
    reportFailure(index, failure);
}

void CameraEngine::reportUndecodable(int index, const Picture &picture)
{
    if (index < 0 || index >= PanelCount || !m_status[index].inUse ||
        !m_status[index].picture.isSameAs(picture))
        return;
    reportFailure(index, Failure::of(Failure::Kind::Decode,
                                     QStringLiteral("the picture could not be decoded")));
}

void CameraEngine::reportFailure(int index, const Failure &failure)
{
    PanelStatus &s = m_status[index];
    s.lastFailure = failure;
    if (failure.kind != Failure::Kind::Certificate) {
        s.refusedCertificateSha256.clear();
        s.refusedCertificateHost.clear();
    }
    emit fetchFailed(index, failure);
    const CameraHealth::Change change = m_health[index].failure(failure.text, nowMs());
    if (change != CameraHealth::Change::None)
        emit healthChanged(index, change);
}

// ---- picture arrival -----------------------------------------------------------

Picture CameraEngine::decode(int index, const QByteArray &body,
                             std::shared_ptr<const QImage> *full) const
{
    const PictureDecode how =
        m_decodeRule ? m_decodeRule(index, m_fetch[index].newPicture) : PictureDecode::Thumbnail;
    switch (how) {
    case PictureDecode::Full:
        return Picture::fromBytesInFull(body, m_thumbnailSize, full);
    case PictureDecode::StructureOnly:
        return Picture::fromBytesChecked(body, m_thumbnailSize);
    case PictureDecode::Thumbnail:
        break;
    }
    return Picture::fromBytes(body, m_thumbnailSize);
}

void CameraEngine::pictureArrival(int index, const FetchResult &result)
{
    PanelStatus &s = m_status[index];
    SnapshotFetch &f = m_fetch[index];
    s.busy = false;

    f.buffer = result.body;

    const bool failedStatus = result.kind == FetchResult::Kind::HttpStatus;
    if (failedStatus || !SnapshotResponse::isImage(result.header)) {
        // Change detection is left alone: the page says nothing about the picture.
        s.picture = m_notFound;
        emit statusChanged(index);
        reportFailure(index,
                      failedStatus
                          ? Failure::of(Failure::Kind::HttpStatus,
                                        QStringLiteral("%1 answered %2")
                                            .arg(DisplayText::escapeControls(f.host), result.text))
                          : Failure::of(Failure::Kind::NotAPicture,
                                        QStringLiteral("Response from %1 is not a picture")
                                            .arg(DisplayText::escapeControls(f.host))));
        return;
    }

    const SnapshotResponse::Change change =
        SnapshotResponse::detectChange(result.header, f.lastModified);
    // Without Last-Modified a changed ETag or a changed body tells.
    const ChangeDetector::Outcome outcome =
        m_changes[index].judge(result.header, result.body, f.lastModified);
    if (change.hasLine) {
        s.lastChange = change.updatedText;
        if (change.record) {
            f.lastModified = change.line;
            s.lastRecorded = DateTimeText::currentDateTimeText();
        }
    }
    f.newPicture = outcome.isNew;

    // A full decode is held until everyone has handled the arrival, so a save
    // that follows finds it made.
    std::shared_ptr<const QImage> fullDecode;
    Picture picture;
    guarded("picture decode", [&] { picture = decode(index, result.body, &fullDecode); });
    if (picture.isNull()) {
        // A body that cannot be decoded leaves the previous picture in place.
        emit statusChanged(index);
        reportFailure(index, Failure::of(Failure::Kind::Decode,
                                         QStringLiteral("the picture could not be decoded")));
        return;
    }
    s.picture = picture;
    s.lastFailure.reset();
    s.refusedCertificateSha256.clear();
    s.refusedCertificateHost.clear();
    const CameraHealth::Change health = m_health[index].picture(nowMs());
    emit statusChanged(index);
    guarded("picture arrival", [&] { emit pictureArrived(index, picture, f.newPicture); });
    if (health != CameraHealth::Change::None)
        emit healthChanged(index, health);
}
