#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSslSocket>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include "AddCamDialog.h"
#include "AppInfo.h"
#include "CamListFile.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "EditCamDialog.h"
#include "EventsDialog.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MiniHttpServer.h"
#include "MosquittoServer.h"
#include "PictureIndex.h"
#include "PictureLimitsDialog.h"
#include "PictureSaver.h"
#include "PictureWindow.h"
#include "RetentionKeeper.h"
#include "ReviewWindow.h"
#include "ScopedHooks.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "Skin.h"
#include "SkinLabel.h"
#include "SkinLabelArray.h"
#include "SnapshotFileName.h"
#include "StretchImage.h"
#include "TestCertificate.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "Twips.h"
#include "WaitUntil.h"
#include "WallView.h"
#include "WebPassword.h"
#include "WebView.h"
#include "WebViewDialog.h"
#include "WindowUtils.h"
#include "ZoomImage.h"

namespace {

// First a red 320 x 240 picture, then a blue, wider one with a new date.
void serveRedThenBlue(MiniHttpServer &server)
{
    auto served = std::make_shared<int>(0);
    server.setHandler([served](const QByteArray &) {
        MiniHttpServer::Reply reply;
        const bool first = (*served)++ == 0;
        reply.bytes = MiniHttpServer::response(
            TestPictures::jpegOf(first ? Qt::red : Qt::blue,
                                 first ? QSize(320, 240) : QSize(400, 200)),
            "image/jpeg",
            first ? "Tue, 08 Dec 2026 10:00:00 GMT" : "Tue, 08 Dec 2026 10:00:05 GMT");
        return reply;
    });
}

int px(double twips)
{
    return Twips::toPixels(twips, 96);
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QApplication::setQuitOnLastWindowClosed(false);
        dir = TestEnv::freshProgramDirectory();
        TestEnv::freshConfigDirectory();
        // The viewer starts as a new user's does, whatever a test before stored.
        ASSERT_TRUE(Settings::setViewerFit(true));
        // The time label asks a daytime server of ours, never one outside.
        daytime = std::make_unique<QTcpServer>();
        ASSERT_TRUE(daytime->listen(QHostAddress::LocalHost));
        QObject::connect(daytime.get(), &QTcpServer::newConnection, daytime.get(), [this] {
            while (QTcpSocket *socket = daytime->nextPendingConnection()) {
                ++daytimeRequests;
                socket->write("\n60078 23-05-14 18:07:42 50 0 0 123.4 UTC(NIST) * \n");
                socket->disconnectFromHost();
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        qputenv("TESSALY_TIME_SERVER",
                QStringLiteral("127.0.0.1:%1").arg(daytime->serverPort()).toLatin1());
    }

    void TearDown() override
    {
        MessageBoxes::setAsker({});
        window.reset();
    }

    void load()
    {
        window = std::make_unique<MainWindow>();
        window->engine().setRealTimersEnabled(false);
        window->setEndProgramHandler([this] { ++endedByClose; });
        window->setExitHandler([this] { ++endedByExit; });
        window->Form_Load();
    }

    // One camera listed, and the window loaded with room in the viewer for the
    // picture: 8,000 twips across, 6,220 down.
    void openWithRoomyViewer(const QString &name, const QString &url)
    {
        ASSERT_TRUE(CamListFile::LoadCamList().ok());
        ASSERT_TRUE(CamListFile::AppendCamEntry(name, url, "30").ok());
        load();
        // The hidden window's pending resize comes first.
        window->grab();
        window->LayoutMainWindow(11520, 15195);
    }

    template <typename T = QWidget>
    T *child(const QString &name) const
    {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    QListWidget *list() const { return child<QListWidget>("List1"); }
    QGroupBox *frame(int i) const { return child<QGroupBox>(QStringLiteral("Frame_%1").arg(i)); }
    CameraEngine &engine() const { return window->engine(); }

    void select(const QString &name)
    {
        const QList<QListWidgetItem *> items = list()->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(items.isEmpty()) << name.toStdString();
        list()->setCurrentItem(items.first());
    }

    void doubleClick(const QString &name)
    {
        select(name);
        QListWidgetItem *item = list()->currentItem();
        // A double click is a press and release followed by the double-click event.
        const QPoint at = list()->visualItemRect(item).center();
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    }

    void startCam(const QString &name)
    {
        select(name);
        QTest::mouseClick(child<QPushButton>("cmdStartCam"), Qt::LeftButton);
    }

    QStringList listItems() const
    {
        QStringList items;
        for (int i = 0; i < list()->count(); ++i)
            items << list()->item(i)->text();
        return items;
    }

    int visiblePanels() const
    {
        int n = 0;
        for (int i = 0; i < 24; ++i)
            n += frame(i)->isHidden() ? 0 : 1;
        return n;
    }

    QString dir;
    std::unique_ptr<QTcpServer> daytime;
    int daytimeRequests = 0;
    std::unique_ptr<MainWindow> window;
    int endedByClose = 0;
    int endedByExit = 0;
};

} // namespace

TEST_F(MainWindowTest, FirstStartInAnEmptyProgramDirectory)
{
    load();
    EXPECT_TRUE(QDir(dir + "/cam").exists());
    EXPECT_EQ(TestEnv::readFile(dir + "/00camlist.txt"), QByteArray("\r\n"));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_FALSE(child<QCheckBox>("chkSave")->isChecked());
    EXPECT_EQ(visiblePanels(), 0);
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(window->windowTitle(), AppInfo::productName() + " by " + AppInfo::companyName());
    EXPECT_EQ(window->camsInUse(), 0);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(frame(i)->title(), "[WebCam]");
        // Every busy indicator has the animated picture of picrefresh.
        EXPECT_NE(child(QStringLiteral("imgRefresh_%1").arg(i)), nullptr);
    }
    EXPECT_EQ(child<QPushButton>("Command3")->toolTip(),
              "full screen, auto refreshing view of current cam.  click to close.");
    // The picture folder by its real place, not another program's.
    const QString camFolder = QDir::toNativeSeparators(dir + "/cam");
    EXPECT_EQ(child<QPushButton>("cmdSave")->toolTip(),
              "save image in your " + camFolder + " folder");
    EXPECT_EQ(child<QCheckBox>("chkSave")->toolTip(), "saved to " + camFolder);
    // Values that change while the program runs are not plain labels, so the
    // skin's label copies never freeze an old text over them.
    for (const char *name : {"lblName", "lblRefresh", "lblLastChanged", "lblLastRefreshed",
                             "lblNextRefresh", "lblTime"})
        EXPECT_STRNE(child(QString::fromLatin1(name))->metaObject()->className(), "QLabel") << name;
}

TEST_F(MainWindowTest, ExistingFilesAndAutoSaveAreTakenAsTheyAre)
{
    const QByteArray list = "\r\n[name]Yard\r\nhttp://yard/a.jpg\r\n30\r\n\r\n"
                            "[name]Door\r\nhttp://door/b.jpg\r\n10\r\n\r\n";
    ASSERT_TRUE(TestEnv::writeFile(dir + "/00camlist.txt", list));
    ASSERT_TRUE(QDir().mkpath(dir + "/cam"));
    ASSERT_TRUE(TestEnv::writeFile(dir + "/cam/old.jpg", "x"));
    ASSERT_TRUE(
        SettingsStore::SaveMachineSetting(AppInfo::productName(), "Settings", "autoSave", "1"));
    load();
    EXPECT_EQ(listItems(), QStringList({"Yard", "Door"}));
    EXPECT_EQ(TestEnv::readFile(dir + "/00camlist.txt"), list);
    EXPECT_TRUE(QFile::exists(dir + "/cam/old.jpg"));
    EXPECT_TRUE(child<QCheckBox>("chkSave")->isChecked());
    EXPECT_TRUE(window->autoSaveTicked());

    // Unticking stores "0" at once.
    QTest::mouseClick(child<QCheckBox>("chkSave"), Qt::LeftButton);
    EXPECT_EQ(SettingsStore::GetMachineSetting(AppInfo::productName(), "Settings", "autoSave", "?"),
              "0");
}

TEST_F(MainWindowTest, KeepTheCamerasOwnPicturesIsACheckableCamsEntryThatIsStored)
{
    ASSERT_TRUE(Settings::setKeepOriginal(true));
    load();
    QAction *entry = window->findChild<QAction *>(QStringLiteral("mnuKeepOriginal"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QStringLiteral("Keep the camera's own pictures"));
    EXPECT_TRUE(entry->isCheckable());
    EXPECT_TRUE(entry->isChecked()) << "what the recorder's --keep-original stored";
    entry->trigger();
    EXPECT_FALSE(entry->isChecked());
    EXPECT_EQ(
        SettingsStore::GetMachineSetting(AppInfo::productName(), "Settings", "keepOriginal", "?"),
        "0");
    EXPECT_FALSE(Settings::keepOriginal());
}

TEST_F(MainWindowTest, LayoutAndPanelScrolling)
{
    load();
    ASSERT_EQ(window->logicalDpiY(), 96);
    ASSERT_EQ(window->statusBar()->height(), px(375));
    window->LayoutMainWindow(11520, 15360);
    const auto geometry = [this](const char *name) {
        return child(QString::fromLatin1(name))->geometry();
    };
    EXPECT_EQ(geometry("Frame1").height(), px(10345));
    EXPECT_EQ(geometry("frmCams").height(), px(10345));
    EXPECT_EQ(geometry("frmMain").size(), QSize(px(8760), px(10345)));
    EXPECT_EQ(geometry("List1").height(), px(3300 + 7025) - px(3300));
    EXPECT_EQ(geometry("picWindowOuter").height(), px(240 + 10045) - px(240));
    EXPECT_EQ(geometry("VScroll1").height(), px(240 + 10045) - px(240));
    EXPECT_EQ(geometry("Picture1").size(),
              QSize(px(120 + 8360) - px(120), px(240 + 6415) - px(240)));
    EXPECT_EQ(geometry("frmDetails").top(), px(6655));
    EXPECT_EQ(geometry("VScroll2").left(), px(8105));
    EXPECT_EQ(geometry("HScroll1").top(), px(6160));
    EXPECT_EQ(geometry("Command1").topLeft(), QPoint(px(8105), px(6160)));

    // The panel area at the scroll extremes.
    auto *bar = child<QScrollBar>("VScroll1");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 18000);
    EXPECT_EQ(bar->singleStep(), 600);
    EXPECT_EQ(bar->pageStep(), 2000);
    EXPECT_FALSE(bar->hasTracking()) << "panels move when the thumb is let go";
    QWidget *inner = child("picWindowInner");
    EXPECT_EQ(inner->y(), px(-30));
    EXPECT_EQ(inner->y() + frame(0)->y(), px(30));
    bar->setValue(18000);
    EXPECT_EQ(inner->y(), px(-18030));
    EXPECT_EQ(inner->y() + frame(23)->y(), px(21840) - px(18030));
    // A new layout keeps the scroll position.
    window->LayoutMainWindow(9000, 12000);
    EXPECT_EQ(bar->value(), 18000);
    EXPECT_EQ(inner->y(), px(-18030));

    // A shown window fills its client area with the three columns.
    window->show();
    window->resize(1280, 720);
    QWidget *client = window->centralWidget();
    EXPECT_TRUE(
        waitUntil([&] { return child("frmMain")->geometry().right() == client->width() - 1; }));
    EXPECT_EQ(child("Frame1")->height(), client->height());
}

TEST_F(MainWindowTest, OpensAtMostTwentyFourCamerasEachOnceInTheLowestFreePanel)
{
    MiniHttpServer server;
    MiniHttpServer::Reply silent;
    silent.silent = true;
    server.setReply(silent);
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    for (int i = 0; i < 25; ++i)
        ASSERT_TRUE(CamListFile::AppendCamEntry(QStringLiteral("Cam %1").arg(i),
                                                server.url(QStringLiteral("/%1.jpg").arg(i)), "30")
                        .ok());
    load();
    window->show();
    ASSERT_EQ(list()->count(), 25);

    for (int i = 0; i < 24; ++i) {
        if (i % 2)
            doubleClick(QStringLiteral("Cam %1").arg(i));
        else
            startCam(QStringLiteral("Cam %1").arg(i));
    }
    EXPECT_EQ(window->camsInUse(), 24);
    EXPECT_EQ(visiblePanels(), 24);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(frame(i)->title(), QStringLiteral("Cam %1").arg(i));

    // A 25th is refused without a word.
    doubleClick("Cam 24");
    EXPECT_EQ(window->camsInUse(), 24);
    EXPECT_TRUE(window->statusText().isEmpty());

    // Stopping panel 3 frees it; an open camera does not open twice; the
    // next camera goes to panel 3.
    QTest::mouseClick(child<QPushButton>("cmdStop_3"), Qt::LeftButton);
    EXPECT_TRUE(frame(3)->isHidden());
    EXPECT_EQ(frame(3)->title(), "[webcam]");
    EXPECT_EQ(window->camsInUse(), 23);
    doubleClick("Cam 5");
    EXPECT_EQ(window->camsInUse(), 23);
    doubleClick("Cam 24");
    EXPECT_EQ(window->camsInUse(), 24);
    EXPECT_FALSE(frame(3)->isHidden());
    EXPECT_EQ(frame(3)->title(), "Cam 24");
    EXPECT_EQ(engine().status(3).address, server.url("/24.jpg"));

    // Stop All leaves every panel hidden and nothing in use.
    window->findChild<QAction *>("mnuCamItem_4")->trigger();
    EXPECT_EQ(visiblePanels(), 0);
    EXPECT_EQ(window->camsInUse(), 0);
}

TEST_F(MainWindowTest, ADoubleClickBelowTheLastItemOpensTheSelectedCamera)
{
    MiniHttpServer server;
    MiniHttpServer::Reply silent;
    silent.silent = true;
    server.setReply(silent);
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", server.url("/a.jpg"), "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Door", server.url("/b.jpg"), "30").ok());
    load();
    window->show();
    select("Door");
    const QRect last = list()->visualItemRect(list()->item(list()->count() - 1));
    const QPoint below(last.center().x(), last.bottom() + 2 * last.height());
    ASSERT_LT(below.y(), list()->viewport()->height()) << "the list has room below its items";
    ASSERT_EQ(list()->itemAt(below), nullptr);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(window->camsInUse(), 1);
    EXPECT_EQ(frame(0)->title(), "Door");
    // On an item it opens that one, once.
    doubleClick("Yard");
    EXPECT_EQ(window->camsInUse(), 2);
    EXPECT_EQ(frame(1)->title(), "Yard");
}

TEST_F(MainWindowTest, LowestFreePanelAfterStoppingPanelThree)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    for (const char *name : {"A", "B", "C", "D", "E", "F", "G"})
        ASSERT_TRUE(CamListFile::AppendCamEntry(name, "http://127.0.0.1:1/x.jpg", "30").ok());
    load();
    for (const char *name : {"A", "B", "C", "D", "E", "F"})
        startCam(name);
    engine().stop(3);
    startCam("G");
    EXPECT_EQ(frame(3)->title(), "G");
    EXPECT_EQ(engine().status(3).name, "G");
    EXPECT_EQ(window->camsInUse(), 6);

    // A name that has no entry in the file opens nothing.
    list()->addItem("Ghost");
    startCam("Ghost");
    EXPECT_EQ(window->camsInUse(), 6);
}

TEST_F(MainWindowTest, OpenAtStartTakesListedNamesInFileOrderAndNamesTheUnknown)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    for (const char *name : {"A", "B", "C", "D", "E"})
        ASSERT_TRUE(CamListFile::AppendCamEntry(name, "http://127.0.0.1:1/x.jpg", "30").ok());
    load();
    // Already open by a double-click: not opened a second time.
    doubleClick("E");
    const QString said = window->openCamsAtStart({"D", "Ghost", "B", "E", "B"}, false);
    EXPECT_EQ(window->camsInUse(), 3);
    EXPECT_EQ(frame(0)->title(), "E");
    EXPECT_EQ(frame(1)->title(), "B") << "file order, not the order given";
    EXPECT_EQ(frame(2)->title(), "D");
    EXPECT_EQ(engine().status(2).name, "D");
    EXPECT_EQ(said, "Not in the camera list, so not opened: \"Ghost\".");
    EXPECT_EQ(window->statusText(), said);

