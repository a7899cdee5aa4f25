#pragma once

#include <deque>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include "CameraChangeWatch.h"
#include "CameraHealth.h"
#include "ChangeDetector.h"
#include "PanelStatus.h"
#include "Picture.h"
#include "Result.h"

class CameraEngine;
class QTimer;
struct FetchResult;

// One open camera: its list entry (name, address, refresh), its fetch cycle
// with its socket and one-second timer, the judge that tells a new picture
// from a repeat, its health, and its latest picture. The panel number is only
// where it is shown; the camera is who it is. Cameras are made and ended by
// the engine, which forwards every signal here as its own.
class Camera : public QObject
{
    Q_OBJECT
public:
    Camera(CameraEngine &engine, int panel, const QString &name, const QString &address,
           const QString &refresh);
    ~Camera() override;

    // The first fetch; the engine calls it once everyone can hear the camera.
    void start();
    // Stops the fetch cycle for good and falls silent: the camera is closing.
    void end();

    // The name the camera has in the camera list: who it is, and what its
    // saved pictures are named after.
    QString name() const { return m_status.name; }
    QString address() const { return m_status.address; }
    QString refreshText() const { return m_status.refresh; }
    // The panel the camera is shown in, 0 to 23.
    int panel() const { return m_panel; }

    // What the camera's panel shows, and what its last fetch did.
    const PanelStatus &status() const { return m_status; }
    // The fetch cycle, for diagnostics and tests.
    const SnapshotFetch &fetch() const { return m_fetch; }
    const CameraHealth &health() const { return m_health; }
    // The latest picture that arrived whole; null before the first.
    const Picture &picture() const { return m_status.picture; }
    // No picture for CameraHealth::staleAfterMs of the refresh.
    bool isStale() const;
    // Seconds to the next fetch: the refresh number minus the ticks counted.
    QString nextRefreshLabel() const;

    // The Last-Modified line this camera recorded when it was open before:
    // its next picture is judged against it.
    void setRecordedLastModified(const QString &line) { m_fetch.lastModified = line; }
    // A new list entry; the next fetch uses it.
    void setEntry(const QString &name, const QString &address, const QString &refresh);

    // Change detection of this camera's new pictures, with its own settings
    // (read by its name); off forgets what was learnt.
    void setDetection(bool on);
    bool detecting() const { return m_watch != nullptr; }
    // New settings from the Change Detection dialog; what was learnt is kept.
    void setDetectionOptions(const DetectionOptions &options);
    DetectionOptions detectionOptions() const;
    // A change is going on: judged changed, and not yet the quiet pictures that end it.
    bool inChange() const { return m_watch && m_watch->inChange(); }
    // What the last judged picture told, for the overlay of changed cells.
    const SceneVerdict &lastVerdict() const { return m_lastVerdict; }

    // One second of the countdown: what the camera's timer calls.
    void tick();
    // Fetches at once, dropping a fetch under way; the countdown restarts.
    void refreshNow();
    // Whether the timer really runs (tests drive tick() themselves).
    void setTimerRunning(bool allowed);

    // Called by the engine for the exchange's reports of this camera's fetch.
    void fetchProgress(qint64 bodyBytes, qint64 declared, bool headerEnded);
    void fetchFinished(const FetchResult &result);
    // The id of the exchange's fetch under way, 0 for none.
    quint64 fetchId() const;

signals:
    void statusChanged(Camera *camera);
    void fetchStarted(Camera *camera);
    void ticked(Camera *camera);
    // A picture arrived whole and was decoded as the engine's rule asked;
    // picture() is it. isNew: it differs from the one before.
    void pictureArrived(Camera *camera, const Picture &picture, bool isNew);
    void fetchFailed(Camera *camera, const Failure &failure);
    void healthChanged(Camera *camera, CameraHealth::Change change);
    // Sent after pictureArrived for each new picture judged for change.
    void changeJudged(Camera *camera, const CameraChangeWatch::Outcome &outcome);
    void statusText(const QString &text);

private:
    enum class SocketState { Idle, Receiving, Failed, Completed };

    // A body on its way from the socket to the panel: decoded off the window's
    // thread, then shown, strictly in the order the bodies came.
    struct Arrival
    {
        QByteArray body;
        bool isNew = false;
        // The moment it came: what a picture saved for a change is named after.
        QDateTime arrived;
    };

    void startFetch();
    void closeSocket();
    void failFetch(const Failure &failure);
    void reportFailure(const Failure &failure);
    void pictureArrival(const FetchResult &result);
    void decodeNext();
    void showDecoded(const Picture &picture, const Arrival &arrival, const GreyPicture &grey);
    std::optional<double> refreshNumber() const;

    CameraEngine &m_engine;
    int m_panel = -1;
    PanelStatus m_status;
    SnapshotFetch m_fetch;
    ChangeDetector m_repeats;
    CameraHealth m_health;
    QTimer *m_timer = nullptr;
    bool m_timerAllowed = true;
    quint64 m_fetchId = 0;
    SocketState m_socket = SocketState::Idle;
    // Bodies waiting for their decode; the front one is decoding.
    std::deque<Arrival> m_arrivals;
    bool m_decoding = false;
    std::unique_ptr<CameraChangeWatch> m_watch;
    SceneVerdict m_lastVerdict;
};
