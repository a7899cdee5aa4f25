#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {
std::unique_ptr<QTemporaryDir> &scratch()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}
} // namespace

namespace FuzzSupport {

void init(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's warnings about broken input would flood the fuzzer's output.
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    static QGuiApplication app(*argc, *argv);
    // Thousands of rewrites a second: keep them off the real disk when we can.
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    scratch() = std::make_unique<QTemporaryDir>(base + QStringLiteral("/tessaly-fuzz-XXXXXX"));
    if (!scratch()->isValid())
        fail("scratch directory", scratch()->errorString());
    qputenv("TESSALY_HOME", scratch()->path().toLocal8Bit());
    qputenv("HOME", scratch()->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (scratch()->path() + QStringLiteral("/config")).toLocal8Bit());
}

QString programDirectory()
{
    return scratch()->path();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("writing a scratch file", path + QStringLiteral(": ") + file.errorString());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz check failed: %s %s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace FuzzSupport
