#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QWheelEvent>

#include "Camera.h"
#include "CameraEngine.h"
#include "LighttpdServer.h"
#include "MainWindowLayout.h"
#include "MiniHttpServer.h"
#include "Settings.h"
#include "TestPictures.h"
#include "Twips.h"
#include "ViewerPane.h"
#include "WaitUntil.h"
#include "ZoomImage.h"

namespace {

// A picture nothing has decoded in full: the pane decodes it off its thread.
Picture undecoded(const QColor &colour, const QSize &size)
{
    return Picture::fromBytesChecked(TestPictures::jpegOf(colour, size), QSize(7, 5));
}

// The pane alone on an engine of its own, laid out as in a window whose
// viewer has 8,000 twips of room across and 6,220 down. Its cameras are a
// local server that never answers.
class ViewerPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The time label asks nobody outside.
        qputenv("TESSALY_TIME_SERVER",
                QStringLiteral("127.0.0.1:%1").arg(LighttpdServer::freePort()).toLatin1());
        MiniHttpServer::Reply silent;
        silent.silent = true;
        server.setReply(silent);
        engine.setRealTimersEnabled(false);
        // Every pane starts as a new user's does: Fit.
        ASSERT_TRUE(Settings::setViewerFit(true));
        pane = std::make_unique<ViewerPane>(engine);
        pane->setSelection([this] { return selected; });
        pane->applyGeometry(LayoutMainWindow(11520, 15195, kStatusBarHeight));
        ASSERT_EQ(pane->logicalDpiX(), 96);
    }

    void TearDown() override { pane.reset(); }

    template <typename T = QWidget>
    T *child(const char *name) const
    {
        T *found = pane->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    ZoomImage *imgMain() const { return child<ZoomImage>("imgMain"); }
    // Every decode started off the window's thread has ended and been handed back.
    static void settle()
    {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    // The viewport's room: up to where its bars begin.
    QSize room() const
    {
        return {child<QScrollBar>("VScroll2")->x(), child<QScrollBar>("HScroll1")->y()};
    }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }
    QColor shownCentre() const
    {
        const QImage shown = imgMain()->picture();
        return shown.isNull() ? QColor() : shown.pixelColor(shown.width() / 2, shown.height() / 2);
    }

    MiniHttpServer server;
    CameraEngine engine;
    std::unique_ptr<ViewerPane> pane;
    int selected = 0;
};

} // namespace

TEST_F(ViewerPaneTest, ASelectedCameraShowsInFullWithItsDetailsAndTheButtonsSayWhatWasClicked)
{
    ASSERT_EQ(engine.open("Yard", server.url("/y.jpg"), "30")->panel(), 0);
    ASSERT_EQ(engine.open("Door", server.url("/d.jpg"), "10")->panel(), 1);
    pane->hideViewer();
    EXPECT_TRUE(pane->isHidden());
    EXPECT_TRUE(pane->details()->isHidden());

    selected = 1;
    pane->showCamera(1, Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(320, 240))));
    EXPECT_FALSE(pane->isHidden());
    EXPECT_FALSE(pane->details()->isHidden());
    EXPECT_EQ(imgMain()->picture().size(), QSize(320, 240)) << "the full picture, not the panel's";
    // Fit, as every viewer starts: the whole picture, as large as the room allows, centred.
    const QSize room = this->room();
    const QRect fitted = imgMain()->geometry();
    EXPECT_TRUE(fitted.width() == room.width() || fitted.height() == room.height());
    EXPECT_TRUE(QRect(QPoint(0, 0), room).contains(fitted));
    EXPECT_NEAR(fitted.center().x(), room.width() / 2, 1);
    EXPECT_NEAR(fitted.center().y(), room.height() / 2, 1);
    EXPECT_EQ(label("lblName"), "Door");
    EXPECT_EQ(label("lblRefresh"), "10");
    EXPECT_EQ(label("lblNextRefresh"), "10");

    // The countdown follows the selected camera's ticks, no other's.
    engine.tick(0);
    EXPECT_EQ(label("lblNextRefresh"), "10");
    engine.tick(1);
    EXPECT_EQ(label("lblNextRefresh"), "9");

    QSignalSpy save(pane.get(), &ViewerPane::saveClicked);
    QSignalSpy screensaver(pane.get(), &ViewerPane::screensaverClicked);
    QTest::mouseClick(child<QPushButton>("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(save.size(), 1);
    EXPECT_EQ(screensaver.size(), 0);
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    EXPECT_EQ(save.size(), 1);
    EXPECT_EQ(screensaver.size(), 1);

    // A camera name that looks like markup is shown as written: drawn as
    // markup, the bold tags would vanish and each "&lt;" shrink to one "<".
    const QString markup = QStringLiteral("<b>Gate</b> &lt;&lt;&lt;&lt;&lt;&lt;");
    ASSERT_EQ(engine.open(markup, server.url("/g.jpg"), "10")->panel(), 2);
    selected = 2;
    pane->showCamera(2, Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(32, 24))));
    auto *name = child<QLabel>("lblName");
    EXPECT_EQ(name->text(), markup);
    EXPECT_GE(name->sizeHint().width(), name->fontMetrics().horizontalAdvance(markup) * 9 / 10);
}

