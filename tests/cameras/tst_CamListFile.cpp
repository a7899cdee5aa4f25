#include <gtest/gtest.h>

#include <type_traits>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "CamListFile.h"
#include "SafeFileWriter.h"
#include "ScopedHooks.h"
#include "TestEnv.h"

namespace {
class CamListFileTest : public ::testing::Test
{
protected:
    void SetUp() override { m_dir = TestEnv::freshProgramDirectory(); }

    static QByteArray fileBytes() { return TestEnv::readFile(CamListFile::path()); }
    static void setFileBytes(const QByteArray &bytes)
    {
        ASSERT_TRUE(TestEnv::writeFile(CamListFile::path(), bytes));
    }
    static QStringList load()
    {
        const auto result = CamListFile::LoadCamList();
        EXPECT_TRUE(result.ok()) << result.errorText().toStdString();
        return result.ok() ? result.value() : std::remove_cvref_t<decltype(result.value())>{};
    }
    static std::optional<CamEntry> find(const QString &name)
    {
        const auto result = CamListFile::FindCamEntry(name);
        EXPECT_TRUE(result.ok()) << result.errorText().toStdString();
        return result.ok() ? result.value() : std::remove_cvref_t<decltype(result.value())>{};
    }
    static bool remove(const CamEntry &entry)
    {
        const auto result = CamListFile::RemoveCamEntry(entry);
        EXPECT_TRUE(result.ok()) << result.errorText().toStdString();
        return result.ok() ? result.value() : std::remove_cvref_t<decltype(result.value())>{};
    }
    static void append(const QString &name, const QString &url, const QString &refresh)
    {
        const auto result = CamListFile::AppendCamEntry(name, url, refresh);
        ASSERT_TRUE(result.ok()) << result.errorText().toStdString();
    }
    QStringList filesInDirectory() const
    {
        return QDir(m_dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QString m_dir;
    ScopedHook<&SafeFileWriter::setFaultInjector> m_faults{nullptr};
};
} // namespace

TEST_F(CamListFileTest, FreshFileAppendFindAndRemoveTheOnlyEntryAreByteExact)
{
    EXPECT_TRUE(load().isEmpty());
    EXPECT_EQ(fileBytes(), QByteArray("\r\n"));

    append(QStringLiteral("Yard"), QStringLiteral("http://cam.local/snap.jpg"),
           QStringLiteral("30"));
    EXPECT_EQ(fileBytes(), QByteArray("\r\n[name]Yard\r\nhttp://cam.local/snap.jpg\r\n30\r\n\r\n"));

    // Loading an existing file changes nothing in it.
    EXPECT_EQ(load(), QStringList{QStringLiteral("Yard")});
    EXPECT_EQ(fileBytes(), QByteArray("\r\n[name]Yard\r\nhttp://cam.local/snap.jpg\r\n30\r\n\r\n"));

    const std::optional<CamEntry> yard = find(QStringLiteral("Yard"));
    ASSERT_TRUE(yard.has_value());
    EXPECT_EQ(*yard, (CamEntry{QStringLiteral("Yard"), QStringLiteral("http://cam.local/snap.jpg"),
                               QStringLiteral("30")}));

    EXPECT_TRUE(remove(*yard));
    EXPECT_EQ(fileBytes(), QByteArray("\r\n\r\n\r\n\r\n\r\n")) << "five empty lines";
    EXPECT_TRUE(load().isEmpty());
    EXPECT_FALSE(find(QStringLiteral("Yard")).has_value());
    EXPECT_EQ(filesInDirectory(), QStringList{QStringLiteral("00camlist.txt")})
        << "no temporary file may be left behind";
}

TEST_F(CamListFileTest, LookupAndRemovalMatchOnlyTheExactEntry)
{
    setFileBytes("\r\n");
    append(QStringLiteral("Cam"), QStringLiteral("http://a/1.jpg"), QStringLiteral("10"));
    append(QStringLiteral("Cam2"), QStringLiteral("http://a/1.jpg"), QStringLiteral("10"));
    append(QStringLiteral("cam"), QStringLiteral("http://a/1.jpg"), QStringLiteral("10"));
    EXPECT_FALSE(find(QStringLiteral("Ca")).has_value());
    EXPECT_FALSE(find(QStringLiteral("CAM")).has_value());

    const std::optional<CamEntry> cam = find(QStringLiteral("Cam"));
    ASSERT_TRUE(cam.has_value());
    EXPECT_TRUE(remove(*cam));
    // Cam2 and cam, same URL and refresh, keep all their lines.
    EXPECT_EQ(fileBytes(), QByteArray("\r\n"
                                      "\r\n\r\n\r\n"
                                      "[name]Cam2\r\nhttp://a/1.jpg\r\n10\r\n\r\n"
                                      "[name]cam\r\nhttp://a/1.jpg\r\n10\r\n\r\n"
                                      "\r\n"));
    EXPECT_EQ(load(), (QStringList{QStringLiteral("Cam2"), QStringLiteral("cam")}));
    EXPECT_EQ(find(QStringLiteral("Cam2"))->address, QStringLiteral("http://a/1.jpg"));

    // An entry whose URL or refresh differ from the caller's fields is not removed.
    const QByteArray before = fileBytes();
    EXPECT_FALSE(remove(
        CamEntry{QStringLiteral("Cam2"), QStringLiteral("http://a/1.jpg"), QStringLiteral("11")}));
    EXPECT_FALSE(remove(
        CamEntry{QStringLiteral("Cam"), QStringLiteral("http://a/1.jpg"), QStringLiteral("10")}));
    EXPECT_FALSE(remove(CamEntry{}));
    EXPECT_EQ(fileBytes(), before) << "nothing matched, so the file is not rewritten";
}

TEST_F(CamListFileTest, DuplicateNamesAreListedTwiceAndTheDescribedOneIsRemoved)
{
    setFileBytes("\r\n");
    append(QStringLiteral("Cam"), QStringLiteral("http://first/"), QStringLiteral("5"));
    append(QStringLiteral("Cam"), QStringLiteral("http://second/"), QStringLiteral("6"));
    EXPECT_EQ(load(), (QStringList{QStringLiteral("Cam"), QStringLiteral("Cam")}));
    EXPECT_EQ(find(QStringLiteral("Cam"))->address, QStringLiteral("http://first/"));

    // The edit dialog describes the second one: only it goes.
    EXPECT_TRUE(remove(
        CamEntry{QStringLiteral("Cam"), QStringLiteral("http://second/"), QStringLiteral("6")}));
    EXPECT_EQ(fileBytes(), QByteArray("\r\n[name]Cam\r\nhttp://first/\r\n5\r\n\r\n"
                                      "\r\n\r\n\r\n\r\n"));
    EXPECT_EQ(find(QStringLiteral("Cam"))->refresh, QStringLiteral("5"));
}

TEST_F(CamListFileTest, MarkerRulesForListingAndLookup)
{
    setFileBytes("[NAME]Yard\r\n"
                 "x[name]y[Name]z\r\n"
                 "[name]\r\n"
                 "http://h/[name]/pic.jpg\r\n"
                 "  [name] spaced \r\n"
                 "plain line\r\n");
    EXPECT_EQ(load(),
              (QStringList{QStringLiteral("Yard"), QStringLiteral("xyz"), QString(),
                           QStringLiteral("http://h//pic.jpg"), QStringLiteral("   spaced ")}));
    // Listed, but the exact-name rule finds none of them.
    EXPECT_FALSE(find(QStringLiteral("Yard")).has_value());
    EXPECT_FALSE(find(QStringLiteral("xyz")).has_value());
    EXPECT_FALSE(find(QString()).has_value());
    const QByteArray before = fileBytes();
    EXPECT_FALSE(remove(CamEntry{QString(), QStringLiteral("http://h/[name]/pic.jpg"), {}}));
    EXPECT_FALSE(remove(CamEntry{QStringLiteral("Yard"), {}, {}}));
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(CamListFileTest, ReadersEndLinesAtCrLfLoneCrAndLoneLf)
{
    // Hand-edited on Linux, with an old Mac line, and a last line without an end.
    setFileBytes("[name]Lf\nhttp://lf/\n15\n\n"
                 "[name]Cr\rhttp://cr/\r20\r\r"
                 "[name]Mixed\r\nhttp://mixed/\n25");
    EXPECT_EQ(load(),
              (QStringList{QStringLiteral("Lf"), QStringLiteral("Cr"), QStringLiteral("Mixed")}));
    EXPECT_EQ(find(QStringLiteral("Lf")),
              (CamEntry{QStringLiteral("Lf"), QStringLiteral("http://lf/"), QStringLiteral("15")}));
    EXPECT_EQ(find(QStringLiteral("Cr")),
              (CamEntry{QStringLiteral("Cr"), QStringLiteral("http://cr/"), QStringLiteral("20")}));
    EXPECT_EQ(find(QStringLiteral("Mixed"))->refresh, QStringLiteral("25"));

    // A rewrite ends every line in CR LF.
    EXPECT_TRUE(remove(*find(QStringLiteral("Cr"))));
    EXPECT_EQ(fileBytes(), QByteArray("[name]Lf\r\nhttp://lf/\r\n15\r\n\r\n"
                                      "\r\n\r\n\r\n"
                                      "[name]Mixed\r\nhttp://mixed/\r\n25\r\n\r\n"));

    // An append to a file whose last line has no end starts on a line of its own.
    setFileBytes("[name]Old\r\nhttp://old/\r\n9");
    append(QStringLiteral("New"), QStringLiteral("http://new/"), QStringLiteral("7"));
    EXPECT_EQ(fileBytes(), QByteArray("[name]Old\r\nhttp://old/\r\n9\r\n"
                                      "[name]New\r\nhttp://new/\r\n7\r\n\r\n"));
    EXPECT_EQ(find(QStringLiteral("Old"))->refresh, QStringLiteral("9"));
    EXPECT_EQ(find(QStringLiteral("New"))->address, QStringLiteral("http://new/"));
}

TEST_F(CamListFileTest, EightBitLinesLoadAndKeepTheirBytesOnRewrite)
{
    // An old Windows-1252 file, an entry added later in UTF-8.
    const QByteArray old = "\r\n[name]Caf\xE9 \x80\r\nhttp://caf\xE9/\r\n30\r\n\r\n";
    setFileBytes(old);
    append(QStringLiteral("Gärten"), QStringLiteral("http://g/"), QStringLiteral("5"));
    const QString cafe = QStringLiteral("Café €");
    EXPECT_EQ(load(), (QStringList{cafe, QStringLiteral("Gärten")}));
    EXPECT_EQ(find(cafe)->address, QStringLiteral("http://café/"));
    EXPECT_EQ(find(QStringLiteral("Gärten"))->address, QStringLiteral("http://g/"));

    EXPECT_TRUE(remove(*find(QStringLiteral("Gärten"))));
    EXPECT_EQ(fileBytes(), old + "\r\n\r\n\r\n\r\n") << "the 8-bit lines keep their bytes";

    EXPECT_TRUE(remove(*find(cafe)));
    EXPECT_EQ(fileBytes(), QByteArray("\r\n").repeated(9));
}

TEST_F(CamListFileTest, NameLineWithoutItsFollowingLinesIsFoundAndRemovable)
{
    setFileBytes("\r\n[name]Broken");
    EXPECT_EQ(find(QStringLiteral("Broken")), (CamEntry{QStringLiteral("Broken"), {}, {}}));
    EXPECT_TRUE(remove(*find(QStringLiteral("Broken"))));
    EXPECT_EQ(fileBytes(), QByteArray("\r\n\r\n\r\n"));

    setFileBytes("[name]Half\r\nhttp://half/\r\n");
    EXPECT_EQ(find(QStringLiteral("Half")),
              (CamEntry{QStringLiteral("Half"), QStringLiteral("http://half/"), {}}));
    EXPECT_TRUE(remove(*find(QStringLiteral("Half"))));
    EXPECT_EQ(fileBytes(), QByteArray("\r\n\r\n"));
}

TEST_F(CamListFileTest, FailedWritesLeaveTheFileAsItWasAndSayWhy)
{
    const QByteArray original = "\r\n[name]Keep\r\nhttp://keep/\r\n30\r\n\r\n";
    setFileBytes(original);
    m_faults.set([](const QString &) { return true; });

    const auto removed = CamListFile::RemoveCamEntry(*find(QStringLiteral("Keep")));
    ASSERT_FALSE(removed.ok());
    EXPECT_EQ(removed.failure().kind, Failure::Kind::File);
    EXPECT_TRUE(removed.errorText().contains(QDir::toNativeSeparators(CamListFile::path())))
        << removed.errorText().toStdString();
    EXPECT_TRUE(removed.errorText().contains(QStringLiteral("No space left on device")));
    EXPECT_EQ(fileBytes(), original);

    const auto appended = CamListFile::AppendCamEntry(
        QStringLiteral("New"), QStringLiteral("http://new/"), QStringLiteral("5"));
    EXPECT_FALSE(appended.ok());
    EXPECT_EQ(fileBytes(), original);
    EXPECT_EQ(filesInDirectory(), QStringList{QStringLiteral("00camlist.txt")});
    m_faults.set(nullptr);

    // A line break inside a field would split the entry: refused, nothing written.
    const auto broken = CamListFile::AppendCamEntry(
        QStringLiteral("Two\nLines"), QStringLiteral("http://x/"), QStringLiteral("5"));
    EXPECT_FALSE(broken.ok());
    EXPECT_EQ(fileBytes(), original);
}

TEST_F(CamListFileTest, UnreadableOrUncreatableFilesAreReportedByName)
{
    // Nothing is created by the reader the dialogs use.
    const auto missing = CamListFile::ReadCamList();
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(missing.errorText().contains(QStringLiteral("00camlist.txt")));
    EXPECT_FALSE(QFile::exists(CamListFile::path()));
    EXPECT_FALSE(CamListFile::FindCamEntry(QStringLiteral("Any")).ok());

    // A directory in the file's place is neither replaced nor read.
    ASSERT_TRUE(QDir().mkdir(CamListFile::path()));
    const auto directory = CamListFile::LoadCamList();
    EXPECT_FALSE(directory.ok());
    EXPECT_TRUE(directory.errorText().contains(QStringLiteral("not a regular file")))
        << directory.errorText().toStdString();
    EXPECT_TRUE(QFileInfo(CamListFile::path()).isDir());

    // A program directory that does not exist: the file cannot be created.
    qputenv("TESSALY_HOME", (m_dir + QStringLiteral("/gone")).toLocal8Bit());
    const auto uncreatable = CamListFile::LoadCamList();
    EXPECT_FALSE(uncreatable.ok());
    EXPECT_TRUE(uncreatable.errorText().contains(QDir::toNativeSeparators(CamListFile::path())));
    EXPECT_FALSE(
        CamListFile::AppendCamEntry(QStringLiteral("A"), QStringLiteral("u"), QStringLiteral("1"))
            .ok());
}
