#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include "DibSection.h"
#include "MessageBoxes.h"
#include "ScopedHooks.h"
#include "TessalyError.h"
#include "TestPictures.h"

namespace {

struct Bgr
{
    int b, g, r;
    bool operator==(const Bgr &) const = default;
};

// Pixel (x, y) with y counted from the bottom, as the bytes lie in memory.
Bgr memoryPixel(const DibSection &dib, int x, int y)
{
    const uchar *p = dib.DIBSectionBitsPtr() + y * dib.BytesPerScanLine() + x * 3;
    return {p[0], p[1], p[2]};
}

void setMemoryPixel(DibSection &dib, int x, int y, Bgr c)
{
    uchar *p = dib.DIBSectionBitsPtr() + y * dib.BytesPerScanLine() + x * 3;
    p[0] = uchar(c.b);
    p[1] = uchar(c.g);
    p[2] = uchar(c.r);
}

// A picture where every pixel differs: red from x, green from y, blue mixed.
QImage distinctPicture(int width, int height)
{
    return TestPictures::fromPixels(QSize(width, height), [](int x, int y) {
        return qRgb(10 + x * 20, 30 + y * 40, (x * 7 + y * 13) % 256);
    });
}

DibSection dibOf(const QImage &image)
{
    DibSection dib;
    dib.CreateFromPicture(image);
    return dib;
}

void expectRangeError(const std::function<void()> &call)
{
    try {
        call();
        ADD_FAILURE() << "no range error raised";
    } catch (const TessalyError &error) {
        EXPECT_EQ(error.number(), 9);
        EXPECT_EQ(error.description(), QStringLiteral("Subscript out of range"));
    }
}

} // namespace

TEST(DibSection, RowLengthIsLargestMultipleOfFourWithinWidthTimesThreePlusThree)
{
    const int expected[] = {4, 8, 12, 12, 16};
    for (int width = 1; width <= 5; ++width) {
        DibSection dib;
        ASSERT_TRUE(dib.Create(width, 2));
        EXPECT_EQ(dib.BytesPerScanLine(), expected[width - 1]) << "width " << width;
        EXPECT_EQ(DibSection::BytesPerScanLineFor(width), expected[width - 1]);
    }
    // The last width whose sum still fits 32 bits, and the first that does not.
    EXPECT_EQ(DibSection::BytesPerScanLineFor(715827881), 2147483644);
    try {
        DibSection::BytesPerScanLineFor(715827882);
        ADD_FAILURE() << "no overflow raised";
    } catch (const TessalyError &error) {
        EXPECT_EQ(error.number(), 6);
        EXPECT_EQ(error.description(), QStringLiteral("Overflow"));
    }
    DibSection huge;
    EXPECT_THROW(huge.Create(800000000, 1), TessalyError);
    EXPECT_TRUE(huge.isEmpty());
}

TEST(DibSection, CreateAndClearUpLeaveTheObjectEitherFullOrEmpty)
{
    DibSection dib;
    dib.ClearUp();
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.BytesPerScanLine(), 0);

    ASSERT_TRUE(dib.Create(3, 2));
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    for (int i = 0; i < dib.BytesPerScanLine() * 2; ++i)
        ASSERT_EQ(dib.DIBSectionBitsPtr()[i], 0) << "a new bitmap is black";

    // A refused size releases the old content too.
    EXPECT_FALSE(dib.Create(0, 5));
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_FALSE(dib.Create(4, -1));
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);

    // A picture without pixels reads as 0 x 0 and leaves the object empty.
    ASSERT_TRUE(dib.Create(2, 2));
    dib.CreateFromPicture(QImage());
    EXPECT_TRUE(dib.isEmpty());

    DibSection moved(dibOf(distinctPicture(2, 2)));
    EXPECT_EQ(moved.Width(), 2);
    DibSection target;
    target = std::move(moved);
    EXPECT_TRUE(moved.isEmpty());
    EXPECT_EQ(memoryPixel(target, 1, 1), (Bgr{7, 30, 30}));
}

// The pixel formats pictures reach us in.
class DibSectionFormats : public testing::TestWithParam<QImage::Format>
{
};

TEST_P(DibSectionFormats, PictureBecomesBottomUpBgrRows)
{
    const QImage picture = distinctPicture(5, 3);
    const QImage source = picture.convertToFormat(GetParam());
    DibSection dib;
    dib.CreateFromPicture(source);
    ASSERT_EQ(dib.Width(), 5);
    ASSERT_EQ(dib.Height(), 3);
    ASSERT_EQ(dib.BytesPerScanLine(), 16);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const QRgb c = source.pixel(x, 2 - y);
            EXPECT_EQ(memoryPixel(dib, x, y), (Bgr{qBlue(c), qGreen(c), qRed(c)}))
                << "at " << x << "," << y;
        }
        EXPECT_EQ(dib.DIBSectionBitsPtr()[y * 16 + 15], 0) << "row padding is not written";
    }
    EXPECT_EQ(dib.toImage(), picture);
}

