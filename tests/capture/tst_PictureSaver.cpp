#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "AppInfo.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "MiniHttpServer.h"
#include "PictureSaver.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestEnv.h"
#include "TestPictures.h"

namespace {

constexpr int Timeout = 10000;

// 12 July 2026, 8:05:09 in the morning.
const QDateTime kMorning(QDate(2026, 7, 12), QTime(8, 5, 9));

// Snapshots here are the size a small camera sends.
const QSize kSnapshot(320, 240);

using TestPictures::jpegOf;

Picture pictureOf(const QColor &color, const QSize &size = kSnapshot)
{
    return Picture::fromBytes(jpegOf(color, size));
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 30 && qAbs(a.green() - b.green()) < 30 &&
           qAbs(a.blue() - b.blue()) < 30;
}

// The file as the platform's loader reads it.
QImage loadFile(const QString &path)
{
    QImageReader reader(path);
    return reader.read();
}

QColor centreOf(const QImage &image)
{
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

class PictureSaverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home = TestEnv::freshProgramDirectory();
        cam = home + QStringLiteral("/cam");
        QDir().mkpath(cam);
        engine.setRealTimersEnabled(false);
        engine.setNotFoundPicture(Picture::fromImage(notFoundImage()));
        saver.setTimeSource([this] { return clock; });
    }

    static SaveReport reportAt(const QSignalSpy &spy, qsizetype row)
    {
        return spy.at(row).at(0).value<SaveReport>();
    }

    static QImage notFoundImage()
    {
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        return image;
    }

    // The camera shown in panel index, by the name its saves take.
    void putCamera(int index, const QString &name) { names[index] = name; }

    // An arrival as the engine reports it, with no engine behind it; waits
    // for the writer, so its report is in.
    void arrive(int index, const Picture &picture, bool isNew = true)
    {
        saver.saveIfNew(names.value(index), index, picture, isNew);
        ASSERT_TRUE(saver.waitForIdle(Timeout));
    }

    // One complete fetch through the local server, by a camera opened in the
    // engine the saver follows (the first opens in panel 0).
    void fetch(const QString &name, const QByteArray &response)
    {
        server.setReply({response});
        QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
        QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
        int index = -1;
        for (int i = 0; i < CameraEngine::PanelCount; ++i) {
            if (engine.status(i).inUse && engine.status(i).name == name)
                index = i;
        }
        if (index < 0)
            index =
                engine.open(name, server.url(QStringLiteral("/snap.jpg")), QStringLiteral("30"))
                    ->panel();
        else
            engine.refreshNow(index);
        ASSERT_TRUE(waitUntil([&] { return arrived.count() + failed.count() > 0; }));
        ASSERT_TRUE(saver.waitForIdle(Timeout));
    }

    static bool waitUntil(const std::function<bool()> &condition)
    {
        return QTest::qWaitFor(condition, Timeout);
    }

    QStringList camFiles() const
    {
        return QDir(cam).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    QString home;
    QString cam;
    QDateTime clock = kMorning;
    QHash<int, QString> names;
    CameraEngine engine;
    PictureSaver saver;
    MiniHttpServer server;
};

} // namespace