    // Nothing asked, nothing said, and the status bar is left as it was.
    window->setStatusText("earlier");
    EXPECT_TRUE(window->openCamsAtStart({}, false).isEmpty());
    EXPECT_EQ(window->camsInUse(), 3);
    EXPECT_EQ(window->statusText(), "earlier");
}

TEST_F(MainWindowTest, OpenAllFillsTwentyFourPanelsAndNamesTheCamerasThatDidNotFit)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    for (int i = 0; i < 26; ++i)
        ASSERT_TRUE(CamListFile::AppendCamEntry(QStringLiteral("Cam %1").arg(i),
                                                "http://127.0.0.1:1/x.jpg", "30")
                        .ok());
    load();
    const QString said = window->openCamsAtStart({"Cam 25"}, true);
    EXPECT_EQ(window->camsInUse(), 24);
    EXPECT_EQ(visiblePanels(), 24);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(frame(i)->title(), QStringLiteral("Cam %1").arg(i));
    EXPECT_EQ(said, "All 24 panels are in use; 2 more cameras did not open: \"Cam 24\", "
                    "\"Cam 25\".");
    EXPECT_EQ(window->statusText(), said);
    EXPECT_EQ(window->selectedCam(), 0) << "the first camera is the selected one";

    // A freed panel takes the first listed camera that is not open, and a
    // camera open already is never counted as left out.
    engine().stop(5);
    EXPECT_EQ(window->openCamsAtStart({}, true), "All 24 panels are in use; 2 more cameras did "
                                                 "not open: \"Cam 24\", \"Cam 25\".");
    EXPECT_EQ(frame(5)->title(), "Cam 5");
    engine().stop(5);
    EXPECT_TRUE(window->openCamsAtStart({"Cam 25"}, false).isEmpty());
    EXPECT_EQ(frame(5)->title(), "Cam 25");
}

