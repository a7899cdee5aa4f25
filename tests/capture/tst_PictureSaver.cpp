#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSignalSpy>

#include "AppInfo.h"
#include "CameraEngine.h"
#include "MiniHttpServer.h"
#include "PictureSaver.h"
#include "SettingsStore.h"
#include "TestEnv.h"

namespace {

constexpr int Timeout = 10000;

// 12 July 2026, 8:05:09 in the morning.
const QDateTime kMorning(QDate(2026, 7, 12), QTime(8, 5, 9));

QByteArray jpegOf(const QColor &color, const QSize &size = QSize(320, 240))
{
    const QByteArray bytes = TestEnv::jpegOf(color, size);
    if (bytes.isEmpty())
        ADD_FAILURE() << "cannot make a JPEG";
    return bytes;
}

Picture pictureOf(const QColor &color, const QSize &size = QSize(320, 240))
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
        saver.setClock([this] { return clock; });
    }

    static QImage notFoundImage()
    {
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        return image;
    }

    // A running panel whose Frame caption and name are the camera's name.
    void putCamera(int index, const QString &name)
    {
        engine.setName(index, name);
        engine.setCaption(index, name);
        engine.setVisible(index, true);
    }

    // Picture arrival as the engine reports it, after the panel shows picture.
    void arrive(int index, const Picture &picture, bool isNew = true, bool decoded = true)
    {
        engine.setPanelPicture(index, picture);
        emit engine.pictureArrived(index, isNew, decoded);
    }

    // One complete fetch of panel index through the local server.
    void fetch(int index, const QByteArray &response)
    {
        server.setReply({response});
        QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
        engine.setAddress(index, server.url(QStringLiteral("/snap.jpg")));
        engine.StartPanel(index);
        ASSERT_TRUE(arrived.wait(Timeout));
    }

    QStringList camFiles() const
    {
        return QDir(cam).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    QString home;
    QString cam;
    QDateTime clock = kMorning;
    CameraEngine engine;
    PictureSaver saver{&engine};
    MiniHttpServer server;
};

} // namespace

TEST_F(PictureSaverTest, FrontDoorFirstPictureIsKeptOnlyTheChangedOneIsSaved)
{
    saver.setAutoSave(true);
    putCamera(0, QStringLiteral("Front Door"));
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    // When a success message goes out, its file must already be whole on disk.
    QStringList messages;
    QList<bool> fileWasThere;
    QObject::connect(&saver, &PictureSaver::statusText, [&](const QString &text) {
        messages << text;
        const QString path = text.section(QStringLiteral(" saved as "), 1);
        fileWasThere << (!path.isEmpty() && loadFile(path).size() == QSize(320, 240));
    });

    // The first picture after start is recorded, not new: nothing is saved.
    fetch(0,
          MiniHttpServer::response(jpegOf(Qt::red), "image/jpeg", "Sun, 12 Jul 2026 08:05:00 GMT"));
    EXPECT_TRUE(camFiles().isEmpty());

    // The same Last-Modified again: still nothing.
    fetch(0,
          MiniHttpServer::response(jpegOf(Qt::red), "image/jpeg", "Sun, 12 Jul 2026 08:05:00 GMT"));
    EXPECT_TRUE(camFiles().isEmpty());

    // A changed one is saved under the rule's name, decodable, at its size.
    const Picture received = engine.panel(0).picture;
    fetch(0, MiniHttpServer::response(jpegOf(Qt::green), "image/jpeg",
                                      "Sun, 12 Jul 2026 08:05:09 GMT"));
    const QString expected = cam + QStringLiteral("/FrontDoor712202680509AM.jpg");
    EXPECT_EQ(camFiles(), QStringList{QStringLiteral("FrontDoor712202680509AM.jpg")});
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved.at(0).at(0).toInt(), 0);
    EXPECT_EQ(saved.at(0).at(1).toString(), expected);
    EXPECT_EQ(failed.count(), 0);
    const QImage file = loadFile(expected);
    ASSERT_EQ(file.size(), QSize(320, 240));
    EXPECT_TRUE(near(centreOf(file), Qt::green));

    // Panel 0 is the selected camera: the message names the full path.
    EXPECT_EQ(messages, QStringList{QStringLiteral("8:05:09 AM new picture saved as ") + expected});
    EXPECT_EQ(fileWasThere, QList<bool>{true});

    // The panel now shows the picture as saved: the file's own bytes.
    const Picture shown = engine.panel(0).picture;
    EXPECT_FALSE(shown.isSameAs(received));
    EXPECT_EQ(shown.bytes(), TestEnv::readFile(expected));
    EXPECT_EQ(shown.size(), QSize(320, 240));
    EXPECT_TRUE(near(centreOf(shown.thumbnail()), Qt::green));
    EXPECT_TRUE(near(centreOf(*shown.full()), Qt::green));
}

