// library: tessaly_capture
// A camera's answer as the exchange hands it over, header and body, judged as
// the engine judges it: a picture or not, and new or a repeat, by Last-Modified,
// then ETag, then the body's hash. The same answer twice is never new the
// second time, whatever its header says.
#include <fuzzer/FuzzedDataProvider.h>

#include "ChangeDetector.h"
#include "DisplayText.h"
#include "FuzzSupport.h"
#include "HttpSnapshot.h"
#include "SnapshotResponse.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString recorded = QString::fromStdString(in.ConsumeRandomLengthString(64));
    const QString path = QString::fromStdString(in.ConsumeRandomLengthString(64));
    const qint32 received = in.ConsumeIntegral<qint32>();
    const qint32 declared = in.ConsumeIntegral<qint32>();
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray response(rest.data(), qsizetype(rest.size()));
    const qsizetype end = response.indexOf("\r\n\r\n");
    const QByteArray header = end < 0 ? response : response.left(end);
    const QByteArray body = end < 0 ? QByteArray() : response.mid(end + 4);

    SnapshotResponse::isImage(header);

    const SnapshotResponse::Change change = SnapshotResponse::detectChange(header, recorded);
    FUZZ_CHECK(!change.isNew || (change.record && !recorded.isEmpty()), change.line);
    FUZZ_CHECK(!change.record || change.line != recorded, change.line);
    FUZZ_CHECK(change.hasLine || (!change.record && change.line.isEmpty()), change.line);
    FUZZ_CHECK(!change.line.contains(QLatin1String("\r\n")), change.line);
    // A line once recorded is not new the next time it comes.
    if (change.record) {
        const SnapshotResponse::Change again = SnapshotResponse::detectChange(header, change.line);
        FUZZ_CHECK(!again.record && !again.isNew, again.line);
    }

    // A run's first answer is never new, and the same answer again is not new
    // either, whichever of Last-Modified, ETag or the hash decides.
    ChangeDetector detector;
    FUZZ_CHECK(!detector.judge(header, body, QString()).isNew, QString());
    const SnapshotResponse::Change first = SnapshotResponse::detectChange(header, QString());
    const QString firstRecord = first.record ? first.line : QString();
    FUZZ_CHECK(!detector.judge(header, body, firstRecord).isNew, firstRecord);
    const QByteArray etag = ChangeDetector::etagOf(header);
    FUZZ_CHECK(etag.trimmed() == etag, QString::fromLatin1(etag));

    // What the status bar would show of this fetch: no control character.
    const QString shown = HttpSnapshot::downloadingText(
        DisplayText::address(HttpSnapshot::displayFileName(path)),
        HttpSnapshot::progressPercent(received, declared == 0 ? 1 : declared));
    for (const QChar c : shown)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7f, shown);
    return 0;
}
