#include <cmath>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include "Picture.h"
#include "PictureStructure.h"
#include "TestPictures.h"

namespace {

using TestPictures::encode;
using TestPictures::quadrants;

// Colour distance small enough for JPEG's losses, large enough to tell quadrants apart.
bool near(QRgb a, QColor b)
{
    return qAbs(qRed(a) - b.red()) < 40 && qAbs(qGreen(a) - b.green()) < 40 &&
           qAbs(qBlue(a) - b.blue()) < 40;
}

// Rewrites the frame size in a baseline JPEG's SOF0 segment.
QByteArray withFrameSize(QByteArray jpeg, quint16 width, quint16 height)
{
    const qsizetype sof = jpeg.indexOf(QByteArrayView("\xFF\xC0", 2));
    if (sof < 0) {
        ADD_FAILURE() << "no SOF0 marker";
        return jpeg;
    }
    // FF C0, length (2), precision (1), height (2), width (2)
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

} // namespace

TEST(Picture, JpegKeepsItsBytesAndNaturalSizeAndDecodesAtTheSizeAskedFor)
{
    const QByteArray jpeg = encode(quadrants(QSize(640, 480)), "jpeg");
    const Picture picture = Picture::fromBytes(jpeg);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(640, 480));
    EXPECT_EQ(picture.bytes(), jpeg);
    EXPECT_EQ(picture.format(), QByteArray("jpeg"));
    EXPECT_EQ(Picture::panelSize(), QSize(85, 64));

    // The panel thumbnail is stretched to exactly the control's size.
    const QImage thumb = picture.thumbnail();
    ASSERT_EQ(thumb.size(), QSize(85, 64));
    EXPECT_TRUE(near(thumb.pixel(10, 10), Qt::red));
    EXPECT_TRUE(near(thumb.pixel(75, 10), Qt::green));
    EXPECT_TRUE(near(thumb.pixel(10, 55), Qt::blue));
    EXPECT_TRUE(near(thumb.pixel(75, 55), Qt::white));

    const QImage other = picture.thumbnail(QSize(40, 20));
    ASSERT_EQ(other.size(), QSize(40, 20));
    EXPECT_TRUE(near(other.pixel(35, 2), Qt::green));

    const QImage zoomed = picture.scaled(QSize(1280, 960));
    ASSERT_EQ(zoomed.size(), QSize(1280, 960));
    EXPECT_TRUE(near(zoomed.pixel(100, 900), Qt::blue));

    const std::shared_ptr<const QImage> full = picture.full();
    ASSERT_EQ(full->size(), QSize(640, 480));
    EXPECT_TRUE(near(full->pixel(600, 20), Qt::green));
}

TEST(Picture, CopiesAreTheSamePictureAndTheFullDecodeLivesOnlyWhileHeld)
{
    const Picture picture = Picture::fromBytes(encode(quadrants(QSize(320, 240)), "jpeg"));
    ASSERT_FALSE(picture.isNull());
    const Picture copy = picture;
    EXPECT_TRUE(copy.isSameAs(picture));
    EXPECT_TRUE(copy == picture);
    const Picture again = Picture::fromBytes(picture.bytes());
    EXPECT_FALSE(again == picture) << "a second decode of equal bytes is another picture";

    std::shared_ptr<const QImage> first = picture.full();
    std::shared_ptr<const QImage> second = copy.full();
    EXPECT_EQ(first.get(), second.get()) << "decoded once while someone holds it";

    std::weak_ptr<const QImage> watch = first;
    first.reset();
    second.reset();
    EXPECT_TRUE(watch.expired()) << "the picture itself must not keep the full decode alive";
    EXPECT_EQ(picture.full()->size(), QSize(320, 240));
}

