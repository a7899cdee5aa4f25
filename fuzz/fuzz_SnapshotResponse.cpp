// library: tessaly_capture
// A camera's response as it may arrive: cut into random pieces and fed to the
// accumulation one data event at a time, then split, classified and compared
// with a recorded Last-Modified line. However the bytes are cut, the panel
// must end in the state one single piece would have left it in.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "HttpSnapshot.h"
#include "PanelStatus.h"
#include "SnapshotResponse.h"

namespace {
QString text(const SnapshotFetch &p)
{
    return QStringLiteral("done %1 length %2 received %3 buffer %4")
        .arg(p.headerDone)
        .arg(p.contentLength)
        .arg(p.bytesReceived)
        .arg(p.buffer.size());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString recorded = QString::fromStdString(in.ConsumeRandomLengthString(64));
    const QString path = QString::fromStdString(in.ConsumeRandomLengthString(32));
    const qint32 previousLength = in.ConsumeIntegral<qint32>();
    // The piece sizes come first so that the response keeps the rest.
    std::vector<size_t> pieces;
    const int pieceCount = in.ConsumeIntegralInRange(1, 16);
    for (int i = 0; i < pieceCount; ++i)
        pieces.push_back(in.ConsumeIntegralInRange<size_t>(0, 512));
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray response(rest.data(), qsizetype(rest.size()));

    SnapshotFetch whole;
    whole.path = path;
    whole.contentLength = previousLength;
    HttpSnapshot::receive(whole, response);

    SnapshotFetch cut;
    cut.path = path;
    cut.contentLength = previousLength;
    qsizetype at = 0;
    for (size_t i = 0; at < response.size(); ++i) {
        const qsizetype n = i < pieces.size() ? qsizetype(pieces[i]) : response.size() - at;
        const QByteArray piece = response.mid(at, n);
        at += piece.size();
        const HttpSnapshot::Arrival arrival = HttpSnapshot::receive(cut, piece);
        FUZZ_CHECK(!arrival.overCap, text(cut));
        FUZZ_CHECK(cut.progress >= 0 && cut.progress <= 100, QString::number(cut.progress));
        if (arrival.progressShown)
            FUZZ_CHECK(arrival.statusText.startsWith(QLatin1String("Downloading ")),
                       arrival.statusText);
    }
    FUZZ_CHECK(cut.buffer == response, text(cut));
    FUZZ_CHECK(cut.headerDone == whole.headerDone && cut.contentLength == whole.contentLength &&
                   cut.bytesReceived == whole.bytesReceived,
               text(cut) + QStringLiteral(" / ") + text(whole));

    const qint32 position = HttpSnapshot::headerEndPosition(response);
    FUZZ_CHECK(position >= 0 && position <= HttpSnapshot::HeaderScanLimit, QString());
    if (position > 0)
        FUZZ_CHECK(response.mid(position - 1, 4) == "\r\n\r\n", QString::number(position));
    FUZZ_CHECK(whole.headerDone == (position > 0), text(whole));

    const SnapshotResponse::HeaderAndBody parts = SnapshotResponse::split(response);
    if (response.contains("\r\n\r\n")) {
        FUZZ_CHECK(parts.header + "\r\n\r\n" + parts.body == response, QString());
        FUZZ_CHECK(!parts.header.contains("\r\n\r\n"), QString());
    } else {
        FUZZ_CHECK(parts.header.isEmpty() && parts.body == response, QString());
    }
    SnapshotResponse::isImage(parts.header);

    const SnapshotResponse::Change change = SnapshotResponse::detectChange(parts.header, recorded);
    FUZZ_CHECK(!change.isNew || (change.record && !recorded.isEmpty()), change.line);
    FUZZ_CHECK(!change.record || change.line != recorded, change.line);
    FUZZ_CHECK(change.hasLine || (!change.record && change.line.isEmpty()), change.line);
    FUZZ_CHECK(!change.line.contains(QLatin1String("\r\n")), change.line);
    // A line once recorded is not new the next time it comes.
    if (change.record) {
        const SnapshotResponse::Change again =
            SnapshotResponse::detectChange(parts.header, change.line);
        FUZZ_CHECK(!again.record && !again.isNew, again.line);
    }

    HttpSnapshot::contentLength(QByteArrayView(parts.header), previousLength);
    HttpSnapshot::downloadingText(
        HttpSnapshot::displayFileName(path),
        HttpSnapshot::progressPercent(cut.bytesReceived, cut.contentLength));
    return 0;
}
