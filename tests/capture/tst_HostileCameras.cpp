#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLoggingCategory>
#include <QTimer>

#include "Camera.h"
#include "CameraEngine.h"
#include "HostileServer.h"
#include "HttpSnapshot.h"
#include "Picture.h"

namespace {

using Kind = HostileServer::Kind;
constexpr int Cycles = 200;
constexpr int CycleTimeoutMs = 30000;
// Generous: the engine may hold one response of up to 64 MiB per panel, and a
// sanitizer build keeps freed memory in quarantine for a while.
constexpr qint64 MemoryBoundKiB = 1536 * 1024;

// Runs the event loop until condition holds, checking after every batch of
// events: no sleeping between checks, so a server that sends one byte per
// event-loop turn is as fast as the sockets allow.
bool runUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wakeUp; // the loop blocks for events; this bounds each wait
    wakeUp.start(20);
    while (!condition()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The process's peak resident memory so far, in KiB (0 where unknown).
qint64 highWaterMarkKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// The kinds that answer with a whole picture, however oddly, and so must show
// a new one every cycle.
bool answersWithPictures(Kind kind)
{
    return kind == Kind::Good || kind == Kind::LengthLarger || kind == Kind::OneByteAtATime;
}

// The kinds whose fetch never ends by itself within a cycle.
bool neverEnds(Kind kind)
{
    return kind == Kind::NeverAnswers || kind == Kind::HeaderThenStall || kind == Kind::EndlessBody;
}

// The kinds that send a good picture first and then only damaged ones.
bool damagesPictures(Kind kind)
{
    return kind == Kind::ResetMidBody || kind == Kind::EmptyJpeg || kind == Kind::TruncatedJpeg ||
           kind == Kind::JpegBomb;
}

struct PanelCount
{
    int ended = 0;   // arrivals and failures
    int decoded = 0; // arrivals with a picture
    int newPictures = 0;
    int shown = 0; // times the panel's picture changed between cycles
    QStringList failures;
};

// One run of all the kinds at once: the thirteen misbehaving kinds once each,
// good cameras in the other panels, for Cycles cycles. The run is one story,
// played once on first use; each kind's verdict below is a case of its own.
class HostileRun
{
public:
    HostileRun()
    {
        // The bomb's header makes the JPEG reader warn on every cycle.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));
        engine.setRealTimersEnabled(false);
        QImage notFound(20, 20, QImage::Format_RGB32);
        notFound.fill(Qt::magenta);
        engine.setNotFoundPicture(Picture::fromImage(notFound));

        for (int i = 0; i < CameraEngine::PanelCount; ++i) {
            const Kind kind = i + 1 < HostileServer::KindCount ? Kind(i + 1) : Kind::Good;
            servers.push_back(std::make_unique<HostileServer>(kind));
        }
        QObject::connect(&engine, &CameraEngine::pictureArrived, &engine,
                         [this](Camera *camera, const Picture &, bool isNew) {
                             PanelCount &c = counts[size_t(camera->panel())];
                             ++c.ended;
                             ++c.decoded;
                             c.newPictures += isNew;
                         });
        QObject::connect(&engine, &CameraEngine::fetchFailed, &engine,
                         [this](Camera *camera, const Failure &failure) {
                             PanelCount &c = counts[size_t(camera->panel())];
                             ++c.ended;
                             c.failures.append(failure.text);
                         });
        failure = play();
    }

    Kind kindOf(int index) const { return servers[index]->kind(); }
    int panelOf(Kind kind) const { return int(kind) - 1; }

    CameraEngine engine;
    std::vector<std::unique_ptr<HostileServer>> servers;
    std::array<PanelCount, CameraEngine::PanelCount> counts{};
    std::array<Picture, CameraEngine::PanelCount> firstPicture;
    std::array<Picture, CameraEngine::PanelCount> lastPicture;
    int cyclesRun = 0;
    std::string failure; // empty when every cycle ended in time

private:
    std::string play()
    {
        for (int cycle = 0; cycle < Cycles; ++cycle) {
            std::array<int, CameraEngine::PanelCount> endedBefore{};
            for (int i = 0; i < CameraEngine::PanelCount; ++i)
                endedBefore[i] = counts[i].ended;
            if (cycle == 0) {
                if (!openPanels())
                    return "the panels did not open in order";
            } else {
                // One second on every panel: a refresh of 1 starts the next fetch,
                // cutting off whatever the previous one is still waiting for.
                for (int i = 0; i < CameraEngine::PanelCount; ++i)
                    engine.tick(i);
            }
            if (!waitForCycleEnd(endedBefore))
                return "cycle " + std::to_string(cycle) + " did not end";
            ++cyclesRun;
            for (int i = 0; i < CameraEngine::PanelCount; ++i) {
                const Picture now = engine.status(i).picture;
                if (cycle == 0)
                    firstPicture[i] = now;
                else if (!now.isSameAs(lastPicture[i]) && !now.isNull())
                    ++counts[i].shown;
                lastPicture[i] = now;
            }
        }
        // The endless body runs into the cap and is dropped.
        const int endless = panelOf(Kind::EndlessBody);
        if (!runUntil([&] { return !counts[endless].failures.isEmpty(); }, 120000))
            return "the endless body never failed";
        return {};
    }

    bool openPanels()
    {
        for (int i = 0; i < CameraEngine::PanelCount; ++i) {
            // The endless camera is left to run into the size cap on its own.
            const Camera *camera = engine.open(
                QStringLiteral("%1 %2").arg(i).arg(QLatin1String(HostileServer::name(kindOf(i)))),
                servers[i]->url(),
                kindOf(i) == Kind::EndlessBody ? QStringLiteral("100000") : QStringLiteral("1"));
            if (!camera || camera->panel() != i)
                return false;
        }
        return true;
    }

    // Waits until every panel whose fetch can end has ended once more.
    bool waitForCycleEnd(const std::array<int, CameraEngine::PanelCount> &endedBefore)
    {
        return runUntil(
            [&] {
                for (int i = 0; i < CameraEngine::PanelCount; ++i) {
                    if (!neverEnds(kindOf(i)) && counts[i].ended <= endedBefore[i])
                        return false;
                }
                return true;
            },
            CycleTimeoutMs);
    }
};

std::unique_ptr<HostileRun> &runHolder()
{
    static std::unique_ptr<HostileRun> run;
    return run;
}

const HostileRun &hostileRun()
{
    if (!runHolder())
        runHolder() = std::make_unique<HostileRun>();
    return *runHolder();
}

// The run's sockets and engine go while the application still exists.
class HostileRunCleanup : public testing::Environment
{
public:
    void TearDown() override { runHolder().reset(); }
};
[[maybe_unused]] testing::Environment *const cleanup =
    testing::AddGlobalTestEnvironment(new HostileRunCleanup);

// "reset mid-body" becomes ResetMidBody, so a failing kind is named.
std::string caseName(Kind kind)
{
    std::string name;
    bool upper = true;
    for (const char c : std::string(HostileServer::name(kind))) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            upper = true;
            continue;
        }
        name += upper ? char(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return name;
}

// Every kind a hostile run serves.
std::vector<Kind> servedKinds()
{
    std::vector<Kind> kinds;
    for (int k = 0; k < HostileServer::KindCount; ++k)
        kinds.push_back(Kind(k));
    return kinds;
}

class HostileKind : public testing::TestWithParam<Kind>
{
};

} // namespace

// Failing cases name their kind rather than its number.
static void PrintTo(Kind kind, std::ostream *out)
{
    *out << HostileServer::name(kind);
}

TEST_P(HostileKind, BehavesAsItsKindMustThroughTheWholeRun)
{
    const HostileRun &run = hostileRun();
    ASSERT_TRUE(run.failure.empty()) << run.failure;
    const Kind kind = GetParam();
    bool seen = false;
    for (int i = 0; i < CameraEngine::PanelCount; ++i) {
        if (run.kindOf(i) != kind)
            continue;
        seen = true;
        SCOPED_TRACE("panel " + std::to_string(i));
        const PanelCount &c = run.counts[i];
        const PanelStatus &p = run.engine.status(i);
        EXPECT_TRUE(p.progress >= 0 && p.progress <= 100) << p.progress;
        if (answersWithPictures(kind)) {
            EXPECT_EQ(c.decoded, Cycles) << c.failures.join(u'\n').toStdString();
            EXPECT_EQ(c.newPictures, Cycles - 1);
            EXPECT_EQ(c.shown, Cycles - 1);
        } else if (kind == Kind::NeverAnswers || kind == Kind::HeaderThenStall) {
            // Every tick gives up on the silent connection and asks again.
            EXPECT_EQ(run.servers[i]->requestCount(), Cycles);
            // Each restart gives up on the unfinished fetch and says so.
            EXPECT_EQ(c.decoded, 0);
            EXPECT_EQ(c.failures.size(), Cycles - 1);
            for (const QString &reason : c.failures)
                EXPECT_TRUE(reason.startsWith(QStringLiteral("No complete answer within")))
                    << reason.toStdString();
            EXPECT_TRUE(p.picture.isNull());
        } else if (kind == Kind::EndlessBody) {
            // The endless body runs into the cap and is dropped.
            ASSERT_FALSE(c.failures.isEmpty());
            EXPECT_TRUE(c.failures.first().contains(QStringLiteral("larger than")))
                << c.failures.first().toStdString();
            EXPECT_GE(run.servers[i]->bytesSent(), qint64(HttpSnapshot::MaxResponseBytes));
            EXPECT_TRUE(p.picture.isNull());
            EXPECT_EQ(run.engine.camera(i)->fetch().buffer.size(), 0)
                << "the oversized response is let go";
        } else if (kind == Kind::HtmlError) {
            EXPECT_EQ(c.ended, Cycles);
            EXPECT_EQ(c.decoded, 0);
            EXPECT_TRUE(p.picture.isSameAs(run.engine.notFoundPicture()));
            ASSERT_FALSE(c.failures.isEmpty());
            EXPECT_TRUE(c.failures.first().contains(QStringLiteral("500 Internal Server Error")))
                << c.failures.first().toStdString();
        } else if (kind == Kind::RandomBytes || kind == Kind::HugeHeader ||
                   kind == Kind::LengthSmaller) {
            // Not HTTP, a header past what any camera needs, a body cut where
            // its Content-Length says: each cycle fails, nothing is shown.
            EXPECT_EQ(c.ended, Cycles);
            EXPECT_EQ(c.decoded, 0);
            EXPECT_EQ(c.failures.size(), Cycles);
            EXPECT_TRUE(p.picture.isNull());
        } else if (damagesPictures(kind)) {
            EXPECT_EQ(c.ended, Cycles);
            EXPECT_EQ(c.decoded, 1) << "only the first, good, answer decodes";
            EXPECT_FALSE(run.firstPicture[i].isNull());
            EXPECT_TRUE(p.picture.isSameAs(run.firstPicture[i])) << "the last good picture stays";
        } else {
            ADD_FAILURE() << "no verdict for this kind";
        }
    }
    EXPECT_TRUE(seen) << "no panel served this kind";
}

INSTANTIATE_TEST_SUITE_P(AllServedAtOnce, HostileKind, testing::ValuesIn(servedKinds()),
                         [](const testing::TestParamInfo<Kind> &info) {
                             return caseName(info.param);
                         });

TEST(HostileCameras, GoodCamerasKeepUpdatingAmongHostileOnesAndMemoryStaysBounded)
{
    const HostileRun &run = hostileRun();
    ASSERT_TRUE(run.failure.empty()) << run.failure;
    int goodPicturesShown = 0;
    for (int i = 0; i < CameraEngine::PanelCount; ++i) {
        if (run.kindOf(i) == Kind::Good)
            goodPicturesShown += run.counts[i].shown + 1;
    }
    const int goodCameras = CameraEngine::PanelCount - (HostileServer::KindCount - 1);
    EXPECT_EQ(goodPicturesShown, goodCameras * Cycles);

    const qint64 hwm = highWaterMarkKiB();
    ASSERT_GT(hwm, 0);
    EXPECT_LT(hwm, MemoryBoundKiB);
    std::cout << "hostile cameras: " << run.cyclesRun << " cycles, memory high-water mark "
              << hwm / 1024 << " MiB, " << goodPicturesShown << " pictures shown by " << goodCameras
              << " good cameras" << std::endl;
    RecordProperty("cycles", run.cyclesRun);
    RecordProperty("vmhwm_kib", int(hwm));
    RecordProperty("good_pictures", goodPicturesShown);
}