TEST(Picture, HeldFullNeverDecodesAndAThumbnailIsMadeFromIt)
{
    const Picture picture = Picture::fromBytesChecked(encode(quadrants(QSize(640, 480)), "jpeg"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.heldFull(), nullptr) << "only checked, nothing decoded";
    EXPECT_TRUE(picture.cachedThumbnail().isNull());

    std::shared_ptr<const QImage> full = picture.full();
    EXPECT_EQ(picture.heldFull().get(), full.get());
    // The panel's copy, from the held pixels, still shows every quadrant where it belongs.
    const QImage thumb = picture.thumbnail(QSize(85, 64));
    ASSERT_EQ(thumb.size(), QSize(85, 64));
    EXPECT_TRUE(near(thumb.pixel(10, 10), Qt::red));
    EXPECT_TRUE(near(thumb.pixel(75, 10), Qt::green));
    EXPECT_TRUE(near(thumb.pixel(10, 55), Qt::blue));
    EXPECT_TRUE(near(thumb.pixel(75, 55), Qt::white));
    EXPECT_EQ(picture.cachedThumbnail(), thumb);

    full.reset();
    EXPECT_EQ(picture.heldFull(), nullptr) << "let go, nothing keeps it";
    EXPECT_EQ(Picture().heldFull(), nullptr);
    const Picture drawn = Picture::fromImage(quadrants(QSize(8, 8)));
    ASSERT_NE(drawn.heldFull(), nullptr) << "a drawn picture always has its pixels";
    EXPECT_EQ(drawn.heldFull()->size(), QSize(8, 8));
}

TEST(Picture, IncompleteOrUndecodableBodiesAreNotPictures)
{
    const QByteArray jpeg = encode(quadrants(QSize(200, 150)), "jpeg");
    const QByteArray png = encode(quadrants(QSize(200, 150)), "png");

    EXPECT_TRUE(Picture::fromBytes(QByteArray()).isNull());
    EXPECT_TRUE(Picture::fromBytes("<html><body>404</body></html>").isNull());
    EXPECT_TRUE(Picture::fromBytes(jpeg.left(jpeg.size() / 2)).isNull())
        << "a torn JPEG would otherwise show grey";
    EXPECT_TRUE(Picture::fromBytes(jpeg.left(jpeg.size() - 2)).isNull())
        << "only the end-of-image marker missing";
    EXPECT_TRUE(Picture::fromBytes(jpeg.left(300)).isNull());
    EXPECT_TRUE(Picture::fromBytes(png.left(png.size() - 20)).isNull());

    // Servers that pad the body after the end marker still deliver a whole picture.
    EXPECT_FALSE(Picture::fromBytes(jpeg + "\r\n").isNull());
    const Picture fromPng = Picture::fromBytes(png);
    ASSERT_FALSE(fromPng.isNull());
    EXPECT_EQ(fromPng.format(), QByteArray("png"));
    EXPECT_TRUE(near(fromPng.thumbnail().pixel(80, 60), Qt::white));
}

TEST(Picture, RefusesPicturesBeyondThePixelLimit)
{
    // A tiny file whose header promises 60000 x 60000 pixels: a decompression bomb.
    const QByteArray jpeg = encode(quadrants(QSize(16, 16)), "jpeg");
    const QByteArray bomb = withFrameSize(jpeg, 60000, 60000);
    EXPECT_TRUE(Picture::fromBytes(bomb).isNull());

    // Inside the limit the same patched file passes the structure check (the
    // decoder then finds its data short): so the size is what refused the first.
    const QByteArray large = withFrameSize(jpeg, 7000, 7000);
    EXPECT_LT(qint64(7000) * 7000, Picture::MaxPixels);
    EXPECT_TRUE(PictureStructure::check(large).complete);
    EXPECT_FALSE(PictureStructure::check(bomb).complete);
    EXPECT_EQ(PictureStructure::check(bomb).size, QSize(60000, 60000));
}

TEST(Picture, AJpegIsJudgedByItsDecoder)
{
    const QByteArray jpeg = encode(quadrants(QSize(200, 150)), "jpeg");
    // Bytes a camera appends after the end marker do not matter, whatever they are.
    for (const QByteArray &tail : {QByteArray("\r\n"), QByteArray("<html>x</html>"),
                                   QByteArray("\xFF\xD8\xFF\xE0garbage", 12)}) {
        const Picture picture = Picture::fromBytes(jpeg + tail);
        ASSERT_FALSE(picture.isNull()) << tail.toHex().toStdString();
        EXPECT_EQ(picture.size(), QSize(200, 150));
        EXPECT_TRUE(near(picture.full()->pixel(150, 110), Qt::white));
    }
    // A body whose data ends before the picture does, though it ends in FF D9:
    // the decoder's premature-end warning refuses it, as it refuses a torn one.
    // The two ways in: at arrival, and decoded in full at arrival.
    const QByteArray middleMissing = jpeg.left(jpeg.size() / 2) + "\xFF\xD9";
    EXPECT_TRUE(Picture::fromBytes(middleMissing).isNull());
    std::shared_ptr<const QImage> full;
    EXPECT_TRUE(Picture::fromBytesInFull(middleMissing, Picture::panelSize(), &full).isNull());
    EXPECT_FALSE(full);
    // A grey picture with its middle missing is refused too, though the image
    // reader decodes it.
    const QByteArray grey =
        encode(quadrants(QSize(200, 150)).convertToFormat(QImage::Format_Grayscale8), "jpeg");
    ASSERT_FALSE(Picture::fromBytes(grey).isNull());
    EXPECT_TRUE(Picture::fromBytes(grey.left(grey.size() / 2) + "\xFF\xD9").isNull());

    // A body the decoder fails on: a Huffman table with more codes than 256.
    QByteArray bogus = jpeg;
    const qsizetype dht = bogus.indexOf("\xFF\xC4");
    ASSERT_GT(dht, 0);
    for (int i = 0; i < 16; ++i)
        bogus[dht + 5 + i] = char(0x40); // 16 lengths x 64 codes
    EXPECT_TRUE(Picture::fromBytes(bogus).isNull());
}

TEST(Picture, DrawnAndNullPictures)
{
    const QImage drawn = quadrants(QSize(60, 40));
    const Picture picture = Picture::fromImage(drawn);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(60, 40));
    EXPECT_TRUE(picture.bytes().isEmpty());
    EXPECT_EQ(*picture.full(), drawn);
    EXPECT_EQ(picture.thumbnail().size(), QSize(85, 64));
    EXPECT_TRUE(near(picture.thumbnail().pixel(80, 60), Qt::white));

    EXPECT_TRUE(Picture::fromImage(QImage()).isNull());
    const Picture blank;
    EXPECT_TRUE(blank.isNull());
    EXPECT_TRUE(blank.size().isEmpty());
    EXPECT_TRUE(blank.thumbnail().isNull());
    ASSERT_NE(blank.full(), nullptr);
    EXPECT_TRUE(blank.full()->isNull());
    EXPECT_TRUE(blank == Picture());
}

