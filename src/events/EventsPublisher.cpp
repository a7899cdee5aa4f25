#include "EventsPublisher.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include <mosquitto.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <QMetaObject>

#include "DisplayText.h"
#include "EventTopics.h"
#include "Settings.h"
#include "TessalyError.h"

namespace {

const QByteArray kOnline = "online";
const QByteArray kOffline = "offline";

// libmosquitto starts and ends the library once per process, whichever
// publisher comes first; it is safe to call again.
void initLibrary()
{
    static const bool once = [] {
        mosquitto_lib_init();
        std::atexit([] { mosquitto_lib_cleanup(); });
        return true;
    }();
    Q_UNUSED(once);
}

// The pinned certificate decides alone: the one the user trusted passes,
// whatever its issuer or name, and any other fails.
int checkPin(X509_STORE_CTX *store, void *arg)
{
    const auto *pin = static_cast<const QByteArray *>(arg);
    X509 *leaf = X509_STORE_CTX_get0_cert(store);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!leaf || X509_digest(leaf, EVP_sha256(), digest, &length) != 1)
        return 0;
    return length == unsigned(pin->size()) && std::memcmp(digest, pin->constData(), length) == 0
               ? 1
               : 0;
}

QString reasonOf(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

// The library's callbacks, on the connection's thread: they only hand over.
struct EventsPublisherCallbacks
{
    static void connected(mosquitto *, void *self, int code)
    {
        auto *publisher = static_cast<EventsPublisher *>(self);
        publisher->m_lastConnack = code;
        publisher->m_linkUp = code == 0;
        publisher->m_outstanding = 0;
        const int run = publisher->m_run;
        QMetaObject::invokeMethod(
            publisher,
            [publisher, code, run] {
                if (run == publisher->m_run)
                    publisher->onConnack(code);
            },
            Qt::QueuedConnection);
    }
    static void published(mosquitto *, void *self, int)
    {
        auto *publisher = static_cast<EventsPublisher *>(self);
        int now = publisher->m_outstanding.load();
        while (now > 0 && !publisher->m_outstanding.compare_exchange_weak(now, now - 1)) {
        }
    }
};

EventsPublisher::EventsPublisher(QObject *parent)
    : QObject(parent)
{
}

EventsPublisher::~EventsPublisher()
{
    stop();
}

bool EventsPublisher::start(const Options &options)
{
    stop();
    initLibrary();
    m_options = options;
    m_error.clear();
    m_stop = false;
    m_outstanding = 0;
    m_everConnected = false;
    m_downTold = false;
    const auto fail = [this](const QString &why) {
        m_error = QStringLiteral("MQTT events cannot start: %1").arg(why);
        if (m_mosq)
            mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
        return false;
    };
    if (!EventTopics::isValidId(options.id))
        return fail(
            QStringLiteral("'%1' is no valid id").arg(DisplayText::escapeControls(options.id)));
    // A clean session: nothing of an earlier run is replayed by the broker.
    const QByteArray clientId = "tessaly-" + options.id.toUtf8();
    m_mosq = mosquitto_new(clientId.constData(), true, this);
    if (!m_mosq)
        return fail(QStringLiteral("out of memory"));
    // Every call into the library after this is made on the connection's thread.
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(m_mosq, MaxInflight);
    mosquitto_connect_callback_set(m_mosq, &EventsPublisherCallbacks::connected);
    mosquitto_publish_callback_set(m_mosq, &EventsPublisherCallbacks::published);
    const QByteArray will = EventTopics::statusTopic(options.id).toUtf8();
    if (mosquitto_will_set(m_mosq, will.constData(), int(kOffline.size()), kOffline.constData(), 1,
                           true) != MOSQ_ERR_SUCCESS)
        return fail(QStringLiteral("the last will is refused"));
    const BrokerAddress &broker = options.broker;
    if (!broker.user().isEmpty()) {
        const QByteArray user = broker.user().toUtf8();
        const QByteArray password = broker.password().toUtf8();
        if (mosquitto_username_pw_set(
                m_mosq, user.constData(),
                broker.password().isEmpty() ? nullptr : password.constData()) != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("the user name is refused"));
    }
    if (broker.tls()) {
        if (options.pinnedSha256.size() == 32) {
            SSL_CTX *context = SSL_CTX_new(TLS_client_method());
            if (!context)
                return fail(QStringLiteral("no TLS context"));
            SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
            SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
            SSL_CTX_set_cert_verify_callback(context, checkPin, &m_options.pinnedSha256);
            mosquitto_int_option(m_mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
            const int rc = mosquitto_void_option(m_mosq, MOSQ_OPT_SSL_CTX, context);
            SSL_CTX_free(context); // the library holds its own reference
            if (rc != MOSQ_ERR_SUCCESS)
                return fail(QStringLiteral("TLS is not available: ") + reasonOf(rc));
        } else if (mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1) != MOSQ_ERR_SUCCESS) {
            return fail(QStringLiteral("the system's certificates cannot be used"));
        }
    }
    m_thread = std::thread([this] { runLoop(); });
    return true;
}

void EventsPublisher::runLoop()
{
    const QByteArray host = m_options.broker.host().toUtf8();
    const int port = m_options.broker.port();
    int delay = 1;
    while (!m_stop) {
        m_lastConnack = -1;
        // Name look-up and the TCP connect happen here, on this thread; the
        // rest of the handshake in the loop below.
        int rc = mosquitto_connect_async(m_mosq, host.constData(), port, KeepAliveSeconds);
        if (rc == MOSQ_ERR_SUCCESS) {
            std::chrono::steady_clock::time_point stopBy{};
            while (true) {
                sendQueued();
                // After stop() the loop goes on only to send "offline" and
                // the disconnect, which ends it; a broker that takes them
                // too long is left behind.
                if (m_stop && stopBy == std::chrono::steady_clock::time_point{}) {
                    // stop() queues "offline" before it sets m_stop: send it
                    // now if the turn above came too early for it.
                    sendQueued();
                    mosquitto_disconnect(m_mosq);
                    stopBy = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                }
                // Short turns: the queue is looked at between them.
                rc = mosquitto_loop(m_mosq, LoopTurnMs, 1);
                if (rc != MOSQ_ERR_SUCCESS)
                    break;
                if (m_stop && std::chrono::steady_clock::now() > stopBy)
                    break;
            }
        }
        m_linkUp = false;
        if (m_stop)
            break;
        sendQueued(); // drops what came meanwhile
        const int connack = m_lastConnack;
        QString reason;
        if (connack > 0)
            reason = QStringLiteral("it refused the connection (%1)")
                         .arg(QString::fromUtf8(mosquitto_connack_string(connack)));
        else if (rc == MOSQ_ERR_TLS)
            reason = QStringLiteral("its certificate is not trusted (TLS failed)");
        else
            reason = QStringLiteral("it cannot be reached (%1)").arg(reasonOf(rc));
        if (connack == 0)
            delay = 1; // it was up: the first retry comes soon
        const int run = m_run;
        QMetaObject::invokeMethod(
            this,
            [this, reason, run] {
                if (run == m_run)
                    onDown(reason);
            },
            Qt::QueuedConnection);
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stop.load(); });
        delay = std::min(delay * 2, MaxRetrySeconds);
    }
}

