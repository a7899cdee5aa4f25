#include <gtest/gtest.h>

#include <string>

#include <QImage>
#include <QPainter>

#include "JpegStructure.h"
#include "Picture.h"
#include "TestPictures.h"

// The structure check stands in for a decode where nobody looks at the
// picture, so it has to refuse every torn body the decoder refuses.

namespace {

QByteArray jpeg(const QSize &size, bool progressive = false)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(30, 90, 160));
    painter.setBrush(Qt::yellow);
    painter.drawEllipse(image.rect().adjusted(10, 10, -10, -10));
    painter.end();
    return TestPictures::encode(image, "jpeg", progressive);
}

qsizetype frameHeaderAt(const QByteArray &bytes)
{
    for (const char *sof : {"\xFF\xC0", "\xFF\xC2"}) {
        const qsizetype at = bytes.indexOf(QByteArrayView(sof, 2));
        if (at >= 0)
            return at;
    }
    ADD_FAILURE() << "no frame header";
    return 0;
}

} // namespace

TEST(JpegStructure, CompleteBaselineAndProgressivePicturesPassWithTheirSize)
{
    const JpegStructure::Result baseline = JpegStructure::check(jpeg({640, 480}));
    EXPECT_TRUE(baseline.complete);
    EXPECT_EQ(baseline.size, QSize(640, 480));
    EXPECT_FALSE(baseline.progressive);

    const JpegStructure::Result progressive = JpegStructure::check(jpeg({333, 217}, true));
    EXPECT_TRUE(progressive.complete);
    EXPECT_EQ(progressive.size, QSize(333, 217));
    EXPECT_TRUE(progressive.progressive);

    // What servers append after the end marker is allowed.
    EXPECT_TRUE(JpegStructure::check(jpeg({64, 48}) + QByteArray("\r\n\0 \t", 5)).complete);
}

// Baseline and progressive pictures end their scans differently.
class JpegStructureCuts : public testing::TestWithParam<bool>
{
};

TEST_P(JpegStructureCuts, EveryCutOfABodyIsRefusedLikeTheDecoderRefusesIt)
{
    const QByteArray whole = jpeg({320, 240}, GetParam());
    ASSERT_TRUE(JpegStructure::check(whole).complete);
    for (qsizetype cut = 0; cut < whole.size(); cut += (cut < 700 ? 1 : 61)) {
        const QByteArray torn = whole.left(cut);
        EXPECT_FALSE(JpegStructure::check(torn).complete) << "cut at " << cut;
    }
    // Cut just before the end marker: the decoder refuses it too.
    EXPECT_FALSE(JpegStructure::check(whole.left(whole.size() - 2)).complete);
    EXPECT_TRUE(Picture::fromBytes(whole.left(whole.size() - 2)).isNull());
    // A scan cut short but closed by an end marker is well-formed, so the
    // structure passes it; the decoder finds its data ending early, and that
    // refuses it.
    const QByteArray closed = whole.left(whole.size() / 2) + "\xFF\xD9";
    EXPECT_TRUE(JpegStructure::check(closed).complete);
    EXPECT_TRUE(Picture::fromBytes(closed).isNull());
}

INSTANTIATE_TEST_SUITE_P(Encodings, JpegStructureCuts, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "Progressive" : "Baseline");
                         });

TEST(JpegStructure, MangledHeadersAndOtherBytesAreRefused)
{
    const QByteArray good = jpeg({160, 120});
    const qsizetype sof = frameHeaderAt(good);

    QByteArray zeroWidth = good;
    zeroWidth[sof + 7] = 0;
    zeroWidth[sof + 8] = 0;
    EXPECT_FALSE(JpegStructure::check(zeroWidth).complete);

    QByteArray zeroHeight = good; // a height that only a later DNL marker would give
    zeroHeight[sof + 5] = 0;
    zeroHeight[sof + 6] = 0;
    EXPECT_FALSE(JpegStructure::check(zeroHeight).complete);

    QByteArray overlong = good; // the first segment claims more bytes than there are
    overlong[4] = char(0xFF);
    overlong[5] = char(0xFF);
    EXPECT_FALSE(JpegStructure::check(overlong).complete);

    QByteArray noFrame = good; // the frame header turned into a comment
    noFrame[sof + 1] = char(0xFE);
    EXPECT_FALSE(JpegStructure::check(noFrame).complete);

    // What follows the end marker is not the picture's: anything goes.
    EXPECT_TRUE(JpegStructure::check(good + "<html>\xFF\xD8\xFF").complete);

    EXPECT_FALSE(JpegStructure::check(QByteArray()).complete);
    EXPECT_FALSE(JpegStructure::check(QByteArray("\xFF\xD8\xFF\xD9", 4)).complete);
    EXPECT_FALSE(JpegStructure::check(QByteArray("\x89PNG\r\n\x1A\n", 8)).complete);
    EXPECT_FALSE(JpegStructure::check(QByteArray("not a picture at all")).complete);
}

TEST(JpegStructure, ScansBeyondWhatAnEncoderWritesAreRefusedBeforeDecoding)
{
    // A progressive picture with its last scan repeated: each copy is another
    // pass of the decoder over every coefficient, for a few hundred bytes.
    const QByteArray atLimit = TestPictures::manyScanJpeg({320, 240}, JpegStructure::MaxScans);
    const JpegStructure::Result accepted = JpegStructure::check(atLimit);
    EXPECT_TRUE(accepted.complete);
    EXPECT_EQ(accepted.scans, JpegStructure::MaxScans);
    const QByteArray over = TestPictures::manyScanJpeg({320, 240}, JpegStructure::MaxScans + 1);
    const JpegStructure::Result refused = JpegStructure::check(over);
    EXPECT_FALSE(refused.complete);
    EXPECT_TRUE(refused.progressive);
    EXPECT_EQ(refused.scans, JpegStructure::MaxScans + 1) << "stops at the first scan too many";
    EXPECT_TRUE(Picture::fromBytes(over).isNull());
    EXPECT_TRUE(Picture::fromBytesChecked(over).isNull());

    // A larger picture affords fewer scans: the work, scans times pixels, is
    // what is bounded.
    const int fit = int(JpegStructure::MaxScanWork / (1920 * 1080));
    ASSERT_LT(fit, JpegStructure::MaxScans);
    EXPECT_TRUE(JpegStructure::check(TestPictures::manyScanJpeg({1920, 1080}, fit)).complete);
    const QByteArray tooMuch = TestPictures::manyScanJpeg({1920, 1080}, fit + 1);
    EXPECT_FALSE(JpegStructure::check(tooMuch).complete);
    EXPECT_TRUE(Picture::fromBytes(tooMuch).isNull());

    // A sequential picture has one scan per component at most: a second scan
    // over a one-component picture is refused just the same.
    QImage grey(64, 48, QImage::Format_Grayscale8);
    grey.fill(128);
    QByteArray sequential = TestPictures::encode(grey, "jpeg");
    ASSERT_EQ(JpegStructure::check(sequential).scans, 1);
    const qsizetype scan = sequential.indexOf(QByteArrayView("\xFF\xDA", 2));
    const qsizetype end = sequential.lastIndexOf(QByteArrayView("\xFF\xD9", 2));
    sequential.insert(end, sequential.mid(scan, end - scan));
    EXPECT_FALSE(JpegStructure::check(sequential).complete);
}
