#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "TempFile.h"
#include "TestEnv.h"

namespace {
// Points the temporary directory at a fresh one for the test's lifetime.
class TempDirectory
{
public:
    explicit TempDirectory(const QString &path)
        : m_old(qgetenv("TMPDIR"))
    {
        qputenv("TMPDIR", QFile::encodeName(path));
    }
    ~TempDirectory() { qputenv("TMPDIR", m_old); }

private:
    QByteArray m_old;
};
} // namespace

TEST(TempFile, MakesNewPrivateEmptyFilesWithThePrefix)
{
    const QString directory = TestEnv::root() + QStringLiteral("/tmp-names");
    ASSERT_TRUE(QDir().mkpath(directory));
    const TempDirectory tmp(directory);

    QSet<QString> names;
    for (int i = 0; i < 50; ++i) {
        const QString path = MakeTempFileName(QStringLiteral("vbt"));
        ASSERT_FALSE(path.isEmpty());
        const QFileInfo info(path);
        EXPECT_EQ(info.absolutePath(), QDir(directory).absolutePath());
        EXPECT_TRUE(info.fileName().startsWith(QStringLiteral("vbt"))) << path.toStdString();
        EXPECT_TRUE(info.exists());
        EXPECT_EQ(info.size(), 0);
        struct stat st = {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << "owner-only rights";
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 50) << "every call makes a file of its own";
    EXPECT_EQ(QDir(directory).entryList(QDir::Files).size(), 50);
}

TEST(TempFile, EmptyTextWhenNoFileCanBeMade)
{
    const TempDirectory missing(TestEnv::root() + QStringLiteral("/no/such/directory"));
    EXPECT_TRUE(MakeTempFileName(QStringLiteral("vbt")).isEmpty());

    const TempDirectory tooLong(QStringLiteral("/") + QString(600, QLatin1Char('d')));
    EXPECT_TRUE(MakeTempFileName(QStringLiteral("vbt")).isEmpty());
}
