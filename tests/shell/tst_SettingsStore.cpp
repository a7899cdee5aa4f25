#include <gtest/gtest.h>

#include <optional>

#include <QCoreApplication>
#include <QSettings>

#include "AppInfo.h"
#include "MachineRegistry.h"
#include "MessageBoxes.h"
#include "SafeFileWriter.h"
#include "ScopedHooks.h"
#include "SettingsStore.h"
#include "TessalyError.h"
#include "TestEnv.h"

namespace {
const QString kSettings = QStringLiteral("Settings");
const QString kIgnore = QStringLiteral("IgnorePermissionDeniedError");

// A registry over a real file whose create and set steps can be refused.
class RefusingRegistry : public MachineRegistry
{
public:
    using MachineRegistry::MachineRegistry;

    long createKey(const QString &path, Key *key) override
    {
        ++createCalls;
        if (refuseCreate > 0) {
            --refuseCreate;
            *key = 0;
            return AccessDenied;
        }
        return MachineRegistry::createKey(path, key);
    }
    long setValue(Key key, const QString &name, quint32 type, const QByteArray &data) override
    {
        ++setCalls;
        if (refuseSet > 0) {
            --refuseSet;
            return AccessDenied;
        }
        return MachineRegistry::setValue(key, name, type, data);
    }
    long openKey(const QString &path, Key *key) override
    {
        if (openStatus != Success) {
            *key = 0;
            return openStatus;
        }
        return MachineRegistry::openKey(path, key);
    }

    int refuseCreate = 0;
    int refuseSet = 0;
    int createCalls = 0;
    int setCalls = 0;
    long openStatus = Success;
};

class SettingsStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshProgramDirectory();
        QSettings user(QSettings::IniFormat, QSettings::UserScope, AppInfo::companyName(), product);
        user.clear();
        user.sync();
        registry = std::make_shared<RefusingRegistry>(MachineRegistry::defaultFilePath());
        machineRegistry.emplace(registry);
    }

    QString getMachine(const QString &key, const QString &def = QStringLiteral("default"))
    {
        return SettingsStore::GetMachineSetting(product, kSettings, key, def);
    }
    static TessalyError machineError(const QString &app, const QString &section, const QString &key)
    {
        try {
            SettingsStore::GetMachineSetting(app, section, key, QStringLiteral("0"));
        } catch (const TessalyError &e) {
            return e;
        }
        return TessalyError(0, {}, QStringLiteral("no error raised"));
    }

    const QString product = AppInfo::productName();
    std::shared_ptr<RefusingRegistry> registry;
    QList<MessageBoxes::Request> boxes;
    QList<MessageBoxes::Button> answers;
    ScopedHook<&MessageBoxes::setAsker> asker{[this](const MessageBoxes::Request &request) {
        boxes.append(request);
        if (answers.isEmpty())
            return MessageBoxes::Abort;
        return answers.takeFirst();
    }};
    // Made in SetUp, once the program directory the registry lives in exists.
    std::optional<ScopedHook<&SettingsStore::setMachineRegistry>> machineRegistry;
    ScopedHook<&SafeFileWriter::setFaultInjector> faults{nullptr};
};
} // namespace

