#include <gtest/gtest.h>

#include <QImage>

#include "ScaledDecode.h"
#include "TestEnv.h"
#include "TestPictures.h"

namespace {

struct Fit
{
    const char *label;
    QSize picture;
    QSize box;
    QSize decoded;
};

const Fit kFits[] = {
    {"fullHdInAWindow", {1920, 1080}, {1244, 700}, {1200, 675}}, // 5/8
    {"fourKInAWindow", {3840, 2160}, {1244, 700}, {960, 540}},   // 1/4
    {"smallStaysItsSize", {320, 240}, {1000, 1000}, {320, 240}},
    {"tinyBox", {640, 480}, {100, 100}, {80, 60}}, // 1/8
    {"belowTheSmallestScale", {640, 480}, {10, 10}, {80, 60}},
    {"noBoxIsFullSize", {200, 100}, {0, 0}, {200, 100}},
};

class ScaledDecodeFit : public testing::TestWithParam<Fit>
{
};

} // namespace

TEST_P(ScaledDecodeFit, DecodesAtTheLargestDctScaleThatFits)
{
    const Fit &row = GetParam();
    const QString path = TestEnv::root() + QStringLiteral("/fit-%1.jpg").arg(row.label);
    ASSERT_TRUE(TestPictures::quadrants(row.picture).save(path, "JPG", 95));
    const QImage image = ScaledDecode::toFit(path, row.box);
    EXPECT_EQ(image.size(), row.decoded);
    // The colours survive: red at the top left, white at the bottom right.
    const QColor topLeft = image.pixelColor(image.width() / 4, image.height() / 4);
    const QColor bottomRight = image.pixelColor(image.width() * 3 / 4, image.height() * 3 / 4);
    EXPECT_GT(topLeft.red(), 200);
    EXPECT_LT(topLeft.green(), 60);
    EXPECT_GT(bottomRight.lightness(), 220);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScaledDecodeFit, testing::ValuesIn(kFits),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(ScaledDecode, OtherFormatsAreScaledByQtAndBrokenFilesGiveNothing)
{
    const QString png = TestEnv::root() + QStringLiteral("/picture.png");
    ASSERT_TRUE(TestPictures::quadrants(QSize(400, 200)).save(png, "PNG"));
    EXPECT_EQ(ScaledDecode::toFit(png, QSize(100, 100)).size(), QSize(100, 50));

    const QString broken = TestEnv::root() + QStringLiteral("/broken.jpg");
    ASSERT_TRUE(TestEnv::writeFile(broken, QByteArray("\xFF\xD8\xFF\xE0 not really", 16)));
    EXPECT_TRUE(ScaledDecode::toFit(broken, QSize(100, 100)).isNull());
    EXPECT_TRUE(ScaledDecode::toFit(TestEnv::root() + QStringLiteral("/missing.jpg"), {}).isNull());
}
