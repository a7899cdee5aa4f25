#include <gtest/gtest.h>

#include <memory>

#include <QDir>
#include <QFutureWatcherBase>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "AppInfo.h"
#include "CamListFile.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "CameraGridPane.h"
#include "CameraPanelWidget.h"
#include "CertificatePins.h"
#include "LighttpdServer.h"
#include "MessageBoxes.h"
#include "MiniHttpServer.h"
#include "PictureSaver.h"
#include "ScopedHooks.h"
#include "StretchImage.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "WaitUntil.h"

namespace {

// The pane on an engine of its own, whose cameras are a local server that
// never answers: nothing arrives or fails unless a test says so.
class CameraGridPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The camera list of this test alone.
        TestEnv::freshProgramDirectory();
        MiniHttpServer::Reply silent;
        silent.silent = true;
        server.setReply(silent);
        ASSERT_TRUE(CamListFile::LoadCamList().ok());
        engine.setRealTimersEnabled(false);
        pane = std::make_unique<CameraGridPane>(engine);
        QObject::connect(pane.get(), &CameraGridPane::statusText, pane.get(),
                         [this](const QString &text) { said << text; });
    }

    void TearDown() override { pane.reset(); }

    void list(const QStringList &names)
    {
        for (const QString &name : names)
            ASSERT_TRUE(
                CamListFile::AppendCamEntry(name, server.url("/" + name + ".jpg"), "30").ok());
    }

    CameraPanelWidget *panel(int i) const { return pane->panel(i); }

    // The colour in the middle of what panel i shows; invalid while it shows nothing.
    QColor centre(int i) const
    {
        const QImage shown = panel(i)->imgCam()->pixmap().toImage();
        return shown.isNull() ? QColor() : shown.pixelColor(shown.width() / 2, shown.height() / 2);
    }

    // Every decode the pane started has handed over its result (or dropped it).
    bool decodesDone() const { return pane->findChildren<QFutureWatcherBase *>().isEmpty(); }

    // A picture whose panel copy is made already, so it shows at once.
    Picture madePicture(const QColor &colour) const
    {
        return Picture::fromBytes(TestPictures::jpegOf(colour, QSize(320, 240)),
                                  panel(0)->pictureSize());
    }

    // A picture nothing has decoded yet: the pane decodes it off its thread.
    static Picture undecodedPicture(const QColor &colour, const QSize &size = QSize(320, 240))
    {
        return Picture::fromBytesChecked(TestPictures::jpegOf(colour, size), QSize(7, 5));
    }

    MiniHttpServer server;
    CameraEngine engine;
    std::unique_ptr<CameraGridPane> pane;
    QStringList said;
};

} // namespace

