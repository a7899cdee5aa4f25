#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QObject>
#include <QString>

#include "CameraHealth.h"
#include "ChangeDetector.h"
#include "PanelStatus.h"
#include "Picture.h"
#include "Result.h"

class HttpExchange;
class QTimer;
struct FetchResult;

// How an arriving picture is decoded, decided once per picture by the
// engine's owner (see CameraEngine::setDecodeRule).
enum class PictureDecode {
    // At the panel's thumbnail size; the full picture is decoded when asked for.
    Thumbnail,
    // Once at the natural size, the thumbnail made from those pixels, the
    // decode held while pictureArrived is handled: for a picture about to be
    // saved or shown in full at once.
    Full,
    // Only checked for completeness (a JPEG's structure), decoded when first
    // looked at: for recording that nobody watches.
    StructureOnly,
};

// The capture engine: the 24 camera panels, each with its socket and its
// one-second timer, fetching a snapshot per refresh interval and turning the
// response into the panel's picture. It knows cameras, fetches, pictures and
// failures; whoever shows or saves them follows its signals and reads
// status(). Callers ask, like of a network access manager: open a camera in
// the lowest free panel, refresh one, stop one.
class CameraEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int PanelCount = 24;
    // Used when a refresh text is not a number in the 32-bit range.
    static constexpr qint32 DefaultRefreshSecs = 30;

    using DecodeRule = std::function<PictureDecode(int index, bool isNew)>;
    // Milliseconds on a monotonic timer; health is judged by it.
    using Clock = std::function<qint64()>;

    explicit CameraEngine(QObject *parent = nullptr);
    ~CameraEngine() override;

    // An index outside 0..23 throws std::out_of_range.
    const PanelStatus &status(int index) const;
    const SnapshotFetch &fetch(int index) const;

    // Opens a camera in the lowest panel not in use and starts its fetch.
    // Returns the panel's index, or -1 when all 24 are in use.
    int open(const QString &name, const QString &address, const QString &refresh);
    // The panel open() would take next, or -1 when all 24 are in use.
    int lowestFreePanel() const;
    // How many panels are in use.
    int panelsInUse() const;
    // Changes what panel index fetches from; the next fetch uses it. The
    // caption follows the name.
    void setCamera(int index, const QString &name, const QString &address, const QString &refresh);

    // The picture a panel shows for a response that is not a picture.
    Picture notFoundPicture() const { return m_notFound; }
    void setNotFoundPicture(const Picture &picture);

    // The size panel thumbnails are decoded at (the panel picture's size in pixels).
    QSize thumbnailSize() const { return m_thumbnailSize; }
    void setThumbnailSize(const QSize &size);

    // How each arriving picture is decoded; without a rule, as a thumbnail.
    void setDecodeRule(DecodeRule rule) { m_decodeRule = std::move(rule); }

    // Whether the panels' one-second timers really run. Tests switch them off
    // and call tick() themselves. On by default.
    bool realTimersEnabled() const { return m_realTimers; }
    void setRealTimersEnabled(bool enabled);

    // Whether each open camera delivers: fed by its pictures and failures,
    // started afresh when a camera is opened in the panel.
    const CameraHealth &health(int index) const;
    // No picture for CameraHealth::staleAfterMs of the panel's refresh; false
    // for a free panel.
    bool isStale(int index) const;
    // The timer health is read by; a monotonic one unless a test puts its own.
    // An empty clock restores the monotonic one.
    void setClock(Clock clock);
    qint64 nowMs() const;

    // Seconds to the panel's next fetch: the refresh number minus the ticks
    // counted ("18", "1.5").
    QString nextRefreshLabel(int index) const;

public slots:
    // One second of the panel's countdown; what its timer calls.
    void tick(int index);
    // Fetches at once, dropping a fetch under way; the countdown restarts.
    void refreshNow(int index);
    // A window that decodes pictures itself (the engine only checked it) found
    // that picture, still the panel's latest, does not decode: told as the
    // engine tells a body it refused, so the camera never looks frozen.
    void reportUndecodable(int index, const Picture &picture);
    // Stops the panel and frees it; its picture becomes the blank one.
    void stop(int index);
    // Stops every panel, 0 to 23.
    void stopAll();

signals:
    // Something of status(index) changed.
    void statusChanged(int index);
    // A fetch of panel index started; busy is set.
    void fetchStarted(int index);
    // The panel's countdown moved on by one second.
    void ticked(int index);
    // A picture arrived and was decoded (or checked); status(index).picture
    // is it. isNew: its Last-Modified line changed since the last one recorded.
    void pictureArrived(int index, const Picture &picture, bool isNew);
    // A fetch failed: a socket error, a response over the size cap, a response
    // that is not a picture, a body that cannot be decoded, an address without
    // a path, or no complete answer by the end of the refresh interval (the
    // tick then starts a new fetch).
    void fetchFailed(int index, const Failure &failure);
    // Panel index was stopped; wasInUse is false when it was free already.
    void stopped(int index, bool wasInUse);
    // The camera of panel index started failing, failed for another
    // CameraHealth::RemindEveryMs, or delivered again; health(index) tells more.
    void healthChanged(int index, CameraHealth::Change change);
    // A line for the status bar: download progress, a refresh that is no number.
    void statusText(const QString &text);

private:
    enum class SocketState { Idle, Receiving, Failed, Completed };

    struct Channel
    {
        quint64 fetch = 0; // the exchange's id of the running fetch, 0 for none
        QTimer *timer = nullptr;
        SocketState state = SocketState::Idle;
    };

    void checkIndex(int index) const;
    void closeSocket(int index);
    void startFetch(int index);
    void stopPanel(int index);
    int panelOfFetch(quint64 id) const;
    void onFetchProgress(quint64 id, qint64 bodyBytes, qint64 declared, bool headerEnded);
    void onFetchFinished(quint64 id, const FetchResult &result);
    void failFetch(int index, const Failure &failure);
    void reportFailure(int index, const Failure &failure);
    void pictureArrival(int index, const FetchResult &result);
    Picture decode(int index, const QByteArray &body, std::shared_ptr<const QImage> *full) const;
    std::optional<double> refreshNumber(int index) const;

    std::array<PanelStatus, PanelCount> m_status;
    std::array<SnapshotFetch, PanelCount> m_fetch;
    std::array<Channel, PanelCount> m_channels;
    std::array<ChangeDetector, PanelCount> m_changes;
    HttpExchange *m_exchange = nullptr;
    std::array<CameraHealth, PanelCount> m_health;
    Clock m_clock;
    bool m_realTimers = true;
    DecodeRule m_decodeRule;
    Picture m_notFound;
    QSize m_thumbnailSize = Picture::panelSize();
};
