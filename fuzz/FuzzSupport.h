#pragma once

#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

// What every fuzz target shares: an application object, a scratch program
// directory (TESSALY_HOME) on a memory file system where there is one, and a
// check that stops the run with a message when a property is broken.
namespace FuzzSupport {

// Creates the application (offscreen) and the program directory once.
void init(int *argc, char ***argv);

// The scratch program directory; its files are the target's to overwrite.
QString programDirectory();

// Replaces a file's content; stops the run when that fails (the scratch
// directory is ours, so a failure is a fault of the harness, not a finding).
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Reports the broken property and aborts, so libFuzzer keeps the input.
[[noreturn]] void fail(const char *what, const QString &detail = {});

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace FuzzSupport

#define FUZZ_CHECK(cond, detail)                                                                   \
    do {                                                                                           \
        if (!(cond))                                                                               \
            FuzzSupport::fail(#cond, detail);                                                      \
    } while (false)
