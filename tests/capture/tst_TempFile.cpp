#include <csignal>

#include <gtest/gtest.h>

#include <sys/resource.h>
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

TEST(TempFile, WrittenFileHoldsTheBytesAndFailuresLeaveNothing)
{
    const QString directory = TestEnv::root() + QStringLiteral("/tmp-written");
    ASSERT_TRUE(QDir().mkpath(directory));
    {
        const TempDirectory tmp(directory);
        QByteArray body(300 * 1024, '\0');
        for (int i = 0; i < body.size(); ++i)
            body[i] = char(i * 31 + (i >> 8));
        const QString first = WriteTempFile(QStringLiteral("vbt"), body);
        const QString second = WriteTempFile(QStringLiteral("vbt"), QByteArray());
        ASSERT_FALSE(first.isEmpty());
        ASSERT_FALSE(second.isEmpty());
        EXPECT_NE(first, second);
        EXPECT_TRUE(QFileInfo(first).fileName().startsWith(QStringLiteral("vbt")));
        EXPECT_EQ(QFileInfo(first).absolutePath(), QDir(directory).absolutePath());
        EXPECT_EQ(TestEnv::readFile(first), body);
        EXPECT_EQ(QFileInfo(second).size(), 0);
        struct stat st = {};
        ASSERT_EQ(::stat(QFile::encodeName(first).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << "owner-only rights";
    }
    const TempDirectory missing(TestEnv::root() + QStringLiteral("/no/such/place"));
    EXPECT_TRUE(WriteTempFile(QStringLiteral("vbt"), QByteArray("body")).isEmpty());
    EXPECT_EQ(QDir(directory).entryList(QDir::Files).size(), 2);
}

TEST(TempFile, BodyThatCannotBeWrittenInFullLeavesNoFile)
{
    const QString directory = TestEnv::root() + QStringLiteral("/tmp-too-big");
    ASSERT_TRUE(QDir().mkpath(directory));
    const TempDirectory tmp(directory);
    // A file size limit makes the write stop part-way, as a full disk would.
    struct rlimit old = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString path = WriteTempFile(QStringLiteral("vbt"), QByteArray(4000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(path.isEmpty());
    EXPECT_TRUE(QDir(directory).entryList(QDir::Files).isEmpty()) << "the torn file is removed";
}
