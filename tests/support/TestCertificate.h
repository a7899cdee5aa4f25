#pragma once

#include <QByteArray>
#include <QString>

// A self-signed EC certificate and key made by the real openssl for a test
// peer (lighttpd, mosquitto), and a free port of 127.0.0.1 for it.
namespace TestCertificate {

struct Made
{
    QString keyFile;
    QString certificateFile;
    QByteArray keyPem;
    QByteArray certificatePem;
    QByteArray sha256; // of the certificate's DER bytes, as peers pin it
    QString error;     // empty when made

    bool ok() const { return error.isEmpty(); }
};

// server.key and server.crt in dir, for commonName, valid two days, with the
// subjectAltName given (e.g. "IP:127.0.0.1").
Made make(const QString &dir, const QString &commonName, const QString &subjectAltName);

// A port of 127.0.0.1 nobody listened on a moment ago.
quint16 freePort();

} // namespace TestCertificate
