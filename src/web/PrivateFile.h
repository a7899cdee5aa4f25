#pragma once

#include <QByteArray>
#include <QString>

// Files only their owner may read (a private key, the session list): made
// with mode 0600 from the first byte, written through a temporary file that
// is renamed over the old one, so neither a reader in between nor a crash
// sees a readable or half-written file.
namespace PrivateFile {

// The empty text on success, else a sentence naming the file and the reason.
QString write(const QString &path, const QByteArray &bytes);

} // namespace PrivateFile
