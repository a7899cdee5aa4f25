#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

// tessaly --web-password: sets the web view's password. On a terminal it is
// asked twice without echo; otherwise one line is read from standard input,
// so a script can pipe it in. Only its Argon2id hash is stored.
namespace WebPasswordCommand {

struct Io
{
    // One line without its line end, or nothing at the end of the input. On
    // a terminal the prompt is shown first and the typing is not echoed.
    std::function<std::optional<QByteArray>(const QString &prompt)> readLine;
    std::function<void(const QString &text)> tell; // standard error
    bool terminal = false;
};

// Standard input and standard error.
Io consoleIo();

// 0 when the hash is stored, 1 otherwise (said through io.tell).
int run(const Io &io);

} // namespace WebPasswordCommand