TEST_F(PictureSaverTest, FrontDoorFirstPictureIsKeptOnlyTheChangedOneIsSaved)
{
    saver.setAutoSave(true);
    saver.follow(&engine);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    // When a save is reported, its file must already be whole on disk.
    QList<bool> fileWasThere;
    QObject::connect(&saver, &PictureSaver::pictureSaved, [&](const SaveReport &report) {
        fileWasThere << (loadFile(report.path).size() == QSize(320, 240));
    });
    const QString door = QStringLiteral("Front Door");

    // The first picture after start is recorded, not new: nothing is saved.
    fetch(door, MiniHttpServer::response(jpegOf(Qt::red, kSnapshot), "image/jpeg",
                                         "Sun, 12 Jul 2026 08:05:00 GMT"));
    EXPECT_TRUE(camFiles().isEmpty());

    // The same Last-Modified again: still nothing.
    fetch(door, MiniHttpServer::response(jpegOf(Qt::red, kSnapshot), "image/jpeg",
                                         "Sun, 12 Jul 2026 08:05:00 GMT"));
    EXPECT_TRUE(camFiles().isEmpty());

    // A changed one is saved under the caption's name, decodable, at its size.
    fetch(door, MiniHttpServer::response(jpegOf(Qt::green, kSnapshot), "image/jpeg",
                                         "Sun, 12 Jul 2026 08:05:09 GMT"));
    const Picture received = engine.status(0).picture;
    const QString expected = cam + QStringLiteral("/FrontDoor712202680509AM.jpg");
    EXPECT_EQ(camFiles(), QStringList{QStringLiteral("FrontDoor712202680509AM.jpg")});
    ASSERT_EQ(saved.count(), 1);
    const SaveReport report = reportAt(saved, 0);
    EXPECT_EQ(report.panel, 0);
    EXPECT_EQ(report.camera, door);
    EXPECT_TRUE(report.source.isSameAs(received));
    EXPECT_EQ(report.path, expected);
    EXPECT_TRUE(report.saved());
    EXPECT_EQ(failed.count(), 0);
    const QImage file = loadFile(expected);
    ASSERT_EQ(file.size(), QSize(320, 240));
    EXPECT_TRUE(near(centreOf(file), Qt::green));

    // The status line names the full path.
    EXPECT_EQ(report.statusText, QStringLiteral("8:05:09 AM new picture saved as ") + expected);
    EXPECT_EQ(fileWasThere, QList<bool>{true});

    // The report carries the picture as saved: the file's own bytes. The
    // engine keeps the picture it received; the saver never changes it.
    const Picture shown = report.picture;
    EXPECT_FALSE(shown.isSameAs(received));
    EXPECT_FALSE(received.isNull());
    EXPECT_EQ(shown.bytes(), TestEnv::readFile(expected));
    EXPECT_EQ(shown.size(), QSize(320, 240));
    EXPECT_TRUE(near(centreOf(shown.thumbnail()), Qt::green));
    EXPECT_TRUE(near(centreOf(*shown.full()), Qt::green));
}

TEST_F(PictureSaverTest, NothingIsSavedUntickedOrForARepeat)
{
    putCamera(2, QStringLiteral("Yard"));
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);

    EXPECT_FALSE(saver.autoSave()); // off until the owner sets it
    arrive(2, pictureOf(Qt::red));
    arrive(2, pictureOf(Qt::blue));
    saver.setAutoSave(true);
    arrive(2, pictureOf(Qt::green), /*isNew=*/false);
    EXPECT_TRUE(camFiles().isEmpty());
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(saved.count(), 0);

    // Switched on, a new picture is saved.
    arrive(2, pictureOf(Qt::yellow));
    EXPECT_EQ(camFiles(), QStringList{QStringLiteral("Yard712202680509AM.jpg")});
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(reportAt(saved, 0).panel, 2);
    EXPECT_EQ(failed.count(), 0);

    // Nothing is queued while a full disk holds autosave back.
    bool room = false;
    saver.setRoomCheck([&room] { return room; });
    EXPECT_FALSE(saver.saveIfNew(QStringLiteral("Yard"), 2, pictureOf(Qt::red), true));
    room = true;
    EXPECT_TRUE(saver.saveIfNew(QStringLiteral("Yard"), 2, pictureOf(Qt::red), true));
    ASSERT_TRUE(saver.waitForIdle(Timeout));
    EXPECT_EQ(saved.count(), 2);
}

