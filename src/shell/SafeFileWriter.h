#pragma once

#include <functional>

#include <QByteArray>
#include <QString>

// Replaces a file's whole content through a temporary file that is renamed over
// the old one, so a crash, a full disk or a refused write never leaves a
// half-written file behind: either the new content is there or the old one.
class SafeFileWriter
{
public:
    // Writes bytes to path. Returns the empty text on success, otherwise a
    // sentence naming the file and the reason; the old file is then untouched.
    static QString write(const QString &path, const QByteArray &bytes,
                         const QString &whatFile = QStringLiteral("file"));

    // Test seam: when the injector answers true for a path, the write stops
    // halfway as if the disk were full. An empty injector restores normal writes.
    using FaultInjector = std::function<bool(const QString &path)>;
    static FaultInjector setFaultInjector(FaultInjector injector);

    // "The <whatFile> "<path>" could not be <action>: <reason>."
    static QString describeFailure(const QString &whatFile, const QString &path,
                                   const QString &action, const QString &reason);
};