void EventsPublisher::sendQueued()
{
    std::deque<Outgoing> batch;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_queue);
    }
    for (Outgoing &message : batch) {
        // Made here rather than on the caller's thread: a decode and an
        // encode are not for the window's.
        if (message.makeThumbnail) {
            message.payload = m_linkUp ? EventTopics::thumbnail(message.payload) : QByteArray();
            if (message.payload.isEmpty()) {
                ++m_dropped;
                continue;
            }
        }
        // Events are moments: a lost one is not sent again later. States and
        // configs go once for sure, and again on every connection.
        const int qos = message.event ? 0 : 1;
        const int rc =
            m_linkUp ? mosquitto_publish(
                           m_mosq, nullptr, message.topic.constData(), int(message.payload.size()),
                           message.payload.isEmpty() ? nullptr : message.payload.constData(), qos,
                           message.retain)
                     : MOSQ_ERR_NO_CONN;
        if (rc == MOSQ_ERR_SUCCESS)
            ++m_outstanding;
        else if (message.event)
            ++m_dropped;
    }
}

void EventsPublisher::stop()
{
    if (!m_mosq)
        return;
    if (m_connected)
        publish(EventTopics::statusTopic(m_options.id), kOffline, true, Kind::State);
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_queue.clear();
    ++m_run; // what the ended thread still posted is dropped
    if (m_connected) {
        m_connected = false;
        emit connectedChanged(false);
    }
}