TEST_F(PictureSaverTest, UndecodableNewBodySavesNothing)
{
    saver.setAutoSave(true);
    saver.follow(&engine);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy fetchFailed(&engine, &CameraEngine::fetchFailed);
    const QString gate = QStringLiteral("Gate");

    fetch(gate,
          MiniHttpServer::response(jpegOf(Qt::red, kSnapshot), "image/jpeg", "Mon, 01 Jan 2026"));
    const Picture old = engine.status(0).picture;
    // A new Last-Modified with a body that is no picture at all, then one cut short.
    fetch(gate, MiniHttpServer::response("not a jpeg at all", "image/jpeg", "Tue, 02 Jan 2026"));
    QByteArray torn = jpegOf(Qt::green, kSnapshot);
    torn.chop(torn.size() / 2);
    fetch(gate, MiniHttpServer::response(torn, "image/jpeg", "Wed, 03 Jan 2026"));

    // New, but not decoded: no arrival, a decode failure each.
    EXPECT_EQ(arrived.count(), 1);
    ASSERT_EQ(fetchFailed.count(), 2);
    for (const QList<QVariant> &args : std::as_const(fetchFailed))
        EXPECT_EQ(args.at(1).value<Failure>().kind, Failure::Kind::Decode);
    EXPECT_TRUE(engine.camera(0)->fetch().newPicture);
    // The old picture is not saved under the new time.
    EXPECT_TRUE(camFiles().isEmpty());
    EXPECT_EQ(saved.count() + failed.count(), 0);
    // Nor is a null picture handed over directly.
    arrive(0, Picture());
    EXPECT_EQ(saved.count() + failed.count(), 0);
    EXPECT_TRUE(engine.status(0).picture.isSameAs(old));
}

TEST_F(PictureSaverTest, SameSecondGetsANumberedNameAndKeepsEarlierFiles)
{
    saver.setAutoSave(true);
    putCamera(0, QStringLiteral("Front Door"));
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    const QString first = cam + QStringLiteral("/FrontDoor712202680509AM.jpg");

    arrive(0, pictureOf(Qt::red));
    const QByteArray firstBytes = TestEnv::readFile(first);
    arrive(0, pictureOf(Qt::green));
    arrive(0, pictureOf(Qt::blue));

    EXPECT_EQ(camFiles(), (QStringList{QStringLiteral("FrontDoor712202680509AM-2.jpg"),
                                       QStringLiteral("FrontDoor712202680509AM-3.jpg"),
                                       QStringLiteral("FrontDoor712202680509AM.jpg")}));
    ASSERT_EQ(saved.count(), 3);
    EXPECT_EQ(reportAt(saved, 1).path, cam + QStringLiteral("/FrontDoor712202680509AM-2.jpg"));
    EXPECT_EQ(TestEnv::readFile(first), firstBytes);
    EXPECT_TRUE(near(centreOf(loadFile(first)), Qt::red));
    EXPECT_TRUE(near(centreOf(loadFile(reportAt(saved, 1).path)), Qt::green));
    EXPECT_TRUE(near(centreOf(loadFile(reportAt(saved, 2).path)), Qt::blue));

    // A file that is not a snapshot of ours is not replaced either, and the
    // next second starts from the plain name again.
    clock = kMorning.addSecs(1);
    const QString foreign = cam + QStringLiteral("/FrontDoor712202680510AM.jpg");
    ASSERT_TRUE(TestEnv::writeFile(foreign, "someone else's"));
    arrive(0, pictureOf(Qt::white));
    EXPECT_EQ(TestEnv::readFile(foreign), QByteArray("someone else's"));
    EXPECT_EQ(reportAt(saved, saved.count() - 1).path,
              cam + QStringLiteral("/FrontDoor712202680510AM-2.jpg"));
    clock = kMorning.addSecs(2);
    arrive(0, pictureOf(Qt::white));
    EXPECT_EQ(reportAt(saved, saved.count() - 1).path,
              cam + QStringLiteral("/FrontDoor712202680511AM.jpg"));
}

TEST_F(PictureSaverTest, HostileCameraNamesStayInsideCam)
{
    saver.setAutoSave(true);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    const QStringList names = {QStringLiteral("../../x"),
                               QStringLiteral("a/b"),
                               QStringLiteral("/etc/passwd"),
                               QStringLiteral(".."),
                               QStringLiteral("Cam\x01\n\t\x7f"
                                              "bell"),
                               QStringLiteral("-rf ..")};
    for (int i = 0; i < names.size(); ++i) {
        putCamera(i, names.at(i));
        arrive(i, pictureOf(Qt::red, QSize(40, 30)));
    }
    ASSERT_EQ(saved.count(), names.size());
    const QString camReal = QFileInfo(cam).canonicalFilePath();
    for (const QList<QVariant> &args : saved) {
        const QFileInfo file(args.at(0).value<SaveReport>().path);
        EXPECT_EQ(QFileInfo(file.absolutePath()).canonicalFilePath(), camReal)
            << file.filePath().toStdString();
        EXPECT_FALSE(file.fileName().startsWith(QLatin1Char('.')));
        EXPECT_EQ(loadFile(file.filePath()).size(), QSize(40, 30));
    }
    EXPECT_EQ(camFiles().size(), names.size());
    // Nothing beside cam/ in the program directory, nothing above it.
    EXPECT_EQ(QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("cam")});
    EXPECT_TRUE(QDir(home + QStringLiteral("/..")).entryList({QStringLiteral("x*")}).isEmpty());
    // The control characters are gone from the name, the rest is the rule's.
    EXPECT_TRUE(camFiles().contains(QStringLiteral("Cam____bell712202680509AM.jpg")))
        << camFiles().join(QLatin1Char(' ')).toStdString();
}