TEST_F(SettingsStoreTest, DefaultsAndRoundTripsInBothAreas)
{
    EXPECT_EQ(SettingsStore::GetMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                               QStringLiteral("0")),
              QStringLiteral("0"));
    EXPECT_EQ(SettingsStore::GetSetting(product, kSettings, QStringLiteral("showHelp"),
                                        QStringLiteral("1")),
              QStringLiteral("1"));

    EXPECT_TRUE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                  QStringLiteral("1")));
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));
    EXPECT_TRUE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("note"),
                                                  QStringLiteral(" Grüße % \\ \"x\" ")));
    EXPECT_EQ(getMachine(QStringLiteral("note")), QStringLiteral(" Grüße % \\ \"x\" "));
    // A fresh registry object over the same file sees the same values.
    machineRegistry->set(nullptr);
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));

    // Stored as a string with its terminating zero, the size counting it.
    MachineRegistry reg(MachineRegistry::defaultFilePath());
    MachineRegistry::Key key = 0;
    ASSERT_EQ(reg.openKey(SettingsStore::machineKeyPath(product, kSettings), &key), 0);
    quint32 type = 0;
    quint32 size = 0;
    ASSERT_EQ(reg.queryValue(key, QStringLiteral("autoSave"), &type, nullptr, &size), 0);
    EXPECT_EQ(type, MachineRegistry::TypeString);
    EXPECT_EQ(size, 2u);
    reg.closeKey(key);

    EXPECT_TRUE(SettingsStore::SaveSetting(product, kSettings, QStringLiteral("showHelp"),
                                           QStringLiteral("0")));
    EXPECT_EQ(SettingsStore::GetSetting(product, kSettings, QStringLiteral("showHelp"),
                                        QStringLiteral("1")),
              QStringLiteral("0"));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(SettingsStoreTest, ZeroByteAndTerminatorOnlyStringsReadAsEmpty)
{
    const QString path = SettingsStore::machineKeyPath(product, kSettings);
    MachineRegistry::Key key = 0;
    ASSERT_EQ(registry->createKey(path, &key), 0);
    ASSERT_EQ(registry->setValue(key, QStringLiteral("zero"), MachineRegistry::TypeString, {}), 0);
    registry->closeKey(key);
    EXPECT_EQ(getMachine(QStringLiteral("zero")), QString());

    ASSERT_TRUE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("empty"), {}));
    EXPECT_EQ(getMachine(QStringLiteral("empty")), QString());
    EXPECT_EQ(getMachine(QStringLiteral("absent")), QStringLiteral("default"));
    EXPECT_EQ(registry->openKeyCount(), 0);
}

TEST_F(SettingsStoreTest, NumberedErrorsCarryTheirNumberAndText)
{
    const qint64 base = 0x80040000;
    const QString blank = QStringLiteral("   ");
    const QString key = QStringLiteral("autoSave");
    TessalyError e = machineError(blank, blank, blank);
    EXPECT_EQ(e.number(), base + 1000);
    EXPECT_EQ(e.description(), QStringLiteral("AppName may not be empty"));
    e = machineError(product, blank, key);
    EXPECT_EQ(e.number(), base + 1001);
    EXPECT_EQ(e.description(), QStringLiteral("Section may not be empty"));
    e = machineError(product, kSettings, QString());
    EXPECT_EQ(e.number(), base + 1002);
    EXPECT_EQ(e.description(), QStringLiteral("Key may not be empty"));

    // A 32-bit number where a string belongs.
    const QString path = SettingsStore::machineKeyPath(product, kSettings);
    MachineRegistry::Key handle = 0;
    ASSERT_EQ(registry->createKey(path, &handle), 0);
    ASSERT_EQ(registry->setValue(handle, key, MachineRegistry::TypeDword,
                                 QByteArray("\x01\x00\x00\x00", 4)),
              0);
    registry->closeKey(handle);
    e = machineError(product, kSettings, key);
    EXPECT_EQ(e.number(), base + 2004);
    EXPECT_EQ(e.description(), QStringLiteral("Settings data not a string"));
    EXPECT_EQ(registry->openKeyCount(), 0) << "the key is closed before the error leaves";

    registry->openStatus = MachineRegistry::AccessDenied;
    e = machineError(product, kSettings, key);
    EXPECT_EQ(e.number(), base + 2005);
    EXPECT_EQ(e.description(), QStringLiteral("Could not open settings section"));
    EXPECT_EQ(registry->openKeyCount(), 0);
}

TEST_F(SettingsStoreTest, SectionBlanksAreTrimmedKeyBlanksAreNot)
{
    EXPECT_EQ(SettingsStore::machineKeyPath(QStringLiteral("  ") + product + QStringLiteral(" "),
                                            QStringLiteral(" Settings  ")),
              QStringLiteral("SOFTWARE\\") + AppInfo::companyName() + QLatin1Char('\\') + product +
                  QStringLiteral("\\Settings"));
    ASSERT_TRUE(SettingsStore::SaveMachineSetting(product, QStringLiteral("  Settings "),
                                                  QStringLiteral("autoSave"), QStringLiteral("1")));
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));
    EXPECT_EQ(getMachine(QStringLiteral(" autoSave ")), QStringLiteral("default"));
    ASSERT_TRUE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral(" autoSave "),
                                                  QStringLiteral("2")));
    EXPECT_EQ(getMachine(QStringLiteral(" autoSave ")), QStringLiteral("2"));
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));
}

