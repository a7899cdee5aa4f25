#include <cmath>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include "DibSection.h"
#include "JpegWriter.h"
#include "TessalyError.h"
#include "TestEnv.h"
#include "TestPictures.h"

namespace {

// Smooth colour ramps with some waves: content JPEG handles like a photo.
QImage photoLike(int width, int height)
{
    return TestPictures::fromPixels(QSize(width, height), [&](int x, int y) {
        return qRgb((x * 255) / width, (y * 255) / height,
                    int(127 + 100 * std::sin(x * 0.2) * std::cos(y * 0.15)));
    });
}

DibSection dibOf(const QImage &image)
{
    DibSection dib;
    dib.CreateFromPicture(image);
    return dib;
}

QString freshDirectory()
{
    const QString dir = TestEnv::freshProgramDirectory() + QStringLiteral("/cam");
    QDir().mkpath(dir);
    return dir;
}

QImage readBack(const QString &path)
{
    QImageReader reader(path);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// Runs the call and returns the 26001 error it raised (number 0 when none).
TessalyError saveError(const std::function<void()> &call)
{
    try {
        call();
    } catch (const TessalyError &error) {
        return error;
    }
    return TessalyError(0, QString(), QString());
}

int maxChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

} // namespace

TEST(JpegWriter, SavedFileReadsBackUprightAtItsSizeAndColours)
{
    const QString dir = freshDirectory();
    // Top half red, bottom half blue: a picture stored upside down shows at once.
    QImage halves(64, 48, QImage::Format_RGB32);
    halves.fill(qRgb(0, 0, 255));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x)
            halves.setPixel(x, y, qRgb(255, 0, 0));
    const QString path = dir + QStringLiteral("/halves.jpg");
    EXPECT_TRUE(SaveJpegFile(dibOf(halves), path, 90));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    const QImage read = readBack(path);
    ASSERT_EQ(read.size(), QSize(64, 48));
    EXPECT_LE(maxChannelDifference(read.pixel(5, 5), qRgb(255, 0, 0)), 12);
    EXPECT_LE(maxChannelDifference(read.pixel(58, 42), qRgb(0, 0, 255)), 12);

    // Widths with row padding of 1, 2 and 3 bytes: every row lands where it belongs.
    for (const int width : {37, 38, 41}) {
        const QImage photo = photoLike(width, 29);
        const QString name = dir + QStringLiteral("/photo%1.jpg").arg(width);
        SaveJpegFile(dibOf(photo), name, 90);
        const QImage back = readBack(name);
        ASSERT_EQ(back.size(), photo.size());
        long total = 0;
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x)
                total += maxChannelDifference(back.pixel(x, y), photo.pixel(x, y));
        EXPECT_LT(double(total) / (width * 29), 6.0) << "width " << width;
    }
}

TEST(JpegWriter, QualityReachesTheEncoderUnchanged)
{
    const QString dir = freshDirectory();
    const DibSection dib = dibOf(photoLike(160, 120));
    SaveJpegFile(dib, dir + QStringLiteral("/q10.jpg"), 10);
    SaveJpegFile(dib, dir + QStringLiteral("/q95.jpg"), 95);
    EXPECT_LT(QFileInfo(dir + QStringLiteral("/q10.jpg")).size() * 2,
              QFileInfo(dir + QStringLiteral("/q95.jpg")).size());

    // Out of the encoder's range: its failure, not a quietly clamped save.
    const TessalyError error = saveError([&] { SaveJpegFile(dib, dir + "/q101.jpg", 101); });
    EXPECT_EQ(error.number(), 26001);
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -1"));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/q101.jpg")));
}

