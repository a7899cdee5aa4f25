#include "MosquittoServer.h"

#include <pwd.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include "TestCertificate.h"
#include "WaitUntil.h"

namespace {

QString findProgram(const QString &name)
{
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

MosquittoServer::MosquittoServer() = default;

MosquittoServer::~MosquittoServer()
{
    stop();
}

QString MosquittoServer::password()
{
    return QStringLiteral("br0ker:p@ss w%rd");
}

bool MosquittoServer::fail(const QString &why)
{
    m_error = why;
    return false;
}

QString MosquittoServer::address(const QString &pass) const
{
    QString userInfo;
    if (!pass.isEmpty())
        userInfo = QStringLiteral("%1:%2@").arg(QString::fromLatin1(User),
                                                QString::fromLatin1(QUrl::toPercentEncoding(pass)));
    return (m_options.tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://")) + userInfo +
           QStringLiteral("127.0.0.1:%1").arg(m_port);
}

bool MosquittoServer::makeCertificate()
{
    if (QFile::exists(m_dir.filePath(QStringLiteral("server.crt"))))
        return true;
    const TestCertificate::Made made = TestCertificate::make(
        m_dir.path(), QStringLiteral("Tessaly test broker"), QStringLiteral("IP:127.0.0.1"));
    if (!made.ok())
        return fail(made.error);
    m_certSha256 = made.sha256;
    return true;
}

bool MosquittoServer::start(const Options &options)
{
    stop();
    const QString binary = findProgram(QStringLiteral("mosquitto"));
    if (binary.isEmpty())
        return fail(QStringLiteral("mosquitto is not installed: these tests need a real broker "
                                   "(Debian packages mosquitto and mosquitto-clients; run "
                                   "scripts/install-deps.sh)"));
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary directory for mosquitto"));
    m_options = options;
    if (m_port == 0)
        m_port = TestCertificate::freePort();
    const QByteArray dir = m_dir.path().toUtf8();
    QByteArray config;
    config += "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
    config += "persistence false\n";
    config += "log_dest stderr\n";
    config += "log_type all\n";
    config += "max_queued_messages 1000\n";
    // Started as root, mosquitto would become the "mosquitto" user, who
    // cannot read this private directory.
    if (const passwd *me = ::getpwuid(::geteuid()))
        config += "user " + QByteArray(me->pw_name) + "\n";
    if (options.password) {
        const QString passwd = findProgram(QStringLiteral("mosquitto_passwd"));
        if (passwd.isEmpty())
            return fail(QStringLiteral("mosquitto_passwd is missing (package mosquitto)"));
        QProcess make;
        make.start(passwd, {QStringLiteral("-c"), QStringLiteral("-b"),
                            m_dir.filePath(QStringLiteral("passwd")), QString::fromLatin1(User),
                            password()});
        if (!make.waitForFinished(10000) || make.exitCode() != 0)
            return fail(QStringLiteral("mosquitto_passwd failed: ") +
                        QString::fromLocal8Bit(make.readAllStandardError()));
        config += "allow_anonymous false\n";
        config += "password_file " + dir + "/passwd\n";
    } else {
        config += "allow_anonymous true\n";
    }
    if (options.tls) {
        if (!makeCertificate())
            return false;
        config += "certfile " + dir + "/server.crt\n";
        config += "keyfile " + dir + "/server.key\n";
    }
    const QString configFile = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    if (!writeText(configFile, config))
        return fail(QStringLiteral("mosquitto.conf cannot be written"));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(binary, {QStringLiteral("-c"), configFile});
    if (!m_process.waitForStarted(10000))
        return fail(QStringLiteral("mosquitto did not start: ") + m_process.errorString());
    const bool listening = waitUntil(
        [this] {
            if (m_process.state() != QProcess::Running)
                return true;
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            return probe.waitForConnected(200);
        },
        10000);
    if (!listening || m_process.state() != QProcess::Running)
        return fail(
            QStringLiteral("mosquitto did not listen on port %1: %2").arg(m_port).arg(log()));
    return true;
}

void MosquittoServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString MosquittoServer::log()
{
    return QString::fromLocal8Bit(m_process.readAll());
}

MqttWatcher::MqttWatcher(const MosquittoServer &server, const QString &topic)
    : m_port(server.port())
{
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                          QStringLiteral("-p"), QString::number(server.port()),
                          QStringLiteral("-t"), topic,
                          QStringLiteral("-t"), QStringLiteral("watcher/probe"),
                          QStringLiteral("-F"), QStringLiteral("%t\t%r\t%x")};
    if (!server.certificateSha256().isEmpty())
        qFatal("MqttWatcher watches plain brokers only");
    // The watcher is the broker's own user where there is one.
    arguments << QStringLiteral("-u") << QString::fromLatin1(MosquittoServer::User)
              << QStringLiteral("-P") << MosquittoServer::password();
    m_process.start(findProgram(QStringLiteral("mosquitto_sub")), arguments);
}

MqttWatcher::~MqttWatcher()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool MqttWatcher::ready()
{
    if (!m_process.waitForStarted(10000))
        return false;
    // Retained probes would replay to later watchers; these are plain.
    return waitUntil(
        [this] {
            QProcess::execute(findProgram(QStringLiteral("mosquitto_pub")),
                              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-u"),
                               QString::fromLatin1(MosquittoServer::User), QStringLiteral("-P"),
                               MosquittoServer::password(), QStringLiteral("-t"),
                               QStringLiteral("watcher/probe"), QStringLiteral("-m"),
                               QStringLiteral("probe")});
            return !on(QStringLiteral("watcher/probe")).isEmpty();
        },
        10000);
}

QList<MqttMessage> MqttWatcher::messages()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QList<QByteArray> fields = m_pending.left(end).split('\t');
        m_pending.remove(0, end + 1);
        if (fields.size() != 3)
            continue;
        m_messages << MqttMessage{QString::fromUtf8(fields.at(0)), fields.at(1) == "1",
                                  QByteArray::fromHex(fields.at(2))};
    }
    return m_messages;
}

QList<MqttMessage> MqttWatcher::on(const QString &topic)
{
    QList<MqttMessage> out;
    for (const MqttMessage &message : messages()) {
        if (message.topic == topic)
            out << message;
    }
    return out;
}

bool MqttWatcher::waitFor(const QString &topic, const QByteArray &payload, int timeoutMs)
{
    return waitUntil(
        [&] {
            for (const MqttMessage &message : on(topic)) {
                if (payload.isNull() || message.payload == payload)
                    return true;
            }
            return false;
        },
        timeoutMs);
}