TEST_F(MainWindowTest, ReopenCamerasAtStartIsAStoredCamsEntryThatBringsBackThePanels)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    for (const char *name : {"A", "B", "C", "D"})
        ASSERT_TRUE(CamListFile::AppendCamEntry(name, "http://127.0.0.1:1/x.jpg", "30").ok());
    // The per-user settings file outlives the test in this process: leave it
    // as found, so later tests do not reopen these cameras.
    struct Restore
    {
        ~Restore()
        {
            Settings::setReopenCams(false);
            Settings::setOpenCams({});
        }
    } restore;
    load();
    QAction *entry = window->findChild<QAction *>(QStringLiteral("mnuReopenCams"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), "Reopen cameras at start");
    EXPECT_TRUE(entry->isCheckable());
    EXPECT_FALSE(entry->isChecked()) << "off by default";
    EXPECT_TRUE(window->findChild<QMenu *>("mnuCams")->actions().contains(entry));

    // Off: closing remembers nothing, and a start opens nothing by itself.
    doubleClick("C");
    window->show();
    window->close();
    EXPECT_TRUE(Settings::openCams().isEmpty());

    load();
    EXPECT_EQ(window->camsInUse(), 0);
    entry = window->findChild<QAction *>(QStringLiteral("mnuReopenCams"));
    entry->trigger();
    EXPECT_TRUE(Settings::reopenCams());
    doubleClick("C");
    doubleClick("A");
    doubleClick("D");
    engine().stop(2);
    window->show();
    window->close();
    EXPECT_EQ(Settings::openCams(), QStringList({"C", "A"})) << "panel order, stopped ones not";

    // The next start reopens them in their panels, and "Exit" remembers too.
    // A remembered camera that has left the list is named.
    load();
    EXPECT_TRUE(window->findChild<QAction *>(QStringLiteral("mnuReopenCams"))->isChecked());
    EXPECT_TRUE(window->openCamsAtStart({"B"}, false).isEmpty());
    EXPECT_EQ(window->camsInUse(), 3);
    EXPECT_EQ(frame(0)->title(), "C");
    EXPECT_EQ(frame(1)->title(), "A");
    EXPECT_EQ(frame(2)->title(), "B");
    engine().stop(0);
    window->findChild<QAction *>("mnuFileItem_0")->trigger();
    EXPECT_EQ(endedByExit, 1);
    EXPECT_EQ(Settings::openCams(), QStringList({"A", "B"}));

    ASSERT_TRUE(Settings::setOpenCams({"A", "Gone"}));
    load();
    EXPECT_EQ(window->openCamsAtStart({}, false),
              "Not in the camera list, so not opened: \"Gone\".");
    EXPECT_EQ(window->camsInUse(), 1);
    EXPECT_EQ(frame(0)->title(), "A");
}

TEST_F(MainWindowTest, DeleteAsksAndOnlyOkRemoves)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://127.0.0.1:1/y.jpg", "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Door", "http://127.0.0.1:1/d.jpg", "30").ok());
    load();
    startCam("Yard");
    const QByteArray before = TestEnv::readFile(CamListFile::path());

    QList<MessageBoxes::Request> asked;
    MessageBoxes::Button answer = MessageBoxes::Cancel;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &r) {
        asked.append(r);
        return answer;
    });
    select("Yard");
    QTest::mouseClick(child<QPushButton>("cmdRemove"), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].title, "Confirm Delete");
    EXPECT_EQ(asked[0].text, "Are you sure you want to delete Yard?");
    EXPECT_EQ(asked[0].buttons, MessageBoxes::Ok | MessageBoxes::Cancel);
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()), before);
    EXPECT_EQ(listItems(), QStringList({"Yard", "Door"}));

    answer = MessageBoxes::Ok;
    select("Yard");
    window->findChild<QAction *>("mnuCamItem_1")->trigger();
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(listItems(), QStringList({"Door"}));
    EXPECT_EQ(CamListFile::ReadCamList().value(), QStringList({"Door"}));
    // The running panel of the deleted camera keeps running.
    EXPECT_FALSE(frame(0)->isHidden());
    EXPECT_EQ(frame(0)->title(), "Yard");
    EXPECT_TRUE(engine().camera(0)->fetch().counting);
}

TEST_F(MainWindowTest, EditWhileOpenRenamesEveryPanelOfTheLoadedCamera)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://127.0.0.1:1/y.jpg", "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Door", "http://127.0.0.1:1/d.jpg", "10").ok());
    load();
    startCam("Yard");
    startCam("Door");

    select("Yard");
    QTest::mouseClick(child<QPushButton>("cmdEdit"), Qt::LeftButton);
    auto *dialog = window->findChild<EditCamDialog *>("Form3");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Yard");

    // Edit again with another camera selected: same dialog, same fields,
    // only the caption follows.
    select("Door");
    QTest::mouseClick(child<QPushButton>("cmdEdit"), Qt::LeftButton);
    EXPECT_EQ(window->findChildren<EditCamDialog *>().size(), 1);
    EXPECT_EQ(dialog->windowTitle(), "Door");
    auto *name = dialog->findChild<QLineEdit *>("Text1");
    EXPECT_EQ(name->text(), "Yard");

    // Renamed to the name another panel bears: that other panel is not touched.
    name->setText("Door");
    dialog->findChild<QLineEdit *>("Text2")->setText("http://127.0.0.1:1/new.jpg");
    dialog->findChild<QLineEdit *>("Text3")->setText("12");
    QTest::mouseClick(dialog->findChild<QPushButton *>("Command1"), Qt::LeftButton);

    EXPECT_EQ(listItems(), QStringList({"Door", "Door"}));
    EXPECT_EQ(frame(0)->title(), "Door");
    EXPECT_EQ(engine().status(0).name, "Door");
    EXPECT_EQ(engine().status(0).address, "http://127.0.0.1:1/new.jpg");
    EXPECT_EQ(engine().status(0).refresh, "12");
    EXPECT_EQ(engine().status(1).address, "http://127.0.0.1:1/d.jpg");
    EXPECT_EQ(engine().status(1).refresh, "10");
    EXPECT_TRUE(waitUntil([&] { return window->findChild<EditCamDialog *>("Form3") == nullptr; }));
}

