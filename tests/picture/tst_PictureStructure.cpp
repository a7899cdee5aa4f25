#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImageReader>

#include "Picture.h"
#include "PictureStructure.h"
#include "TestEnv.h"
#include "TestPictures.h"

// Every body a camera sends is walked here before any decoder sees it, so each
// check has to hold against bodies built to make a decoder allocate or loop.

using TestPictures::encode;
using TestPictures::quadrants;

namespace {

void putBe32(QByteArray &bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (24 - 8 * i)) & 0xFF);
}

void putLe32(QByteArray &bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

bool complete(const QByteArray &bytes)
{
    return PictureStructure::check(bytes).complete;
}

// Taken whole by the gate, which tells its format and size.
void expectWhole(const QByteArray &bytes, PictureStructure::Format format, const QSize &size)
{
    const PictureStructure::Result whole = PictureStructure::check(bytes);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(whole.format, format);
    EXPECT_EQ(whole.size, size);
}

// Refused by the gate and by every way a body becomes a picture.
void expectRefusedEverywhere(const QByteArray &bytes, const std::string &what)
{
    EXPECT_FALSE(complete(bytes)) << what;
    EXPECT_TRUE(Picture::fromBytes(bytes).isNull()) << what;
    EXPECT_TRUE(Picture::fromBytesChecked(bytes).isNull()) << what;
    std::shared_ptr<const QImage> full;
    EXPECT_TRUE(Picture::fromBytesInFull(bytes, Picture::panelSize(), &full).isNull()) << what;
    EXPECT_FALSE(full) << what;
}

QList<QByteArray> regressionInputs()
{
    QList<QByteArray> inputs;
    const QDir dir(TestEnv::dataFile(QStringLiteral("regressions")));
    for (const QString &name : dir.entryList(QDir::Files))
        inputs.append(TestEnv::readFile(dir.filePath(name)));
    return inputs;
}

} // namespace

TEST(PictureStructure, RegressionInputsAreRefusedAtNoMoreMemoryThanANormalPicture)
{
    const QList<QByteArray> inputs = regressionInputs();
    ASSERT_FALSE(inputs.isEmpty()) << "tests/data/regressions is empty";
    for (qsizetype i = 0; i < inputs.size(); ++i)
        expectRefusedEverywhere(inputs[i], "regression input " + std::to_string(i));

    // Peak memory of each path in a child of its own: a normal camera picture
    // shown and saved, against every regression input through the same paths.
    const QByteArray normal = encode(quadrants(QSize(1280, 720)), "jpeg");
    const auto readAll = [](const QList<QByteArray> &bodies) {
        for (const QByteArray &body : bodies) {
            std::shared_ptr<const QImage> full;
            Picture::fromBytes(body);
            Picture::fromBytesChecked(body);
            Picture::fromBytesInFull(body, Picture::panelSize(), &full);
        }
    };
    const TestPictures::ChildUsage baseline = TestPictures::runInChild([&] { readAll({normal}); });
    const TestPictures::ChildUsage hostile = TestPictures::runInChild([&] { readAll(inputs); });
    ASSERT_TRUE(baseline.ok);
    ASSERT_TRUE(hostile.ok);
    EXPECT_LE(hostile.peakRssKiB, baseline.peakRssKiB)
        << "a refused body must cost no more memory than a 1280x720 picture";
}