TEST_F(PictureSaverTest, FailedSaveIsReportedWithFileAndReasonNeverAsSuccess)
{
    saver.setAutoSave(true);
    putCamera(0, QStringLiteral("Gate"));
    putCamera(5, QStringLiteral("Side"));
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);

    // cam/ removed while the program runs.
    ASSERT_TRUE(QDir(cam).removeRecursively());
    arrive(0, pictureOf(Qt::red));
    const QString path = cam + QStringLiteral("/Gate712202680509AM.jpg");
    ASSERT_EQ(failed.count(), 1);
    const SaveReport missing = reportAt(failed, 0);
    EXPECT_EQ(missing.statusText,
              QStringLiteral("8:05:09 AM could not save new picture as ") + path +
                  QStringLiteral(": Failed to save to JPG -2 (No such file or directory)"));
    EXPECT_EQ(missing.panel, 0);
    EXPECT_EQ(missing.path, path);
    EXPECT_FALSE(missing.saved());
    EXPECT_TRUE(missing.picture.isNull());
    // The system's error number travels as a number, beside the words.
    ASSERT_TRUE(missing.failure.has_value());
    EXPECT_EQ(missing.failure->kind, Failure::Kind::File);
    EXPECT_EQ(missing.failure->systemError, ENOENT);
    EXPECT_TRUE(missing.failure->text.contains(QStringLiteral("No such file")));
    EXPECT_FALSE(QFileInfo::exists(cam));

    // cam/ replaced by a file: reported too, and the file is left alone.
    ASSERT_TRUE(TestEnv::writeFile(cam, "in the way"));
    arrive(5, pictureOf(Qt::blue));
    ASSERT_EQ(failed.count(), 2);
    const SaveReport blocked = reportAt(failed, 1);
    EXPECT_TRUE(
        blocked.statusText.startsWith(QStringLiteral("8:05:09 AM could not save new picture as ") +
                                      cam + QStringLiteral("/Side712202680509AM.jpg: ")));
    EXPECT_TRUE(blocked.statusText.contains(QStringLiteral("Not a directory")));
    EXPECT_EQ(blocked.failure->systemError, ENOTDIR);
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(TestEnv::readFile(cam), QByteArray("in the way"));
}