TEST_F(MainWindowTest, AddingListsTheCameraWithoutStartingIt)
{
    load();
    QTest::mouseClick(child<QPushButton>("cmdAdd"), Qt::LeftButton);
    auto *dialog = window->findChild<AddCamDialog *>("Form2");
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit *>("Text1")->setText("Yard");
    dialog->findChild<QLineEdit *>("Text2")->setText("http://127.0.0.1:1/y.jpg");
    dialog->findChild<QLineEdit *>("Text3")->setText("30");
    QTest::mouseClick(dialog->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    EXPECT_EQ(listItems(), QStringList({"Yard"}));
    EXPECT_EQ(visiblePanels(), 0);
}

TEST_F(MainWindowTest, OpenFetchShowAndFollowInTheViewer)
{
    MiniHttpServer server;
    serveRedThenBlue(server);
    ASSERT_NO_FATAL_FAILURE(openWithRoomyViewer("Yard", server.url("/snap.jpg")));

    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    doubleClick("Yard");
    ASSERT_TRUE(pictures.wait(5000));
    auto *imgCam = child<StretchImage>("imgCam_0");
    // Decoded off the window's thread, the panel keeps a copy the size of its
    // picture area, not the full picture.
    ASSERT_TRUE(waitUntil([&] { return !imgCam->pixmap().isNull(); }));
    const QImage shown = imgCam->pixmap().toImage();
    EXPECT_EQ(shown.size(), imgCam->size());
    EXPECT_GT(qRed(shown.pixel(shown.width() / 2, shown.height() / 2)), 200);

    // Selecting it shows the full-resolution picture at zoom 1 with its details.
    QTest::mouseClick(imgCam, Qt::LeftButton);
    EXPECT_EQ(window->selectedCam(), 0);
    auto *imgMain = child<ZoomImage>("imgMain");
    EXPECT_EQ(imgMain->picture().size(), QSize(320, 240));
    // Fit, as at every start: the whole picture across the viewer's room.
    const QSize room(child("VScroll2")->x(), child("HScroll1")->y());
    EXPECT_TRUE(imgMain->width() == room.width() || imgMain->height() == room.height());
    EXPECT_EQ(child<QLabel>("lblName")->text(), "Yard");
    EXPECT_EQ(child<QLabel>("lblRefresh")->text(), "30");
    EXPECT_EQ(child<QLabel>("lblLastChanged")->text(), " Tue, 08 Dec 2026 10:00:00 GMT");
    EXPECT_FALSE(child<QLabel>("lblLastRefreshed")->text().isEmpty());
    EXPECT_EQ(child<QLabel>("lblNextRefresh")->text(), "30");
    auto *hbar = child<QScrollBar>("HScroll1");
    auto *vbar = child<QScrollBar>("VScroll2");
    EXPECT_FALSE(hbar->isEnabled());
    EXPECT_FALSE(vbar->isEnabled());

    // Zoom 2, by the bar, which turns Fit off: 640 x 480 pixels over the room.
    child<QScrollBar>("Slider1")->setValue(2);
    EXPECT_EQ(child<QLabel>("zoomFactor")->text(), "2\u00d7");
    EXPECT_EQ(imgMain->size(), QSize(640, 480));
    EXPECT_TRUE(hbar->isEnabled());
    EXPECT_EQ(hbar->maximum(), 640 - room.width());
    EXPECT_TRUE(vbar->isEnabled());
    EXPECT_EQ(vbar->maximum(), 480 - room.height());
    hbar->setValue(50);
    EXPECT_EQ(imgMain->x(), -50);
    vbar->setValue(30);
    EXPECT_EQ(imgMain->y(), -30);
    // Back to 1: both bars off, the picture back in the corner.
    child<QScrollBar>("Slider1")->setValue(1);
    EXPECT_FALSE(hbar->isEnabled());
    EXPECT_EQ(imgMain->pos(), QPoint(0, 0));

    // The next picture of the selected camera reaches the viewer and its labels.
    QSignalSpy viewer(&engine(), &CameraEngine::pictureArrived);
    QTest::mouseClick(child<QPushButton>("cmdRefresh_0"), Qt::LeftButton);
    ASSERT_TRUE(viewer.wait(5000));
    EXPECT_TRUE(waitUntil([&] { return imgMain->picture().size() == QSize(400, 200); }));
    EXPECT_EQ(child<QLabel>("lblLastChanged")->text(), " Tue, 08 Dec 2026 10:00:05 GMT");

    // Stopping the selected camera hides the viewer and selects nothing.
    QTest::mouseClick(child<QPushButton>("cmdStop_0"), Qt::LeftButton);
    EXPECT_TRUE(child("frmMain")->isHidden());
    EXPECT_TRUE(child("frmDetails")->isHidden());
    EXPECT_EQ(window->selectedCam(), -1);
}

TEST_F(MainWindowTest, ARefusedPictureIsToldAndTheOldOneStays)
{
    // Each camera: a good red picture first, then one torn off halfway (the
    // engine's check refuses it), then one whose middle is missing before an
    // intact end marker (only the decoder, off the window's thread, refuses it).
    MiniHttpServer server;
    auto served = std::make_shared<std::map<QByteArray, int>>();
    server.setHandler([served](const QByteArray &request) {
        MiniHttpServer::Reply reply;
        const QByteArray path = request.split(' ').value(1);
        const int n = (*served)[path]++;
        QByteArray body = TestPictures::jpegOf(Qt::red, QSize(320, 240));
        if (n == 1)
            body.truncate(body.size() / 2);
        else if (n > 1)
            body = body.left(body.size() / 2) + "\xFF\xD9";
        reply.bytes = MiniHttpServer::response(body, "image/jpeg",
                                               QStringLiteral("Tue, 08 Dec 2026 10:00:%1 GMT")
                                                   .arg(n, 2, 10, QLatin1Char('0'))
                                                   .toLatin1());
        return reply;
    });
    ASSERT_TRUE(CamListFile::AppendCamEntry("Gate", server.url("/gate.jpg"), "30").ok());
    ASSERT_NO_FATAL_FAILURE(openWithRoomyViewer("Yard", server.url("/yard.jpg")));
    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    doubleClick("Yard");
    doubleClick("Gate");
    ASSERT_EQ(frame(0)->title(), "Yard");
    ASSERT_TRUE(waitUntil([&] { return pictures.count() == 2; }));
    ASSERT_EQ(window->selectedCam(), 0);
    const auto centreRed = [this](int panel) {
        const QImage shown =
            child<StretchImage>(QStringLiteral("imgCam_%1").arg(panel))->pixmap().toImage();
        return !shown.isNull() && qRed(shown.pixel(shown.width() / 2, shown.height() / 2)) > 200;
    };
    ASSERT_TRUE(waitUntil([&] { return centreRed(0) && centreRed(1); }));

    // Selected (0) and not (1), torn and then with its middle missing.
    for (int round = 0; round < 2; ++round) {
        for (int panel : {0, 1}) {
            QSignalSpy failed(&engine(), &CameraEngine::fetchFailed);
            window->setStatusText(QString());
            engine().refreshNow(panel);
            ASSERT_TRUE(waitUntil([&] { return failed.count() > 0; }))
                << "round " << round << ", panel " << panel;
            EXPECT_EQ(qvariant_cast<Camera *>(failed.first().at(0))->panel(), panel);
            const QString name = panel == 0 ? "Yard" : "Gate";
            EXPECT_EQ(window->statusText(), name + ": the picture could not be decoded");
            EXPECT_EQ(frame(panel)->toolTip(), "the picture could not be decoded");
            EXPECT_TRUE(centreRed(panel)) << "the last good picture stays in the panel";
        }
    }
}

TEST_F(MainWindowTest, PanelsBeyondTheSelectedOneGetTheirPictureDecodedOffTheWindowsThread)
{
    // The gate is always red; the yard green at first, blue after.
    MiniHttpServer server;
    auto yardServed = std::make_shared<int>(0);
    server.setHandler([yardServed](const QByteArray &request) {
        MiniHttpServer::Reply reply;
        const bool yard = request.contains("/yard.jpg");
        const QColor colour = !yard             ? QColor(Qt::red)
                              : (*yardServed)++ ? QColor(Qt::blue)
                                                : QColor(Qt::green);
        reply.bytes = MiniHttpServer::response(TestPictures::jpegOf(colour, QSize(320, 240)),
                                               "image/jpeg", "Tue, 08 Dec 2026 10:00:00 GMT");
        return reply;
    });
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Gate", server.url("/gate.jpg"), "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", server.url("/yard.jpg"), "30").ok());
    load();
    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    EXPECT_EQ(window->openCamsAtStart({}, true), QString());
    ASSERT_TRUE(waitUntil([&] { return pictures.count() == 2; }));
    ASSERT_EQ(window->selectedCam(), 0);

    const auto centre = [this](int panel) {
        const QImage shown =
            child<StretchImage>(QStringLiteral("imgCam_%1").arg(panel))->pixmap().toImage();
        return shown.isNull() ? QColor() : shown.pixelColor(shown.width() / 2, shown.height() / 2);
    };
    ASSERT_TRUE(waitUntil([&] { return centre(1).green() > 200; }));
    EXPECT_GT(centre(0).red(), 200);
    auto *yardImage = child<StretchImage>("imgCam_1");
    EXPECT_EQ(yardImage->pixmap().size(), yardImage->size());
    EXPECT_TRUE(window->shownPicture(1).isSameAs(engine().status(1).picture));

    // The next picture replaces it once decoded.
    engine().refreshNow(1);
    ASSERT_TRUE(waitUntil([&] { return centre(1).blue() > 200; }));
    EXPECT_LT(centre(1).green(), 100);
}

TEST_F(MainWindowTest, NothingOutOfSightIsDecodedAndWhatComesBackShowsItsLatestPicture)
{
    // Both cameras send whatever colour the test has come to.
    MiniHttpServer server;
    auto colour = std::make_shared<QColor>(Qt::red);
    server.setHandler([colour](const QByteArray &) {
        MiniHttpServer::Reply reply;
        reply.bytes = MiniHttpServer::response(TestPictures::jpegOf(*colour, QSize(320, 240)),
                                               "image/jpeg", "Tue, 08 Dec 2026 10:00:00 GMT");
        return reply;
    });
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Gate", server.url("/gate.jpg"), "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", server.url("/yard.jpg"), "30").ok());
    load();
    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    EXPECT_EQ(window->openCamsAtStart({}, true), QString());
    const auto green = [](const QImage &shown) {
        return !shown.isNull() &&
               shown.pixelColor(shown.width() / 2, shown.height() / 2).green() > 200;
    };
    const auto panel = [&](int i) {
        return child<StretchImage>(QStringLiteral("imgCam_%1").arg(i))->pixmap().toImage();
    };
    ASSERT_TRUE(waitUntil([&] { return pictures.count() == 2 && !panel(1).isNull(); }));

    // Minimised, the selected camera (0) and the other only have their
    // pictures checked; restored, each shows its latest at once.
    window->setWindowState(Qt::WindowMinimized);
    *colour = Qt::green;
    engine().refreshNow(0);
    engine().refreshNow(1);
    ASSERT_TRUE(waitUntil([&] { return pictures.count() == 4; }));
    for (int i : {0, 1}) {
        const Picture arrived = engine().status(i).picture;
        EXPECT_TRUE(arrived.cachedThumbnail().isNull() && !arrived.heldFull()) << i;
    }
    EXPECT_FALSE(green(panel(1)));
    window->setWindowState(Qt::WindowMaximized);
    EXPECT_TRUE(waitUntil([&] {
        return green(panel(0)) && green(panel(1)) && green(child<ZoomImage>("imgMain")->picture());
    }));
}

TEST_F(MainWindowTest, PanelZeroFillsTheViewerBeforeAnyClick)
{
    MiniHttpServer server;
    serveRedThenBlue(server);
    ASSERT_NO_FATAL_FAILURE(openWithRoomyViewer("Gate", server.url("/snap.jpg")));
    ASSERT_EQ(window->selectedCam(), 0) << "panel 0 counts as selected from the start";

    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    doubleClick("Gate");
    ASSERT_TRUE(pictures.wait(5000));
    // The first picture is fitted into the viewer's room (Fit, as at every
    // start), not squeezed into the image's small design-time box.
    auto *imgMain = child<ZoomImage>("imgMain");
    const QSize room(child("VScroll2")->x(), child("HScroll1")->y());
    ASSERT_TRUE(waitUntil([&] { return imgMain->picture().size() == QSize(320, 240); }));
    const QRect first = imgMain->geometry();
    EXPECT_TRUE(first.width() == room.width() || first.height() == room.height());
    EXPECT_NEAR(first.width() * 3, first.height() * 4, 4) << "four to three";

    // A later picture of another size keeps the viewer's size until the camera
    // is selected again.
    QTest::mouseClick(child<QPushButton>("cmdRefresh_0"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return imgMain->picture().size() == QSize(400, 200); }));
    EXPECT_EQ(imgMain->geometry(), first);
    QTest::mouseClick(child("imgCam_0"), Qt::LeftButton);
    EXPECT_EQ(imgMain->width(), room.width());
    EXPECT_NEAR(imgMain->height(), room.width() / 2, 1) << "two to one";
}

