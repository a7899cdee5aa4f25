#include <gtest/gtest.h>

#include <memory>

#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "AddCamDialog.h"
#include "CamListFile.h"
#include "CamListPane.h"
#include "EditCamDialog.h"
#include "MessageBoxes.h"
#include "NoticeWindow.h"
#include "SafeFileWriter.h"
#include "ScopedHooks.h"
#include "TestEnv.h"
#include "Twips.h"
#include "WaitUntil.h"

namespace {

class CamListPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshProgramDirectory();
        TestEnv::freshConfigDirectory();
        ASSERT_TRUE(CamListFile::LoadCamList().ok());
        ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://127.0.0.1:1/y.jpg", "30").ok());
        ASSERT_TRUE(CamListFile::AppendCamEntry("Door", "http://127.0.0.1:1/d.jpg", "10").ok());
        pane = std::make_unique<CamListPane>();
        const MainWindowGeometry geometry;
        pane->setGeometry(Twips::toPixels(geometry.Frame1, pane.get()));
        pane->applyGeometry(geometry);
        pane->reload();
        pane->show();
    }

    void TearDown() override { pane.reset(); }

    QListWidget *list() const { return pane->findChild<QListWidget *>("List1"); }
    QPushButton *button(const char *name) const
    {
        auto *found = pane->findChild<QPushButton *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void select(const QString &name)
    {
        const QList<QListWidgetItem *> items = list()->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(items.isEmpty()) << name.toStdString();
        list()->setCurrentItem(items.first());
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QStringList listItems() const { return pane->names(); }
    // Windows the pane loads are its own window's children while loaded.
    template <typename T>
    qsizetype loaded() const
    {
        return pane->findChildren<T *>().size();
    }

    std::unique_ptr<CamListPane> pane;
    QList<MessageBoxes::Request> asked;
    MessageBoxes::Button answer = MessageBoxes::Cancel;
    ScopedHook<&MessageBoxes::setAsker> asker{[this](const MessageBoxes::Request &r) {
        asked.append(r);
        return answer;
    }};
    ScopedHook<&SafeFileWriter::setFaultInjector> faults{nullptr};
};

} // namespace

TEST_F(CamListPaneTest, TheCamsMenuEntriesRunTheirOwnButtons)
{
    QSignalSpy opened(pane.get(), &CamListPane::openRequested);
    QSignalSpy stopAll(pane.get(), &CamListPane::stopAllRequested);
    select("Door");

    pane->runCommand(3);
    ASSERT_EQ(opened.size(), 1) << "Start Selected Cam";
    EXPECT_EQ(opened[0][0].toString(), "Door");
    pane->runCommand(4);
    EXPECT_EQ(stopAll.size(), 1) << "Stop All Cams";
    EXPECT_EQ(loaded<AddCamDialog>(), 0);
    pane->runCommand(0);
    EXPECT_EQ(loaded<AddCamDialog>(), 1) << "Add a Cam";
    pane->runCommand(2);
    ASSERT_EQ(loaded<EditCamDialog>(), 1) << "Edit Selected Cam";
    EXPECT_EQ(pane->findChild<EditCamDialog *>()->windowTitle(), "Door");
    pane->runCommand(1);
    ASSERT_EQ(asked.size(), 1) << "Delete Selected Cam";
    EXPECT_EQ(asked[0].text, "Are you sure you want to delete Door?");

    // Entries past either end run nothing.
    for (int index : {-1, 5, 6}) {
        pane->runCommand(index);
        EXPECT_EQ(opened.size(), 1) << index;
        EXPECT_EQ(stopAll.size(), 1) << index;
        EXPECT_EQ(asked.size(), 1) << index;
        EXPECT_EQ(loaded<AddCamDialog>(), 1) << index;
        EXPECT_EQ(loaded<EditCamDialog>(), 1) << index;
        EXPECT_EQ(loaded<NoticeWindow>(), 0) << index;
    }
}

TEST_F(CamListPaneTest, StartCamAndADoubleClickAskForTheCurrentCameraOnce)
{
    QSignalSpy opened(pane.get(), &CamListPane::openRequested);

    // Nothing selected: the notice, and no camera asked for.
    click("cmdStartCam");
    EXPECT_EQ(opened.size(), 0);
    EXPECT_EQ(loaded<NoticeWindow>(), 1);

    select("Yard");
    click("cmdStartCam");
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].toString(), "Yard");

    // One double-click is one request, for the item under the mouse.
    QListWidgetItem *door = list()->findItems("Door", Qt::MatchExactly).first();
    const QPoint at = list()->visualItemRect(door).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1][0].toString(), "Door");
    EXPECT_EQ(pane->currentName(), "Door");
}