TEST_F(PictureSaverTest, SaveImageWritesThePictureUnderTheCameraName)
{
    // No autosave needed, and the autosave's signals stay quiet.
    const Picture shown = pictureOf(Qt::green, QSize(200, 100));
    const QString name = QStringLiteral("Front Door");
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failedSaves(&saver, &PictureSaver::saveFailed);

    const SaveImageResult first = PictureSaver::savePicture(name, shown, kMorning);
    const QString path = cam + QStringLiteral("/FrontDoor712202680509AM.jpg");
    ASSERT_TRUE(first.saved);
    EXPECT_EQ(first.path, path);
    EXPECT_EQ(first.statusText, QStringLiteral("8:05:09 AM saved as ") + path);
    EXPECT_TRUE(first.picture.isSameAs(shown));
    const QImage file = loadFile(path);
    ASSERT_EQ(file.size(), QSize(200, 100));
    EXPECT_TRUE(near(centreOf(file), Qt::green));
    EXPECT_EQ(saved.count() + failedSaves.count(), 0);

    // Saving again in the same second keeps the first file.
    const QByteArray firstBytes = TestEnv::readFile(path);
    const SaveImageResult second = PictureSaver::savePicture(name, shown, kMorning);
    ASSERT_TRUE(second.saved);
    EXPECT_EQ(second.path, cam + QStringLiteral("/FrontDoor712202680509AM-2.jpg"));
    EXPECT_EQ(TestEnv::readFile(path), firstBytes);

    // A failure names the file and the reason and shows nothing new.
    ASSERT_TRUE(QDir(cam).removeRecursively());
    const SaveImageResult failed =
        PictureSaver::savePicture(name, shown, QDateTime(QDate(2026, 7, 12), QTime(20, 0, 1)));
    EXPECT_FALSE(failed.saved);
    EXPECT_TRUE(failed.picture.isNull());
    EXPECT_EQ(failed.path, cam + QStringLiteral("/FrontDoor712202680001PM.jpg"));
    EXPECT_EQ(failed.statusText, QStringLiteral("8:00:01 PM could not save picture as ") +
                                     failed.path +
                                     QStringLiteral(": Failed to save to JPG -2 (No such file or "
                                                    "directory)"));
}

TEST_F(PictureSaverTest, AFullDecodeMadeOnArrivalIsSharedWithTheWriterAndThenLetGo)
{
    // The selected camera is decoded in full on arrival; its save must not
    // decode again, nor keep the pixels once the file is written.
    engine.setDecodeRule([](const Camera &, bool) { return PictureDecode::Full; });
    QList<bool> heldDuringArrival;
    std::weak_ptr<const QImage> lastDecode;
    QObject::connect(&engine, &CameraEngine::pictureArrived, [&](Camera *, const Picture &picture) {
        lastDecode = picture.heldFull();
        heldDuringArrival << !lastDecode.expired();
    });
    saver.follow(&engine);
    const auto response = [](const QColor &color, const QByteArray &lastModified) {
        return MiniHttpServer::response(jpegOf(color, QSize(640, 480)), "image/jpeg", lastModified);
    };
    const QString gate = QStringLiteral("Gate");

    saver.setAutoSave(true);
    fetch(gate, response(Qt::red, "one"));   // first: not new
    fetch(gate, response(Qt::green, "two")); // new: saved from the held pixels
    EXPECT_EQ(heldDuringArrival, (QList<bool>{true, true}));
    EXPECT_TRUE(lastDecode.expired()) << "the full picture outlived its save";
    ASSERT_EQ(camFiles().size(), 1);
    EXPECT_TRUE(near(centreOf(loadFile(cam + QLatin1Char('/') + camFiles().first())), Qt::green));
}

TEST_F(PictureSaverTest, KeepingTheCamerasOwnPicturesSavesItsBytesAndStillReencodesOtherFormats)
{
    saver.setAutoSave(true);
    saver.setKeepOriginal(true);
    putCamera(0, QStringLiteral("Yard"));
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);

    // Padding after the end marker is part of what the camera sent.
    const QByteArray body = jpegOf(Qt::red, kSnapshot) + QByteArray("\r\n");
    const Picture red = Picture::fromBytesChecked(body);
    ASSERT_FALSE(red.isNull());
    arrive(0, red);
    const QString plain = cam + QStringLiteral("/Yard712202680509AM.jpg");
    EXPECT_EQ(TestEnv::readFile(plain), body) << "byte for byte";
    ASSERT_EQ(saved.count(), 1);
    EXPECT_TRUE(reportAt(saved, 0).picture == red) << "the panel goes on showing the same picture";

    // Never over an earlier file, in this mode too: the next in the same second
    // takes -2, and the first stays as it was.
    const QByteArray green = jpegOf(Qt::green, kSnapshot);
    arrive(0, Picture::fromBytes(green));
    EXPECT_EQ(TestEnv::readFile(plain), body);
    EXPECT_EQ(TestEnv::readFile(cam + QStringLiteral("/Yard712202680509AM-2.jpg")), green);

    // A PNG camera's pictures are still saved as JPEG files.
    QImage blue(160, 120, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    const QByteArray png = TestPictures::encode(blue, "png");
    arrive(0, Picture::fromBytes(png));
    const QString third = cam + QStringLiteral("/Yard712202680509AM-3.jpg");
    EXPECT_TRUE(TestEnv::readFile(third).startsWith("\xFF\xD8"));
    EXPECT_TRUE(near(centreOf(loadFile(third)), Qt::blue));
    EXPECT_EQ(saved.count(), 3);

    // Off again: a JPEG is encoded again, so its bytes differ from the camera's.
    saver.setKeepOriginal(false);
    clock = kMorning.addSecs(1);
    arrive(0, Picture::fromBytes(green));
    const QByteArray reencoded = TestEnv::readFile(cam + QStringLiteral("/Yard712202680510AM.jpg"));
    EXPECT_FALSE(reencoded.isEmpty());
    EXPECT_NE(reencoded, green);
}