TEST_F(MainWindowTest, ClicksOnTheBusyIndicatorAndPicture3SelectLikeThePicture)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    for (const char *name : {"A", "B", "C"})
        ASSERT_TRUE(CamListFile::AppendCamEntry(name, "http://127.0.0.1:1/x.jpg", "30").ok());
    load();
    for (const char *name : {"A", "B", "C"})
        startCam(name);
    QTest::mouseClick(child("imgRefresh_1"), Qt::LeftButton);
    EXPECT_EQ(window->selectedCam(), 1);
    EXPECT_EQ(child<QLabel>("lblName")->text(), "B");
    // Selecting a camera asks for the time.
    EXPECT_TRUE(waitUntil([&] {
        return child<QLabel>("lblTime")->text() == QStringLiteral("5/14/2023 6:07:42 PM GMT");
    }));
    QTest::mouseClick(child("Picture3_2"), Qt::LeftButton);
    EXPECT_EQ(window->selectedCam(), 2);
    EXPECT_EQ(child<QLabel>("lblName")->text(), "C");
}

TEST_F(MainWindowTest, PictureWindowOpensFollowsAndClosesOnAClick)
{
    QStringList calls;
    WindowUtils::ScreenSaverService fake;
    fake.available = [] { return true; };
    fake.inhibit = [&](const QString &, const QString &) -> std::optional<quint32> {
        calls << "inhibit";
        return 7;
    };
    fake.uninhibit = [&](quint32 cookie) {
        calls << QStringLiteral("uninhibit %1").arg(cookie);
        return true;
    };
    ScopedHook<&WindowUtils::setScreenSaverService> screenSaver(fake);

    MiniHttpServer server;
    int served = 0;
    server.setHandler([&](const QByteArray &) {
        MiniHttpServer::Reply reply;
        reply.bytes = MiniHttpServer::response(
            TestPictures::jpegOf(Qt::green, served++ == 0 ? QSize(160, 120) : QSize(200, 100)),
            "image/jpeg");
        return reply;
    });
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", server.url("/snap.jpg"), "30").ok());
    load();
    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    startCam("Yard");
    ASSERT_TRUE(pictures.wait(5000));
    QTest::mouseClick(child("imgCam_0"), Qt::LeftButton);

    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    EXPECT_TRUE(window->pictureWindowOpen());
    EXPECT_EQ(calls, QStringList({"inhibit"}));
    QPointer<PictureWindow> form6;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "Form6")
            form6 = qobject_cast<PictureWindow *>(w);
    }
    ASSERT_FALSE(form6.isNull());
    EXPECT_TRUE(form6->isVisible());
    EXPECT_EQ(form6->picture().size(), QSize(160, 120));

    // It follows the selected camera's next picture.
    QSignalSpy followed(&engine(), &CameraEngine::pictureArrived);
    engine().refreshNow(0);
    ASSERT_TRUE(followed.wait(5000));
    EXPECT_TRUE(waitUntil([&] { return form6->picture().size() == QSize(200, 100); }));
    EXPECT_FALSE(form6->isBusy());

    // A click closes it and lets the screen saver run again; the viewer stays.
    QTest::mouseClick(form6->image, Qt::LeftButton);
    EXPECT_FALSE(window->pictureWindowOpen());
    EXPECT_TRUE(waitUntil([&] { return form6.isNull(); }));
    EXPECT_EQ(calls, QStringList({"inhibit", "uninhibit 7"}));
    EXPECT_FALSE(child("frmMain")->isHidden());
}

TEST_F(MainWindowTest, ClosingRunsTheUnloadStepsExitDoesNot)
{
    load();
    window->show();
    QTest::mouseClick(child<QPushButton>("cmdAdd"), Qt::LeftButton);
    QPointer<AddCamDialog> form2 = window->findChild<AddCamDialog *>("Form2");
    ASSERT_FALSE(form2.isNull());

    // "Exit" ends at once: the exit runs, no closing step does.
    window->findChild<QAction *>("mnuFileItem_0")->trigger();
    EXPECT_EQ(endedByExit, 1);
    window->close();
    EXPECT_FALSE(form2.isNull());
    EXPECT_EQ(endedByClose, 0);

    // A fresh window closed by the user unloads its dialogs and ends the program.
    window.reset();
    load();
    window->show();
    QTest::mouseClick(child<QPushButton>("cmdAdd"), Qt::LeftButton);
    form2 = window->findChild<AddCamDialog *>("Form2");
    ASSERT_FALSE(form2.isNull());
    window->close();
    EXPECT_TRUE(form2.isNull());
    EXPECT_EQ(endedByClose, 1);
    EXPECT_EQ(endedByExit, 1);
}

TEST_F(MainWindowTest, NothingSelectedShowsTheNoticeAndChangesNothing)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://127.0.0.1:1/y.jpg", "30").ok());
    load();
    window->show();
    const QByteArray before = TestEnv::readFile(CamListFile::path());
    int asked = 0;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &) {
        ++asked;
        return MessageBoxes::Ok;
    });
    for (const char *command : {"cmdEdit", "cmdRemove", "cmdStartCam"}) {
        QTest::mouseClick(child<QPushButton>(QString::fromLatin1(command)), Qt::LeftButton);
        auto *notice = window->findChild<QWidget *>("Form4");
        ASSERT_NE(notice, nullptr) << command;
        EXPECT_TRUE(notice->isVisible()) << command;
        EXPECT_EQ(notice->windowTitle(), "Oops!");
        notice->close();
        EXPECT_TRUE(waitUntil([&] { return !window->findChild<QWidget *>("Form4"); }));
    }
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(window->findChild<QWidget *>("Form3"), nullptr);
    EXPECT_EQ(window->camsInUse(), 0);
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()), before);
}

