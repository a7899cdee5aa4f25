#include "CameraEngine.h"

#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>

#include <QElapsedTimer>
#include <QLocale>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

#include "DateTimeText.h"
#include "HttpSnapshot.h"
#include "SnapshotResponse.h"
#include "SnapshotUrl.h"

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
{
    for (int i = 0; i < PanelCount; ++i) {
        Channel &channel = m_channels[i];
        channel.socket = new QTcpSocket(this);
        channel.timer = new QTimer(this);
        channel.timer->setInterval(1000);
        connect(channel.timer, &QTimer::timeout, this, [this, i] { tick(i); });
        connect(channel.socket, &QTcpSocket::connected, this,
                [this, i] { guarded("connected", [&] { onConnected(i); }); });
        connect(channel.socket, &QTcpSocket::readyRead, this,
                [this, i] { guarded("data arrival", [&] { onReadyRead(i); }); });
        connect(channel.socket, &QTcpSocket::disconnected, this,
                [this, i] { guarded("server close", [&] { onServerClosed(i); }); });
        connect(channel.socket, &QTcpSocket::errorOccurred, this,
                [this, i] { guarded("socket error", [&] { onSocketError(i); }); });
    }
}

CameraEngine::~CameraEngine()
{
    // A socket torn down with an open connection reports it; nobody may hear
    // that while the panel records are going away.
    for (Channel &channel : m_channels) {
        channel.timer->stop();
        channel.socket->blockSignals(true);
        channel.socket->abort();
    }
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
            const SocketState state = m_channels[index].state;
            if (state == SocketState::Connecting || state == SocketState::Receiving)
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
    const std::optional<SnapshotUrl> url = SnapshotUrl::split(s.address);
    if (!url) {
        channel.state = SocketState::Failed;
        reportFailure(index,
                      Failure::of(Failure::Kind::BadAddress,
                                  QStringLiteral("Address \"%1\" has no path").arg(s.address)));
        return;
    }
    f.host = url->host;
    f.path = url->path;
    f.buffer.clear();
    f.headerDone = false;
    f.contentLength = 0;
    f.bytesReceived = 0;

    channel.state = SocketState::Connecting;
    channel.socket->connectToHost(url->connectHost, url->port);
}

void CameraEngine::stopPanel(int index)
{
    checkIndex(index);
    PanelStatus &s = m_status[index];
    closeSocket(index);
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
    // Our own close is not the server's: no close, error or data signal of the
    // dropped connection may reach the handlers.
    Channel &channel = m_channels[index];
    channel.state = SocketState::Idle;
    const QSignalBlocker blocker(channel.socket);
    channel.socket->abort();
}

// ---- the exchange ------------------------------------------------------------

void CameraEngine::onConnected(int index)
{
    Channel &channel = m_channels[index];
    if (channel.state != SocketState::Connecting)
        return;
    channel.state = SocketState::Receiving;
    SnapshotFetch &f = m_fetch[index];
    const QByteArray request = HttpSnapshot::requestBytes(f.host, f.path);
    if (channel.socket->write(request) != request.size())
        failFetch(index, Failure::of(Failure::Kind::Network,
                                     QStringLiteral("Request could not be sent: %1")
                                         .arg(channel.socket->errorString())));
}

void CameraEngine::onReadyRead(int index)
{
    Channel &channel = m_channels[index];
    if (channel.state != SocketState::Receiving) {
        // Bytes nobody asked for (after a failure or a completed picture).
        channel.socket->readAll();
        return;
    }
    takeData(index, channel.socket->readAll());
}

void CameraEngine::takeData(int index, const QByteArray &data)
{
    if (data.isEmpty())
        return;
    SnapshotFetch &f = m_fetch[index];
    const HttpSnapshot::Arrival arrival = HttpSnapshot::receive(f, data);
    if (arrival.overCap) {
        f.buffer.clear();
        f.bytesReceived = 0;
        failFetch(index,
                  Failure::of(Failure::Kind::TooLarge,
                              QStringLiteral("Response from %1 is larger than %2 bytes; dropped")
                                  .arg(f.host)
                                  .arg(HttpSnapshot::MaxResponseBytes)));
        return;
    }
    if (arrival.progressShown) {
        m_status[index].progress = f.progress;
        emit statusChanged(index);
        emit statusText(arrival.statusText);
    }
}

void CameraEngine::onServerClosed(int index)
{
    Channel &channel = m_channels[index];
    if (channel.state != SocketState::Receiving)
        return;
    // Whatever the server sent before closing is still waiting to be read.
    takeData(index, channel.socket->readAll());
    if (channel.state != SocketState::Receiving)
        return;
    channel.state = SocketState::Completed;
    pictureArrival(index);
}

void CameraEngine::onSocketError(int index)
{
    Channel &channel = m_channels[index];
    // The server closing the connection is how every response ends.
    if (channel.socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    if (channel.state != SocketState::Connecting && channel.state != SocketState::Receiving)
        return;
    const Failure::Kind kind = channel.socket->error() == QAbstractSocket::SocketTimeoutError
                                   ? Failure::Kind::Timeout
                                   : Failure::Kind::Network;
    failFetch(index, Failure::of(kind, channel.socket->errorString()));
}

void CameraEngine::failFetch(int index, const Failure &failure)
{
    // The busy indicator stays: the panel waits for its next interval.
    closeSocket(index);
    m_channels[index].state = SocketState::Failed;
    reportFailure(index, failure);
}

void CameraEngine::reportFailure(int index, const Failure &failure)
{
    m_status[index].lastFailure = failure;
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

void CameraEngine::pictureArrival(int index)
{
    PanelStatus &s = m_status[index];
    SnapshotFetch &f = m_fetch[index];
    s.busy = false;

    SnapshotResponse::HeaderAndBody parts = SnapshotResponse::split(f.buffer);
    f.buffer = parts.body;

    if (!SnapshotResponse::isImage(parts.header)) {
        // Change detection is left alone: the page says nothing about the picture.
        s.picture = m_notFound;
        emit statusChanged(index);
        reportFailure(index,
                      Failure::of(Failure::Kind::NotAPicture,
                                  QStringLiteral("Response from %1 is not a picture").arg(f.host)));
        return;
    }

    const SnapshotResponse::Change change =
        SnapshotResponse::detectChange(parts.header, f.lastModified);
    if (change.hasLine) {
        s.lastChange = change.updatedText;
        if (change.record) {
            f.lastModified = change.line;
            s.lastRecorded = DateTimeText::currentDateTimeText();
        }
    }
    f.newPicture = change.isNew;

    // A full decode is held until everyone has handled the arrival, so a save
    // that follows finds it made.
    std::shared_ptr<const QImage> fullDecode;
    Picture picture;
    guarded("picture decode", [&] { picture = decode(index, parts.body, &fullDecode); });
    if (picture.isNull()) {
        // A body that cannot be decoded leaves the previous picture in place.
        emit statusChanged(index);
        reportFailure(index, Failure::of(Failure::Kind::Decode,
                                         QStringLiteral("the picture could not be decoded")));
        return;
    }
    s.picture = picture;
    s.lastFailure.reset();
    const CameraHealth::Change health = m_health[index].picture(nowMs());
    emit statusChanged(index);
    guarded("picture arrival", [&] { emit pictureArrived(index, picture, f.newPicture); });
    if (health != CameraHealth::Change::None)
        emit healthChanged(index, health);
}
