// library: tessaly_picture
// Received bytes through the same reader options the panels use: a picture is
// either refused or complete, within the pixel limit, and paints at the sizes
// the panel, the viewer and the picture window ask for. The autosave's full
// decode and the recorder's structure check see the same bytes, and nothing
// becomes a picture that the structure gate refused.
#include "FuzzSupport.h"
#include "JpegStructure.h"
#include "Picture.h"
#include "PictureStructure.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    const JpegStructure::Result structure = JpegStructure::check(bytes);
    FUZZ_CHECK(!structure.complete || !structure.size.isEmpty(), QString());
    FUZZ_CHECK(!structure.complete || structure.scans <= JpegStructure::MaxScans, QString());
    const PictureStructure::Result gate = PictureStructure::check(bytes);
    FUZZ_CHECK(!gate.complete || !gate.size.isEmpty(), QString());
    const Picture checked = Picture::fromBytesChecked(bytes, Picture::panelSize());
    FUZZ_CHECK(checked.isNull() || !checked.size().isEmpty(), QString());

    FUZZ_CHECK(checked.isNull() || gate.complete, QString());
    const Picture picture = Picture::fromBytes(bytes, Picture::panelSize());
    if (picture.isNull())
        return 0;
    FUZZ_CHECK(gate.complete, QStringLiteral("decoded past the structure gate"));
    const QSize natural = picture.size();
    FUZZ_CHECK(!natural.isEmpty(), QString());
    FUZZ_CHECK(qint64(natural.width()) * natural.height() <= Picture::MaxPixels,
               QStringLiteral("%1x%2").arg(natural.width()).arg(natural.height()));
    FUZZ_CHECK(picture.bytes() == bytes, QString());
    FUZZ_CHECK(picture.thumbnail().size() == Picture::panelSize(), QString());
    // The viewer's zoom asks for other sizes; the full decode only where it is
    // small enough to keep the fuzzer fast.
    const QImage zoomed = picture.scaled(QSize(160, 120));
    FUZZ_CHECK(zoomed.isNull() || zoomed.size() == QSize(160, 120), QString());
    if (qint64(natural.width()) * natural.height() <= 4'000'000) {
        const std::shared_ptr<const QImage> full = picture.full();
        FUZZ_CHECK(full && (full->isNull() || full->size() == natural), QString());
        // The decoder a new picture takes on its way to a save.
        std::shared_ptr<const QImage> saved;
        const Picture inFull = Picture::fromBytesInFull(bytes, Picture::panelSize(), &saved);
        FUZZ_CHECK(inFull.isNull() ? !saved : (saved && saved->size() == inFull.size()), QString());
    }
    return 0;
}
