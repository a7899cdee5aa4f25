#include "CameraEngine.h"

#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>

#include <QLocale>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

#include "DateTimeText.h"
#include "HttpSnapshot.h"
#include "SnapshotResponse.h"
#include "SnapshotUrl.h"
#include "WindowUpdateLock.h"

namespace {

const QString StoppedCaption = QStringLiteral("[webcam]");

void checkIndex(int index)
{
    if (index < 0 || index >= CameraEngine::PanelCount)
        throw std::out_of_range("camera panel index " + std::to_string(index) + " is not 0..23");
}

// Freezes the main window's repainting for one multi-control change; the
// release also happens when a step in between throws.
class MainWindowUpdateLock
{
public:
    MainWindowUpdateLock() { LockWindowUpdates(WindowUpdateLock::mainWindow(), true); }
    ~MainWindowUpdateLock() { LockWindowUpdates(WindowUpdateLock::mainWindow(), false); }
    MainWindowUpdateLock(const MainWindowUpdateLock &) = delete;
    MainWindowUpdateLock &operator=(const MainWindowUpdateLock &) = delete;
};

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

// The picture steps of an arrival: a step that fails is skipped, the next runs.
template <typename F>
void skipOnFailure(F &&step)
{
    guarded("picture arrival", std::forward<F>(step));
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

const CameraPanel &CameraEngine::panel(int index) const
{
    checkIndex(index);
    return m_panels[index];
}

CameraPanel &CameraEngine::panelAt(int index)
{
    checkIndex(index);
    return m_panels[index];
}

void CameraEngine::setName(int index, const QString &name)
{
    panelAt(index).txtName = name;
    emit panelChanged(index);
}

void CameraEngine::setAddress(int index, const QString &address)
{
    panelAt(index).txtAddress = address;
    emit panelChanged(index);
}

void CameraEngine::setRefresh(int index, const QString &refresh)
{
    panelAt(index).txtRefresh = refresh;
    emit panelChanged(index);
}

void CameraEngine::setCaption(int index, const QString &caption)
{
    panelAt(index).caption = caption;
    emit panelChanged(index);
}

void CameraEngine::setVisible(int index, bool visible)
{
    panelAt(index).visible = visible;
    emit panelChanged(index);
}

void CameraEngine::setPanelPicture(int index, const Picture &picture)
{
    panelAt(index).picture = picture;
    emit panelPictureChanged(index);
}

int CameraEngine::lowestHiddenPanel() const
{
    for (int i = 0; i < PanelCount; ++i) {
        if (!m_panels[i].visible)
            return i;
    }
    return -1;
}

void CameraEngine::setSelectedCam(qint16 index)
{
    if (index < -1 || index >= PanelCount)
        throw std::out_of_range("selected camera " + std::to_string(index) + " is not -1..23");
    m_selectedCam = index;
}

void CameraEngine::setCamsInUse(qint16 count)
{
    if (count < 0 || count > PanelCount)
        throw std::out_of_range("cameras in use " + std::to_string(count) + " is not 0..24");
    m_camsInUse = count;
}

void CameraEngine::setPictureWindowOpen(bool open)
{
    m_pictureWindowOpen = open;
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
        if (enabled && m_panels[i].timerEnabled)
            m_channels[i].timer->start();
        else
            m_channels[i].timer->stop();
    }
}

std::optional<double> CameraEngine::refreshNumber(int index) const
{
    bool ok = false;
    const double value = QLocale::c().toDouble(m_panels[index].txtRefresh.trimmed(), &ok);
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
    const CameraPanel &p = panel(index);
    const double refresh = refreshNumber(index).value_or(DefaultRefreshSecs);
    return HttpSnapshot::numberText(refresh - p.camTicks);
}

// ---- the cycle ---------------------------------------------------------------

void CameraEngine::StartPanel(int index)
{
    guarded("StartPanel", [&] { startPanel(index); });
}

void CameraEngine::refreshNow(int index)
{
    guarded("refresh now", [&] { startPanel(index); });
}

void CameraEngine::StopPanel(int index)
{
    guarded("StopPanel", [&] { stopPanel(index); });
}

void CameraEngine::stopAll()
{
    for (int i = 0; i < PanelCount; ++i)
        StopPanel(i);
}

void CameraEngine::tick(int index)
{
    guarded("tick", [&] {
        CameraPanel &p = panelAt(index);
        if (!p.timerEnabled)
            return;
        ++p.camTicks;
        if (m_selectedCam == index) {
            {
                const MainWindowUpdateLock lock;
                emit nextRefreshText(nextRefreshLabel(index));
            }
            emit networkTimeRequested();
        }
        if (p.camTicks >= p.camRefreshSecs) {
            // The fetch still running is dropped by the next start; say so, or
            // a camera that never answers would go unnoticed.
            const FetchState state = m_channels[index].state;
            if (state == FetchState::Connecting || state == FetchState::Receiving)
                emit fetchFailed(index,
                                 QStringLiteral("No complete answer within %1 s").arg(p.camTicks));
            p.timerEnabled = false;
            m_channels[index].timer->stop();
            p.busy = true;
            startPanel(index);
        }
    });
}

void CameraEngine::startPanel(int index)
{
    CameraPanel &p = panelAt(index);
    Channel &channel = m_channels[index];

    p.busy = true;
    if (m_selectedCam == index && m_pictureWindowOpen)
        emit pictureWindowBusy(true);

    const std::optional<double> refresh = refreshNumber(index);
    if (refresh) {
        p.camRefreshSecs = qint32(std::nearbyint(*refresh));
    } else {
        // Nothing upstream makes the text numeric; a panel that cannot count
        // would never fetch again, so it runs on the default and says so.
        p.camRefreshSecs = DefaultRefreshSecs;
        emit statusText(QStringLiteral("Refresh \"%1\" of %2 is not a number; using %3 seconds")
                            .arg(p.txtRefresh, p.txtName)
                            .arg(DefaultRefreshSecs));
    }
    p.camTicks = 0;
    p.timerEnabled = true;
    if (m_realTimers)
        channel.timer->start();
    p.caption = p.txtName;
    emit panelChanged(index);

    closeSocket(index);
    const std::optional<SnapshotUrl> url = SnapshotUrl::split(p.txtAddress);
    if (!url) {
        channel.state = FetchState::Failed;
        emit fetchFailed(index, QStringLiteral("Address \"%1\" has no path").arg(p.txtAddress));
        return;
    }
    p.camHost = url->host;
    p.camPath = url->path;
    p.camBuffer.clear();
    p.camHeaderDone = false;
    p.camContentLength = 0;
    p.camBytesReceived = 0;

    closeSocket(index);
    channel.state = FetchState::Connecting;
    channel.socket->connectToHost(url->connectHost, url->port);
}

void CameraEngine::stopPanel(int index)
{
    CameraPanel &p = panelAt(index);
    closeSocket(index);
    p.timerEnabled = false;
    m_channels[index].timer->stop();
    {
        const MainWindowUpdateLock lock;
        p.picture = Picture();
        p.busy = false;
        emit panelPictureChanged(index);
    }
    const bool wasInUse = p.visible;
    p.caption = StoppedCaption;
    p.visible = false;
    if (wasInUse && m_camsInUse > 0)
        --m_camsInUse;
    emit panelChanged(index);
    if (m_selectedCam == index) {
        m_selectedCam = -1;
        emit viewerHidden();
    }
}

void CameraEngine::closeSocket(int index)
{
    // Our own close is not the server's: no close, error or data signal of the
    // dropped connection may reach the handlers.
    Channel &channel = m_channels[index];
    channel.state = FetchState::Idle;
    const QSignalBlocker blocker(channel.socket);
    channel.socket->abort();
}

// ---- the exchange ------------------------------------------------------------

void CameraEngine::onConnected(int index)
{
    Channel &channel = m_channels[index];
    if (channel.state != FetchState::Connecting)
        return;
    channel.state = FetchState::Receiving;
    CameraPanel &p = m_panels[index];
    const QByteArray request = HttpSnapshot::requestBytes(p.camHost, p.camPath);
    if (channel.socket->write(request) != request.size())
        failFetch(
            index,
            QStringLiteral("Request could not be sent: %1").arg(channel.socket->errorString()));
}

void CameraEngine::onReadyRead(int index)
{
    Channel &channel = m_channels[index];
    if (channel.state != FetchState::Receiving) {
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
    CameraPanel &p = m_panels[index];
    const HttpSnapshot::Arrival arrival = HttpSnapshot::receive(p, data);
    if (arrival.overCap) {
        p.camBuffer.clear();
        p.camBytesReceived = 0;
        failFetch(index, QStringLiteral("Response from %1 is larger than %2 bytes; dropped")
                             .arg(p.camHost)
                             .arg(HttpSnapshot::MaxResponseBytes));
        return;
    }
    if (arrival.progressShown) {
        emit panelChanged(index);
        emit statusText(arrival.statusText);
    }
}

void CameraEngine::onServerClosed(int index)
{
    Channel &channel = m_channels[index];
    if (channel.state != FetchState::Receiving)
        return;
    // Whatever the server sent before closing is still waiting to be read.
    takeData(index, channel.socket->readAll());
    if (channel.state != FetchState::Receiving)
        return;
    channel.state = FetchState::Completed;
    pictureArrival(index);
}

void CameraEngine::onSocketError(int index)
{
    Channel &channel = m_channels[index];
    // The server closing the connection is how every response ends.
    if (channel.socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    if (channel.state != FetchState::Connecting && channel.state != FetchState::Receiving)
        return;
    failFetch(index, channel.socket->errorString());
}

void CameraEngine::failFetch(int index, const QString &reason)
{
    // The busy indicator stays: the panel waits for its next interval.
    closeSocket(index);
    m_channels[index].state = FetchState::Failed;
    emit fetchFailed(index, reason);
}

// ---- picture arrival -----------------------------------------------------------

void CameraEngine::pictureArrival(int index)
{
    CameraPanel &p = m_panels[index];
    p.busy = false;

    SnapshotResponse::HeaderAndBody parts = SnapshotResponse::split(p.camBuffer);
    p.camBuffer = parts.body;

    if (!SnapshotResponse::isImage(parts.header)) {
        {
            const MainWindowUpdateLock lock;
            p.picture = m_notFound;
            p.busy = false;
            emit panelPictureChanged(index);
            emit panelChanged(index);
        }
        emit fetchFailed(index, QStringLiteral("Response from %1 is not a picture").arg(p.camHost));
    } else {
        const SnapshotResponse::Change change =
            SnapshotResponse::detectChange(parts.header, p.camLastModified);
        if (change.hasLine) {
            p.txtUpdated = change.updatedText;
            if (change.record) {
                p.camLastModified = change.line;
                p.txtRefreshed = DateTimeText::currentDateTimeText();
            }
        }
        p.camNewPicture = change.isNew;

        const MainWindowUpdateLock lock;
        bool decoded = false;
        // Held until the save step has run, which then finds the decode made.
        std::shared_ptr<const QImage> fullDecode;
        skipOnFailure([&] {
            const Picture picture =
                m_fullDecodeForNew && p.camNewPicture
                    ? Picture::fromBytesInFull(parts.body, m_thumbnailSize, &fullDecode)
                : m_thumbnailsShown ? Picture::fromBytes(parts.body, m_thumbnailSize)
                                    : Picture::fromBytesChecked(parts.body, m_thumbnailSize);
            decoded = !picture.isNull();
            if (decoded) {
                p.picture = picture;
                emit panelPictureChanged(index);
            }
        });
        p.busy = false;
        emit panelChanged(index);
        if (m_selectedCam == index) {
            skipOnFailure([&] {
                if (decoded)
                    emit viewerPictureChanged(index);
            });
            skipOnFailure([&] {
                if (!m_pictureWindowOpen)
                    return;
                emit pictureWindowBusy(false);
                if (decoded)
                    emit pictureWindowPictureChanged(p.picture);
            });
        }
        skipOnFailure([&] { emit pictureArrived(index, p.camNewPicture, decoded); });
    }

    if (m_selectedCam == index)
        emit viewerLabelsChanged(index);
}
