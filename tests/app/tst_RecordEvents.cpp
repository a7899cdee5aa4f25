#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "AppInfo.h"
#include "MosquittoServer.h"
#include "ProgramProcess.h"
#include "Settings.h"
#include "TestEnv.h"

// tessaly --record telling a real mosquitto what happens, run as a service
// would run it, against the demo camera.

namespace {

constexpr int Timeout = 30000;

using Process = ProgramProcess;

std::unique_ptr<Process> startDemoCam(quint16 *port)
{
    return ::startDemoCam({"--cameras", "2", "--size", "160x120", "--change-every", "1"}, port);
}

// A program directory of its own with these cameras, refreshed every second.
void cameraList(quint16 port, const QStringList &names)
{
    TestEnv::freshProgramDirectory();
    QByteArray list = "\r\n";
    int n = 0;
    for (const QString &name : names)
        list += QStringLiteral("[name]%1\r\nhttp://127.0.0.1:%2/cam%3.jpg\r\n1\r\n\r\n")
                    .arg(name)
                    .arg(port)
                    .arg(++n)
                    .toUtf8();
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"), list));
}

std::unique_ptr<Process> record(const QStringList &options)
{
    auto tessaly =
        std::make_unique<Process>(QStringLiteral(TESSALY_PATH), options + QStringList{"--record"});
    EXPECT_TRUE((*tessaly)->waitForStarted(Timeout));
    return tessaly;
}

void killHard(Process &process)
{
    ::kill(pid_t(process->processId()), SIGKILL);
    process->waitForFinished(Timeout);
}

class RecordEvents : public testing::Test
{
protected:
    void SetUp() override
    {
        m_demo = startDemoCam(&m_port);
        ASSERT_NE(m_port, 0);
    }
    void startBroker(bool password = false)
    {
        ASSERT_TRUE(m_broker.start({password, false})) << m_broker.error().toStdString();
    }

    std::unique_ptr<Process> m_demo;
    quint16 m_port = 0;
    MosquittoServer m_broker;
};

TEST_F(RecordEvents, OnlineThenOfflineOnStopAndTheLastWillOnKillNine)
{
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    cameraList(m_port, {"Front Door", "Back Yard"});
    auto tessaly = record({"--mqtt", m_broker.address(), "--mqtt-id", "rig"});
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/status", "online", Timeout))
        << tessaly->errors().toStdString();
    EXPECT_EQ(Settings::mqttBroker(), m_broker.address());
    EXPECT_EQ(Settings::mqttId(), "rig");
    // Discovery: valid JSON, one unique id per entity, for both cameras.
    ASSERT_TRUE(
        watcher.waitFor("homeassistant/binary_sensor/tessaly_rig_back_yard/problem/config"));
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/front_door/state", "ok", Timeout));
    QSet<QString> ids;
    int configs = 0;
    for (const MqttMessage &message : watcher.messages()) {
        // An empty config clears an image entity of an earlier run with the web view.
        if (!message.topic.startsWith("homeassistant/") || message.payload.isEmpty())
            continue;
        ++configs;
        QJsonParseError error;
        const QJsonObject config = QJsonDocument::fromJson(message.payload, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << message.payload.constData();
        ids.insert(config.value("unique_id").toString());
    }
    EXPECT_EQ(configs, 4);
    EXPECT_EQ(ids.size(), 4);

    killHard(*tessaly);
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/status", "offline", Timeout));

    // Stored: a plain --record comes back online, and SIGTERM says offline.
    const int offlines = int(watcher.on("tessaly/rig/status").size());
    auto again = record({});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return watcher.on("tessaly/rig/status").last().payload == "online"; }, Timeout));
    (*again)->terminate();
    ASSERT_TRUE((*again)->waitForFinished(Timeout));
    EXPECT_EQ((*again)->exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return watcher.on("tessaly/rig/status").size() == offlines + 2; }, Timeout))
        <<
        [&] {
            QByteArray all;
            for (const MqttMessage &m : watcher.on("tessaly/rig/status"))
                all += m.payload + ' ';
            return all.toStdString();
        }()
        << m_broker.log().toStdString();
    EXPECT_EQ(watcher.on("tessaly/rig/status").last().payload, "offline");
}

TEST_F(RecordEvents, SavedPicturesAreToldAndACameraThatDiesGoesStale)
{
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    cameraList(m_port, {"Door"});
    auto tessaly = record({"--autosave", "on", "--mqtt", m_broker.address(), "--mqtt-id", "rig"});
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/door/picture", QByteArray(), Timeout))
        << tessaly->errors().toStdString();
    const QJsonObject picture =
        QJsonDocument::fromJson(watcher.on("tessaly/rig/door/picture").first().payload).object();
    const QString file = picture.value("file").toString();
    EXPECT_TRUE(QFile::exists(AppInfo::programFile("cam/" + file))) << file.toStdString();
    EXPECT_TRUE(watcher.on("tessaly/rig/door/thumbnail").isEmpty());
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/door/state", "ok", Timeout));

    killHard(*m_demo); // the camera goes dark
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/door/state", "stale", Timeout));
    EXPECT_EQ(watcher.on("tessaly/rig/door/state").size(), 2);
}

