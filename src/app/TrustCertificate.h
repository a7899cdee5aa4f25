#pragma once

#include <functional>
#include <optional>

#include <QString>

class QTextStream;

// `tessaly --trust-certificate HOST:PORT [--yes]`: connects to the camera,
// shows its certificate's SHA-256 fingerprint, asks on a terminal (or takes
// --yes) and stores that certificate as the one trusted for HOST:PORT.
class TrustCertificate
{
public:
    struct Io
    {
        QTextStream &out;
        QTextStream &err;
        // The next line the user types, or nothing at the end of input.
        std::function<std::optional<QString>()> readLine;
        bool interactive = false; // standard input is a terminal
    };

    // Needs a QCoreApplication. Exit codes: 0 trusted (or trusted already),
    // 1 declined or nothing to trust, 2 a wrong HOST:PORT.
    static int run(const QString &hostPort, bool yes, const Io &io);
};
