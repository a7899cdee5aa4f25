#include "LighttpdServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include "TestCertificate.h"
#include "WaitUntil.h"

namespace {

QString findLighttpd()
{
    QString found = QStandardPaths::findExecutable(QStringLiteral("lighttpd"));
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            QStringLiteral("lighttpd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

QString moduleDirectory()
{
    for (const char *dir :
         {"/usr/lib/lighttpd", "/usr/lib64/lighttpd", "/usr/local/lib/lighttpd"}) {
        if (QFileInfo::exists(QString::fromLatin1(dir) + QStringLiteral("/mod_auth.so")))
            return QString::fromLatin1(dir);
    }
    return {};
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

QByteArray hexOf(QCryptographicHash::Algorithm algorithm, const QByteArray &text)
{
    return QCryptographicHash::hash(text, algorithm).toHex();
}

} // namespace

LighttpdServer::LighttpdServer() = default;

LighttpdServer::~LighttpdServer()
{
    stop();
}

QString LighttpdServer::password()
{
    // Not any real camera's; still never printed by the tests.
    return QStringLiteral("s3cret:p@ss w%rd");
}

quint16 LighttpdServer::freePort()
{
    return TestCertificate::freePort();
}

bool LighttpdServer::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool LighttpdServer::makeCertificate(const QString &subjectAltName)
{
    const TestCertificate::Made made =
        TestCertificate::make(m_dir.path(), QStringLiteral("Tessaly test camera"), subjectAltName);
    if (!made.ok())
        return fail(made.error);
    // lighttpd wants key and certificate in one file.
    if (!writeText(m_dir.filePath(QStringLiteral("server.pem")), made.certificatePem + made.keyPem))
        return fail(QStringLiteral("server.pem cannot be written"));
    m_certSha256 = made.sha256;
    return true;
}

bool LighttpdServer::writeUsers()
{
    // htdigest lines: user:realm:hex(H(user:realm:password)); lighttpd tells
    // MD5 from SHA-256 by the length of the hex.
    const QByteArray user = User;
    const QByteArray pass = password().toUtf8();
    QByteArray lines;
    lines += user + ':' + Realm + ':' +
             hexOf(QCryptographicHash::Md5, user + ':' + Realm + ':' + pass) + '\n';
    lines += user + ':' + Realm256 + ':' +
             hexOf(QCryptographicHash::Sha256, user + ':' + Realm256 + ':' + pass) + '\n';
    return writeText(m_dir.filePath(QStringLiteral("users.htdigest")), lines);
}

bool LighttpdServer::start(const Options &options)
{
    stop();
    const QString binary = findLighttpd();
    if (binary.isEmpty())
        return fail(QStringLiteral("lighttpd is not installed: these tests need a real lighttpd "
                                   "(Debian packages lighttpd and lighttpd-mod-openssl; run "
                                   "scripts/install-deps.sh)"));
    const QString modules = moduleDirectory();
    if (modules.isEmpty())
        return fail(QStringLiteral("lighttpd's modules (mod_auth.so) are not installed"));
    if (options.https && !QFileInfo::exists(modules + QStringLiteral("/mod_openssl.so")))
        return fail(QStringLiteral("lighttpd-mod-openssl is not installed (run "
                                   "scripts/install-deps.sh)"));
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary directory for lighttpd"));
    m_https = options.https;
    QDir(m_dir.path()).mkpath(QStringLiteral("www/basic"));
    QDir(m_dir.path()).mkpath(QStringLiteral("www/digest"));
    QDir(m_dir.path()).mkpath(QStringLiteral("www/digest256"));
    if (!writeUsers())
        return fail(QStringLiteral("the htdigest user file cannot be written"));
    if (options.https && !makeCertificate(options.subjectAltName))
        return false;

    m_port = freePort();
    const QByteArray dir = m_dir.path().toUtf8();
    QByteArray config;
    config += "server.document-root = \"" + dir + "/www\"\n";
    config += "server.bind = \"127.0.0.1\"\n";
    config += "server.port = " + QByteArray::number(m_port) + "\n";
    config += "server.errorlog = \"" + dir + "/error.log\"\n";
    config += "server.modules = ( \"mod_auth\", \"mod_authn_file\", \"mod_redirect\"";
    if (options.https)
        config += ", \"mod_openssl\"";
    config += " )\n";
    config += "mimetype.assign = ( \".jpg\" => \"image/jpeg\", \".txt\" => \"text/plain\" )\n";
    config += "auth.backend = \"htdigest\"\n";
    config += "auth.backend.htdigest.userfile = \"" + dir + "/users.htdigest\"\n";
    config += "auth.require = (\n"
              "  \"/basic/\" => ( \"method\" => \"basic\", \"realm\" => \"" +
              QByteArray(Realm) +
              "\", \"require\" => \"valid-user\" ),\n"
              "  \"/digest/\" => ( \"method\" => \"digest\", \"realm\" => \"" +
              QByteArray(Realm) +
              "\", \"require\" => \"valid-user\" ),\n"
              "  \"/digest256/\" => ( \"method\" => \"digest\", \"algorithm\" => \"SHA-256\", "
              "\"realm\" => \"" +
              QByteArray(Realm256) + "\", \"require\" => \"valid-user\" )\n)\n";
    if (options.https) {
        config += "ssl.engine = \"enable\"\n";
        config += "ssl.pemfile = \"" + dir + "/server.pem\"\n";
    }
    config += options.extraConfig.toUtf8() + "\n";
    const QString configFile = m_dir.filePath(QStringLiteral("lighttpd.conf"));
    if (!writeText(configFile, config))
        return fail(QStringLiteral("lighttpd.conf cannot be written"));

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(binary, {QStringLiteral("-D"), QStringLiteral("-f"), configFile,
                             QStringLiteral("-m"), modules});
    if (!m_process.waitForStarted(10000))
        return fail(QStringLiteral("lighttpd did not start: ") + m_process.errorString());
    const bool listening = waitUntil(
        [this] {
            if (m_process.state() != QProcess::Running)
                return true;
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            return probe.waitForConnected(200);
        },
        10000);
    if (!listening || m_process.state() != QProcess::Running) {
        QFile log(m_dir.filePath(QStringLiteral("error.log")));
        log.open(QIODevice::ReadOnly);
        const QString why = QString::fromLocal8Bit(m_process.readAll() + log.readAll());
        stop();
        return fail(QStringLiteral("lighttpd did not come up on port %1: %2").arg(m_port).arg(why));
    }
    return true;
}

void LighttpdServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

QString LighttpdServer::url(const QString &path) const
{
    return (m_https ? QStringLiteral("https://") : QStringLiteral("http://")) +
           QStringLiteral("127.0.0.1:%1").arg(m_port) + path;
}

QString LighttpdServer::urlWithUser(const QString &path, const QString &password) const
{
    const QByteArray encoded = QUrl::toPercentEncoding(password);
    return (m_https ? QStringLiteral("https://") : QStringLiteral("http://")) +
           QString::fromLatin1(User) + QLatin1Char(':') + QString::fromLatin1(encoded) +
           QStringLiteral("@127.0.0.1:%1").arg(m_port) + path;
}

bool LighttpdServer::putFile(const QString &relativePath, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("www/") + relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeText(path, bytes);
}

QString LighttpdServer::certificateFile() const
{
    return m_dir.filePath(QStringLiteral("server.crt"));
}