TEST_F(PictureSaverTest, NothingIsSavedUntickedOrForARepeat)
{
    putCamera(2, QStringLiteral("Yard"));
    QSignalSpy status(&saver, &PictureSaver::statusText);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);

    EXPECT_FALSE(saver.autoSave()); // off until the owner sets it
    arrive(2, pictureOf(Qt::red));
    arrive(2, pictureOf(Qt::blue));
    saver.setAutoSave(true);
    arrive(2, pictureOf(Qt::green), /*isNew=*/false);
    EXPECT_TRUE(camFiles().isEmpty());
    EXPECT_EQ(status.count(), 0);
    EXPECT_EQ(saved.count(), 0);

    // Switched on, a new picture of a camera that is not selected is saved
    // without a message.
    arrive(2, pictureOf(Qt::yellow));
    EXPECT_EQ(camFiles(), QStringList{QStringLiteral("Yard712202680509AM.jpg")});
    EXPECT_EQ(saved.count(), 1);
    EXPECT_EQ(status.count(), 0);
}

TEST_F(PictureSaverTest, UndecodableNewBodySavesNothing)
{
    saver.setAutoSave(true);
    putCamera(0, QStringLiteral("Gate"));
    QSignalSpy status(&saver, &PictureSaver::statusText);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);

    fetch(0, MiniHttpServer::response(jpegOf(Qt::red), "image/jpeg", "Mon, 01 Jan 2026"));
    const Picture old = engine.panel(0).picture;
    // A new Last-Modified with a body that is no picture at all, then one cut short.
    fetch(0, MiniHttpServer::response("not a jpeg at all", "image/jpeg", "Tue, 02 Jan 2026"));
    QByteArray torn = jpegOf(Qt::green);
    torn.chop(torn.size() / 2);
    fetch(0, MiniHttpServer::response(torn, "image/jpeg", "Wed, 03 Jan 2026"));

    ASSERT_EQ(arrived.count(), 3);
    EXPECT_TRUE(arrived.at(1).at(1).toBool());  // new ...
    EXPECT_FALSE(arrived.at(1).at(2).toBool()); // ... but not decoded
    EXPECT_TRUE(arrived.at(2).at(1).toBool());
    EXPECT_FALSE(arrived.at(2).at(2).toBool());
    // The old picture is not saved under the new time.
    EXPECT_TRUE(camFiles().isEmpty());
    EXPECT_EQ(saved.count() + failed.count() + status.count(), 0);
    EXPECT_TRUE(engine.panel(0).picture.isSameAs(old));
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
    EXPECT_EQ(saved.at(1).at(1).toString(), cam + QStringLiteral("/FrontDoor712202680509AM-2.jpg"));
    EXPECT_EQ(TestEnv::readFile(first), firstBytes);
    EXPECT_TRUE(near(centreOf(loadFile(first)), Qt::red));
    EXPECT_TRUE(near(centreOf(loadFile(saved.at(1).at(1).toString())), Qt::green));
    EXPECT_TRUE(near(centreOf(loadFile(saved.at(2).at(1).toString())), Qt::blue));

    // A file that is not a snapshot of ours is not replaced either, and the
    // next second starts from the plain name again.
    clock = kMorning.addSecs(1);
    const QString foreign = cam + QStringLiteral("/FrontDoor712202680510AM.jpg");
    ASSERT_TRUE(TestEnv::writeFile(foreign, "someone else's"));
    arrive(0, pictureOf(Qt::white));
    EXPECT_EQ(TestEnv::readFile(foreign), QByteArray("someone else's"));
    EXPECT_EQ(saved.last().at(1).toString(),
              cam + QStringLiteral("/FrontDoor712202680510AM-2.jpg"));
    clock = kMorning.addSecs(2);
    arrive(0, pictureOf(Qt::white));
    EXPECT_EQ(saved.last().at(1).toString(), cam + QStringLiteral("/FrontDoor712202680511AM.jpg"));
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
        const QFileInfo file(args.at(1).toString());
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
    QSignalSpy status(&saver, &PictureSaver::statusText);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);

    // cam/ removed while the program runs.
    ASSERT_TRUE(QDir(cam).removeRecursively());
    const Picture red = pictureOf(Qt::red);
    arrive(0, red);
    const QString path = cam + QStringLiteral("/Gate712202680509AM.jpg");
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(),
              QStringLiteral("8:05:09 AM could not save new picture as ") + path +
                  QStringLiteral(": Failed to save to JPG -2 (No such file or directory)"));
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toInt(), 0);
    EXPECT_EQ(failed.at(0).at(1).toString(), path);
    EXPECT_TRUE(failed.at(0).at(2).toString().contains(QStringLiteral("No such file")));
    // The panel keeps the picture it shows; nothing was created.
    EXPECT_TRUE(engine.panel(0).picture.isSameAs(red));
    EXPECT_FALSE(QFileInfo::exists(cam));

    // cam/ replaced by a file: reported too, also for a camera that is not
    // selected, and the file is left alone.
    ASSERT_TRUE(TestEnv::writeFile(cam, "in the way"));
    arrive(5, pictureOf(Qt::blue));
    ASSERT_EQ(status.count(), 2);
    EXPECT_TRUE(status.at(1).at(0).toString().startsWith(
        QStringLiteral("8:05:09 AM could not save new picture as ") + cam +
        QStringLiteral("/Side712202680509AM.jpg: ")));
    EXPECT_TRUE(status.at(1).at(0).toString().contains(QStringLiteral("Not a directory")));
    EXPECT_EQ(failed.count(), 2);
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(TestEnv::readFile(cam), QByteArray("in the way"));
    for (const QList<QVariant> &args : status)
        EXPECT_FALSE(args.at(0).toString().contains(QStringLiteral(" saved as ")));
}

