#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "Result.h"

// The web view's TLS certificate and key. Unless the user names their own,
// Tessaly makes a self-signed one with OpenSSL on the first start (ECDSA
// P-256, ten years, named for localhost, 127.0.0.1, this machine and the
// listening address) in the per-user data directory, the key with mode 0600,
// and uses it from then on. The phone cannot check a self-signed certificate
// against anyone, so its SHA-256 fingerprint is told at every start for the
// user to compare with what the browser shows.
class WebCertificate
{
public:
    QByteArray certificatePem;
    QByteArray keyPem;
    QByteArray sha256; // of the certificate's DER bytes
    QString certificatePath;
    QString keyPath;
    bool made = false; // made by this call

    // The default place: <per-user data directory>/web-certificate.pem and web-key.pem.
    static QString defaultCertificatePath();
    static QString defaultKeyPath();

    // The user's own pair when both paths are given, else the default pair,
    // made first when missing. hosts: names and addresses to put into a
    // certificate made now. Fails for a file that cannot be read, a pair that
    // does not belong together, or one that cannot be made.
    static Result<WebCertificate> obtain(const QString &certificatePath, const QString &keyPath,
                                         const QStringList &hosts);

    // Makes a new self-signed pair at the given paths.
    static Result<WebCertificate> make(const QString &certificatePath, const QString &keyPath,
                                       const QStringList &hosts);

    // Reads and checks a pair.
    static Result<WebCertificate> load(const QString &certificatePath, const QString &keyPath);

    // "AB:CD:..." as browsers show it.
    QString fingerprintText() const;
};
