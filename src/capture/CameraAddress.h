#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// A camera's snapshot address as a user types it:
// [http:// | https://][user[:password]@]host[:port]/path
//
// Without a scheme the camera speaks plain HTTP. The user information is
// percent-decoded ("p%40ss" is "p@ss") and kept apart from the host, so the
// Host line never carries it. Everything from the first "/" after the host on
// is the path, query and fragment included.
struct CameraAddress
{
    static constexpr quint16 HttpPort = 80;
    static constexpr quint16 HttpsPort = 443;

    bool https = false;
    QString hostText;    // host[:port] as written, without the user information
    QString connectHost; // the name or address alone (no brackets, no port)
    quint16 port = HttpPort;
    bool portValid = true; // false when the text after ":" is not a port number
    QString path;          // from the first "/" on, as written
    bool hasUserInfo = false;
    QString user;     // decoded
    QString password; // decoded; never shown, never printed

    // Nothing when the address has no "/" after the host, or a "?" or "#"
    // comes before that "/".
    static std::optional<CameraAddress> parse(const QString &address);

    // The path as it goes on the request line: every blank becomes "%20".
    QString requestPath() const;
    // The address without its user information, as libcurl is given it.
    QByteArray fetchUrl() const;
    // "host:port", the key certificate pins are stored under.
    QString hostPort() const;
};