TEST_F(PictureSaverTest, ATornJpegIsNotSavedWhenKeepingTheCamerasOwnPictures)
{
    saver.setAutoSave(true);
    saver.setKeepOriginal(true);
    saver.follow(&engine);
    const QByteArray whole = jpegOf(Qt::red, kSnapshot);
    const auto response = [](const QByteArray &body, const char *modified) {
        return QByteArray("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nLast-Modified: ") +
               modified + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
               body;
    };
    fetch(QStringLiteral("Yard"), response(whole, "Mon, 07 Dec 2026 10:00:00 GMT"));
    fetch(QStringLiteral("Yard"),
          response(whole.left(whole.size() / 2), "Mon, 07 Dec 2026 10:00:01 GMT"));
    EXPECT_TRUE(camFiles().isEmpty()) << "the first picture is not new, the torn one no picture";
    fetch(QStringLiteral("Yard"), response(whole, "Mon, 07 Dec 2026 10:00:02 GMT"));
    ASSERT_EQ(camFiles().size(), 1);
    EXPECT_EQ(TestEnv::readFile(cam + QLatin1Char('/') + camFiles().first()), whole);
}

TEST_F(PictureSaverTest, ASlowWriterSavesInArrivalOrderAndDropsOnlyTheOldestWaiting)
{
    saver.setAutoSave(true);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    QSignalSpy dropped(&saver, &PictureSaver::picturesDropped);
    // The writer is held at its first file until the queue is full and over.
    QSemaphore gate;
    saver.setWriteHook([&gate](const QString &camera) {
        if (camera == QStringLiteral("Yard"))
            gate.acquire();
    });
    const int limit = PictureSaver::MaxWaitingPerCamera;
    QList<QColor> colours;
    for (int i = 0; i < limit + 3; ++i) {
        colours << QColor::fromHsv(i * 25, 255, 255);
        clock = kMorning.addSecs(i);
        EXPECT_TRUE(saver.saveIfNew(QStringLiteral("Yard"), 1, pictureOf(colours.last()), true));
        // Another camera's queue is its own: never dropped for Yard's.
        if (i < limit)
            saver.saveIfNew(QStringLiteral("Gate"), 2, pictureOf(colours.last()), true);
    }
    // The first is being written; behind it the limit waits, so the 2nd and 3rd
    // (the oldest waiting) gave way. One message for the run of drops.
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(saver.dropped(), 2);
    EXPECT_EQ(dropped.at(0).at(0).toString(), QStringLiteral("Yard"));
    gate.release(limit + 3);
    ASSERT_TRUE(saver.waitForIdle(Timeout));

    QList<int> yardOrder;
    for (const QList<QVariant> &args : std::as_const(saved)) {
        const SaveReport report = args.at(0).value<SaveReport>();
        if (report.camera != QStringLiteral("Yard"))
            continue;
        // The file's time names its picture: the one that arrived then.
        const int second = report.path.chopped(6).right(2).toInt() - 9;
        yardOrder << second;
        EXPECT_FALSE(loadFile(report.path).isNull()) << report.path.toStdString();
    }
    QList<int> expected{0};
    for (int i = 3; i < limit + 3; ++i)
        expected << i;
    EXPECT_EQ(yardOrder, expected) << "in arrival order, the dropped ones never reported";
    EXPECT_EQ(saved.count(), expected.size() + limit) << "every Gate picture saved";
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(camFiles().size(), saved.count());
}