TEST(PictureStructure, PngChunksMustFitTheBodyAndTheHeaderMustBeSane)
{
    const QByteArray png = encode(quadrants(QSize(200, 150)), "png");
    expectWhole(png, PictureStructure::Format::Png, QSize(200, 150));
    EXPECT_TRUE(complete(png + QByteArray("\r\n\0", 3))) << "padding after IEND";
    EXPECT_FALSE(complete(png + "<html>")) << "anything else after IEND";
    for (qsizetype cut = 0; cut < png.size(); cut += 5)
        EXPECT_FALSE(complete(png.left(cut))) << "cut at " << cut;

    // The header: signature 8, length 4, "IHDR" 4, then width, height, depth,
    // colour type, compression, filter, interlace.
    constexpr qsizetype Ihdr = 16;
    const auto withHeader = [&](qsizetype offset, quint32 value, bool word) {
        QByteArray bytes = png;
        if (word)
            putBe32(bytes, Ihdr + offset, value);
        else
            bytes[Ihdr + offset] = char(value);
        return bytes;
    };
    EXPECT_FALSE(complete(withHeader(0, 0, true))) << "no width";
    EXPECT_TRUE(complete(withHeader(4, 200000, true))) << "200 x 200000 is 40 MP, inside";
    EXPECT_FALSE(complete(withHeader(4, 300000, true))) << "60 MP is beyond the pixel limit";
    EXPECT_FALSE(complete(withHeader(0, 0x8000'0000u, true))) << "beyond 31 bits";
    EXPECT_FALSE(complete(withHeader(8, 4, false))) << "depth 4 in a colour picture";
    EXPECT_FALSE(complete(withHeader(9, 5, false))) << "no colour type 5";
    EXPECT_FALSE(complete(withHeader(10, 1, false))) << "unknown compression";
    EXPECT_FALSE(complete(withHeader(12, 2, false))) << "unknown interlace";

    // A chunk length that reaches past the body: the forged length that made
    // libpng allocate gigabytes.
    const qsizetype firstData = png.indexOf("IDAT") - 4;
    ASSERT_GT(firstData, 0);
    QByteArray forged = png;
    putBe32(forged, firstData, 0x7000'0000u);
    expectRefusedEverywhere(forged, "forged IDAT length");
    putBe32(forged, firstData, 0xFFFF'FFF0u);
    expectRefusedEverywhere(forged, "IDAT length beyond 31 bits");

    // A chunk that is not IHDR first, a chunk type that is no type, an unknown
    // critical chunk, and a known ancillary one that is fine.
    const QByteArray signature = png.left(8);
    const QByteArray header = png.mid(8, 25);
    const QByteArray rest = png.mid(33);
    const QByteArray text = QByteArray("\0\0\0\x05tEXtab\0cd", 13) + QByteArray(4, '\0');
    const QByteArray critical = QByteArray("\0\0\0\x01QUUX!", 9) + QByteArray(4, '\0');
    const QByteArray badType = QByteArray("\0\0\0\x01t\x10XT!", 9) + QByteArray(4, '\0');
    EXPECT_TRUE(complete(signature + header + text + rest));
    EXPECT_FALSE(Picture::fromBytes(signature + header + text + rest).isNull());
    EXPECT_FALSE(complete(signature + text + header + rest));
    EXPECT_FALSE(complete(signature + header + critical + rest));
    EXPECT_FALSE(complete(signature + header + badType + rest));
    EXPECT_FALSE(complete(signature + header + header + rest)) << "two headers";
}

TEST(PictureStructure, GifBlocksAndTheLogicalScreenMustHold)
{
    const QByteArray gif = TestPictures::gif(QSize(40, 30));
    expectWhole(gif, PictureStructure::Format::Gif, QSize(40, 30));
    // The hand-made GIF is a real one: the decoder shows its quadrants.
    const Picture picture = Picture::fromBytes(gif, QSize(40, 30));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.format(), QByteArray("gif"));
    EXPECT_EQ(QColor(picture.thumbnail(QSize(40, 30)).pixel(35, 25)), QColor(Qt::white));
    EXPECT_EQ(QColor(picture.thumbnail(QSize(40, 30)).pixel(35, 2)), QColor(Qt::green));

    for (qsizetype cut = 0; cut < gif.size(); ++cut)
        EXPECT_FALSE(complete(gif.left(cut))) << "cut at " << cut;
    EXPECT_TRUE(complete(gif + "\r\n"));

    const auto patched = [&](qsizetype at, QByteArrayView bytes) {
        QByteArray copy = gif;
        copy.replace(at, bytes.size(), bytes.toByteArray());
        return copy;
    };
    EXPECT_FALSE(complete(patched(6, QByteArrayView("\0\0", 2)))) << "a screen zero wide";
    EXPECT_FALSE(complete(patched(6, QByteArrayView("\xFF\xFF\xFF\xFF", 4))))
        << "65535 x 65535 is beyond the pixel limit";
    // The image descriptor follows the 13-byte screen and the 12-byte table.
    constexpr qsizetype Descriptor = 25;
    ASSERT_EQ(gif.at(Descriptor), '\x2C');
    EXPECT_FALSE(complete(patched(Descriptor + 5, QByteArrayView("\xFF\xFF\xFF\xFF", 4))))
        << "a frame far past the screen";
    EXPECT_FALSE(complete(patched(Descriptor + 10, QByteArrayView("\x0C", 1))))
        << "an LZW code size no decoder takes";
    EXPECT_FALSE(complete(patched(Descriptor, QByteArrayView("\x2B", 1)))) << "unknown block";
    EXPECT_FALSE(complete(gif.left(Descriptor) + ";")) << "a trailer but no image";
    // The last data sub-block made longer than what is left of the body.
    qsizetype last = Descriptor + 11;
    while (gif.at(last + 1 + uchar(gif.at(last))) != '\0')
        last += 1 + uchar(gif.at(last));
    ASSERT_LT(uchar(gif.at(last)), 255);
    EXPECT_FALSE(complete(patched(last, QByteArrayView("\xFF", 1))));
}

TEST(PictureStructure, BitmapHeadersMustFitTheirPixels)
{
    const QByteArray bmp = encode(quadrants(QSize(30, 20)), "bmp");
    expectWhole(bmp, PictureStructure::Format::Bmp, QSize(30, 20));
    EXPECT_FALSE(Picture::fromBytes(bmp).isNull());

    EXPECT_FALSE(complete(bmp.left(bmp.size() - 1))) << "the last row cut short";
    EXPECT_FALSE(complete(bmp.left(30)));
    const auto with32 = [&](qsizetype at, quint32 value) {
        QByteArray copy = bmp;
        putLe32(copy, at, value);
        return copy;
    };
    EXPECT_FALSE(complete(with32(18, 0))) << "no width";
    EXPECT_FALSE(complete(with32(18, 0x8000'0000u))) << "negative width";
    EXPECT_TRUE(complete(with32(22, quint32(-20)))) << "top-down rows";
    EXPECT_FALSE(complete(with32(22, 100000))) << "more rows than the body holds";
    EXPECT_FALSE(complete(with32(18, 60000))) << "wider than the body holds";
    EXPECT_FALSE(complete(with32(10, quint32(bmp.size())))) << "pixels start past the end";
    EXPECT_FALSE(complete(with32(14, 64))) << "an info header we do not know";
    EXPECT_FALSE(complete(with32(30, 4))) << "a JPEG inside a bitmap";
    EXPECT_FALSE(complete(with32(46, 100000))) << "a colour table beyond 256 entries";
}

TEST(PictureStructure, OnlyTheFourCameraFormatsReachADecoder)
{
    // Formats Qt reads but no camera sends are refused before any reader sees them.
    const QByteArray ppm = encode(quadrants(QSize(8, 8)), "ppm");
    const QByteArray xpm = encode(quadrants(QSize(8, 8)), "xpm");
    for (const QByteArray &other : {ppm, xpm}) {
        QBuffer buffer;
        buffer.setData(other);
        ASSERT_TRUE(QImageReader(&buffer).canRead()) << "Qt reads it";
        EXPECT_EQ(PictureStructure::sniff(other), PictureStructure::Format::Unknown);
        expectRefusedEverywhere(other, "a format no camera sends");
    }
    EXPECT_EQ(PictureStructure::readerFormat(PictureStructure::Format::Jpeg), "jpeg");
    EXPECT_EQ(PictureStructure::sniff(encode(quadrants(QSize(8, 8)), "jpeg")),
              PictureStructure::Format::Jpeg);
    // A PNG signature with a bitmap after it is judged as a PNG, and refused.
    EXPECT_FALSE(
        complete(QByteArray("\x89PNG\r\n\x1A\n", 8) + encode(quadrants(QSize(8, 8)), "bmp")));
}
