#include <gtest/gtest.h>

#include "Twips.h"

TEST(Twips, FifteenTwipsPerPixelAtNinetySixDpi)
{
    EXPECT_EQ(Twips::toPixels(15, 96), 1);
    EXPECT_EQ(Twips::toPixels(8415, 96), 561);
    EXPECT_EQ(Twips::toPixels(-30, 96), -2);
    EXPECT_EQ(Twips::toPixels(22, 96), 1); // 1.47 rounds down
    EXPECT_EQ(Twips::toPixels(23, 96), 2); // 1.53 rounds up
    EXPECT_DOUBLE_EQ(Twips::fromPixels(320, 96), 4800);
    // A broken DPI does not divide by zero.
    EXPECT_EQ(Twips::toPixels(150, 0), 10);
    EXPECT_DOUBLE_EQ(Twips::fromPixels(10, 0), 150);
}

TEST(Twips, RectanglesRoundEdgesSoNeighboursMeet)
{
    // Two controls that touch in twips still touch in pixels.
    const TwipsRect a{0, 0, 1637, 100};
    const TwipsRect b{1637, 0, 1637, 100};
    const QRect pa = Twips::toPixels(a, 96, 96);
    const QRect pb = Twips::toPixels(b, 96, 96);
    EXPECT_EQ(pa.x() + pa.width(), pb.x());
    EXPECT_EQ(Twips::toPixels(TwipsRect{120, 240, 8415, 6915}, 96, 96), QRect(8, 16, 561, 461));
}