TEST(Picture, OwnEncodingIsTakenWithoutDecodingAndKeepsItsThumbnail)
{
    const QImage source = quadrants(QSize(160, 120));
    const QByteArray jpeg = encode(source, "jpeg");
    QImage thumb(QSize(16, 12), QImage::Format_RGB32);
    thumb.fill(Qt::yellow); // deliberately unlike the bytes: it must be the one given

    const Picture saved =
        Picture::fromEncoded(jpeg, QByteArrayLiteral("JPEG"), source.size(), thumb);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.bytes(), jpeg);
    EXPECT_EQ(saved.format(), QByteArrayLiteral("jpeg"));
    EXPECT_EQ(saved.size(), source.size());
    EXPECT_EQ(saved.cachedThumbnail(), thumb);
    EXPECT_EQ(saved.thumbnail(QSize(16, 12)), thumb);

    // The full picture comes from the bytes.
    const auto full = saved.full();
    ASSERT_EQ(full->size(), source.size());
    EXPECT_TRUE(near(full->pixel(20, 20), Qt::red));
    EXPECT_TRUE(near(full->pixel(140, 100), Qt::white));

    // Without a thumbnail one is made from the bytes when first asked.
    const Picture bare = Picture::fromEncoded(jpeg, "jpeg", source.size(), QImage());
    EXPECT_TRUE(bare.cachedThumbnail().isNull());
    const QImage made = bare.thumbnail(QSize(40, 30));
    ASSERT_EQ(made.size(), QSize(40, 30));
    EXPECT_TRUE(near(made.pixel(5, 5), Qt::red));
    EXPECT_EQ(bare.cachedThumbnail(), made);

    EXPECT_TRUE(Picture::fromEncoded(QByteArray(), "jpeg", source.size(), thumb).isNull());
    EXPECT_TRUE(Picture::fromEncoded(jpeg, "jpeg", QSize(), thumb).isNull());
    EXPECT_TRUE(Picture().cachedThumbnail().isNull());
}

