#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real mosquitto broker on a free 127.0.0.1 port, with its own
// configuration: anonymous, or with one user and password, over plain TCP or
// TLS with a certificate made at start by `openssl req`. It can be stopped
// and started again on the same port, as a broker that goes away and comes
// back. Nothing is kept on disk across a restart.
//
// A machine without mosquitto fails the test that needs it: the fixture says
// so and what to install; it never skips.
class MosquittoServer
{
public:
    struct Options
    {
        bool password = false; // only User with password() gets in
        bool tls = false;
    };

    static constexpr const char *User = "recorder";

    MosquittoServer();
    ~MosquittoServer();

    // Starts the broker and waits until it accepts connections. On false,
    // error() tells why in a sentence fit for a test failure. A second start
    // after stop() keeps the port.
    bool start(const Options &options);
    bool start() { return start(Options()); }
    bool restart() { return start(m_options); }
    void stop();
    QString error() const { return m_error; }

    quint16 port() const { return m_port; }
    // "mqtt(s)://[user:password@]127.0.0.1:<port>"
    QString address(const QString &password = QString()) const;
    // The one password the broker takes. Not any real broker's.
    static QString password();
    QByteArray certificateSha256() const { return m_certSha256; }
    // Everything the broker wrote to its log so far.
    QString log();

private:
    bool fail(const QString &why);
    bool makeCertificate();

    QTemporaryDir m_dir;
    QProcess m_process;
    Options m_options;
    quint16 m_port = 0;
    QByteArray m_certSha256;
    QString m_error;
};

// One message as a subscriber saw it.
struct MqttMessage
{
    QString topic;
    bool retained = false; // delivered as a retained message at subscribe time
    QByteArray payload;
};

// mosquitto_sub on every topic of a MosquittoServer, read message by message.
class MqttWatcher
{
public:
    explicit MqttWatcher(const MosquittoServer &server, const QString &topic = QStringLiteral("#"));
    ~MqttWatcher();

    // Waits until the subscription is made (a probe message comes back).
    bool ready();
    // The messages so far, in order of arrival.
    QList<MqttMessage> messages();
    // Those with this topic.
    QList<MqttMessage> on(const QString &topic);
    // Waits until a message on topic with this payload came; any payload when
    // payload is null.
    bool waitFor(const QString &topic, const QByteArray &payload = QByteArray(),
                 int timeoutMs = 20000);

private:
    QProcess m_process;
    QByteArray m_pending;
    QList<MqttMessage> m_messages;
    quint16 m_port = 0;
};
