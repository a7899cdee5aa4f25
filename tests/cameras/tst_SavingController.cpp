#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "AppInfo.h"
#include "MachineRegistry.h"
#include "MessageBoxes.h"
#include "PictureLimitsDialog.h"
#include "PictureSaver.h"
#include "RetentionKeeper.h"
#include "SavingController.h"
#include "ScopedHooks.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "WaitUntil.h"

namespace {

// The machine settings over their real file, with every write refused.
class RefusingRegistry : public MachineRegistry
{
public:
    using MachineRegistry::MachineRegistry;
    long setValue(Key, const QString &, quint32, const QByteArray &) override
    {
        return AccessDenied;
    }
};

// Far more free space than any test machine has.
constexpr qint64 kHugeFloor = qint64(1) << 60;

class SavingControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = TestEnv::freshProgramDirectory();
        TestEnv::freshConfigDirectory();
        window = std::make_unique<QWidget>();
        saving = new SavingController(window.get());
        saving->saver().setTimeSource(
            [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0, 5)); });
        said = std::make_unique<QSignalSpy>(saving, &SavingController::statusText);
    }

    void TearDown() override
    {
        said.reset();
        window.reset();
    }

    // From here on every settings write is refused, as by a read-only store.
    void refuseStores() { registry.emplace(std::make_shared<RefusingRegistry>(registryFile())); }
    static QString registryFile() { return MachineRegistry::defaultFilePath(); }

    QStringList saidTexts() const
    {
        QStringList texts;
        for (const QList<QVariant> &args : *said)
            texts << args.at(0).toString();
        return texts;
    }
    QString camDir() const { return dir + "/cam"; }
    QStringList saved() const { return QDir(camDir()).entryList({"*.jpg"}, QDir::Files); }
    // A picture of ours, as the keeper's rule names them, last changed days ago.
    void oldPicture(const QString &name, int days)
    {
        ASSERT_TRUE(TestEnv::writeFileModifiedAt(camDir() + '/' + name, "old",
                                                 QDateTime::currentDateTime().addDays(-days)));
    }

    QString dir;
    std::unique_ptr<QWidget> window;
    SavingController *saving = nullptr;
    std::unique_ptr<QSignalSpy> said;
    QStringList boxes;
    ScopedHook<&MessageBoxes::setAsker> asker{[this](const MessageBoxes::Request &r) {
        boxes << r.text;
        return MessageBoxes::Abort;
    }};
    std::optional<ScopedHook<&SettingsStore::setMachineRegistry>> registry;
};

} // namespace

TEST_F(SavingControllerTest, StartHoldsTheStoredLimitsAndFindsAFullDiskAtOnce)
{
    ASSERT_TRUE(Settings::setKeepDays(3));
    ASSERT_TRUE(Settings::setMinFree(kHugeFloor));
    ASSERT_TRUE(QDir().mkpath(camDir()));
    oldPicture("Yard12012026100000AM.jpg", 7);
    oldPicture("Yard12082026090000AM.jpg", 0);

    saving->start();
    EXPECT_EQ(saving->keeper().limits(), (PictureRetention::Limits{3, 0, kHugeFloor}));
    EXPECT_EQ(saved(), QStringList({"Yard12082026090000AM.jpg"}))
        << "the week-old picture goes at the start, not a minute later";
    // The disk is below the floor from the start: autosave waits, and says so.
    EXPECT_TRUE(saving->keeper().isPaused());
    ASSERT_EQ(said->size(), 1) << saidTexts().join('\n').toStdString();
    EXPECT_TRUE(saidTexts()[0].startsWith("Autosave paused: ")) << saidTexts()[0].toStdString();
    EXPECT_TRUE(saidTexts()[0].endsWith("; it goes on by itself when there is room"));
}

TEST_F(SavingControllerTest, AFolderThatCannotBeMadeIsTold)
{
    ASSERT_TRUE(TestEnv::writeFile(camDir(), "a file where the folder goes"));
    saving->start();
    ASSERT_FALSE(saidTexts().isEmpty());
    EXPECT_EQ(saidTexts()[0],
              "The folder " + QDir::toNativeSeparators(camDir()) +
                  " for saved pictures could not be made; pictures cannot be saved.");
}

