#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include <QImage>
#include <QPainter>

#include "Picture.h"
#include "TestPictures.h"

// A panel's thumbnail comes from a scaled decode (libjpeg scales in the DCT);
// it has to look like the full picture scaled down, or panels would show
// something other than what the viewer and the saved file show.

namespace {

// Gradients, hard edges and fine stripes: scaling errors, swapped channels or
// a misplaced region all change the averages this is compared by.
QImage scene(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int r = 255 * x / size.width();
            const int g = 255 * y / size.height();
            const int b = ((x / 24 + y / 24) % 2) ? 200 : 40;
            row[x] = qRgb(r, g, b);
        }
    }
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, size.width() / 4, size.height() / 3);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPoint(size.width() * 2 / 3, size.height() / 2), size.width() / 6,
                        size.height() / 5);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawRect(size.width() * 3 / 4, size.height() * 3 / 4, size.width() / 4,
                     size.height() / 4);
    return image;
}

QByteArray jpeg(const QImage &image)
{
    return TestPictures::encode(image, "jpeg", false, 90);
}

struct Difference
{
    double mean = 0;   // per channel, 0..255
    double farOff = 0; // share of channel values off by more than 48
};

Difference compare(const QImage &a, const QImage &b)
{
    Difference d;
    if (a.size() != b.size()) {
        ADD_FAILURE() << "sizes differ";
        return {255, 1};
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    std::int64_t sum = 0;
    std::int64_t far = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            for (const int delta :
                 {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                sum += std::abs(delta);
                far += std::abs(delta) > 48 ? 1 : 0;
            }
        }
    }
    d.mean = double(sum) / (3.0 * x.width() * x.height());
    d.farOff = double(far) / (3.0 * x.width() * x.height());
    return d;
}

} // namespace

TEST(PicturePanelDecode, ThumbnailEqualsTheFullDecodeScaledDownWithinTolerance)
{
    const QSize natural[] = {{1920, 1080}, {1280, 720}, {640, 480}, {333, 217}};
    const QSize panels[] = {Picture::panelSize(), {170, 128}, {320, 180}};
    for (const QSize &size : natural) {
        const QByteArray bytes = jpeg(scene(size));
        for (const QSize &panel : panels) {
            const Picture picture = Picture::fromBytes(bytes, panel);
            ASSERT_FALSE(picture.isNull());
            const QImage thumb = picture.thumbnail(panel);
            ASSERT_EQ(thumb.size(), panel);
            const QImage reference =
                picture.full()->scaled(panel, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const Difference d = compare(thumb, reference);
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " -> "
                                            << panel.width() << "x" << panel.height());
            EXPECT_LT(d.mean, 4.0);
            // Sizes that are no power-of-two fraction of the picture take two
            // resamplings on the thumbnail's side; hard edges then land a pixel
            // apart here and there, nothing more.
            EXPECT_LT(d.farOff, 0.03);
        }
    }
}

TEST(PicturePanelDecode, TheComparisonTellsDifferentPicturesApart)
{
    // The tolerance above must not be so loose that a wrong picture passes:
    // the same scene mirrored, at panel size, is far off.
    const QByteArray bytes = jpeg(scene({1280, 720}));
    const QByteArray mirrored = jpeg(scene({1280, 720}).mirrored(true, false));
    const QImage thumb = Picture::fromBytes(bytes).thumbnail();
    const QImage other = Picture::fromBytes(mirrored).full()->scaled(
        Picture::panelSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(compare(thumb, other).mean, 20.0);
}

TEST(PicturePanelDecode, CheckedPicturesDecodeTheSameThumbnailWhenFirstAsked)
{
    const QByteArray bytes = jpeg(scene({1280, 720}));
    const Picture checked = Picture::fromBytesChecked(bytes);
    ASSERT_FALSE(checked.isNull());
    EXPECT_EQ(checked.size(), QSize(1280, 720));
    EXPECT_EQ(checked.format(), QByteArray("jpeg"));
    EXPECT_EQ(checked.bytes(), bytes);
    const Difference d = compare(checked.thumbnail(), Picture::fromBytes(bytes).thumbnail());
    EXPECT_LT(d.mean, 0.5);
    EXPECT_EQ(checked.full()->size(), QSize(1280, 720));

    // Torn or mangled bodies are refused, as a decode refuses them.
    EXPECT_TRUE(Picture::fromBytesChecked(bytes.chopped(2)).isNull());
    EXPECT_TRUE(Picture::fromBytesChecked(bytes.left(bytes.size() / 3)).isNull());
    EXPECT_TRUE(Picture::fromBytesChecked(QByteArray("\xFF\xD8garbage", 9)).isNull());
    // Other formats take the decoding way.
    const QByteArray png = TestPictures::encode(scene({40, 30}), "png");
    EXPECT_EQ(Picture::fromBytesChecked(png).size(), QSize(40, 30));
    EXPECT_TRUE(Picture::fromBytesChecked(png.chopped(12)).isNull());
}
