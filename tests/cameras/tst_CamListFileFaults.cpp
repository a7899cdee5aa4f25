#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "CamListFile.h"
#include "MachineRegistry.h"
#include "MessageBoxes.h"
#include "SafeFileWriter.h"
#include "ScopedHooks.h"
#include "SettingsStore.h"
#include "TestEnv.h"
#include "TinyDisk.h"

// Hand-edited and damaged camera lists, and program directories on a disk that
// is full or read-only. Whatever happens, the user gets a sentence naming the
// file and the reason, and the camera list and machine settings keep every byte.
namespace {

const QString kApp = QStringLiteral("Tessaly");
const QString kSettings = QStringLiteral("Settings");

const QByteArray kList = "\r\n[name]Yard\r\nhttp://yard/snap.jpg\r\n30\r\n\r\n"
                         "[name]Gate\r\nhttp://gate/snap.jpg\r\n5\r\n\r\n";

class CamListFileFaultsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshProgramDirectory();
        // Leave the Ignore choice of another test behind.
        SettingsStore::SaveSetting(kApp, kSettings, QStringLiteral("IgnorePermissionDeniedError"),
                                   QStringLiteral("0"));
    }

    static QByteArray listBytes() { return TestEnv::readFile(CamListFile::path()); }

    // The program directory on the tiny disk, with the camera list and a
    // stored setting in it; answers the settings file's bytes.
    static QByteArray programDirectoryOn(const TinyDisk &disk)
    {
        qputenv("TESSALY_HOME", QFile::encodeName(disk.path()));
        EXPECT_TRUE(TestEnv::writeFile(CamListFile::path(), kList));
        EXPECT_TRUE(SettingsStore::SaveMachineSetting(kApp, kSettings, QStringLiteral("autoSave"),
                                                      QStringLiteral("1")));
        return TestEnv::readFile(MachineRegistry::defaultFilePath());
    }
    // Adding a camera is refused with a sentence naming the list file; answers
    // the sentence.
    static QString refusedAppend()
    {
        const auto appended = CamListFile::AppendCamEntry(
            QStringLiteral("New"), QStringLiteral("http://new/snap.jpg"), QStringLiteral("5"));
        EXPECT_FALSE(appended.ok());
        EXPECT_TRUE(appended.errorText().contains(QDir::toNativeSeparators(CamListFile::path())))
            << appended.errorText().toStdString();
        return appended.errorText();
    }

    // After refused writes: the list keeps its bytes and still reads, so the
    // window can go on showing the cameras; a machine setting is refused with
    // one warning (answered Abort) and the settings file keeps its bytes.
    void expectListAndSettingsKept(const QByteArray &settings)
    {
        EXPECT_EQ(listBytes(), kList);
        const auto loaded = CamListFile::LoadCamList();
        ASSERT_TRUE(loaded.ok()) << loaded.errorText().toStdString();
        EXPECT_EQ(loaded.value().size(), 2);

        EXPECT_FALSE(SettingsStore::SaveMachineSetting(kApp, kSettings, QStringLiteral("autoSave"),
                                                       QStringLiteral("0")));
        EXPECT_EQ(boxes.size(), 1) << "the permission warning, answered Abort";
        EXPECT_EQ(TestEnv::readFile(MachineRegistry::defaultFilePath()), settings);
    }

    static QStringList leftovers(const QString &dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QStringList boxes;
    ScopedHook<&MessageBoxes::setAsker> asker{[this](const MessageBoxes::Request &request) {
        boxes.append(request.text);
        return MessageBoxes::Abort;
    }};
    ScopedHook<&SafeFileWriter::setFaultInjector> faults{nullptr};
};

} // namespace

TEST_F(CamListFileFaultsTest, NulBytesAreReadAsTextAndKeptThroughARewrite)
{
    const QByteArray list = QByteArray("\r\n[name]Nul\0Cam\r\nhttp://n/\0x\r\n5\r\n\r\n", 34) +
                            QByteArray("[name]Keep\r\nhttp://keep/\0\0\r\n\0\r\n\r\n", 33) +
                            QByteArray("[name]Last\r\nhttp://last/\r\n1\r\n\r\n");
    ASSERT_TRUE(TestEnv::writeFile(CamListFile::path(), list));

    const auto loaded = CamListFile::LoadCamList();
    ASSERT_TRUE(loaded.ok()) << loaded.errorText().toStdString();
    ASSERT_EQ(loaded.value().size(), 3);
    EXPECT_EQ(loaded.value().at(0), QString::fromUtf8("Nul\0Cam", 7));
    EXPECT_EQ(loaded.value().at(1), QStringLiteral("Keep"));

    const auto found = CamListFile::FindCamEntry(QString::fromUtf8("Nul\0Cam", 7));
    ASSERT_TRUE(found.ok() && found.value().has_value());
    EXPECT_EQ(found.value()->address, QString::fromUtf8("http://n/\0x", 11));

    const auto removed = CamListFile::RemoveCamEntry(*found.value());
    ASSERT_TRUE(removed.ok() && removed.value()) << removed.errorText().toStdString();
    EXPECT_EQ(listBytes(), "\r\n\r\n\r\n\r\n" + list.mid(34) + "\r\n");
}