TEST_F(PictureSaverTest, SaveImageRefusesWithoutACameraOrAPicture)
{
    engine.setSelectedCam(-1);
    SaveImageResult result = saver.saveSelectedPicture();
    EXPECT_FALSE(result.saved);
    EXPECT_TRUE(result.path.isEmpty());
    EXPECT_TRUE(result.picture.isNull());
    EXPECT_EQ(result.statusText, QStringLiteral("Save Image: no camera is selected"));

    // Selected, but blank.
    putCamera(3, QStringLiteral("Porch"));
    engine.setSelectedCam(3);
    result = saver.saveSelectedPicture();
    EXPECT_FALSE(result.saved);
    EXPECT_EQ(result.statusText,
              QStringLiteral("Save Image: the selected camera shows no picture"));

    // Showing the not-found picture is no picture either.
    engine.setPanelPicture(3, engine.notFoundPicture());
    result = saver.saveSelectedPicture();
    EXPECT_FALSE(result.saved);
    EXPECT_EQ(result.statusText,
              QStringLiteral("Save Image: the selected camera shows no picture"));
    EXPECT_TRUE(camFiles().isEmpty());
}

TEST_F(PictureSaverTest, SaveImageWritesTheShownPictureUnderTheCameraName)
{
    // The name text, not the caption, names a manual save; no autosave needed.
    putCamera(4, QStringLiteral("Front Door"));
    engine.setCaption(4, QStringLiteral("Caption"));
    engine.setSelectedCam(4);
    const Picture shown = pictureOf(Qt::green, QSize(200, 100));
    engine.setPanelPicture(4, shown);
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy status(&saver, &PictureSaver::statusText);

    const SaveImageResult first = saver.saveSelectedPicture();
    const QString path = cam + QStringLiteral("/FrontDoor712202680509AM.jpg");
    ASSERT_TRUE(first.saved);
    EXPECT_EQ(first.path, path);
    EXPECT_EQ(first.statusText, QStringLiteral("8:05:09 AM saved as ") + path);
    EXPECT_TRUE(first.picture.isSameAs(shown));
    const QImage file = loadFile(path);
    ASSERT_EQ(file.size(), QSize(200, 100));
    EXPECT_TRUE(near(centreOf(file), Qt::green));
    // The panel and its change detection are untouched; the autosave's
    // signals stay quiet.
    EXPECT_TRUE(engine.panel(4).picture.isSameAs(shown));
    EXPECT_EQ(saved.count() + status.count(), 0);

    // Saving again in the same second keeps the first file.
    const QByteArray firstBytes = TestEnv::readFile(path);
    const SaveImageResult second = PictureSaver::saveSelectedPicture(engine, kMorning);
    ASSERT_TRUE(second.saved);
    EXPECT_EQ(second.path, cam + QStringLiteral("/FrontDoor712202680509AM-2.jpg"));
    EXPECT_EQ(TestEnv::readFile(path), firstBytes);

    // A failure names the file and the reason and shows nothing new.
    ASSERT_TRUE(QDir(cam).removeRecursively());
    const SaveImageResult failed =
        PictureSaver::saveSelectedPicture(engine, QDateTime(QDate(2026, 7, 12), QTime(20, 0, 1)));
    EXPECT_FALSE(failed.saved);
    EXPECT_TRUE(failed.picture.isNull());
    EXPECT_EQ(failed.path, cam + QStringLiteral("/FrontDoor712202680001PM.jpg"));
    EXPECT_EQ(failed.statusText, QStringLiteral("8:00:01 PM could not save picture as ") +
                                     failed.path +
                                     QStringLiteral(": Failed to save to JPG -2 (No such file or "
                                                    "directory)"));
}

