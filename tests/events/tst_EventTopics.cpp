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

TEST(EventTopics, PicturePayloadIsSmallJson)
{
    const QDateTime when(QDate(2026, 12, 9), QTime(10, 15, 0), QTimeZone(3600));
    const QJsonObject plain =
        QJsonDocument::fromJson(EventTopics::picturePayload(when, QStringLiteral("a.jpg"), {}))
            .object();
    EXPECT_EQ(plain.value(QStringLiteral("time")).toString(),
              QStringLiteral("2026-12-09T10:15:00+01:00"));
    EXPECT_EQ(plain.value(QStringLiteral("file")).toString(), QStringLiteral("a.jpg"));
    EXPECT_FALSE(plain.contains(QStringLiteral("url")));
    const QJsonObject web =
        QJsonDocument::fromJson(EventTopics::picturePayload(when, QStringLiteral("a.jpg"),
                                                            QStringLiteral("https://h/p/a.jpg")))
            .object();
    EXPECT_EQ(web.value(QStringLiteral("url")).toString(), QStringLiteral("https://h/p/a.jpg"));
}

TEST(EventTopics, DiscoveryIsValidJsonWithUniqueIdsAndOneDevicePerCamera)
{
    QSet<QString> ids;
    QSet<QString> topics;
    const QStringList names{QStringLiteral("Door"), QStringLiteral("Yard")};
    const QStringList slugs = EventTopics::slugs(names);
    for (const bool web : {false, true}) {
        for (qsizetype i = 0; i < names.size(); ++i) {
            const auto configs = EventTopics::discovery(QStringLiteral("pi"), names[i], slugs[i],
                                                        web, QStringLiteral("1.0"));
            ASSERT_EQ(configs.size(), web ? 3 : 2);
            QSet<QString> devices;
            for (const auto &config : configs) {
                QJsonParseError error;
                const QJsonObject object = QJsonDocument::fromJson(config.config, &error).object();
                ASSERT_EQ(error.error, QJsonParseError::NoError) << config.config.constData();
                EXPECT_TRUE(config.topic.startsWith(QStringLiteral("homeassistant/")));
                EXPECT_TRUE(config.topic.endsWith(QStringLiteral("/config")));
                EXPECT_EQ(object.value(QStringLiteral("availability_topic")).toString(),
                          QStringLiteral("tessaly/pi/status"));
                const QJsonObject device = object.value(QStringLiteral("device")).toObject();
                EXPECT_EQ(device.value(QStringLiteral("name")).toString(), names[i]);
                devices.insert(
                    device.value(QStringLiteral("identifiers")).toArray().at(0).toString());
                if (web) {
                    ids.insert(object.value(QStringLiteral("unique_id")).toString());
                    topics.insert(config.topic);
                }
            }
            EXPECT_EQ(devices.size(), 1);
            const QJsonObject motion = QJsonDocument::fromJson(configs[0].config).object();
            EXPECT_EQ(motion.value(QStringLiteral("device_class")).toString(),
                      QStringLiteral("motion"));
            EXPECT_EQ(motion.value(QStringLiteral("state_topic")).toString(),
                      QStringLiteral("tessaly/pi/%1/change").arg(slugs[i]));
            const QJsonObject problem = QJsonDocument::fromJson(configs[1].config).object();
            EXPECT_EQ(problem.value(QStringLiteral("device_class")).toString(),
                      QStringLiteral("problem"));
            EXPECT_EQ(problem.value(QStringLiteral("payload_on")).toString(),
                      QStringLiteral("stale"));
            if (web) {
                EXPECT_EQ(QJsonDocument::fromJson(configs[2].config)
                              .object()
                              .value(QStringLiteral("url_topic"))
                              .toString(),
                          QStringLiteral("tessaly/pi/%1/picture").arg(slugs[i]));
            }
        }
    }
    EXPECT_EQ(ids.size(), 6);
    EXPECT_EQ(topics.size(), 6);
}

// Noise: the worst a JPEG encoder can be given.
QByteArray noisyJpeg(int width, int height, int quality)
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
