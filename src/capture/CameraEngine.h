#pragma once

#include <array>
#include <optional>

#include <QObject>
#include <QString>

#include "CameraPanel.h"
#include "Picture.h"

class QTcpSocket;
class QTimer;

// The capture engine: the 24 camera panels, each with its socket and its
// one-second timer, fetching a snapshot per refresh interval and turning the
// response into the panel's picture. It never touches a widget; windows follow
// its signals and read the panel records.
class CameraEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int PanelCount = 24;
    // Used when a refresh text is not a number in the 32-bit range.
    static constexpr qint32 DefaultRefreshSecs = 30;

    explicit CameraEngine(QObject *parent = nullptr);
    ~CameraEngine() override;

    // Panel records; an index outside 0..23 throws std::out_of_range.
    const CameraPanel &panel(int index) const;
    void setName(int index, const QString &name);
    void setAddress(int index, const QString &address);
    void setRefresh(int index, const QString &refresh);
    void setCaption(int index, const QString &caption);
    void setVisible(int index, bool visible);
    // Puts picture into the panel (the autosave shows the picture as saved).
    void setPanelPicture(int index, const Picture &picture);
    // The hidden panel with the lowest index, or -1 when all 24 are in use.
    int lowestHiddenPanel() const;

    // Main-window values.
    qint16 selectedCam() const { return m_selectedCam; }
    void setSelectedCam(qint16 index); // -1 (none) to 23
    qint16 camsInUse() const { return m_camsInUse; }
    void setCamsInUse(qint16 count); // 0 to 24
    bool pictureWindowOpen() const { return m_pictureWindowOpen; }
    void setPictureWindowOpen(bool open);

    // The picture a panel shows for a response that is not a picture.
    Picture notFoundPicture() const { return m_notFound; }
    void setNotFoundPicture(const Picture &picture);

    // The size panel thumbnails are decoded at (imgCam's size in pixels).
    QSize thumbnailSize() const { return m_thumbnailSize; }
    void setThumbnailSize(const QSize &size);

    // Whether a new picture is decoded once in full on arrival, its thumbnail
    // made from those pixels, and the decode held until pictureArrived has
    // been handled. Worth it only when the full picture is wanted right away
    // (the autosave turns it on); otherwise a thumbnail-size decode is cheaper.
    bool fullDecodeForNewPictures() const { return m_fullDecodeForNew; }
    void setFullDecodeForNewPictures(bool on) { m_fullDecodeForNew = on; }

    // Whether anybody looks at the panels' pictures. A recorder without a
    // window turns it off: an arriving JPEG is then only checked for
    // completeness, not decoded (a new picture to be saved is still decoded
    // in full). On by default.
    bool thumbnailsShown() const { return m_thumbnailsShown; }
    void setThumbnailsShown(bool shown) { m_thumbnailsShown = shown; }

    // Whether the panels' one-second timers really run. Tests switch them off
    // and call tick() themselves. On by default.
    bool realTimersEnabled() const { return m_realTimers; }
    void setRealTimersEnabled(bool enabled);

    // Seconds to the panel's next fetch as lblNextRefresh shows it: the number
    // in txtRefresh minus the ticks counted ("18", "1.5").
    QString nextRefreshLabel(int index) const;

public slots:
    // Starts (or restarts) the panel's fetch and its countdown.
    void StartPanel(int index);
    // One second of the panel's countdown; what its timer calls.
    void tick(int index);
    // Fetches at once; the countdown restarts.
    void refreshNow(int index);
    // Stops and hides the panel.
    void StopPanel(int index);
    // Stops every panel, 0 to 23.
    void stopAll();

signals:
    // Caption, visibility, busy indicator, progress or texts of a panel changed.
    void panelChanged(int index);
    void panelPictureChanged(int index);
    void statusText(const QString &text);
    // The selected camera's seconds to its next fetch (lblNextRefresh).
    void nextRefreshText(const QString &text);
    // The selected camera has a new picture for the viewer.
    void viewerPictureChanged(int index);
    // The selected camera's detail labels should be read again.
    void viewerLabelsChanged(int index);
    // The selected camera was stopped: hide the viewer, nothing is selected.
    void viewerHidden();
    void pictureWindowBusy(bool busy);
    void pictureWindowPictureChanged(const Picture &picture);
    // The selected camera ticked: the network time label should refresh.
    void networkTimeRequested();
    // Emitted inside picture arrival, after the picture is shown, for the
    // autosave and the recorder; a direct connection may call setPanelPicture.
    void pictureArrived(int index, bool isNew, bool decoded);
    // A fetch failed: a socket error, a response over the size cap, a response
    // that is not a picture, an address without a path, or no complete answer
    // by the end of the refresh interval (the tick then starts a new fetch).
    void fetchFailed(int index, const QString &reason);

private:
    enum class FetchState { Idle, Connecting, Receiving, Failed, Completed };

    struct Channel
    {
        QTcpSocket *socket = nullptr;
        QTimer *timer = nullptr;
        FetchState state = FetchState::Idle;
    };

    CameraPanel &panelAt(int index);
    void closeSocket(int index);
    void startPanel(int index);
    void stopPanel(int index);
    void onConnected(int index);
    void onReadyRead(int index);
    void onServerClosed(int index);
    void onSocketError(int index);
    void takeData(int index, const QByteArray &data);
    void failFetch(int index, const QString &reason);
    void pictureArrival(int index);
    std::optional<double> refreshNumber(int index) const;

    std::array<CameraPanel, PanelCount> m_panels;
    std::array<Channel, PanelCount> m_channels;
    qint16 m_selectedCam = 0;
    qint16 m_camsInUse = 0;
    bool m_pictureWindowOpen = false;
    bool m_realTimers = true;
    bool m_fullDecodeForNew = false;
    bool m_thumbnailsShown = true;
    Picture m_notFound;
    QSize m_thumbnailSize = Picture::panelSize();
};
