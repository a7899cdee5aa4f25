#include <gtest/gtest.h>

#include <memory>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include "CertificatePins.h"
#include "EventTopics.h"
#include "EventsPublisher.h"
#include "MosquittoServer.h"
#include "Settings.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "WaitUntil.h"

// The publisher against a real mosquitto: what reaches a subscriber, what
// stays retained, and how it lives through a broker that goes away.

namespace {

constexpr int Timeout = 20000;
const QString kId = QStringLiteral("test-rig");

QString topic(const QString &slug, const QString &leaf)
{
    return EventTopics::cameraTopic(kId, slug, leaf);
}

class EventsPublisherTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshProgramDirectory();
        TestEnv::freshConfigDirectory();
    }

    void startBroker(const MosquittoServer::Options &options = MosquittoServer::Options())
    {
        ASSERT_TRUE(m_broker.start(options)) << m_broker.error().toStdString();
    }

    std::unique_ptr<EventsPublisher>
    publisher(const QString &address,
              const QStringList &cameras = {QStringLiteral("Door"), QStringLiteral("Yard")},
              bool thumbnails = false)
    {
        auto made = std::make_unique<EventsPublisher>();
        const Result<BrokerAddress> broker = BrokerAddress::parse(address);
        EXPECT_TRUE(broker.ok());
        QObject::connect(made.get(), &EventsPublisher::notice,
                         [this](const QString &line) { m_notices << line; });
        made->setCameras(cameras);
        EventsPublisher::Options options{broker.value(), kId, thumbnails, {}, QStringLiteral("t")};
        if (broker.value().tls())
            options.pinnedSha256 = CertificatePins::pinFor(broker.value().hostPort());
        EXPECT_TRUE(made->start(options)) << made->error().toStdString();
        return made;
    }

    static bool connected(EventsPublisher &events)
    {
        return waitUntil([&] { return events.isConnected(); }, Timeout);
    }

    // Subscribes afresh: what it gets at once is what the broker retains.
    QList<MqttMessage> retained()
    {
        MqttWatcher late(m_broker);
        EXPECT_TRUE(late.ready());
        waitUntil([] { return false; }, 300);
        QList<MqttMessage> out;
        for (const MqttMessage &message : late.messages())
            if (message.retained)
                out << message;
        return out;
    }

    static QByteArray retainedOn(const QList<MqttMessage> &messages, const QString &topic)
    {
        for (const MqttMessage &message : messages)
            if (message.topic == topic)
                return message.payload;
        return {};
    }

    MosquittoServer m_broker;
    QStringList m_notices;
};

TEST_F(EventsPublisherTest, ChangeIsOnThenOffAndNeverRetained)
{
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    auto events = publisher(m_broker.address());
    ASSERT_TRUE(connected(*events));
    events->changeEnded(QStringLiteral("Door")); // no OFF without its ON
    events->changeStarted(QStringLiteral("Door"), 12);
    events->changeStarted(QStringLiteral("Door"), 30); // still the same change
    events->changeEnded(QStringLiteral("Door"));
    events->changeStarted(QStringLiteral("Nobody"), 50); // not in the list
    ASSERT_TRUE(watcher.waitFor(topic(QStringLiteral("door"), QStringLiteral("change")), "OFF"));
    QList<QByteArray> payloads;
    for (const MqttMessage &message :
         watcher.on(topic(QStringLiteral("door"), QStringLiteral("change"))))
        payloads << message.payload;
    EXPECT_EQ(payloads, QList<QByteArray>({"ON", "OFF"}));
    EXPECT_TRUE(
        retainedOn(retained(), topic(QStringLiteral("door"), QStringLiteral("change"))).isNull());
}

TEST_F(EventsPublisherTest, DiscoveryIsRetainedAndAGoneCameraIsCleared)
{
    startBroker();
    const QString yardMotion =
        QStringLiteral("homeassistant/binary_sensor/tessaly_%1_yard/motion/config").arg(kId);
    const QString doorMotion =
        QStringLiteral("homeassistant/binary_sensor/tessaly_%1_door/motion/config").arg(kId);
    {
        auto events = publisher(m_broker.address());
        ASSERT_TRUE(connected(*events));
        events->cameraState(QStringLiteral("Yard"), true);
        ASSERT_TRUE(
            waitUntil([&] { return !retainedOn(retained(), yardMotion).isEmpty(); }, Timeout));
        const QJsonObject config =
            QJsonDocument::fromJson(retainedOn(retained(), yardMotion)).object();
        EXPECT_EQ(config.value(QStringLiteral("unique_id")).toString(),
                  QStringLiteral("tessaly_%1_yard_motion").arg(kId));
        events->stop();
    }
    // The next run knows one camera less: the broker forgets the other.
    auto events = publisher(m_broker.address(), {QStringLiteral("Door")});
    ASSERT_TRUE(connected(*events));
    ASSERT_TRUE(waitUntil([&] { return retainedOn(retained(), yardMotion).isNull(); }, Timeout));
    const QList<MqttMessage> now = retained();
    EXPECT_FALSE(retainedOn(now, doorMotion).isEmpty());
    EXPECT_TRUE(retainedOn(now, topic(QStringLiteral("yard"), QStringLiteral("state"))).isNull());
    EXPECT_EQ(Settings::mqttPublished(), QStringList({kId + QStringLiteral("/door")}));
    // And within a run, as the list changes.
    events->setCameras({});
    ASSERT_TRUE(waitUntil([&] { return retainedOn(retained(), doorMotion).isNull(); }, Timeout));
}