TEST_F(ViewerPaneTest, ZoomBarsStayInRangeAndThePictureFollowsThem)
{
    pane->showCamera(0, Picture::fromBytes(TestPictures::jpegOf(Qt::red, QSize(320, 240))));
    auto *slider = child<QScrollBar>("Slider1");
    auto *hbar = child<QScrollBar>("HScroll1");
    auto *vbar = child<QScrollBar>("VScroll2");
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 5);
    const QSize room = this->room();

    // Whatever the zoom and scrolling did: each bar within its range, the
    // picture where its bar says, at the zoom's size.
    const auto consistent = [&](const char *step) {
        const int zoom = pane->zoom();
        EXPECT_FALSE(pane->isFit()) << step;
        EXPECT_EQ(label("zoomFactor"), QString::number(zoom) + "\u00d7") << step;
        EXPECT_EQ(imgMain()->size(), QSize(320, 240) * zoom) << step;
        for (QScrollBar *bar : {hbar, vbar}) {
            EXPECT_GE(bar->value(), 0) << step;
            EXPECT_LE(bar->value(), bar->maximum()) << step;
        }
        EXPECT_EQ(imgMain()->x(), hbar->isEnabled() ? -hbar->value() : 0) << step;
        EXPECT_EQ(imgMain()->y(), vbar->isEnabled() ? -vbar->value() : 0) << step;
    };

    // Moving the bar turns Fit off. Zoom 3 overhangs by what exceeds the room.
    slider->setValue(3);
    EXPECT_EQ(hbar->maximum(), 960 - room.width());
    EXPECT_EQ(vbar->maximum(), 720 - room.height());
    hbar->setValue(hbar->maximum() - 10);
    vbar->setValue(vbar->maximum() - 10);
    consistent("scrolled far at zoom 3");
    // Zoom 2 overhangs less than the picture was scrolled: both come back.
    slider->setValue(2);
    EXPECT_EQ(hbar->maximum(), 640 - room.width());
    EXPECT_EQ(hbar->value(), hbar->maximum());
    consistent("zoom 2");
    const int offset = hbar->value();
    slider->setValue(5);
    consistent("zoom 5");
    EXPECT_EQ(hbar->value(), offset) << "a zoom keeps the offset while it can";
    slider->setValue(1);
    EXPECT_FALSE(hbar->isEnabled());
    EXPECT_FALSE(vbar->isEnabled());
    consistent("zoom 1");
    // Scrolling again after it was off starts where the picture is: in the corner.
    slider->setValue(2);
    EXPECT_TRUE(hbar->isEnabled());
    EXPECT_EQ(hbar->value(), 0);
    consistent("zoom 2 after 1");
    hbar->setValue(hbar->value() + hbar->singleStep());
    consistent("one step right at zoom 2 after 1");

    // Another camera's smaller picture at zoom 2 needs no scrolling.
    slider->setValue(4);
    hbar->setValue(hbar->maximum());
    pane->showCamera(0, Picture::fromBytes(TestPictures::jpegOf(Qt::blue, QSize(100, 80))));
    slider->setValue(2);
    EXPECT_EQ(imgMain()->geometry(), QRect(0, 0, 200, 160));
    EXPECT_FALSE(hbar->isEnabled());

    // Fit again, by its box: remembered for the next start.
    child<QCheckBox>("chkFit")->setChecked(true);
    EXPECT_TRUE(pane->isFit());
    EXPECT_TRUE(Settings::viewerFit());
    slider->setValue(3);
    EXPECT_FALSE(child<QCheckBox>("chkFit")->isChecked());
    EXPECT_FALSE(Settings::viewerFit());
}

