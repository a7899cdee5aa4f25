#pragma once

#include <QByteArray>
#include <QString>

// Certificates the user chose to trust, one per camera host and port, in the
// per-user settings ("CertificatePins" section, key "host:port", value the
// SHA-256 fingerprint as "AB:CD:…"). A pinned camera must show exactly that
// certificate; a different one fails, it never replaces the pin by itself.
namespace CertificatePins {

// The pinned SHA-256 (32 bytes) for "host:port", or empty.
QByteArray pinFor(const QString &hostPort);
// Stores the pin; answers whether it reached the disk.
bool trust(const QString &hostPort, const QByteArray &sha256);
// Removes the pin; answers whether the change reached the disk.
bool forget(const QString &hostPort);

} // namespace CertificatePins
