#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimeZone>

#include "EventTopics.h"
#include "TestPictures.h"

namespace {

struct SlugCase
{
    const char *name;
    const char *slug;
};

// The slug rule, one row per part of it.
const SlugCase kSlugCases[] = {
    {"Door", "door"},
    {"Front Door", "front_door"},
    {"  Garage -- East  ", "garage_east"},
    {"Café Terrasse", "cafe_terrasse"},
    {"Straße", "stra_e"}, // ß has no decomposition: a gap
    {"cam/1+#", "cam_1"}, // MQTT's own characters never reach a topic
    {"Ünïcödé", "unicode"},
    {"日本", "camera"},
    {"", "camera"},
    {"CAM_07", "cam_07"},
    {"a.b.c", "a_b_c"},
};

class SlugRule : public testing::TestWithParam<SlugCase>
{
};

TEST_P(SlugRule, MakesTheDocumentedSlug)
{
    EXPECT_EQ(EventTopics::slug(QString::fromUtf8(GetParam().name)),
              QString::fromUtf8(GetParam().slug));
}

INSTANTIATE_TEST_SUITE_P(Names, SlugRule, testing::ValuesIn(kSlugCases));

TEST(EventTopics, SlugIsCutAt48WithoutATrailingGap)
{
    const QString slug = EventTopics::slug(QString(47, QLatin1Char('x')) + QStringLiteral(" yz"));
    EXPECT_EQ(slug, QString(47, QLatin1Char('x')));
}

TEST(EventTopics, SlugsOfAListNeverClash)
{
    const QStringList slugs =
        EventTopics::slugs({QStringLiteral("Door 1"), QStringLiteral("door-1"),
                            QStringLiteral("DOOR_1"), QStringLiteral("Yard")});
    EXPECT_EQ(slugs, QStringList({QStringLiteral("door_1"), QStringLiteral("door_1_2"),
                                  QStringLiteral("door_1_3"), QStringLiteral("yard")}));
}

TEST(EventTopics, IdsAreOneTopicLevel)
{
    EXPECT_TRUE(EventTopics::isValidId(QStringLiteral("cellar-pi_2")));
    for (const char *bad : {"", "a/b", "a+b", "a#", "a b", "é"})
        EXPECT_FALSE(EventTopics::isValidId(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(EventTopics::isValidId(QString(65, QLatin1Char('a'))));
    EXPECT_EQ(EventTopics::defaultId(QStringLiteral("cellar.example.org")),
              QStringLiteral("cellar_example_org"));
    EXPECT_EQ(EventTopics::defaultId(QString()), QStringLiteral("tessaly"));
}

TEST(EventTopics, TopicsNameTheRecorderAndTheCamera)
{
    EXPECT_EQ(EventTopics::statusTopic(QStringLiteral("pi")), QStringLiteral("tessaly/pi/status"));
    EXPECT_EQ(EventTopics::cameraTopic(QStringLiteral("pi"), QStringLiteral("door"),
                                       QStringLiteral("change")),
              QStringLiteral("tessaly/pi/door/change"));
}

// Noise: the worst a JPEG encoder can be given.
static QByteArray noisyJpeg(int width, int height, int quality)
{
    return TestPictures::encode(TestPictures::fromPixels(QSize(width, height),
                                                         [](int x, int y) {
                                                             return QRgb(quint32(x * 2654435761u) ^
                                                                         quint32(y * 40503u));
                                                         }),
                                "jpeg", false, quality);
}

TEST(EventTopics, ThumbnailFitsIn64KiB)
{
    const QByteArray large = noisyJpeg(1920, 1080, 95);
    ASSERT_GT(large.size(), EventTopics::MaxThumbnailBytes);
    const QByteArray small = EventTopics::thumbnail(large);
    ASSERT_FALSE(small.isEmpty());
    EXPECT_LE(small.size(), EventTopics::MaxThumbnailBytes);
    EXPECT_FALSE(QImage::fromData(small, "JPEG").isNull());
    // A picture already small enough goes as it is.
    const QByteArray tiny = noisyJpeg(64, 48, 80);
    EXPECT_EQ(EventTopics::thumbnail(tiny), tiny);
    EXPECT_TRUE(EventTopics::thumbnail("not a picture").isEmpty());
}

} // namespace