TEST_F(ViewerPaneTest, TheSelectedCamerasNewestPictureWinsAndOthersPassBy)
{
    Camera *yard = engine.open("Yard", server.url("/y.jpg"), "30");
    Camera *door = engine.open("Door", server.url("/d.jpg"), "30");
    ASSERT_EQ(yard->panel(), 0);
    QSignalSpy shown(pane.get(), &ViewerPane::pictureShown);
    QSignalSpy busy(pane.get(), &ViewerPane::fetchBusy);

    emit engine.fetchStarted(door);
    EXPECT_EQ(busy.size(), 0) << "not the selected camera";
    emit engine.fetchStarted(yard);
    ASSERT_EQ(busy.size(), 1);
    EXPECT_TRUE(busy[0][0].toBool());

    // A large picture is still decoding when a newer one, decoded in full
    // already, comes: the newer one shows and stays.
    const Picture older = undecoded(Qt::green, QSize(1600, 1200));
    std::shared_ptr<const QImage> held;
    const Picture newer = Picture::fromBytesInFull(TestPictures::jpegOf(Qt::blue, QSize(400, 200)),
                                                   engine.thumbnailSize(), &held);
    ASSERT_NE(held, nullptr);
    emit engine.pictureArrived(yard, older, true);
    emit engine.pictureArrived(yard, newer, true);
    ASSERT_TRUE(waitUntil([&] { return shown.size() == 1; }));
    settle();
    EXPECT_EQ(imgMain()->picture().size(), QSize(400, 200));
    // The first picture sizes the viewer: fitted whole at two to one.
    EXPECT_EQ(imgMain()->width(), room().width());
    EXPECT_NEAR(imgMain()->height(), room().width() / 2, 1);
    EXPECT_GT(shownCentre().blue(), 200);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(busy.size(), 2) << "one fetch, one end";
    EXPECT_FALSE(busy[1][0].toBool());

    // Another camera's picture is not the viewer's business at all, and a
    // picture whose camera is no longer selected when it is ready is not shown.
    emit engine.pictureArrived(door, undecoded(Qt::red, QSize(64, 48)), true);
    emit engine.pictureArrived(yard, undecoded(Qt::red, QSize(64, 48)), true);
    selected = 1;
    settle();
    EXPECT_GT(shownCentre().blue(), 200);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(busy.size(), 2);
}

TEST_F(ViewerPaneTest, APictureThatDoesNotDecodeEndsTheFetchAndLeavesTheViewer)
{
    Camera *yard = engine.open("Yard", server.url("/y.jpg"), "30");
    Camera *door = engine.open("Door", server.url("/d.jpg"), "30");
    std::shared_ptr<const QImage> held;
    const Picture good = Picture::fromBytesInFull(TestPictures::jpegOf(Qt::blue, QSize(400, 200)),
                                                  engine.thumbnailSize(), &held);
    emit engine.pictureArrived(yard, good, true);
    settle();
    ASSERT_EQ(imgMain()->picture().size(), QSize(400, 200));

    QSignalSpy shown(pane.get(), &ViewerPane::pictureShown);
    QSignalSpy busy(pane.get(), &ViewerPane::fetchBusy);
    QByteArray torn = TestPictures::jpegOf(Qt::yellow, QSize(320, 240));
    torn = torn.left(torn.size() / 2) + "\xFF\xD9";
    const Picture broken = Picture::fromBytesChecked(torn, QSize(7, 5));
    ASSERT_FALSE(broken.isNull());
    emit engine.pictureArrived(yard, broken, true);
    ASSERT_TRUE(waitUntil([&] { return busy.size() == 1; }));
    EXPECT_EQ(shown.size(), 0);
    EXPECT_FALSE(busy[0][0].toBool());
    EXPECT_EQ(imgMain()->picture().size(), QSize(400, 200));
    EXPECT_GT(shownCentre().blue(), 200);

    // A body the camera could not decode ends the fetch too; another
    // camera's says nothing here.
    emit engine.fetchFailed(door, Failure::of(Failure::Kind::Decode, "no picture"));
    EXPECT_EQ(busy.size(), 1);
    emit engine.fetchFailed(yard, Failure::of(Failure::Kind::Decode, "no picture"));
    ASSERT_EQ(busy.size(), 2);
    EXPECT_FALSE(busy[1][0].toBool());
}

namespace {

void sendMouse(QWidget *to, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, QPointF(at), QPointF(to->mapToGlobal(at)), Qt::LeftButton, buttons,
                      modifiers);
    QApplication::sendEvent(to, &event);
}

void sendWheel(QWidget *to, const QPoint &at, int notches, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(QPointF(at), QPointF(to->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &event);
}

} // namespace