TEST_F(PictureSaverTest, StoppingWithAQueueInFlightLeavesOnlyWholeFilesUnderFinalNames)
{
    saver.setAutoSave(true);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    // Every write takes a while, as on a slow disk.
    saver.setWriteHook([](const QString &) { QThread::msleep(100); });
    for (int i = 0; i < 6; ++i) {
        clock = kMorning.addSecs(i);
        saver.saveIfNew(QStringLiteral("Door"), 0, pictureOf(Qt::darkCyan, QSize(640, 480)), true);
    }
    const int abandoned = saver.finishQueue(0);
    EXPECT_GT(abandoned, 0);
    EXPECT_EQ(saved.count() + abandoned, 6);
    // Whatever was written is whole and under its final name; no temporary
    // file is left behind.
    for (const QString &name : camFiles()) {
        EXPECT_TRUE(name.endsWith(QStringLiteral(".jpg"))) << name.toStdString();
        EXPECT_FALSE(loadFile(cam + QLatin1Char('/') + name).isNull()) << name.toStdString();
    }
    EXPECT_EQ(camFiles().size(), saved.count());

    // The saver goes on taking pictures afterwards; destroying it mid-queue
    // leaves whole files only, too.
    auto other = std::make_unique<PictureSaver>();
    other->setAutoSave(true);
    other->setTimeSource([] { return kMorning.addSecs(30); });
    other->setWriteHook([](const QString &) { QThread::msleep(100); });
    for (int i = 0; i < 4; ++i)
        other->saveIfNew(QStringLiteral("Shed"), 3, pictureOf(Qt::darkRed, QSize(640, 480)), true);
    other.reset();
    for (const QString &name : camFiles())
        EXPECT_FALSE(loadFile(cam + QLatin1Char('/') + name).isNull()) << name.toStdString();
}

// "Save only changes", through the camera's detector and the writer: of a
// quiet path, a person crossing it in three pictures and the quiet path again,
// the files are the picture before, the three changed ones and two after, each
// named after the second it came; nothing else of the quiet pictures.
TEST_F(PictureSaverTest, SavingOnlyChangesKeepsTheOneBeforeTheChangedOnesAndTwoAfter)
{
    saver.follow(&engine);
    saver.setAutoSaveMode(Settings::AutoSaveMode::Change);
    engine.setTimeSource([this] { return clock; });
    engine.setDetection(true);
    QSignalSpy judged(&engine, &CameraEngine::changeJudged);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    const QList<int> personAt{-1, -1, -1, -1, -1, -1, 30, 130, 230, -1, -1, -1, -1, -1};
    for (int i = 0; i < personAt.size(); ++i) {
        clock = kMorning.addSecs(i);
        fetch(QStringLiteral("Path"),
              MiniHttpServer::response(TestPictures::pathView(kSnapshot, personAt[i]), "image/jpeg",
                                       QStringLiteral("Sun, 12 Jul 2026 06:05:%1 GMT")
                                           .arg(9 + i, 2, 10, QLatin1Char('0'))
                                           .toLatin1()));
    }
    ASSERT_TRUE(saver.waitForIdle(Timeout));

    // The first picture only records its Last-Modified line: 13 are judged.
    ASSERT_EQ(judged.count(), personAt.size() - 1);
    QList<int> started, ended;
    for (int i = 0; i < judged.count(); ++i) {
        const auto outcome = judged.at(i).at(1).value<CameraChangeWatch::Outcome>();
        if (outcome.verdict.started)
            started << i + 1;
        if (outcome.verdict.ended)
            ended << i + 1;
    }
    EXPECT_EQ(started, QList<int>{6});
    EXPECT_EQ(ended, QList<int>{10}) << "two quiet pictures end it";
    QList<int> seconds;
    for (const QList<QVariant> &args : std::as_const(saved)) {
        const SaveReport report = args.at(0).value<SaveReport>();
        seconds << report.path.chopped(6).right(2).toInt() - 9;
        EXPECT_FALSE(loadFile(report.path).isNull()) << report.path.toStdString();
    }
    EXPECT_EQ(seconds, (QList<int>{5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(camFiles().size(), 6);
}
