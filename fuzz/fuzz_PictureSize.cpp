// library: tessaly_capture
// Any size a service file or the picture limits dialog can hold ("500M",
// "20G"), and any file name cam/ can hold: what the picture limits read.
#include <cmath>

#include "FuzzSupport.h"
#include "PictureRetention.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(FuzzSupport::bytes(data, size));
    if (const std::optional<qint64> bytes = PictureRetention::parseSize(text)) {
        FUZZ_CHECK(*bytes >= 0 && *bytes < (qint64(1) << 62), text);
        // What we show must read back as (nearly) what was set: one decimal,
        // rounded, or cut at the very top of the range.
        const QString shown = PictureRetention::sizeText(*bytes);
        const std::optional<qint64> again = PictureRetention::parseSize(shown);
        FUZZ_CHECK(again.has_value(), shown);
        FUZZ_CHECK(std::abs(double(*again - *bytes)) <= double(*bytes) / 10 + 1, shown);
    }
    // A name with a separator is never one of ours: deleting it could leave cam/.
    if (PictureRetention::isOwnPictureName(text))
        FUZZ_CHECK(!text.contains(QLatin1Char('/')) && text.endsWith(QLatin1String(".jpg")), text);
    return 0;
}