TEST(Picture, DecodedInFullSharesThatDecodeAndMakesTheThumbnailFromIt)
{
    const QByteArray jpeg = encode(quadrants(QSize(640, 480)), "jpeg");
    std::shared_ptr<const QImage> full;
    const Picture picture = Picture::fromBytesInFull(jpeg, QSize(85, 64), &full);
    ASSERT_FALSE(picture.isNull());
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), QSize(640, 480));
    EXPECT_EQ(picture.size(), QSize(640, 480));
    EXPECT_EQ(picture.bytes(), jpeg);
    // full() is that very decode while it is held.
    EXPECT_EQ(picture.full().get(), full.get());

    const QImage thumb = picture.cachedThumbnail();
    ASSERT_EQ(thumb.size(), QSize(85, 64));
    EXPECT_TRUE(near(thumb.pixel(10, 10), Qt::red));
    EXPECT_TRUE(near(thumb.pixel(75, 10), Qt::green));
    EXPECT_TRUE(near(thumb.pixel(10, 55), Qt::blue));
    EXPECT_TRUE(near(thumb.pixel(75, 55), Qt::white));

    // Let go, the memory goes; asked again, the bytes decode again.
    const std::weak_ptr<const QImage> watch = full;
    full.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(picture.full()->size(), QSize(640, 480));

    // Refused bytes give nothing and leave no stale decode behind.
    QByteArray torn = jpeg;
    torn.chop(jpeg.size() / 3);
    full = std::make_shared<const QImage>(quadrants(QSize(4, 4)));
    EXPECT_TRUE(Picture::fromBytesInFull(torn, QSize(85, 64), &full).isNull());
    EXPECT_FALSE(full);
    EXPECT_TRUE(Picture::fromBytesInFull("junk", QSize(85, 64), &full).isNull());
    EXPECT_FALSE(full);
    // The holder may be left out.
    EXPECT_FALSE(Picture::fromBytesInFull(jpeg, QSize(85, 64), nullptr).isNull());
}

namespace {

// Smooth gradients with waves and some hard edges: every coefficient and the
// chroma upsampling matter, so a decoder that differs shows in the pixels.
QImage photoLike(int width, int height)
{
    return TestPictures::fromPixels(QSize(width, height), [&](int x, int y) {
        return qRgb((x * 255) / width, ((x / 9 + y / 7) % 2) ? 200 : (y * 255) / height,
                    int(127 + 100 * std::sin(x * 0.3) * std::cos(y * 0.2)));
    });
}

QByteArray turboJpeg(const QImage &image, int subsampling, int flags)
{
    QByteArray bytes;
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    if (handle && tjCompress2(handle, image.constBits(), image.width(), int(image.bytesPerLine()),
                              image.height(), TJPF_BGRX, &jpeg, &size, subsampling, 85, flags) == 0)
        bytes = QByteArray(reinterpret_cast<const char *>(jpeg), qsizetype(size));
    else
        ADD_FAILURE() << "cannot encode the test picture";
    tjFree(jpeg);
    if (handle)
        tjDestroy(handle);
    return bytes;
}

QImage readerDecode(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    return reader.read();
}

} // namespace

// The kinds of JPEG cameras send: every chroma subsampling, progressive,
// Qt's own writer and greyscale.
struct JpegKind
{
    const char *name;
    QByteArray (*make)(const QImage &source);
};

void PrintTo(const JpegKind &kind, std::ostream *out)
{
    *out << kind.name;
}

class PictureJpegKinds : public testing::TestWithParam<JpegKind>
{
};

TEST_P(PictureJpegKinds, FullDecodeGivesTheImageReadersPixels)
{
    // Odd sizes leave partial blocks at the right and bottom edges.
    const QByteArray bytes = GetParam().make(photoLike(101, 67));
    const QImage expected = readerDecode(bytes);
    ASSERT_FALSE(expected.isNull());

    // Decoded in full on arrival, and decoded later when first asked for.
    std::shared_ptr<const QImage> onArrival;
    const Picture arrived = Picture::fromBytesInFull(bytes, Picture::panelSize(), &onArrival);
    ASSERT_TRUE(onArrival);
    EXPECT_EQ(onArrival->format(), expected.format());
    EXPECT_EQ(*onArrival, expected);
    onArrival.reset();
    const Picture later = Picture::fromBytes(bytes);
    EXPECT_EQ(*later.full(), expected);
    EXPECT_EQ(*arrived.full(), expected) << "decoded again once let go";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PictureJpegKinds,
    testing::Values(
        JpegKind{"Sampling420", [](const QImage &s) { return turboJpeg(s, TJSAMP_420, 0); }},
        JpegKind{"Sampling422", [](const QImage &s) { return turboJpeg(s, TJSAMP_422, 0); }},
        JpegKind{"Sampling444", [](const QImage &s) { return turboJpeg(s, TJSAMP_444, 0); }},
        JpegKind{"Progressive",
                 [](const QImage &s) { return turboJpeg(s, TJSAMP_420, TJFLAG_PROGRESSIVE); }},
        JpegKind{"QtWriter", [](const QImage &s) { return encode(s, "jpeg"); }},
        JpegKind{"Grey",
                 [](const QImage &s) {
                     return encode(s.convertToFormat(QImage::Format_Grayscale8), "jpeg");
                 }}),
    [](const testing::TestParamInfo<JpegKind> &info) { return std::string(info.param.name); });