TEST_F(SettingsStoreTest, RefusedWriteAsksAndRetryRepeatsTheFailedStep)
{
    registry->refuseSet = 2;
    answers = {MessageBoxes::Retry, MessageBoxes::Retry};
    EXPECT_TRUE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                  QStringLiteral("1")));
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Permission Denied"));
    EXPECT_EQ(boxes[0].buttons, MessageBoxes::Abort | MessageBoxes::Retry | MessageBoxes::Ignore);
    EXPECT_EQ(boxes[0].icon, MessageBoxes::NoIcon);
    EXPECT_TRUE(boxes[0].text.startsWith(
        product + QStringLiteral(" requires read/write access to its settings files and the disk "
                                 "in order to run properly.  This user account")));
    EXPECT_TRUE(boxes[0].text.contains(
        QStringLiteral("permission settings for this account.\r\n\r\nIf you would like to "
                       "prevent this error message from being displayed again, please press "
                       "'Ignore'.")));
    EXPECT_EQ(registry->createCalls, 1) << "only the failed step runs again";
    EXPECT_EQ(registry->setCalls, 3);
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));
    EXPECT_EQ(registry->openKeyCount(), 0);

    // Abort gives the write up: the old value stays.
    boxes.clear();
    registry->refuseCreate = 1;
    answers = {MessageBoxes::Abort};
    EXPECT_FALSE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                   QStringLiteral("0")));
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));
    EXPECT_EQ(SettingsStore::GetSetting(product, kSettings, kIgnore, QStringLiteral("0")),
              QStringLiteral("0"));
    EXPECT_EQ(registry->openKeyCount(), 0);
}

TEST_F(SettingsStoreTest, IgnoreSilencesTheWarningFromThenOn)
{
    registry->refuseCreate = 1;
    answers = {MessageBoxes::Ignore};
    EXPECT_FALSE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                   QStringLiteral("1")));
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(SettingsStore::GetSetting(product, kSettings, kIgnore, QStringLiteral("0")),
              QStringLiteral("1"));

    registry->refuseSet = 1;
    EXPECT_FALSE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                   QStringLiteral("1")));
    EXPECT_EQ(boxes.size(), 1) << "no second warning once ignored";
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("default"));
    EXPECT_EQ(registry->openKeyCount(), 0);
}

TEST_F(SettingsStoreTest, AFileThatCannotBeWrittenBringsTheWarningAndStaysIntact)
{
    ASSERT_TRUE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                  QStringLiteral("1")));
    const QByteArray before = TestEnv::readFile(MachineRegistry::defaultFilePath());
    ASSERT_FALSE(before.isEmpty());

    machineRegistry->set(nullptr); // the registry over the real file
    faults.set([](const QString &) { return true; });
    answers = {MessageBoxes::Retry, MessageBoxes::Abort};
    EXPECT_FALSE(SettingsStore::SaveMachineSetting(product, kSettings, QStringLiteral("autoSave"),
                                                   QStringLiteral("0")));
    ASSERT_EQ(boxes.size(), 2);
    // The fixed text cannot say which file; the details do, with the reason.
    EXPECT_TRUE(boxes[0].details.contains(MachineRegistry::defaultFilePath()))
        << boxes[0].details.toStdString();
    EXPECT_EQ(TestEnv::readFile(MachineRegistry::defaultFilePath()), before);

    faults.set(nullptr);
    EXPECT_EQ(getMachine(QStringLiteral("autoSave")), QStringLiteral("1"));
}

TEST_F(SettingsStoreTest, SettingsLiveBesideTheProgramAndInTheUsersConfigDirectory)
{
    // The machine area and the camera list sit in the program directory: the
    // executable's own, unless TESSALY_HOME names another.
    const QByteArray home = qgetenv("TESSALY_HOME");
    qunsetenv("TESSALY_HOME");
    EXPECT_EQ(AppInfo::programDirectory(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(MachineRegistry::defaultFilePath(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/machine-settings.reg"));
    qputenv("TESSALY_HOME", home + "/./sub/..");
    EXPECT_EQ(AppInfo::programDirectory(), QString::fromLocal8Bit(home));
    qputenv("TESSALY_HOME", home);

    // The per-user area is an INI file named after the company and the product
    // in the user's config directory; the demo run writes that file itself.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(config.isEmpty());
    SettingsStore::SaveSetting(product, kSettings, QStringLiteral("showHelp"), QStringLiteral("0"));
    const QString ini = config + QLatin1Char('/') + AppInfo::companyName() + QLatin1Char('/') +
                        product + QStringLiteral(".ini");
    EXPECT_TRUE(TestEnv::readFile(ini).contains("[Settings]\nshowHelp=0"))
        << TestEnv::readFile(ini).toStdString();
}