TEST_F(ViewerPaneTest, KeysWheelDragAndDoubleClickWorkLikeAnImageViewer)
{
    pane->show();
    QImage picture(1920, 1080, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    pane->showCamera(0, Picture::fromImage(picture));
    ASSERT_TRUE(pane->isFit());
    auto *inside = child("Picture1_inside");
    auto *hbar = child<QScrollBar>("HScroll1");
    auto *vbar = child<QScrollBar>("VScroll2");
    const QSize room = this->room();
    const QPoint centre(room.width() / 2, room.height() / 2);
    // The picture point under a place in the viewport, in natural pixels.
    const auto pictureAt = [&](const QPoint &at) {
        return QPointF(at - imgMain()->pos()) * (1920.0 / imgMain()->width());
    };
    const auto key = [&](Qt::Key k) { QTest::keyClick(inside, k); };

    // 1: natural size about the middle.
    const QPointF middle = pictureAt(centre);
    key(Qt::Key_1);
    EXPECT_FALSE(pane->isFit());
    EXPECT_EQ(imgMain()->size(), QSize(1920, 1080));
    EXPECT_NEAR(pictureAt(centre).x(), middle.x(), 2);
    EXPECT_NEAR(pictureAt(centre).y(), middle.y(), 2);
    // The edges, by key.
    key(Qt::Key_End);
    EXPECT_EQ(imgMain()->geometry().right() + 1, room.width()) << "End: the right edge";
    key(Qt::Key_PageDown);
    EXPECT_EQ(imgMain()->geometry().bottom() + 1, room.height()) << "PageDown: the bottom edge";
    key(Qt::Key_Home);
    EXPECT_EQ(imgMain()->x(), 0) << "Home: the left edge";
    key(Qt::Key_PageUp);
    EXPECT_EQ(imgMain()->y(), 0) << "PageUp: the top edge";
    key(Qt::Key_Right);
    key(Qt::Key_Down);
    EXPECT_EQ(imgMain()->pos(), QPoint(-hbar->singleStep(), -vbar->singleStep()));
    key(Qt::Key_Left);
    key(Qt::Key_Up);
    EXPECT_EQ(imgMain()->pos(), QPoint(0, 0));
    // + and -, and 0 for Fit.
    key(Qt::Key_Plus);
    EXPECT_EQ(pane->zoom(), 2);
    EXPECT_EQ(imgMain()->size(), QSize(3840, 2160));
    key(Qt::Key_End);
    EXPECT_EQ(imgMain()->geometry().right() + 1, room.width()) << "End at zoom 2: the right edge";
    key(Qt::Key_Minus);
    EXPECT_EQ(pane->zoom(), 1);
    EXPECT_FALSE(pane->isFit());
    key(Qt::Key_Minus);
    EXPECT_TRUE(pane->isFit()) << "out of natural size: the whole picture";
    key(Qt::Key_2);
    EXPECT_TRUE(pane->isFit()) << "a key the viewer does not know changes nothing";
    key(Qt::Key_1);
    key(Qt::Key_0);
    EXPECT_TRUE(pane->isFit());
    EXPECT_EQ(imgMain()->width(), room.width());

    // Double-click: Fit and natural size, in turn, about the place clicked.
    const QPoint spot(room.width() / 4, room.height() / 3);
    const QPointF spotted = pictureAt(spot);
    sendMouse(imgMain(), QEvent::MouseButtonDblClick, spot - imgMain()->pos(), Qt::LeftButton);
    EXPECT_FALSE(pane->isFit());
    EXPECT_EQ(imgMain()->size(), QSize(1920, 1080));
    EXPECT_NEAR(pictureAt(spot).x(), spotted.x(), 2);
    EXPECT_NEAR(pictureAt(spot).y(), spotted.y(), 2);
    sendMouse(imgMain(), QEvent::MouseButtonDblClick, spot - imgMain()->pos(), Qt::LeftButton);
    EXPECT_TRUE(pane->isFit());

    // Ctrl + wheel zooms about the pointer, the wheel alone scrolls.
    const QPointF under = pictureAt(spot);
    sendWheel(imgMain(), spot - imgMain()->pos(), 1, Qt::ControlModifier);
    EXPECT_FALSE(pane->isFit());
    EXPECT_EQ(pane->zoom(), 1);
    EXPECT_NEAR(pictureAt(spot).x(), under.x(), 2);
    EXPECT_NEAR(pictureAt(spot).y(), under.y(), 2);
    const int before = vbar->value();
    sendWheel(imgMain(), QPoint(5, 5), -1, Qt::NoModifier);
    EXPECT_GT(vbar->value(), before) << "wheel down scrolls down";
    EXPECT_EQ(pane->zoom(), 1);

    // Dragging pans: the picture follows the pointer.
    const QPoint start = imgMain()->pos();
    sendMouse(imgMain(), QEvent::MouseButtonPress, QPoint(300, 200) - start, Qt::LeftButton);
    sendMouse(imgMain(), QEvent::MouseMove, QPoint(260, 170) - start, Qt::LeftButton);
    EXPECT_EQ(imgMain()->pos(), start + QPoint(-40, -30));
    sendMouse(imgMain(), QEvent::MouseButtonRelease, QPoint(260, 170) - start, Qt::NoButton);
}