INSTANTIATE_TEST_SUITE_P(Formats, DibSectionFormats,
                         testing::Values(QImage::Format_RGB32, QImage::Format_ARGB32,
                                         QImage::Format_RGB888, QImage::Format_BGR888,
                                         QImage::Format_Indexed8),
                         [](const testing::TestParamInfo<QImage::Format> &info) {
                             switch (info.param) {
                             case QImage::Format_RGB32:
                                 return std::string("RGB32");
                             case QImage::Format_ARGB32:
                                 return std::string("ARGB32");
                             case QImage::Format_RGB888:
                                 return std::string("RGB888");
                             case QImage::Format_BGR888:
                                 return std::string("BGR888");
                             case QImage::Format_Indexed8:
                                 return std::string("Indexed8");
                             default:
                                 return "Format" + std::to_string(int(info.param));
                             }
                         });

TEST(DibSection, GrayscalePictureGivesEqualBytesInAllThreeChannels)
{
    DibSection gray = dibOf(distinctPicture(5, 3).convertToFormat(QImage::Format_Grayscale8));
    const Bgr p = memoryPixel(gray, 2, 1);
    EXPECT_TRUE(p.b == p.g && p.g == p.r);
}

TEST(DibSection, LoadPictureBltCopiesARectangleToTheOrigin)
{
    const QImage source = distinctPicture(4, 4);
    DibSection dib;
    ASSERT_TRUE(dib.Create(3, 2));
    // Negative sizes stand for the bitmap's own 3 x 2.
    dib.LoadPictureBlt(source, 1, 2, -1, -1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dib.toImage().pixel(x, y), source.pixel(x + 1, y + 2));

    // A rectangle reaching past the source copies what exists and leaves the rest.
    ASSERT_TRUE(dib.Create(3, 2));
    setMemoryPixel(dib, 2, 1, {1, 2, 3});
    dib.LoadPictureBlt(source, 2, 0, 5, 1);
    const QImage result = dib.toImage();
    EXPECT_EQ(result.pixel(0, 0), source.pixel(2, 0));
    EXPECT_EQ(result.pixel(1, 0), source.pixel(3, 0));
    EXPECT_EQ(memoryPixel(dib, 2, 1), (Bgr{1, 2, 3}));
    EXPECT_EQ(memoryPixel(dib, 0, 0), (Bgr{0, 0, 0}));

    // Another raster operation combines with what is there.
    DibSection xored = dibOf(source);
    xored.LoadPictureBlt(source, 0, 0, -1, -1, QPainter::RasterOp_SourceXorDestination);
    EXPECT_EQ(memoryPixel(xored, 3, 3), (Bgr{0, 0, 0}));
}

TEST(DibSection, PaintPictureDrawsUprightAtTheTarget)
{
    const QImage picture = distinctPicture(4, 3);
    const DibSection dib = dibOf(picture);
    QImage canvas(10, 10, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        dib.PaintPicture(&painter, 5, 6, 2, 2, 1, 1);
    }
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 5 && x < 7 && y >= 6 && y < 8;
            const QRgb expected = inside ? picture.pixel(x - 4, y - 5) : qRgb(255, 255, 255);
            EXPECT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
        }
    }
    QImage whole(4, 3, QImage::Format_RGB32);
    {
        QPainter painter(&whole);
        dib.PaintPicture(&painter);
    }
    EXPECT_EQ(whole, picture);
}

TEST(DibSection, CopyToClipboardPutsTheImageOrRefusesAsDib)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    std::vector<MessageBoxes::Request> asked;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &request) {
        asked.push_back(request);
        return MessageBoxes::Ok;
    });
    DibSection dib = dibOf(distinctPicture(6, 4));

    EXPECT_FALSE(dib.CopyToClipboard(true));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, QStringLiteral("I don't know how to put a DIB on the clipboard! "
                                            "Copy as bitmap instead!!!"));
    EXPECT_EQ(asked[0].buttons, MessageBoxes::Ok);
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));

    EXPECT_TRUE(dib.CopyToClipboard(false));
    EXPECT_EQ(clipboard->image().convertToFormat(QImage::Format_RGB32), distinctPicture(6, 4));

    DibSection empty;
    EXPECT_FALSE(empty.CopyToClipboard(false));
    EXPECT_EQ(asked.size(), 1u);
}

