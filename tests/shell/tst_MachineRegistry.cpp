#include <gtest/gtest.h>

#include "MachineRegistry.h"
#include "TestEnv.h"

namespace {
QByteArray query(MachineRegistry &reg, MachineRegistry::Key key, const QString &name,
                 quint32 *type = nullptr)
{
    quint32 size = 0;
    if (reg.queryValue(key, name, type, nullptr, &size) != MachineRegistry::Success)
        return "<missing>";
    QByteArray data;
    quint32 tooSmall = size ? size - 1 : 0;
    if (size > 0) {
        EXPECT_EQ(reg.queryValue(key, name, type, &data, &tooSmall), MachineRegistry::MoreData);
        EXPECT_EQ(tooSmall, size);
    }
    EXPECT_EQ(reg.queryValue(key, name, type, &data, &size), MachineRegistry::Success);
    return data;
}
} // namespace

TEST(MachineRegistry, KeysAndValuesSurviveTheFileWithAnyCharacters)
{
    const QString file = TestEnv::freshProgramDirectory() + QStringLiteral("/machine.reg");
    const QString path = QStringLiteral("SOFTWARE\\Co  Name\\App\\Settings");
    const QString name = QStringLiteral(" odd name %20 \r\n ü ");
    const QByteArray data("line\r\nzero\0end", 14);
    {
        MachineRegistry reg(file);
        MachineRegistry::Key key = 0;
        ASSERT_EQ(reg.openKey(path, &key), MachineRegistry::NotFound);
        ASSERT_EQ(reg.createKey(path, &key), MachineRegistry::Success);
        ASSERT_NE(key, 0u);
        ASSERT_EQ(reg.setValue(key, name, MachineRegistry::TypeBinary, data), 0);
        ASSERT_EQ(reg.setValue(key, QStringLiteral("n"), MachineRegistry::TypeDword,
                               QByteArray(4, '\x07')),
                  0);
        EXPECT_EQ(reg.openKeyCount(), 1);
        EXPECT_EQ(reg.closeKey(key), MachineRegistry::Success);
        EXPECT_EQ(reg.closeKey(key), MachineRegistry::InvalidHandle);
        EXPECT_EQ(reg.setValue(key, name, 1, {}), MachineRegistry::InvalidHandle);
    }
    MachineRegistry reg(file);
    MachineRegistry::Key key = 0;
    // Paths and value names match without regard to letter case, as in a registry.
    ASSERT_EQ(reg.openKey(path.toLower(), &key), MachineRegistry::Success);
    quint32 type = 0;
    EXPECT_EQ(query(reg, key, name.toUpper(), &type), data);
    EXPECT_EQ(type, MachineRegistry::TypeBinary);
    EXPECT_EQ(query(reg, key, QStringLiteral("N"), &type), QByteArray(4, '\x07'));
    EXPECT_EQ(type, MachineRegistry::TypeDword);
    EXPECT_EQ(query(reg, key, QStringLiteral("absent")), QByteArray("<missing>"));
    reg.closeKey(key);
}

TEST(MachineRegistry, DamagedLinesAreSkippedAndOversizedFilesRefused)
{
    const QString file = TestEnv::freshProgramDirectory() + QStringLiteral("/machine.reg");
    ASSERT_TRUE(TestEnv::writeFile(file, "TESSALY-MACHINE-SETTINGS 1\r\n"
                                         "V orphan 1 3100\r\n"
                                         "K A%5CB\r\n"
                                         "V good 1 3100\r\n"
                                         "V badhex 1 3g00\r\n"
                                         "V oddhex 1 310\r\n"
                                         "V badtype x 3100\r\n"
                                         "garbage \xff\xfe\r\n"
                                         "V last 4 01000000"));
    MachineRegistry reg(file);
    MachineRegistry::Key key = 0;
    ASSERT_EQ(reg.openKey(QStringLiteral("A\\B"), &key), 0);
    EXPECT_EQ(query(reg, key, QStringLiteral("good")), QByteArray("1\0", 2));
    EXPECT_EQ(query(reg, key, QStringLiteral("last")), QByteArray("\x01\0\0\0", 4));
    for (const char *bad : {"orphan", "badhex", "oddhex", "badtype"})
        EXPECT_EQ(query(reg, key, QString::fromLatin1(bad)), QByteArray("<missing>")) << bad;
    reg.closeKey(key);

    ASSERT_TRUE(TestEnv::writeFile(file, QByteArray(2 * 1024 * 1024, 'K')));
    EXPECT_EQ(reg.openKey(QStringLiteral("A\\B"), &key), MachineRegistry::InvalidData);
    EXPECT_TRUE(reg.lastError().contains(QStringLiteral("machine.reg")));
    EXPECT_EQ(reg.createKey(QStringLiteral("A\\B"), &key), MachineRegistry::InvalidData);
    EXPECT_EQ(TestEnv::readFile(file).size(), 2 * 1024 * 1024) << "not overwritten";
}

TEST(MachineRegistry, OpenKeyReadsTheFileAsItIsNowAndAClosedOneIsRefusedFirst)
{
    const QString file = TestEnv::freshProgramDirectory() + QStringLiteral("/machine.reg");
    MachineRegistry reg(file);
    MachineRegistry::Key key = 0;
    ASSERT_EQ(reg.createKey(QStringLiteral("A\\B"), &key), MachineRegistry::Success);
    ASSERT_EQ(reg.setValue(key, QStringLiteral("v"), MachineRegistry::TypeString, "1"),
              MachineRegistry::Success);

    ASSERT_TRUE(TestEnv::writeFile(file, QByteArray(2 * 1024 * 1024, 'K')));
    quint32 size = 0;
    EXPECT_EQ(reg.queryValue(key, QStringLiteral("v"), nullptr, nullptr, &size),
              MachineRegistry::InvalidData);
    EXPECT_EQ(reg.setValue(key, QStringLiteral("v"), MachineRegistry::TypeString, "2"),
              MachineRegistry::InvalidData);
    EXPECT_FALSE(reg.lastError().isEmpty());

    ASSERT_EQ(reg.closeKey(key), MachineRegistry::Success);
    EXPECT_EQ(reg.queryValue(key, QStringLiteral("v"), nullptr, nullptr, &size),
              MachineRegistry::InvalidHandle);
    EXPECT_TRUE(reg.lastError().isEmpty()) << "the file was not read for a key that is not open";
    EXPECT_EQ(reg.setValue(key, QStringLiteral("v"), MachineRegistry::TypeString, "2"),
              MachineRegistry::InvalidHandle);
    EXPECT_TRUE(reg.lastError().isEmpty());
    EXPECT_EQ(TestEnv::readFile(file).size(), 2 * 1024 * 1024) << "not overwritten";
}