void EventsPublisher::onConnack(int code)
{
    if (code != 0 || m_stop)
        return; // a refusal is told once the attempt ends
    m_connected = true;
    if (m_downTold)
        emit notice(QStringLiteral("events: the MQTT broker %1 is back; %2 events were dropped "
                                   "while it was away")
                        .arg(brokerText())
                        .arg(m_dropped.load() - m_droppedWhenDown));
    else if (!m_everConnected)
        emit notice(QStringLiteral("events: connected to the MQTT broker %1 as '%2'")
                        .arg(brokerText(), m_options.id));
    m_everConnected = true;
    m_downTold = false;
    publishEverything();
    emit connectedChanged(true);
}

void EventsPublisher::onDown(const QString &reason)
{
    const bool was = m_connected;
    m_connected = false;
    m_changing.clear();
    if (!m_downTold) {
        m_downTold = true;
        m_droppedWhenDown = m_dropped.load();
        emit notice(QStringLiteral("events: the MQTT broker %1 is not available: %2; recording "
                                   "goes on, retrying with growing pauses")
                        .arg(brokerText(), reason));
    }
    if (was)
        emit connectedChanged(false);
}

bool EventsPublisher::publish(const QString &topic, const QByteArray &payload, bool retain,
                              Kind kind)
{
    const bool event = kind != Kind::State;
    {
        std::lock_guard lock(m_mutex);
        // Events wait for nothing: none while the broker is away, and none
        // beyond MaxQueued unsent. States are few and always told afresh on
        // connecting.
        if (m_mosq && m_connected &&
            (!event || qsizetype(m_queue.size()) + m_outstanding < MaxQueued)) {
            m_queue.push_back({topic.toUtf8(), payload, retain, event, kind == Kind::Thumbnail});
            return true;
        }
    }
    if (event)
        ++m_dropped;
    return false;
}

void EventsPublisher::publishCamera(const QString &name)
{
    const QString slug = m_slugs.value(name);
    for (const EventTopics::Discovery &config :
         EventTopics::discovery(m_options.id, name, slug, m_webView, m_options.version))
        publish(config.topic, config.config, true, Kind::State);
    if (!m_webView)
        publish(
            EventTopics::discovery(m_options.id, name, slug, true, m_options.version).last().topic,
            QByteArray(), true, Kind::State);
    if (m_stale.contains(name))
        publish(EventTopics::cameraTopic(m_options.id, slug, QStringLiteral("state")),
                m_stale.value(name) ? "stale" : "ok", true, Kind::State);
}

void EventsPublisher::clearCamera(const QString &entry, bool alsoState)
{
    // entry is "<id>/<slug>": an earlier id's cameras are cleared as well.
    const QString id = entry.section(QLatin1Char('/'), 0, 0);
    const QString slug = entry.section(QLatin1Char('/'), 1);
    for (const EventTopics::Discovery &config :
         EventTopics::discovery(id, QString(), slug, true, QString()))
        publish(config.topic, QByteArray(), true, Kind::State);
    if (alsoState)
        publish(EventTopics::cameraTopic(id, slug, QStringLiteral("state")), QByteArray(), true,
                Kind::State);
}

