#include "WebPasswordCommand.h"

#include <cstdio>

#include <termios.h>
#include <unistd.h>

#include "Settings.h"
#include "WebPassword.h"

namespace {

std::optional<QByteArray> readStandardInput()
{
    QByteArray line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        if (line.size() <= WebPassword::MaxLength)
            line.append(char(c));
    }
    if (c == EOF && line.isEmpty())
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

WebPasswordCommand::Io WebPasswordCommand::consoleIo()
{
    Io io;
    io.terminal = ::isatty(STDIN_FILENO) == 1;
    io.tell = [](const QString &text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    };
    io.readLine = [terminal = io.terminal](const QString &prompt) -> std::optional<QByteArray> {
        if (!terminal)
            return readStandardInput();
        std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
        std::fflush(stderr);
        termios saved{};
        const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
        if (quiet) {
            termios silent = saved;
            silent.c_lflag &= ~tcflag_t(ECHO);
            silent.c_lflag |= ECHONL;
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
        std::optional<QByteArray> line = readStandardInput();
        if (quiet)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        return line;
    };
    return io;
}

int WebPasswordCommand::run(const Io &io)
{
    std::optional<QByteArray> password =
        io.readLine(QStringLiteral("New password for the web view: "));
    if (!password) {
        io.tell(QStringLiteral("tessaly: no password given; nothing stored"));
        return 1;
    }
    if (io.terminal) {
        std::optional<QByteArray> again = io.readLine(QStringLiteral("The same again: "));
        const bool same = again && *again == *password;
        if (again)
            WebPassword::wipe(*again);
        if (!same) {
            WebPassword::wipe(*password);
            io.tell(QStringLiteral("tessaly: the two passwords differ; nothing stored"));
            return 1;
        }
    }
    const Result<QString> hash = WebPassword::hash(*password);
    WebPassword::wipe(*password);
    if (!hash) {
        io.tell(QStringLiteral("tessaly: ") + hash.errorText() +
                QStringLiteral(" Nothing stored."));
        return 1;
    }
    if (!Settings::setWebPasswordHash(hash.value())) {
        io.tell(QStringLiteral("tessaly: the password could not be stored in the settings"));
        return 1;
    }
    io.tell(QStringLiteral("tessaly: the web view's password is set (only its Argon2id hash is "
                           "stored)"));
    return 0;
}
