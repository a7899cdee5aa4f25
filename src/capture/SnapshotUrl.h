#pragma once

#include <optional>

#include <QString>

// A camera's snapshot address split into the host text and the request path.
//
// Only an exact, lower-case "http://" prefix is dropped; no other scheme is
// recognised. Everything before the first "/" is the host text, everything from
// it on (query and fragment included) is the path. A host text ending in ":"
// and a port number from 1 to 65535 is connected on that port; the Host line
// still carries the whole "host:port" text. Any other host text is connected
// on port 80 exactly as written.
struct SnapshotUrl
{
    static constexpr quint16 DefaultPort = 80;

    QString host;        // camHost: the text before the first "/", as written
    QString path;        // camPath: from the first "/" to the end
    QString connectHost; // the name or address to connect to
    quint16 port = DefaultPort;

    // Nothing when the address has no "/" after the host.
    static std::optional<SnapshotUrl> split(const QString &address);
};
