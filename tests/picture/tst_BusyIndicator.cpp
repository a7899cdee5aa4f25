#include <gtest/gtest.h>

#include <algorithm>

#include <QImage>

#include "BusyIndicator.h"
#include "WaitUntil.h"

TEST(BusyIndicator, IsSmallAndLetsClicksThrough)
{
    BusyIndicator indicator;
    EXPECT_EQ(indicator.size(), QSize(21, 17));
    EXPECT_EQ(indicator.sizeHint(), QSize(21, 17));
    EXPECT_TRUE(indicator.testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(BusyIndicator, TurnsOnlyWhileVisible)
{
    QWidget host;
    auto *indicator = new BusyIndicator(&host);
    EXPECT_FALSE(waitUntil([&] { return indicator->frame() != 0; }, 300));

    host.show();
    ASSERT_TRUE(waitUntil([&] { return indicator->frame() != 0; }));

    indicator->hide();
    const int frame = indicator->frame();
    EXPECT_FALSE(waitUntil([&] { return indicator->frame() != frame; }, 300));
}

TEST(BusyIndicator, WrapsAroundAfterTheLastFrame)
{
    QWidget host;
    auto *indicator = new BusyIndicator(&host);
    host.show();
    int highest = 0;
    bool wrapped = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            highest = std::max(highest, indicator->frame());
            wrapped = wrapped || (highest == BusyIndicator::kFrames - 1 && indicator->frame() == 0);
            return wrapped;
        },
        10000));
    EXPECT_EQ(highest, BusyIndicator::kFrames - 1);
}

TEST(BusyIndicator, SuccessiveFramesDrawTheArcInAnotherPlace)
{
    QWidget host;
    auto *indicator = new BusyIndicator(&host);
    host.show();
    const QImage before = indicator->grab().toImage();
    const int frame = indicator->frame();
    ASSERT_TRUE(waitUntil([&] { return indicator->frame() != frame; }));
    EXPECT_NE(indicator->grab().toImage(), before);
}