TEST(JpegWriter, ReplacingKeepsTheOldFilesPermissionsAndTimes)
{
    const QString dir = freshDirectory();
    const QString path = dir + QStringLiteral("/old.jpg");
    ASSERT_TRUE(TestEnv::writeFile(path, QByteArray("not a picture")));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    const struct timespec oldTimes[2] = {{981158400, 123456789}, {981244800, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), oldTimes, 0), 0);

    EXPECT_TRUE(SaveJpegFile(dibOf(photoLike(40, 30)), path, 90));
    // Read the times before the picture: reading it may move the access time.
    const struct stat st = statOf(path);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_atim.tv_sec, oldTimes[0].tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, oldTimes[0].tv_nsec);
    EXPECT_EQ(st.st_mtim.tv_sec, oldTimes[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, oldTimes[1].tv_nsec);
    EXPECT_EQ(readBack(path).size(), QSize(40, 30));
    // Nothing but the picture is left in the directory.
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"old.jpg"});

    // A new file gets the usual permissions and the time of saving.
    const mode_t mask = ::umask(022);
    const QString fresh = dir + QStringLiteral("/new.jpg");
    SaveJpegFile(dibOf(photoLike(8, 8)), fresh, 90);
    ::umask(mask);
    const struct stat newSt = statOf(fresh);
    EXPECT_EQ(newSt.st_mode & 07777, 0644u);
    EXPECT_GT(newSt.st_mtim.tv_sec, oldTimes[1].tv_sec + 1000000);
}

TEST(JpegWriter, FailedSaveRaises26001AndKeepsTheOldFile)
{
    const QString dir = freshDirectory();
    const DibSection dib = dibOf(photoLike(16, 16));
    const QString expectedSource =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
        QStringLiteral(".mIntelJPEGLibrary");

    TessalyError error = saveError([&] { SaveJpegFile(dib, dir + "/missing/x.jpg", 90); });
    EXPECT_EQ(error.number(), 26001);
    EXPECT_EQ(error.source(), expectedSource);
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -2"));

    error = saveError([&] { SaveJpegFile(dib, QString(), 90); });
    EXPECT_EQ(error.number(), 26001);
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -2"));

    error = saveError([&] { SaveJpegFile(dib, dir, 90); });
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -21"));

    // A path through a plain file.
    ASSERT_TRUE(TestEnv::writeFile(dir + QStringLiteral("/plain"), "x"));
    error = saveError([&] { SaveJpegFile(dib, dir + "/plain/x.jpg", 90); });
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -20"));

    // An empty picture cannot be encoded, and no file appears.
    error = saveError([&] { SaveJpegFile(DibSection(), dir + "/empty.jpg", 90); });
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -1"));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/empty.jpg")));

    // A write-protected picture is not replaced.
    const QString kept = dir + QStringLiteral("/kept.jpg");
    ASSERT_TRUE(TestEnv::writeFile(kept, "precious"));
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0444), 0);
    error = saveError([&] { SaveJpegFile(dib, kept, 90); });
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -13"));
    EXPECT_EQ(TestEnv::readFile(kept), QByteArray("precious"));

    // An encoder failure leaves the file it would have replaced as it was.
    const QString other = dir + QStringLiteral("/other.jpg");
    ASSERT_TRUE(TestEnv::writeFile(other, "previous"));
    EXPECT_THROW(SaveJpegFile(dib, other, 101), TessalyError);
    EXPECT_EQ(TestEnv::readFile(other), QByteArray("previous"));
    EXPECT_EQ(QDir(dir).entryList({".tessaly-*"}, QDir::Files | QDir::Hidden), QStringList());
}

TEST(JpegWriter, UnwritableDirectoryRaises26001)
{
    // Permission bits do not stop root; sysfs lets nobody create a file.
    QString dir = QStringLiteral("/sys");
    if (::geteuid() != 0) {
        dir = freshDirectory();
        ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0555), 0);
    }
    const TessalyError error =
        saveError([&] { SaveJpegFile(dibOf(photoLike(8, 8)), dir + "/x.jpg", 90); });
    if (::geteuid() != 0)
        ::chmod(QFile::encodeName(dir).constData(), 0755);
    EXPECT_EQ(error.number(), 26001);
    // Permission denied, or a read-only file system.
    EXPECT_TRUE(error.description() == QStringLiteral("Failed to save to JPG -13") ||
                error.description() == QStringLiteral("Failed to save to JPG -30"))
        << error.description().toStdString();
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/x.jpg")));
}

TEST(JpegWriter, KeepModeNeverOverwrites)
{
    const QString dir = freshDirectory();
    const DibSection dib = dibOf(photoLike(16, 16));
    const QString path = dir + QStringLiteral("/taken.jpg");
    ASSERT_TRUE(TestEnv::writeFile(path, "first snapshot"));
    const TessalyError error = saveError([&] { SaveJpegFile(dib, path, 90, JpegExisting::Keep); });
    EXPECT_EQ(error.number(), 26001);
    EXPECT_EQ(error.description(), QStringLiteral("Failed to save to JPG -17"));
    EXPECT_EQ(TestEnv::readFile(path), QByteArray("first snapshot"));

    const QString freeName = dir + QStringLiteral("/free.jpg");
    EXPECT_TRUE(SaveJpegFile(dib, freeName, 90, JpegExisting::Keep));
    EXPECT_EQ(readBack(freeName).size(), QSize(16, 16));
}