TEST_F(MainWindowTest, HelpOpensAtStartUnlessSwitchedOffAndFromTheMenu)
{
    ASSERT_TRUE(TestEnv::writeFile(dir + "/Help.rtf", "{\\rtf1\\ansi Adding a camera\\par}"));
    load();
    auto *help = window->findChild<QWidget *>("Form8");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible()) << "\"showHelp\" never stored counts as 1";

    ASSERT_TRUE(SettingsStore::SaveSetting(AppInfo::productName(), "Settings", "showHelp", "0"));
    window.reset();
    load();
    EXPECT_EQ(window->findChild<QWidget *>("Form8"), nullptr);
    window->findChild<QAction *>("mnuHelpItem_0")->trigger();
    help = window->findChild<QWidget *>("Form8");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    ASSERT_TRUE(SettingsStore::SaveSetting(AppInfo::productName(), "Settings", "showHelp", "1"));

    window->findChild<QAction *>("mnuAboutItem")->trigger();
    auto *about = window->findChild<QWidget *>("frmAbout");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());

    // Closing the main window unloads them all.
    window->close();
    EXPECT_EQ(window->findChild<QWidget *>("Form8"), nullptr);
    EXPECT_EQ(window->findChild<QWidget *>("frmAbout"), nullptr);
}

TEST_F(MainWindowTest, SkinnedStartCoversEachCaptionOnceAndLeavesValuesAlone)
{
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://127.0.0.1:9/a.jpg", "30").ok());
    Skin skin;
    // Skinned for the whole case, the dialogs below included; off again however it ends.
    ScopedHook<&Skin::setProgramSkin, &Skin::programSkin> programSkin(&skin);
    ScopedHook<&Skin::setSkinningSwitch, &Skin::skinningSwitch> skinning(true);
    load();

    auto *details = SkinLabelArray::find(window.get(), "SkinLabel1");
    auto *controls = SkinLabelArray::find(window.get(), "SkinLabel2");
    ASSERT_NE(details, nullptr);
    ASSERT_NE(controls, nullptr);
    // Frame1 has one plain label; the detail frame has its five captions and "Zoom:".
    ASSERT_EQ(controls->upperBound(), 1);
    EXPECT_EQ(controls->element(1)->coveredLabel(), child<QLabel>("Label1"));
    EXPECT_EQ(controls->element(1)->text(), "Webcam Listing");
    EXPECT_EQ(controls->element(1)->geometry(), child("Label1")->geometry());
    ASSERT_EQ(details->upperBound(), 6);
    QStringList captions;
    for (int i = 1; i <= details->upperBound(); ++i)
        captions << details->element(i)->text();
    EXPECT_EQ(captions, QStringList({"Name:", "Refresh Rate:", "Last Changed:", "Last Refreshed:",
                                     "Next Refresh:", "Zoom:"}));
    EXPECT_TRUE(Skin::isSkinned(window.get()));

    // The skinned window's style sheet reaches into the dialogs it opens: every
    // caption there still keeps its own face and fits its fixed place.
    window->findChild<QAction *>("mnuCamItem_0")->trigger();
    select("Yard");
    window->findChild<QAction *>("mnuCamItem_2")->trigger();
    for (const char *name : {"Form2", "Form3"}) {
        auto *dialog = window->findChild<QWidget *>(name);
        ASSERT_NE(dialog, nullptr) << name;
        dialog->ensurePolished();
        const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        ASSERT_GE(labels.size(), 4);
        for (QLabel *label : labels) {
            label->ensurePolished();
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << name << " " << label->objectName().toStdString() << " is cut off";
        }
        EXPECT_EQ(dialog->findChild<QLabel *>("Label4")->font(), dialog->font()) << name;
    }
}