TEST_F(RecordEvents, APersonCrossingTurnsTheChangeOnAndOff)
{
    quint16 port = 0;
    auto walker =
        ::startDemoCam(QStringList{"--cameras", "1", "--size", "1280x720", "--change-every", "1"} +
                           walkerSceneOptions(8),
                       &port);
    ASSERT_NE(port, 0);
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    cameraList(port, {"Path"});
    auto tessaly = record({"--detect", "on", "--mqtt", m_broker.address(), "--mqtt-id", "rig"});
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/path/change", "ON", 60000))
        << tessaly->out().toStdString() << tessaly->errors().toStdString();
    EXPECT_EQ(watcher.on("tessaly/rig/path/change").first().payload, "ON")
        << "nothing before the crossing";
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/path/change", "OFF", 40000))
        << tessaly->out().toStdString();
    EXPECT_EQ(watcher.on("tessaly/rig/path/change").size(), 2);
    EXPECT_EQ(tessaly->out().count(" change started Path "), 1);
}

TEST_F(RecordEvents, RecordingGoesOnWhileTheBrokerIsAwayWithoutAStormAfter)
{
    startBroker();
    cameraList(m_port, {"Door", "Yard"});
    auto tessaly = record({"--autosave", "on", "--mqtt", m_broker.address(), "--mqtt-id", "rig"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tessaly->count("connected to the MQTT") == 1; }, Timeout))
        << tessaly->errors().toStdString();
    m_broker.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tessaly->count("is not available") == 1; }, Timeout))
        << tessaly->errors().toStdString();
    const int savedBefore = int(tessaly->out().count(" saved "));
    QTest::qWait(4000);
    EXPECT_GE(tessaly->out().count(" saved "), savedBefore + 4); // two cameras, about 1 s each

    ASSERT_TRUE(m_broker.restart()) << m_broker.error().toStdString();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/status", "online", Timeout))
        << tessaly->errors().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tessaly->count("is back") == 1; }, Timeout));
    QTest::qWait(1500);
    // What was missed is not replayed: only pictures saved since the return come.
    const qsizetype pictures = watcher.on("tessaly/rig/door/picture").size() +
                               watcher.on("tessaly/rig/yard/picture").size();
    EXPECT_LE(pictures, 8);
    EXPECT_EQ(tessaly->count("is not available"), 1); // one line for the whole outage
    EXPECT_GE(tessaly->out().count(" saved "), savedBefore + 6);
}

TEST_F(RecordEvents, APasswordBrokerAndAWrongPasswordNeverShowThePassword)
{
    startBroker(true);
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    cameraList(m_port, {"Door"});
    const QString password = MosquittoServer::password();
    auto good = record({"--mqtt", m_broker.address(password), "--mqtt-id", "rig"});
    ASSERT_TRUE(watcher.waitFor("tessaly/rig/status", "online", Timeout))
        << good->errors().toStdString();
    (*good)->terminate();
    ASSERT_TRUE((*good)->waitForFinished(Timeout));

    auto wrong = record({"--mqtt", m_broker.address("not-" + password), "--mqtt-id", "rig"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return wrong->count("refused") == 1; }, Timeout))
        << wrong->errors().toStdString();
    QTest::qWait(3500); // retries after 1 and 2 s: still one line
    EXPECT_EQ(wrong->count("refused"), 1) << wrong->errors().toStdString();
    EXPECT_EQ(wrong->count("recorder:***@127.0.0.1"), 2) << wrong->errors().toStdString();
    (*wrong)->terminate();
    ASSERT_TRUE((*wrong)->waitForFinished(Timeout));

    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(password));
    for (Process *process : {good.get(), wrong.get()}) {
        const QString output = process->out() + process->errors();
        EXPECT_FALSE(output.contains(password)) << output.toStdString();
        EXPECT_FALSE(output.contains(encoded));
        EXPECT_FALSE(output.contains("not-"));
    }
    for (const MqttMessage &message : watcher.messages()) {
        EXPECT_FALSE(message.payload.contains(password.toUtf8())) << message.topic.toStdString();
        EXPECT_FALSE(message.payload.contains(encoded.toUtf8()));
    }
}

TEST_F(RecordEvents, TwoRecordersWithTheirOwnListsShareOneBroker)
{
    startBroker();
    MqttWatcher watcher(m_broker);
    ASSERT_TRUE(watcher.ready());
    cameraList(m_port, {"Door"});
    auto east = record({"--mqtt", m_broker.address(), "--mqtt-id", "east"});
    cameraList(m_port, {"Door", "Garage"});
    auto west = record({"--mqtt", m_broker.address(), "--mqtt-id", "west"});
    ASSERT_TRUE(watcher.waitFor("tessaly/east/status", "online", Timeout))
        << east->errors().toStdString();
    ASSERT_TRUE(watcher.waitFor("tessaly/west/status", "online", Timeout))
        << west->errors().toStdString();
    // The same camera name on two machines is two devices.
    ASSERT_TRUE(watcher.waitFor("homeassistant/binary_sensor/tessaly_east_door/motion/config"));
    ASSERT_TRUE(watcher.waitFor("homeassistant/binary_sensor/tessaly_west_door/motion/config"));
    ASSERT_TRUE(watcher.waitFor("homeassistant/binary_sensor/tessaly_west_garage/motion/config"));
    EXPECT_TRUE(
        watcher.on("homeassistant/binary_sensor/tessaly_east_garage/motion/config").isEmpty());
    // One going away leaves the other online.
    killHard(*east);
    ASSERT_TRUE(watcher.waitFor("tessaly/east/status", "offline", Timeout));
    EXPECT_TRUE(watcher.on("tessaly/west/status").last().payload == "online");
    EXPECT_EQ((*west)->state(), QProcess::Running);
}

} // namespace