TEST(DibSection, RandomiseBitsVisitsInItsOrderAndRoundsTiesToEven)
{
    DibSection dib;
    ASSERT_TRUE(dib.Create(2, 3));
    // Sentinels in the row padding: no operation may write there.
    for (int y = 0; y < 3; ++y)
        for (int x = 6; x < 8; ++x)
            dib.DIBSectionBitsPtr()[y * 8 + x] = 0xAB;

    // Colour: column by column from the bottom, green then red; blue stays 0.
    float next = 0.0f;
    dib.RandomiseBits(false, [&next] {
        const float r = next;
        next += 1.0f / 16.0f;
        return r;
    });
    for (int x = 0; x < 2; ++x) {
        for (int y = 0; y < 3; ++y) {
            const int draw = (x * 3 + y) * 2;
            EXPECT_EQ(memoryPixel(dib, x, y).b, 0);
            EXPECT_EQ(memoryPixel(dib, x, y).g, int(std::nearbyint(draw / 16.0f * 255.0f)));
            EXPECT_EQ(memoryPixel(dib, x, y).r, int(std::nearbyint((draw + 1) / 16.0f * 255.0f)));
        }
    }

    // Gray: row by row from the bottom, left to right, one draw per pixel.
    // 0.5 * 255 = 127.5 lies between two integers and goes to the even 128.
    std::vector<float> draws = {0.5f, 0.0f, 0.25f, 0.75f, 0.999f, 0.1f};
    size_t taken = 0;
    dib.RandomiseBits(true, [&] { return draws[taken++]; });
    EXPECT_EQ(taken, 6u);
    EXPECT_EQ(memoryPixel(dib, 0, 0), (Bgr{128, 128, 128}));
    EXPECT_EQ(memoryPixel(dib, 1, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(memoryPixel(dib, 0, 1), (Bgr{64, 64, 64}));
    EXPECT_EQ(memoryPixel(dib, 1, 1), (Bgr{191, 191, 191}));
    EXPECT_EQ(memoryPixel(dib, 0, 2), (Bgr{255, 255, 255}));

    // The clock-seeded form: still no blue in colour mode, and gray really gray.
    DibSection big;
    ASSERT_TRUE(big.Create(37, 11));
    big.RandomiseBits(false);
    int distinctGreens = 0;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 37; ++x) {
            EXPECT_EQ(memoryPixel(big, x, y).b, 0);
            distinctGreens += memoryPixel(big, x, y).g != memoryPixel(big, 0, 0).g;
        }
    EXPECT_GT(distinctGreens, 0);
    big.RandomiseBits(true);
    const Bgr p = memoryPixel(big, 36, 10);
    EXPECT_TRUE(p.b == p.g && p.g == p.r);

    for (int y = 0; y < 3; ++y)
        for (int x = 6; x < 8; ++x)
            EXPECT_EQ(dib.DIBSectionBitsPtr()[y * 8 + x], 0xAB);
}

TEST(DibSection, ResampleToTheSameSizeCopiesAndToTheSwappedSizeResamples)
{
    DibSection dib;
    ASSERT_TRUE(dib.Create(3, 2));
    dib.RandomiseBits(false);
    const auto copy = dib.Resample(2, 3);
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->Width(), 3);
    ASSERT_EQ(copy->Height(), 2);
    EXPECT_EQ(std::memcmp(copy->DIBSectionBitsPtr(), dib.DIBSectionBitsPtr(), 2 * 12), 0);

    // Height first: (3, 2) is 2 wide and 3 high. Bottom row black, top row
    // white; yScale = 1/3, so the middle row sits a third of the way up.
    DibSection bands;
    ASSERT_TRUE(bands.Create(3, 2));
    for (int x = 0; x < 3; ++x)
        setMemoryPixel(bands, x, 1, {255, 255, 255});
    const auto swapped = bands.Resample(3, 2);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(swapped->Width(), 2);
    EXPECT_EQ(swapped->Height(), 3);
    EXPECT_EQ(memoryPixel(*swapped, 1, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(memoryPixel(*swapped, 1, 1), (Bgr{85, 85, 85}));
    EXPECT_EQ(memoryPixel(*swapped, 0, 2), (Bgr{170, 170, 170}));

    EXPECT_EQ(dib.Resample(0, 3), nullptr);
    EXPECT_EQ(dib.Resample(2, -1), nullptr);
}

TEST(DibSection, ResampleThreeByThreeToTwoByTwoPicksFourSourcePixels)
{
    DibSection dib = dibOf(distinctPicture(3, 3));
    const auto small = dib.Resample(2, 2);
    ASSERT_TRUE(small);
    // Scale (3 - 1) / 2 = 1 with no fraction: memory positions (0..1, 0..1).
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(memoryPixel(*small, x, y), memoryPixel(dib, x, y)) << x << "," << y;
}

TEST(DibSection, ResampleBlendsHalfwayToTheEvenNeighbour)
{
    // Vertical: 3 x 2 to 2 x 2 gives yScale 1/2, so target row 1 is halfway.
    DibSection rows;
    ASSERT_TRUE(rows.Create(3, 2));
    setMemoryPixel(rows, 0, 0, {127, 126, 0});
    setMemoryPixel(rows, 0, 1, {128, 127, 1});
    const auto vertical = rows.Resample(2, 2);
    ASSERT_TRUE(vertical);
    EXPECT_EQ(memoryPixel(*vertical, 0, 1), (Bgr{128, 126, 0})) << "127.5, 126.5 and 0.5";

    // Horizontal: 2 x 3 to 2 x 2 gives xScale 1/2, so target column 1 is halfway.
    DibSection columns;
    ASSERT_TRUE(columns.Create(2, 3));
    setMemoryPixel(columns, 0, 0, {127, 126, 2});
    setMemoryPixel(columns, 1, 0, {128, 127, 3});
    const auto horizontal = columns.Resample(2, 2);
    ASSERT_TRUE(horizontal);
    EXPECT_EQ(memoryPixel(*horizontal, 1, 0), (Bgr{128, 126, 2})) << "127.5, 126.5 and 2.5";
    EXPECT_EQ(memoryPixel(*horizontal, 0, 0), (Bgr{127, 126, 2}));
}

TEST(DibSection, ResampleOfOnePixelWideOrHighSourceRaisesRangeError)
{
    DibSection column;
    ASSERT_TRUE(column.Create(1, 5));
    expectRangeError([&] { (void)column.Resample(3, 2); });
    expectRangeError([&] { (void)column.Resample(5, 2); });
    DibSection row;
    ASSERT_TRUE(row.Create(5, 1));
    expectRangeError([&] { (void)row.Resample(2, 3); });
    // The same size is a copy and reads nothing out of range.
    EXPECT_TRUE(column.Resample(5, 1));
    // Two pixels are enough for both directions.
    DibSection pair;
    ASSERT_TRUE(pair.Create(2, 2));
    EXPECT_TRUE(pair.Resample(7, 9));
}

TEST(DibSection, DecodedPicturesGiveTheSameBytesAsAnyOtherFormat)
{
    // Widths around the four- and sixteen-pixel groups the copy works in;
    // every channel different, alpha varied (it is dropped, never mixed in).
    for (const int width : {1, 3, 4, 7, 15, 16, 17, 37, 48, 69}) {
        QImage picture(width, 5, QImage::Format_ARGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(
                    x, y, qRgba(x * 7 + y, 255 - x * 3, (x * 31 + y * 17) % 256, (x * 50) % 256));
        const DibSection reference = dibOf(picture.convertToFormat(QImage::Format_RGB888));
        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
            const DibSection dib =
                dibOf(format == QImage::Format_RGB32 ? picture.convertToFormat(QImage::Format_RGB32)
                                                     : picture);
            ASSERT_EQ(dib.BytesPerScanLine(), reference.BytesPerScanLine());
            const size_t size = size_t(dib.BytesPerScanLine()) * 5;
            EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(dib.DIBSectionBitsPtr()),
                                 qsizetype(size)),
                      QByteArray(reinterpret_cast<const char *>(reference.DIBSectionBitsPtr()),
                                 qsizetype(size)))
                << "width " << width << " format " << format;
        }
    }
}

TEST(DibSection, DecodedPictureLeavesNoStaleBytesInTheRowPadding)
{
    // Every width modulo 4, so each amount of padding (0 to 3 bytes) occurs.
    // The bitmap released just before has the same size, so the allocator
    // tends to hand its white-filled memory straight back.
    for (int width = 1; width <= 8; ++width) {
        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
            {
                DibSection junk;
                ASSERT_TRUE(junk.Create(width, 6));
                std::memset(junk.DIBSectionBitsPtr(), 0xFF, size_t(junk.BytesPerScanLine()) * 6);
            }
            const QImage source = distinctPicture(width, 6).convertToFormat(format);
            const DibSection dib = dibOf(source);
            ASSERT_EQ(dib.Width(), width);
            const int stride = dib.BytesPerScanLine();
            for (int y = 0; y < 6; ++y) {
                const uchar *row = dib.DIBSectionBitsPtr() + y * stride;
                for (int i = width * 3; i < stride; ++i)
                    EXPECT_EQ(row[i], 0) << "width " << width << " row " << y << " byte " << i;
            }
            EXPECT_EQ(dib.toImage(), distinctPicture(width, 6)) << "width " << width;
        }
    }
}