TEST_F(CameraGridPaneTest, OpeningsTakeTheLowestFreePanelAndTheCountFollowsStops)
{
    ASSERT_NO_FATAL_FAILURE(list({"A", "B", "C", "D"}));
    EXPECT_EQ(pane->openCam("A"), 0);
    EXPECT_EQ(pane->openCam("B"), 1);
    EXPECT_EQ(pane->openCam("C"), 2);
    EXPECT_EQ(pane->camsInUse(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(panel(i)->isHidden()) << i;
    EXPECT_EQ(panel(1)->title(), "B");

    // Nothing opened is nothing counted.
    EXPECT_EQ(pane->openCam("Ghost"), -1);
    EXPECT_EQ(pane->openCam(QString()), -1);
    EXPECT_EQ(pane->camsInUse(), 3);
    EXPECT_TRUE(said.isEmpty());

    // A stop counts once: stopping the free panel again takes nothing off.
    engine.stop(1);
    EXPECT_EQ(pane->camsInUse(), 2);
    EXPECT_TRUE(panel(1)->isHidden());
    EXPECT_EQ(panel(1)->title(), "[webcam]");
    engine.stop(1);
    engine.stop(23);
    EXPECT_EQ(pane->camsInUse(), 2);

    EXPECT_EQ(pane->openCam("D"), 1);
    EXPECT_EQ(pane->camsInUse(), 3);
    EXPECT_EQ(pane->openNames(), QStringList({"A", "D", "C"})) << "panel order";

    engine.stopAll();
    EXPECT_EQ(pane->camsInUse(), 0);
    EXPECT_TRUE(pane->openNames().isEmpty());
    engine.stopAll();
    EXPECT_EQ(pane->camsInUse(), 0) << "never below nothing";
    EXPECT_EQ(pane->openCam("A"), 0);
    EXPECT_EQ(pane->camsInUse(), 1);
}

TEST_F(CameraGridPaneTest, ListedOpeningsRefuseAShownCaptionAndAFullGrid)
{
    QStringList names;
    for (int i = 0; i < 25; ++i)
        names << QStringLiteral("Cam %1").arg(i);
    ASSERT_NO_FATAL_FAILURE(list(names + QStringList{"[WebCam]"}));

    using Outcome = CameraGridPane::OpenOutcome;
    EXPECT_EQ(pane->openListed("Cam 0"), Outcome::Opened);
    EXPECT_EQ(pane->openListed("Cam 0"), Outcome::AlreadyOpen);
    EXPECT_EQ(pane->openListed("Ghost"), Outcome::NotOpened);
    // A camera is who it is, not a panel's caption: one named like the
    // caption of the unused panels opens too.
    EXPECT_EQ(pane->openListed("[WebCam]"), Outcome::Opened);
    EXPECT_EQ(pane->camsInUse(), 2);

    // Each camera that found no room is named once; one shown already never.
    EXPECT_EQ(pane->openAll(names.mid(1) + QStringList{"Cam 24", "Cam 0"}),
              QStringList({"Cam 23", "Cam 24"}));
    EXPECT_EQ(pane->camsInUse(), 24);
    EXPECT_EQ(panel(23)->title(), "Cam 22");
    EXPECT_EQ(pane->openListed("Cam 24"), Outcome::PanelsFull);
    EXPECT_EQ(pane->openListed("Cam 5"), Outcome::AlreadyOpen) << "asked before the room";

    engine.stop(7);
    EXPECT_EQ(pane->openAll({"Cam 24"}), QStringList());
    EXPECT_EQ(panel(7)->title(), "Cam 24");
    EXPECT_EQ(pane->camsInUse(), 24);
}

TEST_F(CameraGridPaneTest, ACameraListThatCannotBeReadIsSaidAndOpensNothing)
{
    ASSERT_TRUE(QFile::remove(CamListFile::path()));
    ASSERT_TRUE(QDir().mkpath(CamListFile::path()));
    EXPECT_EQ(pane->openCam("A"), -1);
    EXPECT_EQ(pane->openListed("A"), CameraGridPane::OpenOutcome::NotOpened);
    EXPECT_EQ(pane->openAll({"A", "B"}), QStringList());
    EXPECT_EQ(pane->camsInUse(), 0);
    EXPECT_EQ(engine.panelsInUse(), 0);
    ASSERT_EQ(said.size(), 4);
    for (const QString &text : said)
        EXPECT_TRUE(text.contains("it is not a regular file")) << text.toStdString();
}

TEST_F(CameraGridPaneTest, RenamingReachesEveryPanelOfTheCameraAndNoOther)
{
    ASSERT_NO_FATAL_FAILURE(list({"Yard", "Door"}));
    // openCam does not ask what is open: the same camera twice.
    ASSERT_EQ(pane->openCam("Yard"), 0);
    ASSERT_EQ(pane->openCam("Door"), 1);
    ASSERT_EQ(pane->openCam("Yard"), 2);

    pane->renameCam("Yard", "Gate", server.url("/gate.jpg"), "12");
    for (int i : {0, 2}) {
        EXPECT_EQ(panel(i)->title(), "Gate") << i;
        EXPECT_EQ(engine.status(i).name, "Gate") << i;
        EXPECT_EQ(engine.status(i).address, server.url("/gate.jpg")) << i;
        EXPECT_EQ(engine.status(i).refresh, "12") << i;
    }
    EXPECT_EQ(panel(1)->title(), "Door");
    EXPECT_EQ(engine.status(1).address, server.url("/Door.jpg"));
    EXPECT_EQ(engine.status(1).refresh, "30");
    EXPECT_EQ(pane->openNames(), QStringList({"Gate", "Door", "Gate"}));

    // A name no panel shows changes nothing.
    pane->renameCam("Ghost", "Door", server.url("/x.jpg"), "1");
    EXPECT_EQ(pane->openNames(), QStringList({"Gate", "Door", "Gate"}));
}

TEST_F(CameraGridPaneTest, PanelClicksReachTheEngineAndTheWindowWithTheirOwnIndex)
{
    ASSERT_NO_FATAL_FAILURE(list({"A", "B", "C"}));
    for (const char *name : {"A", "B", "C"})
        ASSERT_GE(pane->openCam(name), 0);
    QSignalSpy clicked(pane.get(), &CameraGridPane::pictureClicked);
    QTest::mouseClick(panel(2)->imgCam(), Qt::LeftButton);
    QTest::mouseClick(panel(1)->imgRefresh(), Qt::LeftButton);
    ASSERT_EQ(clicked.size(), 2);
    EXPECT_EQ(clicked[0][0].toInt(), 2);
    EXPECT_EQ(clicked[1][0].toInt(), 1);

    QSignalSpy started(&engine, &CameraEngine::fetchStarted);
    QTest::mouseClick(pane->findChild<QPushButton *>("cmdRefresh_2"), Qt::LeftButton);
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(qvariant_cast<Camera *>(started[0][0])->panel(), 2);

    QTest::mouseClick(pane->findChild<QPushButton *>("cmdStop_1"), Qt::LeftButton);
    EXPECT_TRUE(engine.status(0).inUse);
    EXPECT_FALSE(engine.status(1).inUse);
    EXPECT_TRUE(engine.status(2).inUse);
    EXPECT_TRUE(panel(1)->isHidden());
    EXPECT_EQ(pane->camsInUse(), 2);
}

TEST_F(CameraGridPaneTest, PanelPicturesAreDecodedAtThePanelsSizeAndTheNewestOneWins)
{
    // Decoded off the window's thread, at the size the panel shows.
    const Picture red = undecodedPicture(Qt::red);
    pane->showPicture(0, red);
    EXPECT_TRUE(pane->shownPicture(0).isSameAs(red));
    ASSERT_TRUE(waitUntil([&] { return centre(0).isValid(); }));
    EXPECT_EQ(panel(0)->imgCam()->pixmap().size(), panel(0)->pictureSize());
    EXPECT_GT(centre(0).red(), 200);
    EXPECT_EQ(engine.thumbnailSize(), panel(0)->pictureSize()) << "the engine decodes for it";

    // A picture still decoding when a newer one is shown never covers it.
    const Picture big = undecodedPicture(Qt::green, QSize(1600, 1200));
    const Picture blue = madePicture(Qt::blue);
    pane->showPicture(0, big);
    pane->showPicture(0, blue);
    EXPECT_GT(centre(0).blue(), 200) << "a made picture shows at once";
    ASSERT_TRUE(waitUntil([&] { return decodesDone(); }));
    EXPECT_GT(centre(0).blue(), 200);
    EXPECT_LT(centre(0).green(), 100);
    EXPECT_TRUE(pane->shownPicture(0).isSameAs(blue));

    // The blank picture empties the panel at once; other panels keep theirs.
    pane->showPicture(3, madePicture(Qt::red));
    pane->showPicture(0, Picture());
    EXPECT_TRUE(panel(0)->imgCam()->pixmap().isNull());
    EXPECT_GT(centre(3).red(), 200);
    EXPECT_TRUE(pane->shownPicture(24).isNull());
    EXPECT_TRUE(pane->shownPicture(-1).isNull());
}

TEST_F(CameraGridPaneTest, APanelScrolledOutKeepsItsBytesAndShowsTheLatestPictureWhenBack)
{
    // The window's own layout: six rows of panels in the view at the top.
    pane->applyGeometry(MainWindowGeometry{});
    EXPECT_TRUE(pane->isExposed(0));
    EXPECT_TRUE(pane->isExposed(11));
    EXPECT_FALSE(pane->isExposed(12));
    pane->showPicture(0, madePicture(Qt::red));

    // Scrolled out of the view: nothing decodes and the last pixels stay;
    // scrolled back, it shows the picture that came meanwhile.
    auto *bar = pane->findChild<QScrollBar *>("VScroll1");
    bar->setValue(bar->maximum());
    EXPECT_FALSE(pane->isExposed(0));
    EXPECT_TRUE(pane->isExposed(23));
    const Picture latest = undecodedPicture(Qt::blue);
    pane->showPicture(0, latest);
    EXPECT_TRUE(decodesDone()) << "no decode started";
    EXPECT_TRUE(latest.cachedThumbnail().isNull());
    EXPECT_GT(centre(0).red(), 200);
    bar->setValue(0);
    ASSERT_TRUE(waitUntil([&] { return centre(0).blue() > 200; }));
    EXPECT_EQ(panel(0)->imgCam()->pixmap().size(), panel(0)->pictureSize());
}

TEST_F(CameraGridPaneTest, OutOfSightPanelsCatchUpWithTheirCamerasWhenBack)
{
    ASSERT_NO_FATAL_FAILURE(list({"A", "B"}));
    EXPECT_EQ(pane->openCam("A"), 0);
    // Minimised, or under the wall: what the cameras do waits for sight.
    pane->setOutOfSight(true);
    EXPECT_EQ(pane->openCam("B"), 1);
    engine.stop(0);
    EXPECT_TRUE(panel(1)->isHidden());
    EXPECT_FALSE(panel(0)->isHidden());
    pane->setOutOfSight(false);
    EXPECT_EQ(panel(1)->title(), "B");
    EXPECT_FALSE(panel(1)->isHidden());
    EXPECT_TRUE(panel(0)->isHidden());
}

TEST_F(CameraGridPaneTest, TheSavedPictureOnlyReplacesThePictureItWasMadeFrom)
{
    const Picture first = madePicture(Qt::red);
    const Picture second = madePicture(Qt::blue);

    // Panel 4 has had nothing from the engine: a save of that nothing shows.
    SaveReport report;
    report.panel = 4;
    report.picture = first;
    pane->showSaved(report);
    EXPECT_TRUE(pane->shownPicture(4).isSameAs(first));
    EXPECT_GT(centre(4).red(), 200);
    // Saving is slow: a save made from a picture the panel has moved on from
    // is dropped; so is a report without a picture, or for no panel.
    report.source = second;
    report.picture = second;
    pane->showSaved(report);
    EXPECT_TRUE(pane->shownPicture(4).isSameAs(first));
    report.source = Picture();
    report.picture = Picture();
    pane->showSaved(report);
    EXPECT_TRUE(pane->shownPicture(4).isSameAs(first));
    report.picture = second;
    for (int index : {-1, 24}) {
        report.panel = index;
        pane->showSaved(report);
    }
    EXPECT_TRUE(pane->shownPicture(4).isSameAs(first));
}

TEST_F(CameraGridPaneTest, AFailureIsTippedAndSaidAndTheNextRealPictureClearsTheTip)
{
    ASSERT_NO_FATAL_FAILURE(list({"Yard", "Door"}));
    ASSERT_EQ(pane->openCam("Yard"), 0);
    ASSERT_EQ(pane->openCam("Door"), 1);
    const Picture red = madePicture(Qt::red);
    pane->showPicture(1, red);

    // Camera text with a control character in it is shown, not obeyed.
    emit engine.fetchFailed(engine.camera(1),
                            Failure::of(Failure::Kind::HttpStatus, "503 Busy\x1b[2J"));
    EXPECT_EQ(panel(1)->toolTip(), "503 Busy\\x1b[2J");
    EXPECT_EQ(panel(0)->toolTip(), QString()) << "only the failing panel";
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0], "Door: 503 Busy\x1b[2J");
    EXPECT_GT(centre(1).red(), 200) << "a failure leaves the picture";

    // The not-found picture is the failure shown: the tip stays with it.
    pane->showPicture(1, engine.notFoundPicture());
    EXPECT_EQ(panel(1)->toolTip(), "503 Busy\\x1b[2J");
    pane->showPicture(1, madePicture(Qt::blue));
    EXPECT_EQ(panel(1)->toolTip(), QString());
    emit engine.fetchFailed(engine.camera(1), Failure::of(Failure::Kind::Network, "refused"));
    pane->showPicture(1, undecodedPicture(Qt::green));
    EXPECT_EQ(panel(1)->toolTip(), QString()) << "cleared when it comes, not when it decodes";
}