void EventsPublisher::publishEverything()
{
    publish(EventTopics::statusTopic(m_options.id), kOnline, true, Kind::State);
    QStringList current;
    for (const QString &name : std::as_const(m_cameras)) {
        publishCamera(name);
        current << m_options.id + QLatin1Char('/') + m_slugs.value(name);
    }
    QStringList remembered;
    try {
        remembered = Settings::mqttPublished();
    } catch (const TessalyError &) {
        // Unreadable settings: nothing to clear that we know of.
    }
    for (const QString &entry : std::as_const(remembered)) {
        if (!current.contains(entry))
            clearCamera(entry, true);
    }
    if (remembered != current)
        Settings::setMqttPublished(current);
}

void EventsPublisher::setCameras(const QStringList &names)
{
    const QStringList gone = [&] {
        QStringList out;
        for (const QString &name : std::as_const(m_cameras)) {
            if (!names.contains(name))
                out << m_options.id + QLatin1Char('/') + m_slugs.value(name);
        }
        return out;
    }();
    m_cameras = names;
    m_slugs.clear();
    const QStringList slugs = EventTopics::slugs(names);
    for (qsizetype i = 0; i < names.size(); ++i)
        m_slugs.insert(names.at(i), slugs.at(i));
    for (auto it = m_stale.begin(); it != m_stale.end();) {
        it = names.contains(it.key()) ? std::next(it) : m_stale.erase(it);
    }
    if (!m_connected)
        return; // all of it goes out on the next connection
    for (const QString &entry : gone)
        clearCamera(entry, true);
    publishEverything();
}

void EventsPublisher::setWebView(bool on)
{
    if (m_webView == on)
        return;
    m_webView = on;
    if (m_connected)
        for (const QString &name : std::as_const(m_cameras))
            publishCamera(name);
}

void EventsPublisher::cameraState(const QString &name, bool stale)
{
    if (!m_slugs.contains(name))
        return;
    const auto known = m_stale.constFind(name);
    if (known != m_stale.constEnd() && known.value() == stale)
        return;
    m_stale.insert(name, stale);
    publish(EventTopics::cameraTopic(m_options.id, m_slugs.value(name), QStringLiteral("state")),
            stale ? "stale" : "ok", true, Kind::State);
}

void EventsPublisher::changeStarted(const QString &name, int percent)
{
    Q_UNUSED(percent);
    if (!m_slugs.contains(name) || m_changing.contains(name))
        return;
    if (publish(
            EventTopics::cameraTopic(m_options.id, m_slugs.value(name), QStringLiteral("change")),
            "ON", false, Kind::Event))
        m_changing.insert(name);
}

void EventsPublisher::changeEnded(const QString &name)
{
    // Only a change that was told as begun is told as ended, so a broker that
    // came back meanwhile sees no OFF without its ON.
    if (!m_changing.remove(name))
        return;
    publish(EventTopics::cameraTopic(m_options.id, m_slugs.value(name), QStringLiteral("change")),
            "OFF", false, Kind::Event);
}

void EventsPublisher::pictureSaved(const QString &name, const QDateTime &when,
                                   const QString &fileName, const QByteArray &jpeg,
                                   const QString &url)
{
    if (!m_slugs.contains(name))
        return;
    const QString slug = m_slugs.value(name);
    publish(EventTopics::cameraTopic(m_options.id, slug, QStringLiteral("picture")),
            EventTopics::picturePayload(when, fileName, url), false, Kind::Event);
    if (!m_options.thumbnails || !m_connected)
        return;
    publish(EventTopics::cameraTopic(m_options.id, slug, QStringLiteral("thumbnail")), jpeg, false,
            Kind::Thumbnail);
}
