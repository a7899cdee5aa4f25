// library: tessaly_capture
// Any address a user or a camera list can hold: the user information split off
// and decoded, the host and port, and what is shown of it. Whatever is read as
// a password never survives the masking, and shown text has no control bytes.
#include "CameraAddress.h"
#include "DisplayText.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString address = QString::fromUtf8(FuzzSupport::bytes(data, size));
    const QString shown = DisplayText::maskAddress(address);
    const QString escaped = DisplayText::escapeControls(shown);
    for (const QChar c : escaped)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7f &&
                       (c.unicode() < 0x80 || c.unicode() > 0x9f),
                   QString());

    const std::optional<CameraAddress> parsed = CameraAddress::parse(address);
    if (!parsed)
        return 0;
    // No password is ever reported in a failure: only the masked text.
    FUZZ_CHECK(DisplayText::maskAddress(shown) == shown, shown);
    FUZZ_CHECK(parsed->path.startsWith(QLatin1Char('/')), shown);
    FUZZ_CHECK(!parsed->hostText.contains(QLatin1Char('/')) &&
                   !parsed->hostText.contains(QLatin1Char('@')),
               shown);
    FUZZ_CHECK(parsed->port >= 1, shown);
    FUZZ_CHECK(!parsed->requestPath().contains(QLatin1Char(' ')), shown);
    if (!parsed->hasUserInfo)
        return 0;
    // The masked address reads back with "***" where the password was.
    const std::optional<CameraAddress> reread = CameraAddress::parse(shown);
    FUZZ_CHECK(reread.has_value() && reread->hostText == parsed->hostText, shown);
    if (!parsed->password.isEmpty())
        FUZZ_CHECK(reread->password == QLatin1String("***"), shown);
    FUZZ_CHECK(!parsed->fetchUrl().contains('@') ||
                   parsed->requestPath().contains(QLatin1Char('@')),
               shown);
    return 0;
}
