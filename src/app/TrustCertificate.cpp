#include "TrustCertificate.h"

#include <QEventLoop>
#include <QTextStream>

#include "CameraAddress.h"
#include "CertificatePins.h"
#include "HttpExchange.h"

namespace {

constexpr int ProbeTimeoutMs = 15000;

std::optional<FetchResult> probe(const CameraAddress &address)
{
    HttpExchange exchange;
    FetchRequest request;
    request.address = address;
    request.probeCertificate = true;
    request.timeoutMs = ProbeTimeoutMs;
    std::optional<FetchResult> result;
    QEventLoop loop;
    QObject::connect(&exchange, &HttpExchange::finished,
                     [&](HttpExchange::FetchId, const FetchResult &r) {
                         result = r;
                         loop.quit();
                     });
    exchange.start(request);
    loop.exec();
    return result;
}

} // namespace

int TrustCertificate::run(const QString &hostPort, bool yes, const Io &io)
{
    // "HOST:PORT", "[v6]:PORT", or a host alone for 443. Nothing else: a
    // path or user information here is a mistake.
    const std::optional<CameraAddress> address =
        CameraAddress::parse(QStringLiteral("https://") + hostPort + QLatin1Char('/'));
    if (hostPort.isEmpty() || !address || address->hasUserInfo || !address->portValid ||
        address->path != QLatin1String("/") || address->connectHost.isEmpty()) {
        io.err << "--trust-certificate wants HOST:PORT, for example camera.local:443\n";
        io.err.flush();
        return 2;
    }
    const QString key = address->hostPort();
    const std::optional<FetchResult> result = probe(*address);
    if (!result || !result->ok()) {
        io.err << "No certificate from " << key << ": "
               << (result ? result->text : QStringLiteral("no answer")) << '\n';
        io.err.flush();
        return 1;
    }
    const QByteArray previous = CertificatePins::pinFor(key);
    io.out << "Certificate of " << key << '\n'
           << "  Subject: " << result->certificateSubject << '\n'
           << "  SHA-256: " << result->fingerprintText() << '\n';
    if (previous == result->certificateSha256) {
        io.out << "This certificate is trusted already.\n";
        io.out.flush();
        return 0;
    }
    if (!previous.isEmpty())
        io.out << "It REPLACES the certificate trusted until now: SHA-256 "
               << HttpExchange::fingerprintText(previous) << '\n';
    io.out.flush();

    if (!yes) {
        if (!io.interactive) {
            io.err << "Not asked on a terminal: compare the fingerprint with the camera's and "
                      "add --yes to trust it\n";
            io.err.flush();
            return 1;
        }
        io.out << "Trust this certificate for " << key << "? [y/N] ";
        io.out.flush();
        const QString answer = io.readLine().value_or(QString()).trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes")) {
            io.out << "Not trusted.\n";
            io.out.flush();
            return 1;
        }
    }
    if (!CertificatePins::trust(key, result->certificateSha256)) {
        io.err << "The trusted certificate could not be stored in the user settings\n";
        io.err.flush();
        return 1;
    }
    io.out << "Trusted: " << key << " now has to show exactly this certificate.\n";
    io.out.flush();
    return 0;
}
