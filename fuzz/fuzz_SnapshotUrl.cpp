// library: tessaly_capture
// Any snapshot address a user or a camera list can hold: the split into host
// and path, the port, and the request built from them.
#include "FuzzSupport.h"
#include "HttpSnapshot.h"
#include "SnapshotUrl.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Both ways a text reaches us: UTF-8 from a file, and any 16-bit units.
    const QByteArray raw = FuzzSupport::bytes(data, size);
    const QString addresses[] = {
        QString::fromUtf8(raw),
        QString(reinterpret_cast<const QChar *>(raw.constData()), raw.size() / 2)};
    for (const QString &address : addresses) {
        const std::optional<SnapshotUrl> url = SnapshotUrl::split(address);
        const QString rest =
            address.startsWith(QLatin1String("http://")) ? address.mid(7) : address;
        FUZZ_CHECK(url.has_value() == rest.contains(QLatin1Char('/')), address);
        if (!url)
            continue;
        FUZZ_CHECK(url->host + url->path == rest, address);
        FUZZ_CHECK(url->path.startsWith(QLatin1Char('/')) && !url->host.contains(QLatin1Char('/')),
                   address);
        FUZZ_CHECK(url->port >= 1, address);
        FUZZ_CHECK(url->port == SnapshotUrl::DefaultPort || url->host.contains(QLatin1Char(':')),
                   address);
        FUZZ_CHECK(url->host.contains(url->connectHost), address);

        QString path = url->path;
        const QByteArray request = HttpSnapshot::requestBytes(url->host, path);
        FUZZ_CHECK(!path.contains(QLatin1Char(' ')), path);
        FUZZ_CHECK(request.startsWith("GET " + path.toUtf8() + " HTTP/1.1\r\nHost: "), path);
        FUZZ_CHECK(request.endsWith("\r\nConnection: close\r\nAccept: */*\r\n\r\n"), path);
        const QString name = HttpSnapshot::displayFileName(path);
        FUZZ_CHECK(path.endsWith(name) && !name.contains(QLatin1Char('/')), name);
    }
    return 0;
}
