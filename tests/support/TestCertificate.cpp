#include "TestCertificate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TestCertificate::Made TestCertificate::make(const QString &dir, const QString &commonName,
                                            const QString &subjectAltName)
{
    Made made;
    made.keyFile = QDir(dir).filePath(QStringLiteral("server.key"));
    made.certificateFile = QDir(dir).filePath(QStringLiteral("server.crt"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), made.keyFile, QStringLiteral("-out"),
                   made.certificateFile, QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + subjectAltName});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        made.error = QStringLiteral("openssl req could not make a test certificate (is openssl "
                                    "installed? run scripts/install-deps.sh): ") +
                     QString::fromLocal8Bit(openssl.readAllStandardError());
        return made;
    }
    made.keyPem = readAll(made.keyFile);
    made.certificatePem = readAll(made.certificateFile);
    const QByteArray &pem = made.certificatePem;
    const qsizetype begin = pem.indexOf("-----BEGIN CERTIFICATE-----");
    const qsizetype end = pem.indexOf("-----END CERTIFICATE-----");
    if (made.keyPem.isEmpty() || begin < 0 || end < 0) {
        made.error = QStringLiteral("openssl wrote no readable PEM key and certificate");
        return made;
    }
    made.sha256 = QCryptographicHash::hash(
        QByteArray::fromBase64(pem.mid(begin + 27, end - begin - 27).simplified().replace(' ', "")),
        QCryptographicHash::Sha256);
    return made;
}

quint16 TestCertificate::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