TEST_F(CameraGridPaneTest, AStoppedPanelForgetsWhyItsCameraFailed)
{
    ASSERT_NO_FATAL_FAILURE(list({"Yard", "Door"}));
    // Yard never sent a picture, so stopping it changes no picture.
    ASSERT_EQ(pane->openCam("Yard"), 0);
    emit engine.fetchFailed(engine.camera(0),
                            Failure::of(Failure::Kind::Network, "Connection refused"));
    ASSERT_EQ(panel(0)->toolTip(), "Connection refused");
    engine.stop(0);
    EXPECT_EQ(panel(0)->toolTip(), QString());

    // The next camera in that panel is not blamed for the last one's failure.
    ASSERT_EQ(pane->openCam("Door"), 0);
    EXPECT_EQ(panel(0)->toolTip(), QString());
}

TEST_F(CameraGridPaneTest, StaleMarksComeWithTheCheckAndGoWithAStop)
{
    ASSERT_NO_FATAL_FAILURE(list({"Yard", "Door"}));
    qint64 now = 0;
    engine.setClock([&now] { return now; });
    ASSERT_EQ(pane->openCam("Yard"), 0);
    ASSERT_EQ(pane->openCam("Door"), 1);
    auto *mark = pane->findChild<QLabel *>("staleMark_0");
    ASSERT_NE(mark, nullptr);

    // A 30-second refresh is stale after a minute without a picture.
    now = 60'000;
    pane->checkHealth();
    EXPECT_FALSE(panel(0)->isStale());
    now = 61'000;
    pane->checkHealth();
    EXPECT_TRUE(panel(0)->isStale());
    EXPECT_TRUE(panel(1)->isStale());
    EXPECT_FALSE(panel(2)->isStale()) << "a free panel is never stale";
    EXPECT_EQ(mark->toolTip(), "No picture yet, 1 min 1 s after opening");
    EXPECT_EQ(panel(0)->imgCam()->toolTip(), mark->toolTip());

    // A stopped panel loses its mark at once, not at the next check.
    engine.stop(0);
    EXPECT_FALSE(panel(0)->isStale());
    EXPECT_TRUE(panel(1)->isStale());

    // Once started, the pane checks by itself.
    ASSERT_EQ(pane->openCam("Yard"), 0);
    EXPECT_FALSE(panel(0)->isStale()) << "opened afresh";
    pane->start();
    now = 200'000;
    EXPECT_TRUE(waitUntil([&] { return panel(0)->isStale(); }));
    EXPECT_TRUE(said.isEmpty());
}

