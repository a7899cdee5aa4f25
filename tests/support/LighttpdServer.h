#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real lighttpd on a free 127.0.0.1 port, with its own configuration,
// document root and (for HTTPS) a certificate made at start by `openssl req`.
// Two protected folders: /basic/ (Basic auth) and /digest/ (Digest, MD5), and
// /digest256/ (Digest, SHA-256), all with the one user this fixture knows.
//
// A machine without lighttpd fails the test that needs it: the fixture says so
// and what to install; it never skips.
class LighttpdServer
{
public:
    struct Options
    {
        bool https = false;
        // The certificate's subjectAltName: "IP:127.0.0.1" matches the address
        // the tests connect to; "DNS:camera.invalid" does not.
        QString subjectAltName = QStringLiteral("IP:127.0.0.1");
        // Lines added to the configuration as they are.
        QString extraConfig;
    };

    static constexpr const char *User = "viewer";
    static constexpr const char *Realm = "cams";
    static constexpr const char *Realm256 = "cams256";

    LighttpdServer();
    ~LighttpdServer();

    // Starts the server and waits until it accepts connections. On false,
    // error() tells why in a sentence fit for a test failure.
    bool start(const Options &options);
    void stop();
    QString error() const { return m_error; }

    quint16 port() const { return m_port; }
    // "http(s)://127.0.0.1:<port>" + path
    QString url(const QString &path) const;
    // Same, with the user and the given password (percent-encoded) in it.
    QString urlWithUser(const QString &path, const QString &password) const;
    // The one password the protected folders accept.
    static QString password();

    // Puts a file below the document root (folders made as needed).
    bool putFile(const QString &relativePath, const QByteArray &bytes);
    // The server certificate (PEM), usable as a CA file, and its SHA-256.
    QString certificateFile() const;
    QByteArray certificateSha256() const { return m_certSha256; }

    // A port nobody listens on right now.
    static quint16 freePort();

private:
    bool fail(const QString &why);
    bool makeCertificate(const QString &subjectAltName);
    bool writeUsers();

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_https = false;
    QByteArray m_certSha256;
    QString m_error;
};