TEST_F(MainWindowTest, AutoSaveAndSaveImageWriteIntoCam)
{
    MiniHttpServer server;
    int served = 0;
    server.setHandler([&](const QByteArray &) {
        MiniHttpServer::Reply reply;
        const int n = served++;
        reply.bytes = MiniHttpServer::response(
            TestPictures::jpegOf(n == 0 ? Qt::red : Qt::blue, QSize(64, 48)), "image/jpeg",
            n == 0 ? "Tue, 08 Dec 2026 10:00:00 GMT" : "Tue, 08 Dec 2026 10:00:09 GMT");
        return reply;
    });
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", server.url("/snap.jpg"), "30").ok());
    load();
    const auto saved = [this] { return QDir(dir + "/cam").entryList({"*.jpg"}, QDir::Files); };

    QTest::mouseClick(child<QCheckBox>("chkSave"), Qt::LeftButton);
    EXPECT_EQ(SettingsStore::GetMachineSetting(AppInfo::productName(), "Settings", "autoSave", "?"),
              "1");
    QSignalSpy arrived(&engine(), &CameraEngine::pictureArrived);
    startCam("Yard");
    ASSERT_TRUE(arrived.wait(5000));
    EXPECT_TRUE(saved().isEmpty()) << "the first picture is never new";
    engine().refreshNow(0);
    ASSERT_TRUE(arrived.wait(5000));
    // Saved on the writer's thread: told when it is done.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->statusText().contains(" new picture saved as "); }, 5000))
        << window->statusText().toStdString();
    ASSERT_EQ(saved().size(), 1);

    // "Save Image" saves the selected camera's picture once more, off the
    // window's thread too.
    QTest::mouseClick(child("imgCam_0"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("cmdSave"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved().size() == 2; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return child<ZoomImage>("imgMain")->picture().size() == QSize(64, 48); }, 5000));
    EXPECT_TRUE(window->statusText().contains(" saved as " + dir + "/cam/"))
        << window->statusText().toStdString();
    EXPECT_EQ(child<ZoomImage>("imgMain")->picture().size(), QSize(64, 48));

    // With nothing selected it refuses, and says so.
    QTest::mouseClick(child<QPushButton>("cmdStop_0"), Qt::LeftButton);
    const QString before = window->statusText();
    QTest::mouseClick(child<QPushButton>("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(saved().size(), 2);
    EXPECT_NE(window->statusText(), before);
    EXPECT_FALSE(window->statusText().contains("saved as"));
}

TEST_F(MainWindowTest, TheWindowShowsWhatTheSaverReports)
{
    load();
    QImage red(30, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    SaveReport report;
    report.panel = 0;
    report.path = QStringLiteral("/x/a.jpg");
    report.picture = Picture::fromImage(red);
    report.statusText = QStringLiteral("8:05:09 AM new picture saved as /x/a.jpg");

    // Panel 0 counts as selected from the start: its save is told, and the
    // panel shows the picture as saved.
    emit window->saver().pictureSaved(report);
    EXPECT_EQ(window->statusText(), report.statusText);
    EXPECT_TRUE(window->shownPicture(0).isSameAs(report.picture));

    // Another camera's save changes its panel, not the status bar.
    report.panel = 5;
    report.statusText = QStringLiteral("8:05:10 AM new picture saved as /x/b.jpg");
    emit window->saver().pictureSaved(report);
    EXPECT_EQ(window->statusText(), QStringLiteral("8:05:09 AM new picture saved as /x/a.jpg"));
    EXPECT_TRUE(window->shownPicture(5).isSameAs(report.picture));

    // A failure is told for every camera, and nothing is shown as saved.
    SaveReport failed;
    failed.panel = 7;
    failed.failure = Failure::of(Failure::Kind::File, QStringLiteral("disk full"), 28);
    failed.statusText = QStringLiteral("8:05:11 AM could not save new picture as /x/c.jpg: full");
    emit window->saver().saveFailed(failed);
    EXPECT_EQ(window->statusText(), failed.statusText);
    EXPECT_TRUE(window->shownPicture(7).isNull());
}

TEST_F(MainWindowTest, SaveImageRefusesABlankOrNotFoundPanel)
{
    MiniHttpServer server;
    server.setReply({MiniHttpServer::response("<html>404</html>", "text/html")});
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Page", server.url("/page.html"), "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Nowhere", "http://127.0.0.1:1/x.jpg", "30").ok());
    load();
    const auto saved = [this] { return QDir(dir + "/cam").entryList(QDir::Files); };
    const QString refusal = QStringLiteral("Save Image: the selected camera shows no picture");

    // Panel 0 answers with a page: it shows the not-found picture.
    QSignalSpy failed(&engine(), &CameraEngine::fetchFailed);
    startCam("Page");
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(window->shownPicture(0).isSameAs(engine().notFoundPicture()));
    QTest::mouseClick(child("imgCam_0"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(window->statusText(), refusal);

    // Panel 1 has shown nothing yet: the blank picture.
    startCam("Nowhere");
    QTest::mouseClick(child("imgRefresh_1"), Qt::LeftButton);
    ASSERT_EQ(window->selectedCam(), 1);
    window->setStatusText(QString());
    QTest::mouseClick(child<QPushButton>("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(window->statusText(), refusal);
    EXPECT_TRUE(saved().isEmpty());
}

TEST_F(MainWindowTest, AStalePanelIsMarkedWithItsLastFailureAndTheNextPictureTakesTheMarkOff)
{
    MiniHttpServer server;
    bool down = false;
    server.setHandler([&down](const QByteArray &) {
        MiniHttpServer::Reply reply;
        reply.bytes = down ? MiniHttpServer::response("<html/>", "text/html")
                           : MiniHttpServer::response(
                                 TestPictures::jpegOf(Qt::red, QSize(320, 240)), "image/jpeg");
        return reply;
    });
    ASSERT_NO_FATAL_FAILURE(openWithRoomyViewer("Yard", server.url("/snap.jpg")));
    qint64 now = 0;
    engine().setClock([&now] { return now; });
    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    QSignalSpy failures(&engine(), &CameraEngine::fetchFailed);
    doubleClick("Yard");
    ASSERT_TRUE(pictures.wait(5000));

    auto *mark = child<QLabel>("staleMark_0");
    auto *imgCam = child<StretchImage>("imgCam_0");
    window->checkHealth();
    EXPECT_TRUE(mark->isHidden());
    // A 30-second refresh is stale after a minute without a picture.
    now = 60'000;
    window->checkHealth();
    EXPECT_TRUE(mark->isHidden());
    now = 60'001;
    window->checkHealth();
    EXPECT_FALSE(mark->isHidden());
    EXPECT_EQ(mark->toolTip(), "No picture for 1 min");
    EXPECT_EQ(imgCam->toolTip(), mark->toolTip());
    // The band lies across the foot of the picture, inside it.
    EXPECT_TRUE(imgCam->geometry().contains(mark->geometry())) << "the mark stays on the picture";
    EXPECT_EQ(mark->geometry().bottom(), imgCam->geometry().bottom());

    down = true;
    QTest::mouseClick(child<QPushButton>("cmdRefresh_0"), Qt::LeftButton);
    ASSERT_TRUE(failures.wait(5000));
    now = 65'000;
    window->checkHealth();
    EXPECT_FALSE(mark->isHidden());
    EXPECT_TRUE(
        mark->toolTip().startsWith("No picture for 1 min 5 s\nLast failure: Response from "))
        << mark->toolTip().toStdString();
    EXPECT_TRUE(mark->toolTip().endsWith("is not a picture")) << mark->toolTip().toStdString();

    // The next picture takes the mark off at once, not at the next check.
    down = false;
    QTest::mouseClick(child<QPushButton>("cmdRefresh_0"), Qt::LeftButton);
    ASSERT_TRUE(pictures.wait(5000));
    EXPECT_TRUE(mark->isHidden());
    EXPECT_EQ(imgCam->toolTip(), "Show this camera in the viewer");
}

TEST_F(MainWindowTest, PictureLimitsAreSetInADialogFromTheCamsMenuStoredAndUsed)
{
    ASSERT_TRUE(Settings::setKeepDays(7));
    load();
    EXPECT_EQ(window->keeper().limits().keepDays, 7) << "the stored limits hold from the start";
    EXPECT_EQ(window->keeper().limits().minFreeBytes, qint64(1) << 30);

    QAction *entry = window->findChild<QAction *>(QStringLiteral("mnuPictureLimits"));
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    auto *dialog = window->findChild<PictureLimitsDialog *>("PictureLimitsDialog");
    ASSERT_NE(dialog, nullptr);
    auto *days = dialog->findChild<QLineEdit *>("keepDaysEdit");
    auto *size = dialog->findChild<QLineEdit *>("keepSizeEdit");
    auto *floor = dialog->findChild<QLineEdit *>("minFreeEdit");
    ASSERT_TRUE(days && size && floor);
    EXPECT_EQ(days->text(), "7");
    EXPECT_EQ(size->text(), "0");
    EXPECT_EQ(floor->text(), "1G");
    entry->trigger();
    EXPECT_EQ(window->findChildren<PictureLimitsDialog *>().size(), 1) << "one at a time";

    // A size nobody can read is refused, and nothing is stored or changed.
    QStringList boxes;
    MessageBoxes::setAsker([&](const MessageBoxes::Request &r) {
        boxes << r.text;
        return MessageBoxes::Button::Ok;
    });
    size->setText("lots");
    QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains("\"lots\" is no size")) << boxes[0].toStdString();
    EXPECT_EQ(Settings::keepSize(), 0);
    ASSERT_NE(window->findChild<PictureLimitsDialog *>("PictureLimitsDialog"), nullptr);

    days->setText("30");
    size->setText("500M");
    floor->setText("");
    QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(Settings::keepDays(), 30);
    EXPECT_EQ(Settings::keepSize(), 500 << 20);
    EXPECT_EQ(Settings::minFree(), 0) << "an empty floor is none";
    EXPECT_EQ(window->keeper().limits(), (PictureRetention::Limits{30, 500 << 20, 0}));
    EXPECT_TRUE(waitUntil([&] { return !window->findChild<PictureLimitsDialog *>(); }));
}

TEST_F(MainWindowTest, TheWallCoversTheClientAreaAndAClickBringsItsCameraToTheViewer)
{
    MiniHttpServer server;
    serveRedThenBlue(server);
    ASSERT_NO_FATAL_FAILURE(openWithRoomyViewer("Yard", server.url("/snap.jpg")));
    QSignalSpy pictures(&engine(), &CameraEngine::pictureArrived);
    doubleClick("Yard");
    ASSERT_TRUE(pictures.wait(5000));
    window->show();

    auto *entry = child<QAction>("mnuWall");
    EXPECT_TRUE(entry->isCheckable());
    EXPECT_FALSE(entry->shortcut().isEmpty());
    entry->trigger();
    ASSERT_TRUE(window->wallShown());
    WallView *wall = window->wall();
    EXPECT_EQ(wall->geometry(), child("clientArea")->rect());
    ASSERT_EQ(wall->shownPanels(), std::vector<int>{0});
    EXPECT_EQ(wall->tile(0).name, "Yard");
    EXPECT_TRUE(waitUntil([&] { return !wall->tileImage(0).isNull(); }));

    // Escape returns, and the menu entry follows.
    QTest::keyClick(wall, Qt::Key_Escape);
    EXPECT_FALSE(window->wallShown());
    EXPECT_FALSE(entry->isChecked());

    // A click on a tile selects its camera and returns to the viewer.
    window->setWallShown(true);
    EXPECT_TRUE(entry->isChecked());
    child<QPushButton>("cmdStop_0"); // the columns are still there, under the wall
    QSignalSpy clicked(wall, &WallView::tileClicked);
    QTest::mouseClick(wall, Qt::LeftButton, {}, wall->tileGeometry(0).center());
    ASSERT_TRUE(clicked.wait(2000));
    EXPECT_FALSE(window->wallShown());
    EXPECT_EQ(window->selectedCam(), 0);
    EXPECT_FALSE(child("frmMain")->isHidden());
}

// "only changes" under AutoSave is read back and stored; a change frames the
// camera's panel while it goes on, and "Show Changes" tints the changed cells
// over the viewer's picture.
TEST_F(MainWindowTest, OnlyChangesIsStoredAndAChangeFramesThePanelAndTintsTheViewer)
{
    ASSERT_TRUE(Settings::setAutoSaveMode(Settings::AutoSaveMode::Change));
    MiniHttpServer server;
    int personAt = -1;
    int served = 0;
    server.setHandler([&](const QByteArray &) {
        MiniHttpServer::Reply reply;
        reply.bytes = MiniHttpServer::response(TestPictures::pathView(QSize(320, 240), personAt),
                                               "image/jpeg",
                                               QStringLiteral("Tue, 08 Dec 2026 10:00:%1 GMT")
                                                   .arg(++served, 2, 10, QLatin1Char('0'))
                                                   .toLatin1());
        return reply;
    });
    ASSERT_NO_FATAL_FAILURE(openWithRoomyViewer("Path", server.url("/snap.jpg")));
    EXPECT_TRUE(child<QCheckBox>("chkSave")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkChanges")->isChecked());
    EXPECT_EQ(window->saver().autoSaveMode(), Settings::AutoSaveMode::Change);

    QSignalSpy judged(&engine(), &CameraEngine::changeJudged);
    const auto next = [&](int at) {
        personAt = at;
        const qsizetype before = judged.count();
        QTest::mouseClick(child<QPushButton>("cmdRefresh_0"), Qt::LeftButton);
        return waitUntil([&] { return judged.count() > before; });
    };
    QSignalSpy arrived(&engine(), &CameraEngine::pictureArrived);
    doubleClick("Path");
    // The first picture only records its Last-Modified line; the new ones are judged.
    ASSERT_TRUE(arrived.wait(5000));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(next(-1));
    auto *mark = child("changeMark_0");
    EXPECT_TRUE(mark->isHidden());

    QTest::mouseClick(child<StretchImage>("imgCam_0"), Qt::LeftButton);
    window->findChild<QAction *>(QStringLiteral("mnuShowChanges"))->trigger();
    ASSERT_TRUE(next(120));
    EXPECT_TRUE(engine().camera(0)->inChange());
    EXPECT_FALSE(mark->isHidden());
    EXPECT_TRUE(window->wall()->tile(0).inChange) << "the wall's tile is framed too";
    const QBitArray tinted = child<ZoomImage>("imgMain")->cellOverlay();
    EXPECT_GT(tinted.count(true), 0);
    EXPECT_EQ(tinted, engine().camera(0)->lastVerdict().changedCells);

    ASSERT_TRUE(next(-1));
    ASSERT_TRUE(next(-1));
    EXPECT_FALSE(engine().camera(0)->inChange());
    EXPECT_TRUE(mark->isHidden());
    EXPECT_FALSE(window->wall()->tile(0).inChange);
    EXPECT_EQ(child<ZoomImage>("imgMain")->cellOverlay().count(true), 0);

    // Every new picture again: the box alone, stored as the recorder reads it.
    QTest::mouseClick(child<QCheckBox>("chkChanges"), Qt::LeftButton);
    EXPECT_EQ(Settings::autoSaveMode(), Settings::AutoSaveMode::Every);
    EXPECT_EQ(window->saver().autoSaveMode(), Settings::AutoSaveMode::Every);
}

TEST_F(MainWindowTest, APanelsMenuReviewsItsCameraAndRetentionDeletesLeaveTheIndex)
{
    MiniHttpServer server;
    serveRedThenBlue(server);
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(QDir().mkpath(dir + "/cam"));
    const QString young = dir + "/cam/" + SnapshotFileName::make("Yard", now.addDays(-1));
    ASSERT_TRUE(
        TestEnv::writeFileModifiedAt(young, TestPictures::jpegOf(Qt::red), now.addDays(-1)));
    ASSERT_TRUE(Settings::setKeepDays(30));
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Gate", server.url("/gate.jpg"), "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", server.url("/yard.jpg"), "30").ok());
    load();
    PictureIndex *index = window->pictureIndex();
    ASSERT_NE(index, nullptr);
    index->waitForScan();
    doubleClick("Gate");
    doubleClick("Yard");

    // Right-clicked, panel 1 offers its camera's pictures; panel 0 is the selected one.
    QTimer choose;
    QObject::connect(&choose, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        choose.stop();
        menu->setActiveAction(menu->findChild<QAction *>("mnuReviewCamera"));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    choose.start(10);
    QWidget *panel = frame(1);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                 panel->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(panel, &rightClick);
    auto *review = window->findChild<ReviewWindow *>();
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->camera(), "Yard");
    EXPECT_EQ(review->dayPictures().size(), 1);

    // A picture retention deletes leaves the index with its file.
    const QString old = dir + "/cam/" + SnapshotFileName::make("Yard", now.addDays(-40));
    ASSERT_TRUE(
        TestEnv::writeFileModifiedAt(old, TestPictures::jpegOf(Qt::blue), now.addDays(-40)));
    ASSERT_TRUE(index->add(old, 100).value());
    ASSERT_EQ(index->count("Yard"), 2);
    window->keeper().enforceNow();
    EXPECT_EQ(index->count("Yard"), 1);
}

TEST_F(MainWindowTest, WithABrokerSetTheWindowTellsItAndTheEventsDialogRestartsIt)
{
    MosquittoServer broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    MqttWatcher watcher(broker);
    ASSERT_TRUE(watcher.ready());
    MiniHttpServer server;
    serveRedThenBlue(server);
    ASSERT_TRUE(Settings::setMqttBroker(broker.address()));
    ASSERT_TRUE(Settings::setMqttId("desk"));
    ASSERT_TRUE(Settings::setAutoSave(true));
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Front Yard", server.url("/snap.jpg"), "30").ok());
    load();
    ASSERT_TRUE(watcher.waitFor("tessaly/desk/status", "online")) << broker.log().toStdString();

    QSignalSpy arrived(&engine(), &CameraEngine::pictureArrived);
    doubleClick("Front Yard");
    ASSERT_TRUE(arrived.wait(5000));
    EXPECT_TRUE(watcher.waitFor("tessaly/desk/front_yard/state", "ok"));
    engine().refreshNow(0);
    ASSERT_TRUE(watcher.waitFor("tessaly/desk/front_yard/picture"));
    const QJsonObject picture =
        QJsonDocument::fromJson(watcher.on("tessaly/desk/front_yard/picture").first().payload)
            .object();
    EXPECT_EQ(QDir(dir + "/cam").entryList({"*.jpg"}), QStringList{picture["file"].toString()});

    // Another id, chosen in Cams > Events...: the old one goes offline.
    child<QAction>("mnuEvents")->trigger();
    auto *dialog = window->findChild<EventsDialog *>();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit *>("idEdit")->setText("desk2");
    QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    EXPECT_TRUE(watcher.waitFor("tessaly/desk/status", "offline"));
    EXPECT_TRUE(watcher.waitFor("tessaly/desk2/status", "online"));
}

// Cams > Web View... switches the window's web view on behind a password: no
// password, two that differ or one too short are refused with the dialog left
// open; then the login page answers over TLS on the chosen port, with the
// certificate whose fingerprint the dialog shows next time.
TEST_F(MainWindowTest, TheWebViewDialogSwitchesTheWindowsWebViewOnBehindAPassword)
{
    load();
    ASSERT_NE(window->webView(), nullptr);
    EXPECT_FALSE(window->webView()->isRunning());
    const quint16 port = TestCertificate::freePort();
    window->findChild<QAction *>(QStringLiteral("mnuWebView"))->trigger();
    auto *dialog = window->findChild<WebViewDialog *>(QStringLiteral("WebViewDialog"));
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QCheckBox *>("webOn")->setChecked(true);
    dialog->findChild<QSpinBox *>("portSpin")->setValue(port);
    const auto tryPassword = [&](const QString &password, const QString &again) {
        dialog->findChild<QLineEdit *>("passwordEdit")->setText(password);
        dialog->findChild<QLineEdit *>("againEdit")->setText(again);
        QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    };
    for (const auto &[password, again, says] : {std::tuple{"", "", "Set a password"},
                                                {"long enough 1", "long enough 2", "differ"},
                                                {"short", "short", "at least"}}) {
        tryPassword(password, again);
        EXPECT_TRUE(dialog->findChild<QLabel *>("errorLabel")->text().contains(says)) << says;
        EXPECT_FALSE(window->webView()->isRunning());
        EXPECT_TRUE(Settings::webPasswordHash().isEmpty());
    }
    tryPassword("correct horse", "correct horse");
    ASSERT_TRUE(window->webView()->isRunning())
        << window->statusBar()->currentMessage().toStdString();
    EXPECT_EQ(window->webView()->port(), port);
    EXPECT_TRUE(WebPassword::verify(Settings::webPasswordHash(), "correct horse"));
    EXPECT_EQ(Settings::webView().port, port);

    QSslSocket socket;
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(socket.waitForEncrypted(10000)) << socket.errorString().toStdString();
    socket.write("GET /login HTTP/1.1\r\nHost: tessaly\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(5000))
        answer += socket.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << answer.left(200).toStdString();

    // The dialog closed on OK; opened again, it shows the fingerprint.
    ASSERT_TRUE(waitUntil([&] { return window->findChild<WebViewDialog *>() == nullptr; }));
    window->findChild<QAction *>(QStringLiteral("mnuWebView"))->trigger();
    dialog = window->findChild<WebViewDialog *>(QStringLiteral("WebViewDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QLabel *>("fingerprintLabel")->text(),
              window->webView()->certificate().fingerprintText());
    dialog->close();
}
