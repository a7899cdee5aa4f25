#include "SafeFileWriter.h"

#include <QDir>
#include <QSaveFile>

namespace {
SafeFileWriter::FaultInjector &installedInjector()
{
    static SafeFileWriter::FaultInjector injector;
    return injector;
}
} // namespace

QString SafeFileWriter::describeFailure(const QString &whatFile, const QString &path,
                                        const QString &action, const QString &reason)
{
    return QStringLiteral("The %1 \"%2\" could not be %3: %4.")
        .arg(whatFile, QDir::toNativeSeparators(path), action, reason);
}

QString SafeFileWriter::write(const QString &path, const QByteArray &bytes, const QString &whatFile)
{
    QSaveFile file(path);
    // Writing straight into the old file would defeat the purpose.
    file.setDirectWriteFallback(false);
    // Unbuffered: a buffered write only fills memory, and a disk that is full
    // shows up at the flush inside commit(), which QSaveFile does not count as
    // a failure: it would rename an empty file over the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return describeFailure(whatFile, path, QStringLiteral("written"), file.errorString());

    const bool interrupted = installedInjector() && installedInjector()(path);
    const QByteArray part = interrupted ? bytes.left(bytes.size() / 2) : bytes;
    if (file.write(part) != part.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return describeFailure(whatFile, path, QStringLiteral("written"), reason);
    }
    if (interrupted) {
        file.cancelWriting();
        return describeFailure(whatFile, path, QStringLiteral("written"),
                               QStringLiteral("No space left on device"));
    }
    if (!file.commit())
        return describeFailure(whatFile, path, QStringLiteral("written"), file.errorString());
    return {};
}

SafeFileWriter::FaultInjector SafeFileWriter::setFaultInjector(FaultInjector injector)
{
    FaultInjector previous = std::move(installedInjector());
    installedInjector() = std::move(injector);
    return previous;
}