TEST_F(PictureSaverTest, AutosaveDecodesANewPictureOnceAndOnlyWhileItIsWanted)
{
    putCamera(0, QStringLiteral("Gate"));
    // While the selected camera's new picture is being handled, is its full
    // decode already there for the save to share? Asking must not keep it.
    QList<bool> heldDuringArrival;
    std::weak_ptr<const QImage> lastDecode;
    QObject::connect(&engine, &CameraEngine::viewerPictureChanged, [&](int index) {
        std::weak_ptr<const QImage> decode = engine.panel(index).picture.full();
        heldDuringArrival << !decode.expired();
        lastDecode = decode;
    });
    const auto response = [](const QColor &color, const QByteArray &lastModified) {
        return MiniHttpServer::response(jpegOf(color, QSize(640, 480)), "image/jpeg", lastModified);
    };

    saver.setAutoSave(true);
    EXPECT_TRUE(engine.fullDecodeForNewPictures());
    fetch(0, response(Qt::red, "one"));   // first: not new
    fetch(0, response(Qt::green, "two")); // new: decoded in full, shared with the save
    EXPECT_EQ(heldDuringArrival, (QList<bool>{false, true}));
    EXPECT_TRUE(lastDecode.expired()) << "the full picture outlived its arrival";
    EXPECT_EQ(camFiles().size(), 1);
    // Its thumbnail, made from the full pixels, shows the picture.
    EXPECT_TRUE(near(centreOf(engine.panel(0).picture.thumbnail()), Qt::green));

    saver.setAutoSave(false);
    EXPECT_FALSE(engine.fullDecodeForNewPictures());
    fetch(0, response(Qt::blue, "three")); // new, but nothing wants it in full
    EXPECT_EQ(heldDuringArrival, (QList<bool>{false, true, false}));
    EXPECT_EQ(camFiles().size(), 1);
}