TEST_F(SavingControllerTest, SaveImageSavesOnlyAPictureOfTheSelectedCamera)
{
    saving->start();
    said->clear();
    const Picture shown = Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(64, 48)));
    const Picture notFound = Picture::fromImage(QImage(32, 24, QImage::Format_RGB32));
    ASSERT_FALSE(shown.isNull());

    QSignalSpy images(saving, &SavingController::imageSaved);
    EXPECT_FALSE(saving->saveImage(std::nullopt, shown, notFound));
    EXPECT_EQ(saidTexts().last(), "Save Image: no camera is selected");
    for (const Picture &nothing : {Picture(), notFound}) {
        EXPECT_FALSE(saving->saveImage(QStringLiteral("Yard"), nothing, notFound));
        EXPECT_EQ(saidTexts().last(), "Save Image: the selected camera shows no picture");
    }
    EXPECT_TRUE(saved().isEmpty());

    // Written off the window's thread: the outcome comes later.
    ASSERT_TRUE(saving->saveImage(QStringLiteral("Yard"), shown, notFound));
    ASSERT_TRUE(images.wait(10000));
    EXPECT_EQ(images.at(0).at(0).value<QImage>().size(), QSize(64, 48));
    ASSERT_EQ(saved().size(), 1);
    EXPECT_TRUE(saved()[0].startsWith("Yard")) << saved()[0].toStdString();
    EXPECT_TRUE(saidTexts().last().endsWith(" saved as " + camDir() + '/' + saved()[0]))
        << saidTexts().last().toStdString();
}

TEST_F(SavingControllerTest, ASaveImageThatCouldNotBeWrittenIsNotCalledSaved)
{
    saving->start();
    ASSERT_TRUE(QDir(camDir()).removeRecursively());
    said->clear();
    const Picture shown = Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(64, 48)));
    QSignalSpy images(saving, &SavingController::imageSaved);
    ASSERT_TRUE(saving->saveImage(QStringLiteral("Yard"), shown, Picture()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return said->size() == 1; }, 10000));
    EXPECT_TRUE(images.isEmpty()) << "the viewer must not show a picture as saved";
    EXPECT_TRUE(saidTexts()[0].contains(" could not save picture as " + camDir() + "/Yard"))
        << saidTexts()[0].toStdString();
    EXPECT_FALSE(saidTexts()[0].contains(" saved as "));
}

TEST_F(SavingControllerTest, ChoicesHoldAtOnceAndAStoreThatFailedIsTold)
{
    saving->autoSaveClicked(true);
    saving->keepOriginalClicked(true);
    EXPECT_TRUE(saving->saver().autoSave());
    EXPECT_TRUE(saving->saver().keepOriginal());
    EXPECT_TRUE(Settings::autoSave());
    EXPECT_TRUE(Settings::keepOriginal());
    EXPECT_EQ(said->size(), 0) << "nothing to tell when both are stored";

    refuseStores();
    saving->autoSaveClicked(false);
    saving->keepOriginalClicked(false);
    EXPECT_FALSE(saving->saver().autoSave()) << "in effect though not stored";
    EXPECT_FALSE(saving->saver().keepOriginal());
    EXPECT_TRUE(Settings::autoSave()) << "the store keeps what it had";
    EXPECT_EQ(saidTexts(),
              QStringList({"The AutoSave setting could not be stored; the next start will not "
                           "remember it.",
                           "The \"Keep the camera's own pictures\" setting could not be stored; "
                           "the next start will not remember it."}));
    EXPECT_EQ(boxes.size(), 2) << "the store asked about each refused write";
}

TEST_F(SavingControllerTest, LimitsFromTheDialogHoldAtOnceStoredOrNot)
{
    ASSERT_TRUE(Settings::setMinFree(kHugeFloor));
    ASSERT_TRUE(QDir().mkpath(camDir()));
    saving->start();
    ASSERT_TRUE(saving->keeper().isPaused());
    oldPicture("Yard12012026100000AM.jpg", 7);
    said->clear();

    saving->showLimits();
    saving->showLimits();
    ASSERT_EQ(window->findChildren<PictureLimitsDialog *>().size(), 1) << "one dialog at a time";
    auto *dialog = window->findChild<PictureLimitsDialog *>();
    EXPECT_EQ(dialog->findChild<QLineEdit *>("minFreeEdit")->text(),
              PictureRetention::sizeText(kHugeFloor))
        << "the dialog starts from the limits in force";

    // Tighter days and a lower floor, and a store that refuses them.
    refuseStores();
    dialog->findChild<QLineEdit *>("keepDaysEdit")->setText("2");
    dialog->findChild<QLineEdit *>("minFreeEdit")->setText("");
    QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    EXPECT_EQ(saving->keeper().limits(), (PictureRetention::Limits{2, 0, 0}));
    EXPECT_TRUE(saved().isEmpty()) << "the week-old picture goes now, not at the next minute";
    EXPECT_FALSE(saving->keeper().isPaused()) << "autosave goes on now";
    const QStringList texts = saidTexts();
    EXPECT_TRUE(texts.contains("The picture limits could not be stored; the next start will not "
                               "remember them."))
        << texts.join('\n').toStdString();
    EXPECT_EQ(texts.filter("Autosave goes on: ").size(), 1) << texts.join('\n').toStdString();
    EXPECT_EQ(Settings::keepDays(), 0) << "the store keeps what it had";
}