// A write that cannot succeed, and how it must be reported.
struct WriteFault
{
    const char *name;
    const char *file; // in the test's directory; empty for the directory itself
    bool emptyPicture;
    JpegExisting existing;
    Failure::Kind kind;
    int systemError;
};

void PrintTo(const WriteFault &fault, std::ostream *out)
{
    *out << fault.name;
}

class JpegWriterFaults : public testing::TestWithParam<WriteFault>
{
};

TEST_P(JpegWriterFaults, WriteReportsTheKindAndTheSystemErrorAsNumbers)
{
    const WriteFault &fault = GetParam();
    const QString dir = freshDirectory();
    const QString taken = dir + QStringLiteral("/taken.jpg");
    ASSERT_TRUE(TestEnv::writeFile(taken, "first snapshot"));
    const DibSection picture = fault.emptyPicture ? DibSection() : dibOf(photoLike(16, 16));
    const QString path = *fault.file ? dir + u'/' + QLatin1String(fault.file) : dir;

    const Result<QByteArray> written = WriteJpegFile(picture, path, 90, fault.existing);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.failure().kind, fault.kind);
    EXPECT_EQ(written.failure().systemError, fault.systemError);
    // The text is the one the numbered error carries.
    EXPECT_EQ(written.failure().text, QStringLiteral("Failed to save to JPG %1")
                                          .arg(fault.systemError ? -fault.systemError : -1));
    EXPECT_EQ(TestEnv::readFile(taken), QByteArray("first snapshot"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, JpegWriterFaults,
    testing::Values(WriteFault{"MissingDirectory", "missing/x.jpg", false, JpegExisting::Replace,
                               Failure::Kind::File, ENOENT},
                    WriteFault{"ADirectory", "", false, JpegExisting::Replace, Failure::Kind::File,
                               EISDIR},
                    WriteFault{"NameTaken", "taken.jpg", false, JpegExisting::Keep,
                               Failure::Kind::NameTaken, EEXIST},
                    WriteFault{"EmptyPicture", "empty.jpg", true, JpegExisting::Replace,
                               Failure::Kind::Encode, 0}),
    [](const testing::TestParamInfo<WriteFault> &info) { return std::string(info.param.name); });

TEST(JpegWriter, WriteHandsBackTheBytesItWrote)
{
    const QString dir = freshDirectory();
    const DibSection dib = dibOf(photoLike(16, 16));
    const Result<QByteArray> written =
        WriteJpegFile(dib, dir + QStringLiteral("/new.jpg"), 90, JpegExisting::Keep);
    ASSERT_TRUE(written.ok()) << written.errorText().toStdString();
    EXPECT_EQ(written.value(), TestEnv::readFile(dir + QStringLiteral("/new.jpg")));
}

TEST(JpegWriter, EncodedBytesAreTheFilesBytesAndUntouchedOnFailure)
{
    const QString dir = freshDirectory();
    const DibSection dib = dibOf(photoLike(40, 30));

    // Both ways of writing hand back exactly what landed in the file.
    const JpegExisting modes[] = {JpegExisting::Keep, JpegExisting::Replace};
    for (const JpegExisting mode : modes) {
        const QString path = dir + QStringLiteral("/mode%1.jpg").arg(int(mode));
        QByteArray encoded;
        ASSERT_TRUE(SaveJpegFile(dib, path, 90, mode, &encoded));
        EXPECT_FALSE(encoded.isEmpty());
        EXPECT_EQ(encoded, TestEnv::readFile(path));
    }

    // A refused save leaves the caller's bytes as they were.
    const QString taken = dir + QStringLiteral("/taken.jpg");
    ASSERT_TRUE(TestEnv::writeFile(taken, "someone else's"));
    QByteArray encoded("before");
    const TessalyError error =
        saveError([&] { SaveJpegFile(dib, taken, 90, JpegExisting::Keep, &encoded); });
    EXPECT_EQ(error.number(), 26001);
    EXPECT_EQ(encoded, QByteArray("before"));
}