TEST_F(CameraGridPaneTest, NoCertificateToTrustAsksNothing)
{
    ASSERT_NO_FATAL_FAILURE(list({"Yard"}));
    ASSERT_EQ(pane->openCam("Yard"), 0);
    int asked = 0;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &) {
        ++asked;
        return MessageBoxes::Yes;
    });
    EXPECT_FALSE(pane->trustRefusedCertificate(0));
    EXPECT_FALSE(pane->trustRefusedCertificate(5));
    EXPECT_FALSE(pane->trustRefusedCertificate(24));
    EXPECT_FALSE(pane->trustRefusedCertificate(-1));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(said.isEmpty());
}

TEST_F(CameraGridPaneTest, ATrustThatCannotBeStoredIsSaidAndFetchesNothing)
{
    LighttpdServer https;
    LighttpdServer::Options options;
    options.https = true;
    ASSERT_TRUE(https.start(options)) << https.error().toStdString();
    ASSERT_TRUE(https.putFile("snap.jpg", TestPictures::jpegOf(Qt::red)));
    ASSERT_TRUE(CamListFile::AppendCamEntry("Gate", https.url("/snap.jpg"), "30").ok());
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    ASSERT_EQ(pane->openCam("Gate"), 0);
    ASSERT_TRUE(failed.count() > 0 || failed.wait(10000));
    const QString hostPort = engine.status(0).refusedCertificateHost;
    ASSERT_FALSE(hostPort.isEmpty());
    EXPECT_TRUE(panel(0)->toolTip().endsWith("\nRight-click the panel to trust this certificate."))
        << panel(0)->toolTip().toStdString();

    // A folder in the settings file's place: nothing can be written there.
    const QString settingsFile = QSettings(QSettings::IniFormat, QSettings::UserScope,
                                           AppInfo::companyName(), AppInfo::productName())
                                     .fileName();
    QFile::remove(settingsFile);
    ASSERT_TRUE(QDir().mkpath(settingsFile));
    struct Restore
    {
        QString path;
        ~Restore() { QDir(path).removeRecursively(); }
    } restore{settingsFile};

    int asked = 0;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &) {
        ++asked;
        return MessageBoxes::Yes;
    });
    QSignalSpy started(&engine, &CameraEngine::fetchStarted);
    said.clear();
    EXPECT_FALSE(pane->trustRefusedCertificate(0));
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0], "The certificate of " + hostPort +
                           " could not be stored as trusted; the settings file cannot be written.");
    EXPECT_EQ(started.size(), 0) << "nothing trusted, nothing fetched again";
    EXPECT_TRUE(CertificatePins::pinFor(hostPort).isEmpty());
    EXPECT_FALSE(engine.status(0).refusedCertificateSha256.isEmpty()) << "still on offer";
}