TEST_F(CamListPaneTest, EachWindowLoadsOnceAndAllCloseTogether)
{
    // The notice, asked for twice, is one window.
    click("cmdEdit");
    click("cmdRemove");
    EXPECT_EQ(loaded<NoticeWindow>(), 1);
    EXPECT_TRUE(asked.isEmpty());
    QPointer<NoticeWindow> notice = pane->findChild<NoticeWindow *>();
    ASSERT_FALSE(notice.isNull());
    EXPECT_TRUE(notice->isVisible());

    click("cmdAdd");
    click("cmdAdd");
    EXPECT_EQ(loaded<AddCamDialog>(), 1);
    QPointer<AddCamDialog> add = pane->findChild<AddCamDialog *>();
    ASSERT_FALSE(add.isNull());
    EXPECT_TRUE(add->isVisible());

    select("Yard");
    click("cmdEdit");
    QPointer<EditCamDialog> edit = pane->findChild<EditCamDialog *>();
    ASSERT_FALSE(edit.isNull());

    // Gone at once, not at the next turn of the event loop: the program ends after this.
    pane->closeWindows();
    EXPECT_TRUE(add.isNull());
    EXPECT_TRUE(edit.isNull());
    EXPECT_TRUE(notice.isNull());
    pane->closeWindows();

    // A window closed by the user is loaded afresh the next time.
    click("cmdAdd");
    add = pane->findChild<AddCamDialog *>();
    ASSERT_FALSE(add.isNull());
    add->close();
    ASSERT_TRUE(waitUntil([&] { return add.isNull(); }));
    click("cmdAdd");
    EXPECT_EQ(loaded<AddCamDialog>(), 1);
    EXPECT_TRUE(pane->findChild<AddCamDialog *>()->isVisible());
}

TEST_F(CamListPaneTest, DeleteAsksOnlyForAListedEntryAndTellsAFailedWrite)
{
    QSignalSpy said(pane.get(), &CamListPane::statusText);

    // Yard left the file behind the list's back: nothing is asked or removed.
    const QByteArray doorOnly = "\r\n[name]Door\r\nhttp://127.0.0.1:1/d.jpg\r\n10\r\n\r\n";
    ASSERT_TRUE(TestEnv::writeFile(CamListFile::path(), doorOnly));
    select("Yard");
    click("cmdRemove");
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()), doorOnly);
    EXPECT_EQ(listItems(), QStringList({"Yard", "Door"}));

    // OK, but the file cannot be written: said, and the camera stays listed.
    answer = MessageBoxes::Ok;
    faults.set([](const QString &path) { return path == CamListFile::path(); });
    select("Door");
    click("cmdRemove");
    ASSERT_EQ(asked.size(), 1);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0][0].toString().contains(QDir::toNativeSeparators(CamListFile::path())))
        << said[0][0].toString().toStdString();
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()), doorOnly);
    EXPECT_EQ(listItems(), QStringList({"Door"})) << "the list shows the file as it is";

    // The write goes through: the list follows the file.
    faults.set(nullptr);
    select("Door");
    click("cmdRemove");
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(said.size(), 1);
    EXPECT_TRUE(listItems().isEmpty());
}

TEST_F(CamListPaneTest, AListFileThatCannotBeReadEmptiesTheListAndIsTold)
{
    QSignalSpy said(pane.get(), &CamListPane::statusText);
    ASSERT_TRUE(QFile::remove(CamListFile::path()));
    ASSERT_TRUE(QDir().mkdir(CamListFile::path()));
    pane->reload();
    ASSERT_EQ(said.size(), 1);
    EXPECT_FALSE(said[0][0].toString().isEmpty());
    EXPECT_TRUE(listItems().isEmpty()) << "no camera listed that the file may no longer have";
    EXPECT_FALSE(pane->isCamSelected());
    EXPECT_TRUE(pane->currentName().isEmpty());
}

TEST_F(CamListPaneTest, OnlyTheUsersClickOnAutoSaveIsPassedOn)
{
    QSignalSpy clicked(pane.get(), &CamListPane::autoSaveClicked);
    // The start-up puts the stored state in: nothing to store again.
    pane->setAutoSaveTicked(true);
    EXPECT_TRUE(pane->autoSaveTicked());
    EXPECT_EQ(clicked.size(), 0);

    QTest::mouseClick(pane->findChild<QCheckBox *>("chkSave"), Qt::LeftButton);
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_FALSE(clicked[0][0].toBool());
    EXPECT_FALSE(pane->autoSaveTicked());
}
