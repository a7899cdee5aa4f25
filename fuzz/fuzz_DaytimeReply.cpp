// library: tessaly_shell
// Whatever a time server (or something pretending to be one) sends back: a
// reply either parses into a valid moment in the supported years, or is
// refused; the label text made from it is never empty.
#include "FuzzSupport.h"
#include "NetworkTime.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply = FuzzSupport::bytes(data, size);
    DaytimeLineComplete(reply);
    const std::optional<QDateTime> when = ParseDaytimeReply(reply);
    if (!when)
        return 0;
    FUZZ_CHECK(when->isValid(), QString::fromLatin1(reply.toHex()));
    FUZZ_CHECK(when->timeSpec() == Qt::UTC, QString::fromLatin1(reply.toHex()));
    const int year = when->date().year();
    FUZZ_CHECK(year >= 1930 && year <= 2029, QString::number(year));
    const QString text = NetworkTimeText(*when);
    FUZZ_CHECK(!text.isEmpty(), QString());
    FUZZ_CHECK(text.contains(QString::number(year)), text);
    return 0;
}
