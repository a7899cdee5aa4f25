#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include "Camera.h"
#include "CameraChangeWatch.h"
#include "CameraHealth.h"
#include "PanelStatus.h"
#include "Picture.h"
#include "Result.h"

class HttpExchange;

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

// The capture engine: up to 24 open cameras, one Camera object each, shown
// in the panels 0 to 23. It opens and ends cameras, shares one HTTP exchange
// among them, and forwards each camera's signals as its own. Whoever shows or
// saves pictures follows those signals, which carry the camera itself; the
// panel number is only where a camera is shown. Callers ask, like of a
// network access manager: open a camera in the lowest free panel, refresh
// panel 3, stop panel 3.
class CameraEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int PanelCount = 24;
    // Used when a refresh text is not a number in the 32-bit range.
    static constexpr qint32 DefaultRefreshSecs = 30;

    using DecodeRule = std::function<PictureDecode(const Camera &camera, bool isNew)>;
    // Milliseconds on a monotonic timer; health is judged by it.
    using Clock = std::function<qint64()>;

    explicit CameraEngine(QObject *parent = nullptr);
    ~CameraEngine() override;

    // The camera shown in panel index; nullptr for a free panel or an index
    // outside 0..23.
    Camera *camera(int index) const;
    // The open camera with this list name; nullptr when none is.
    Camera *cameraNamed(const QString &name) const;
    // The open cameras, in panel order.
    QList<Camera *> cameras() const;

    // What panel index shows: its camera's status, or that of a free panel.
    const PanelStatus &status(int index) const;

    // Opens a camera in the lowest panel not in use and starts its fetch.
    // Returns the camera, or nullptr when all 24 panels are in use.
    Camera *open(const QString &name, const QString &address, const QString &refresh);
    // The panel open() would take next, or -1 when all 24 are in use.
    int lowestFreePanel() const;
    // How many panels are in use.
    int panelsInUse() const;

    // The picture a panel shows for a response that is not a picture.
    Picture notFoundPicture() const { return m_notFound; }
    void setNotFoundPicture(const Picture &picture);

    // The size panel thumbnails are decoded at (the panel picture's size in pixels).
    QSize thumbnailSize() const { return m_thumbnailSize; }
    void setThumbnailSize(const QSize &size);

    // How each arriving picture is decoded; without a rule, as a thumbnail.
    void setDecodeRule(DecodeRule rule) { m_decodeRule = std::move(rule); }
    PictureDecode decodeFor(const Camera &camera, bool isNew) const;

    // Whether the cameras' one-second timers really run. Tests switch them off
    // and call tick() themselves. On by default.
    bool realTimersEnabled() const { return m_realTimers; }
    void setRealTimersEnabled(bool enabled);

    // The timer health is read by; a monotonic one unless a test puts its own.
    // An empty clock restores the monotonic one.
    void setClock(Clock clock);
    qint64 nowMs() const;

    // The exchange every camera fetches through.
    HttpExchange &exchange() const { return *m_exchange; }

    // Change detection for every camera, open now or later: off, or on with
    // what "save only changes" keeps around a change. Each camera reads its
    // own sensitivity, area and mask from the settings by its name.
    void setDetection(bool on, const ChangeCapture::Options &capture = {});
    bool detection() const { return m_detection; }
    // Judge change on the panel decode, made for hidden panels too (the
    // window); without it, a camera nobody looks at is judged on the smallest
    // decode the DCT gives (the recorder). Off by default.
    void setJudgesPanelDecode(bool on) { m_judgesPanelDecode = on; }
    bool judgesPanelDecode() const { return m_judgesPanelDecode; }
    const ChangeCapture::Options &captureOptions() const { return m_capture; }

    // The local date and time a picture is stamped with when it arrives; the
    // system's unless a test puts its own. An empty source restores the system's.
    using TimeSource = std::function<QDateTime()>;
    void setTimeSource(TimeSource source) { m_timeSource = std::move(source); }
    QDateTime now() const;

public slots:
    // One second of panel index's countdown. Nothing for a free panel.
    void tick(int index);
    // Fetches panel index's camera at once, dropping a fetch under way.
    void refreshNow(int index);
    // Ends the camera of panel index and frees the panel.
    void stop(int index);
    // Stops every panel, 0 to 23.
    void stopAll();

signals:
    // Something of the camera's status changed.
    void statusChanged(Camera *camera);
    // A fetch started; the camera is busy.
    void fetchStarted(Camera *camera);
    // The camera's countdown moved on by one second.
    void ticked(Camera *camera);
    // A picture arrived and was decoded (or checked); camera->picture() is it.
    // isNew: it differs from the one before (Last-Modified, ETag or content).
    void pictureArrived(Camera *camera, const Picture &picture, bool isNew);
    // A fetch failed: a socket error, a response over the size cap, a response
    // that is not a picture, a body that cannot be decoded, an address without
    // a path, or no complete answer by the end of the refresh interval.
    void fetchFailed(Camera *camera, const Failure &failure);
    // The camera started failing, failed for another CameraHealth::RemindEveryMs,
    // or delivered again; camera->health() tells more.
    void healthChanged(Camera *camera, CameraHealth::Change change);
    // A new picture was judged for change; the outcome says whether a change
    // started or ended, the lines telling it, and, when capturing, the pictures
    // "save only changes" keeps.
    void changeJudged(Camera *camera, const CameraChangeWatch::Outcome &outcome);
    // A camera was opened in its panel (its first fetch has started).
    void opened(Camera *camera);
    // Panel index was stopped; wasInUse is false when it was free already.
    // Its camera is gone by now.
    void stopped(int index, bool wasInUse);
    // A line for the status bar: download progress, a refresh that is no number.
    void statusText(const QString &text);

private:
    Camera *cameraOfFetch(quint64 id) const;

    bool m_detection = false;
    bool m_judgesPanelDecode = false;
    ChangeCapture::Options m_capture;
    TimeSource m_timeSource;
    // The open cameras, each knowing its panel; at most PanelCount.
    std::vector<Camera *> m_cameras;
    // The Last-Modified line each camera recorded, by name: never forgotten
    // while the program runs, so a camera opened again tells its first
    // changed picture as new, and another camera never inherits it.
    QHash<QString, QString> m_recordedLastModified;
    HttpExchange *m_exchange = nullptr;
    Clock m_clock;
    bool m_realTimers = true;
    DecodeRule m_decodeRule;
    Picture m_notFound;
    QSize m_thumbnailSize = Picture::panelSize();
};
