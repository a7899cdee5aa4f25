#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "BrokerAddress.h"

struct mosquitto;

// Tells an MQTT broker what the cameras do: this recorder's availability,
// each camera's change, state and saved pictures, and Home Assistant
// discovery configs, under "tessaly/<id>/…" (see EventTopics).
//
// The connection lives on a thread of its own, and every call into
// libmosquitto is made there; capture and the window only ever hand over a
// message into a short queue, without waiting. A broker that is down or refuses the login is told
// once through notice() and once more when it is back, and is retried with a growing delay (1 s
// doubling to 60 s). Nothing piles up meanwhile: while there is no connection, and while MaxQueued
// messages are still unsent, events are dropped and counted; states and discovery are sent afresh
// on every connection, so they are never lost.
//
// Everything takes plain values: camera names as in the list, times, file
// names and JPEG bytes. Call it from the thread it lives on.
class EventsPublisher : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxQueued = 64;
    static constexpr int MaxInflight = 20;
    static constexpr int KeepAliveSeconds = 30;
    static constexpr int MaxRetrySeconds = 60;
    // How long one turn of the connection's loop waits on the socket; a
    // message handed over waits at most this long before it is sent.
    static constexpr int LoopTurnMs = 50;

    struct Options
    {
        BrokerAddress broker;
        QString id; // a valid EventTopics id
        bool thumbnails = false;
        // For an mqtts broker: the SHA-256 of the one certificate it must show
        // (as CertificatePins keeps it). Empty: the system's CA store and the
        // host name decide.
        QByteArray pinnedSha256;
        QString version; // told in the discovery device
    };

    explicit EventsPublisher(QObject *parent = nullptr);
    ~EventsPublisher() override;

    // Starts connecting in the background; false (and error()) only when the
    // library refuses the options, never because the broker is away.
    bool start(const Options &options);
    // Says "offline", disconnects and ends the thread; waits at most ~2 s.
    void stop();

    bool isRunning() const { return m_mosq != nullptr; }
    bool isConnected() const { return m_connected; }
    QString error() const { return m_error; }
    const Options &options() const { return m_options; }
    // Events that could not go out since the start.
    qint64 dropped() const { return m_dropped.load(); }
    // The slug each camera of the list publishes under.
    QString slugOf(const QString &cameraName) const { return m_slugs.value(cameraName); }

public slots:
    // The cameras of this recorder, by list name. Cameras gone from the list
    // have their discovery configs and state cleared on the broker; so do
    // those gone since the last run, remembered in the settings.
    void setCameras(const QStringList &names);
    // Whether the web view serves pictures: adds the image entity.
    void setWebView(bool on);
    // A camera's state: "stale" when it stopped delivering, "ok" again when it
    // delivers. Sent (retained) only when it changes.
    void cameraState(const QString &name, bool stale);
    // A change began (ON) or ended (OFF) on a camera. percent is how much of
    // the picture changed; it is not published yet, the sensor is a switch.
    void changeStarted(const QString &name, int percent);
    void changeEnded(const QString &name);
    // A picture of camera name was saved as fileName at when. url is its
    // address in the web view, empty without one; jpeg is only used for the
    // thumbnail when those are asked for.
    void pictureSaved(const QString &name, const QDateTime &when, const QString &fileName,
                      const QByteArray &jpeg, const QString &url = QString());

signals:
    // One line for the operator (already masked): connected, down, back.
    void notice(const QString &text);
    void connectedChanged(bool connected);

private:
    // A thumbnail is an event whose payload is still the whole JPEG.
    enum class Kind { Event, Thumbnail, State };
    struct Outgoing
    {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
        bool event = false;
        bool makeThumbnail = false;
    };
    void runLoop();
    void sendQueued();
    void onConnack(int code);
    void onDown(const QString &reason);
    bool publish(const QString &topic, const QByteArray &payload, bool retain, Kind kind);
    void publishCamera(const QString &name);
    void clearCamera(const QString &slug, bool alsoState);
    void publishEverything();
    QString brokerText() const { return m_options.broker.display(); }

    Options m_options;
    mosquitto *m_mosq = nullptr;
    QString m_error;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    // Handed over to the connection's thread, not yet given to the library.
    std::deque<Outgoing> m_queue;
    // Given to the library and not yet written (or acknowledged).
    std::atomic<int> m_outstanding{0};
    // Whether the connection's thread has a connection the broker accepted.
    std::atomic<bool> m_linkUp{false};
    std::atomic<qint64> m_dropped{0};
    std::atomic<int> m_lastConnack{-1};
    // Which start() a message from the connection's thread belongs to.
    std::atomic<int> m_run{0};

    bool m_connected = false;
    bool m_everConnected = false;
    bool m_downTold = false;
    qint64 m_droppedWhenDown = 0;
    bool m_webView = false;
    QStringList m_cameras;
    QHash<QString, QString> m_slugs; // list name -> slug
    QHash<QString, bool> m_stale;    // list name -> last state told
    QSet<QString> m_changing;        // cameras with a change under way

    friend struct EventsPublisherCallbacks;
};
