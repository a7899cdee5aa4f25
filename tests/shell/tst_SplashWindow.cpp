#include <gtest/gtest.h>

#include <stdexcept>

#include <QCoreApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "AppInfo.h"
#include "ScopedHooks.h"
#include "Skin.h"
#include "SkinSupport.h"
#include "SplashWindow.h"

namespace {

// Runs the event loop until done() holds or time runs out.
template <typename Done>
bool waitUntil(Done done, int timeoutMs = 5000)
{
    return QTest::qWaitFor(done, timeoutMs);
}

class SplashWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SkinSupport::instance().clearCalls();
        QCoreApplication::setApplicationName(QStringLiteral("something else"));
    }
    ScopedHook<&Skin::setProgramSkin, &Skin::programSkin> programSkin{nullptr};
    ScopedHook<&Skin::setSkinningSwitch, &Skin::skinningSwitch> skinning{false};
};

QTimer *timer2(SplashWindow &splash)
{
    return splash.findChild<QTimer *>(QStringLiteral("Timer2"));
}

} // namespace

TEST_F(SplashWindowTest, LoadSetsUpTheProgramWideValues)
{
    SplashWindow splash([] {});

    EXPECT_EQ(QCoreApplication::applicationName(), AppInfo::productName());
    EXPECT_TRUE(Skin::skinningSwitch());
    ASSERT_NE(splash.skin(), nullptr);
    EXPECT_EQ(Skin::programSkin(), splash.skin());
    EXPECT_TRUE(Skin::isSkinned(&splash));
    EXPECT_EQ(SkinSupport::instance().calls(), (QList<int>{8, 11}));

    auto *image = splash.findChild<QLabel *>(QStringLiteral("Image1"));
    auto *line = splash.findChild<QLabel *>(QStringLiteral("Label3"));
    ASSERT_NE(image, nullptr);
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_FALSE(line->text().isEmpty());
    ASSERT_NE(timer2(splash), nullptr);
    EXPECT_EQ(timer2(splash)->interval(), 2);
    EXPECT_TRUE(timer2(splash)->isActive());
    EXPECT_EQ(splash.fadeStep(), 0);
}

TEST_F(SplashWindowTest, MainWindowOpensOnceOnTheSeventyFifthTick)
{
    for (const bool skinning : {true, false}) {
        SCOPED_TRACE(skinning ? "skinning on" : "skinning off");
        programSkin.set(nullptr);
        int opened = 0;
        bool splashVisibleWhenOpened = false;
        SplashWindow *self = nullptr;
        SplashWindow splash(
            [&] {
                ++opened;
                splashVisibleWhenOpened = self && self->isVisible();
            },
            skinning);
        self = &splash;
        splash.show();
        // The ticks are driven by hand: the real 2 ms timer stays running but
        // slow, so a busy machine's event processing cannot add a tick.
        ASSERT_NE(timer2(splash), nullptr);
        timer2(splash)->start(3600 * 1000);
        for (int tick = 1; tick <= 74; ++tick)
            splash.fadeTick();
        EXPECT_EQ(opened, 0);
        EXPECT_EQ(splash.fadeStep(), 148);
        EXPECT_TRUE(splash.isVisible());

        splash.fadeTick();
        EXPECT_EQ(opened, 1);
        EXPECT_TRUE(splashVisibleWhenOpened) << "the main window opens before the splash hides";
        EXPECT_FALSE(splash.isVisible());
        EXPECT_FALSE(timer2(splash)->isActive());

        // Stray ticks after that change nothing.
        for (int tick = 0; tick < 200; ++tick)
            splash.fadeTick();
        EXPECT_EQ(opened, 1);

        EXPECT_EQ(Skin::skinningSwitch(), skinning);
        EXPECT_EQ(Skin::programSkin() != nullptr, skinning);
        EXPECT_EQ(Skin::isSkinned(&splash), skinning);
    }
}

TEST_F(SplashWindowTest, TimerAloneOpensTheMainWindowExactlyOnce)
{
    int opened = 0;
    SplashWindow splash([&] { ++opened; });
    splash.show();

    ASSERT_TRUE(waitUntil([&] { return opened > 0; }));
    EXPECT_EQ(splash.fadeStep(), 150) << "75 ticks of +2";
    EXPECT_FALSE(timer2(splash)->isActive());
    for (int round = 0; round < 20; ++round)
        QCoreApplication::processEvents();
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(splash.isVisible());
}

TEST_F(SplashWindowTest, FailingMainWindowStillHidesTheSplash)
{
    SplashWindow splash([] { throw std::runtime_error("no main window"); });
    splash.show();
    for (int tick = 1; tick <= 75; ++tick)
        splash.fadeTick();
    EXPECT_FALSE(splash.isVisible());
}

TEST_F(SplashWindowTest, PictureShowsTheCameraOnPurple)
{
    const QImage picture = SplashWindow::splashPicture();
    ASSERT_FALSE(picture.isNull());
    // Purple sky in the corner, the light camera body on the left.
    const QColor corner(picture.pixel(2, picture.height() - 3));
    EXPECT_GT(corner.blue(), corner.green());
    EXPECT_GT(corner.red(), corner.green());
    const QColor body(picture.pixel(62, 130));
    EXPECT_GT(body.lightness(), 200);
}