TEST_F(EventsPublisherTest, TheWebViewAddsAnImageFedByThePictureTopic)
{
    startBroker();
    auto events = publisher(m_broker.address());
    ASSERT_TRUE(connected(*events));
    const QString image =
        QStringLiteral("homeassistant/image/tessaly_%1_door/picture/config").arg(kId);
    events->setWebView(true);
    ASSERT_TRUE(waitUntil([&] { return !retainedOn(retained(), image).isEmpty(); }, Timeout));
    EXPECT_EQ(QJsonDocument::fromJson(retainedOn(retained(), image))
                  .object()
                  .value(QStringLiteral("url_topic"))
                  .toString(),
              topic(QStringLiteral("door"), QStringLiteral("picture")));
    events->setWebView(false);
    ASSERT_TRUE(waitUntil([&] { return retainedOn(retained(), image).isNull(); }, Timeout));
}

QByteArray bigJpeg()
{
    return TestPictures::encode(TestPictures::fromPixels(QSize(1280, 720),
                                                         [](int x, int y) {
                                                             return QRgb(quint32(x * 2654435761u) ^
                                                                         quint32(y * 40503u));
                                                         }),
                                "jpeg", false, 95);
}

TEST_F(EventsPublisherTest, PicturesAreSmallJsonAndThumbnailsOnlyWhenAskedFor)
{
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    const QByteArray jpeg = bigJpeg();
    const QDateTime when = QDateTime::currentDateTime();
    for (const bool thumbnails : {false, true}) {
        auto events = publisher(m_broker.address(), {QStringLiteral("Door")}, thumbnails);
        ASSERT_TRUE(connected(*events));
        events->pictureSaved(QStringLiteral("Door"), when, QStringLiteral("Door 1.jpg"), jpeg,
                             QStringLiteral("https://127.0.0.1:1/p/1"));
        ASSERT_TRUE(waitUntil(
            [&] {
                return watcher.on(topic(QStringLiteral("door"), QStringLiteral("picture")))
                           .size() == (thumbnails ? 2 : 1);
            },
            Timeout));
        events->stop();
    }
    const auto pictures = watcher.on(topic(QStringLiteral("door"), QStringLiteral("picture")));
    const QJsonObject json = QJsonDocument::fromJson(pictures[0].payload).object();
    EXPECT_EQ(json.value(QStringLiteral("file")).toString(), QStringLiteral("Door 1.jpg"));
    EXPECT_EQ(json.value(QStringLiteral("url")).toString(),
              QStringLiteral("https://127.0.0.1:1/p/1"));
    EXPECT_LT(pictures[0].payload.size(), 256);
    EXPECT_FALSE(pictures[0].retained);
    const QString thumbnail = topic(QStringLiteral("door"), QStringLiteral("thumbnail"));
    ASSERT_TRUE(watcher.waitFor(thumbnail));
    const auto thumbs = watcher.on(thumbnail);
    ASSERT_EQ(thumbs.size(), 1);
    EXPECT_LE(thumbs[0].payload.size(), EventTopics::MaxThumbnailBytes);
    EXPECT_FALSE(QImage::fromData(thumbs[0].payload, "JPEG").isNull());
}

TEST_F(EventsPublisherTest, ABurstBeyondTheQueueIsDroppedNotKept)
{
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    auto events = publisher(m_broker.address());
    ASSERT_TRUE(connected(*events));
    // All at once, faster than the connection's thread can send: at most
    // MaxQueued wait, the rest is dropped and counted.
    constexpr int Burst = 5000;
    for (int i = 0; i < Burst; ++i)
        events->pictureSaved(QStringLiteral("Door"), QDateTime::currentDateTime(),
                             QStringLiteral("%1.jpg").arg(i), QByteArray());
    const QString pictures = topic(QStringLiteral("door"), QStringLiteral("picture"));
    ASSERT_TRUE(waitUntil([&] { return watcher.on(pictures).size() + events->dropped() == Burst; },
                          Timeout))
        << watcher.on(pictures).size() << " + " << events->dropped();
    EXPECT_GE(watcher.on(pictures).size(), EventsPublisher::MaxQueued);
}

TEST_F(EventsPublisherTest, ATlsBrokerIsTrustedOnlyThroughItsPinnedCertificate)
{
    startBroker({false, true});
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(m_broker.port());
    // Not in the system's CA store: refused.
    auto unpinned = publisher(m_broker.address());
    ASSERT_TRUE(waitUntil([&] { return !m_notices.isEmpty(); }, Timeout));
    EXPECT_FALSE(unpinned->isConnected());
    EXPECT_TRUE(m_notices[0].contains(QStringLiteral("not available")))
        << m_notices[0].toStdString();
    unpinned->stop();
    // Pinned, as --trust-certificate does for cameras: taken.
    ASSERT_TRUE(CertificatePins::trust(hostPort, m_broker.certificateSha256()));
    auto pinned = publisher(m_broker.address());
    EXPECT_TRUE(connected(*pinned));
    pinned->stop();
    // Another certificate under the same pin: refused.
    QByteArray other = m_broker.certificateSha256();
    other[0] = char(other[0] ^ 1);
    ASSERT_TRUE(CertificatePins::trust(hostPort, other));
    m_notices.clear();
    auto wrong = publisher(m_broker.address());
    ASSERT_TRUE(waitUntil([&] { return !m_notices.isEmpty(); }, Timeout));
    EXPECT_FALSE(wrong->isConnected());
}

} // namespace
