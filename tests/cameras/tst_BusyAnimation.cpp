#include <gtest/gtest.h>

#include <vector>

#include <QImage>
#include <QSignalSpy>

#include "BusyAnimation.h"
#include "StretchImage.h"
#include "WaitUntil.h"

TEST(BusyAnimation, DrawsEightDistinctFramesAtTheIndicatorsSize)
{
    const QList<QPixmap> frames = BusyAnimation::drawFrames(QSize(21, 17));
    ASSERT_EQ(frames.size(), 8);
    for (int i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].size(), QSize(21, 17));
        // Each frame differs from the next, or nothing would seem to turn.
        const QImage a = frames[i].toImage();
        const QImage b = frames[(i + 1) % frames.size()].toImage();
        EXPECT_NE(a, b) << "frame " << i;
    }
}

TEST(BusyAnimation, FramesAreADarkDiscOnATransparentGround)
{
    const QImage frame = BusyAnimation::drawFrames(QSize(21, 17)).first().toImage();
    // The corners let the camera picture show through.
    EXPECT_EQ(qAlpha(frame.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(frame.pixel(20, 16)), 0);
    // The middle is the dark backing disc, half opaque or more.
    const QRgb middle = frame.pixel(10, 8);
    EXPECT_GT(qAlpha(middle), 127);
    EXPECT_LT(qGray(middle), 80);
}

TEST(BusyAnimation, IsIdleUntilSomeoneWatches)
{
    BusyAnimation animation;
    EXPECT_FALSE(animation.isRunning());
    EXPECT_EQ(animation.frameIndex(), 0);
    EXPECT_EQ(animation.frameCount(), 8);
    EXPECT_FALSE(animation.currentFrame().isNull());
}

TEST(BusyAnimation, StepsOneFrameAtATimeOnItsTimerAndWrapsAround)
{
    BusyAnimation animation;
    animation.acquire();
    ASSERT_TRUE(animation.isRunning());

    std::vector<int> seen;
    QObject::connect(&animation, &BusyAnimation::frameChanged, &animation,
                     [&] { seen.push_back(animation.frameIndex()); });
    ASSERT_TRUE(waitUntil([&] { return seen.size() >= 9; }, 10000));
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ(seen[i], int((i + 1) % 8)) << "step " << i;
    const QImage shown = animation.currentFrame().toImage();
    EXPECT_EQ(shown, BusyAnimation::drawFrames(QSize(21, 17)).at(animation.frameIndex()).toImage());
    animation.release();
}

TEST(BusyAnimation, RunsWhileAnyViewerHoldsItAndStopsWithTheLast)
{
    BusyAnimation animation;
    animation.acquire();
    animation.acquire();
    animation.release();
    EXPECT_TRUE(animation.isRunning());
    animation.release();
    EXPECT_FALSE(animation.isRunning());

    // A release too many is ignored: the next viewer still starts it.
    animation.release();
    animation.acquire();
    EXPECT_TRUE(animation.isRunning());
    animation.release();
    EXPECT_FALSE(animation.isRunning());
}

TEST(BusyAnimation, StandsStillOnceStopped)
{
    BusyAnimation animation;
    QSignalSpy changed(&animation, &BusyAnimation::frameChanged);
    animation.acquire();
    ASSERT_TRUE(changed.wait(5000));
    animation.release();
    const int frame = animation.frameIndex();
    const qsizetype steps = changed.count();
    EXPECT_FALSE(changed.wait(400));
    EXPECT_EQ(changed.count(), steps);
    EXPECT_EQ(animation.frameIndex(), frame);
}

TEST(BusyAnimation, AnImageHoldsItOnlyWhileVisible)
{
    QWidget host;
    auto *image = new StretchImage(&host);
    BusyAnimation animation;
    image->setAnimation(&animation);
    EXPECT_FALSE(animation.isRunning()); // the host is not shown yet

    host.show();
    EXPECT_TRUE(animation.isRunning());
    image->hide();
    EXPECT_FALSE(animation.isRunning());
    image->show();
    EXPECT_TRUE(animation.isRunning());

    // Going back to the still picture, or going away, lets go of it.
    image->setAnimation(nullptr);
    EXPECT_FALSE(animation.isRunning());
    image->setAnimation(&animation);
    EXPECT_TRUE(animation.isRunning());
    delete image;
    EXPECT_FALSE(animation.isRunning());
}

TEST(BusyAnimation, TwoImagesShareOneAnimation)
{
    QWidget host;
    auto *first = new StretchImage(&host);
    auto *second = new StretchImage(&host);
    BusyAnimation animation;
    first->setAnimation(&animation);
    second->setAnimation(&animation);
    host.show();
    first->hide();
    EXPECT_TRUE(animation.isRunning());
    second->hide();
    EXPECT_FALSE(animation.isRunning());
}