TEST_F(CamListFileFaultsTest, AHundredMegabyteLineIsRefusedWithoutTouchingTheFile)
{
    // A list someone pasted a huge blob into: the known entry first, then
    // 100 MB without a line end (a sparse file, so the test disk stays empty).
    QFile file(CamListFile::path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(kList), kList.size());
    ASSERT_TRUE(file.resize(100LL * 1024 * 1024));
    file.close();
    const QByteArray head = listBytes().left(kList.size());
    ASSERT_EQ(head, kList);

    const auto loaded = CamListFile::LoadCamList();
    EXPECT_FALSE(loaded.ok());
    EXPECT_TRUE(loaded.errorText().contains(QDir::toNativeSeparators(CamListFile::path())));
    EXPECT_TRUE(loaded.errorText().contains(QStringLiteral("larger than 16 MB")))
        << loaded.errorText().toStdString();

    EXPECT_FALSE(CamListFile::AppendCamEntry(QStringLiteral("New"), QStringLiteral("http://n/"),
                                             QStringLiteral("5"))
                     .ok());
    EXPECT_FALSE(CamListFile::RemoveCamEntry(CamEntry{QStringLiteral("Yard"),
                                                      QStringLiteral("http://yard/snap.jpg"),
                                                      QStringLiteral("30")})
                     .ok());
    EXPECT_FALSE(CamListFile::FindCamEntry(QStringLiteral("Yard")).ok());
    EXPECT_EQ(QFileInfo(CamListFile::path()).size(), 100LL * 1024 * 1024);
    QFile again(CamListFile::path());
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.read(kList.size()), kList);

    again.close();

    // Just inside the limit still loads.
    QFile shrink(CamListFile::path());
    ASSERT_TRUE(shrink.open(QIODevice::ReadWrite));
    ASSERT_TRUE(shrink.resize(CamListFile::MaxFileSize));
    shrink.close();
    const auto atLimit = CamListFile::ReadCamList();
    ASSERT_TRUE(atLimit.ok()) << atLimit.errorText().toStdString();
    EXPECT_EQ(atLimit.value(), (QStringList{QStringLiteral("Yard"), QStringLiteral("Gate")}));
}

TEST_F(CamListFileFaultsTest, AFullDiskRefusesEveryWriteAndLeavesBothFilesWhole)
{
    TinyDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.error().toStdString();
    const QByteArray settings = programDirectoryOn(disk);
    ASSERT_FALSE(HasFailure() || settings.isEmpty());
    ASSERT_TRUE(disk.fill());

    const QString appendError = refusedAppend();
    EXPECT_TRUE(appendError.contains(QStringLiteral("No space left on device")))
        << appendError.toStdString();
    const auto removed = CamListFile::RemoveCamEntry(CamEntry{
        QStringLiteral("Gate"), QStringLiteral("http://gate/snap.jpg"), QStringLiteral("5")});
    ASSERT_FALSE(removed.ok());
    EXPECT_EQ(removed.failure().kind, Failure::Kind::File);
    ASSERT_NO_FATAL_FAILURE(expectListAndSettingsKept(settings));
    EXPECT_EQ(SettingsStore::GetMachineSetting(kApp, kSettings, QStringLiteral("autoSave"), {}),
              QStringLiteral("1"));
    EXPECT_EQ(leftovers(disk.path()),
              (QStringList{QStringLiteral("00camlist.txt"), QStringLiteral("filler"),
                           QStringLiteral("machine-settings.reg")}))
        << "no temporary file is left behind";
}

TEST_F(CamListFileFaultsTest, AReadOnlyProgramDirectoryIsReportedAndNothingIsLost)
{
    TinyDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.error().toStdString();
    const QByteArray settings = programDirectoryOn(disk);
    ASSERT_FALSE(HasFailure() || settings.isEmpty());
    ASSERT_TRUE(disk.makeReadOnly());

    refusedAppend();
    ASSERT_NO_FATAL_FAILURE(expectListAndSettingsKept(settings));

    // Where there is no list yet, the one the window would create cannot be made.
    TinyDisk empty;
    ASSERT_TRUE(empty.mounted() && empty.makeReadOnly());
    qputenv("TESSALY_HOME", QFile::encodeName(empty.path()));
    const auto created = CamListFile::LoadCamList();
    EXPECT_FALSE(created.ok());
    EXPECT_TRUE(created.errorText().contains(QDir::toNativeSeparators(CamListFile::path())));
    EXPECT_TRUE(created.errorText().contains(QStringLiteral("Read-only")) ||
                created.errorText().contains(QStringLiteral("read-only")))
        << created.errorText().toStdString();
    EXPECT_FALSE(QFile::exists(CamListFile::path()));
}
