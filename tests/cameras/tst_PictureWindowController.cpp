#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include "PictureWindowController.h"
#include "WaitUntil.h"

namespace {

QImage solid(const QColor &colour, const QSize &size = QSize(64, 48))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

int pictureWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->objectName() == "Form6" ? 1 : 0;
    return n;
}

// The controller with a screen-saver switch that only writes down what it
// was asked: the desktop's own screen saver is never touched.
class PictureWindowControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QApplication::setQuitOnLastWindowClosed(false);
        controller = std::make_unique<PictureWindowController>();
        controller->setScreenSaverSwitch([this](bool active) {
            switches << active;
            return true;
        });
    }

    void TearDown() override
    {
        controller.reset();
        ASSERT_TRUE(waitUntil([] { return pictureWindows() == 0; }));
    }

    std::unique_ptr<PictureWindowController> controller;
    QList<bool> switches;
};

} // namespace

TEST_F(PictureWindowControllerTest, OpensOnceOverTheScreenAndFollowsUntilClicked)
{
    EXPECT_FALSE(controller->isVisible());
    EXPECT_EQ(controller->window(), nullptr);
    const QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    controller->open(solid(Qt::red, QSize(160, 120)), screen);
    QPointer<PictureWindow> window = controller->window();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(controller->isVisible());
    EXPECT_TRUE(controller->isFollowing());
    EXPECT_EQ(window->geometry(), screen->geometry());
    EXPECT_EQ(window->picture().size(), QSize(160, 120));
    EXPECT_EQ(switches, QList<bool>({false}));

    // Opening again gives the open window the picture: no second window, and
    // the screen saver is not switched a second time.
    controller->open(solid(Qt::blue), screen);
    EXPECT_EQ(controller->window(), window.data());
    EXPECT_EQ(pictureWindows(), 1);
    EXPECT_EQ(window->picture().pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(switches, QList<bool>({false}));

    controller->setBusy(true);
    EXPECT_TRUE(window->isBusy());
    controller->setPicture(solid(Qt::green));
    EXPECT_EQ(window->picture().pixelColor(0, 0), QColor(Qt::green));
    controller->setBusy(false);
    EXPECT_FALSE(window->isBusy());

    // A click ends the following and closes the window, which lets the screen
    // saver go; what comes after goes nowhere.
    QTest::mouseClick(window->image, Qt::LeftButton);
    EXPECT_FALSE(controller->isFollowing());
    EXPECT_FALSE(controller->isVisible());
    EXPECT_EQ(switches, QList<bool>({false, true}));
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(controller->window(), nullptr);
    controller->setBusy(true);
    controller->setPicture(solid(Qt::red));
    EXPECT_EQ(pictureWindows(), 0);

    // The next opening is a new window that follows again.
    controller->open(solid(Qt::yellow), nullptr);
    ASSERT_NE(controller->window(), nullptr);
    EXPECT_TRUE(controller->isFollowing());
    EXPECT_EQ(controller->window()->picture().pixelColor(0, 0), QColor(Qt::yellow));
    EXPECT_EQ(switches, QList<bool>({false, true, false}));
}

TEST_F(PictureWindowControllerTest, ClosingOrGoingUnloadsTheWindowAndLetsTheScreenSaverGoOnce)
{
    controller->open(solid(Qt::red), nullptr);
    QPointer<PictureWindow> window = controller->window();
    ASSERT_FALSE(window.isNull());
    controller->closeWindow();
    EXPECT_TRUE(window.isNull()) << "unloaded at once, not later";
    EXPECT_FALSE(controller->isVisible());
    EXPECT_EQ(switches, QList<bool>({false, true}));
    controller->closeWindow();
    EXPECT_EQ(switches, QList<bool>({false, true}));

    // The controller going takes an open window along.
    controller->open(solid(Qt::red), nullptr);
    window = controller->window();
    ASSERT_FALSE(window.isNull());
    controller.reset();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(switches, QList<bool>({false, true, false, true}));
}

TEST_F(PictureWindowControllerTest, AWindowClosedBehindItsBackIsOpenedAfresh)
{
    controller->open(solid(Qt::red), nullptr);
    QPointer<PictureWindow> window = controller->window();
    ASSERT_FALSE(window.isNull());
    // Closed by the window manager, say: only a click ends the following.
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_FALSE(controller->isVisible());
    EXPECT_TRUE(controller->isFollowing());
    EXPECT_EQ(switches, QList<bool>({false, true}));
    controller->setPicture(solid(Qt::blue));

    controller->open(solid(Qt::green), nullptr);
    ASSERT_NE(controller->window(), nullptr);
    EXPECT_TRUE(controller->isVisible());
    EXPECT_EQ(controller->window()->picture().pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(pictureWindows(), 1);
    EXPECT_EQ(switches, QList<bool>({false, true, false}));
}
