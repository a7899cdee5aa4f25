#include <gtest/gtest.h>

#include "ViewerZoom.h"

using namespace ViewerZoom;

namespace {

// A viewport whose rooms are 8000 twips across and 6000 down once the scroll
// bars are taken off.
ZoomInput viewport(int zoom, std::int32_t naturalWidth, std::int32_t naturalHeight)
{
    ZoomInput in;
    in.zoom = zoom;
    in.viewNaturalWidth = naturalWidth;
    in.viewNaturalHeight = naturalHeight;
    in.picture1Width = 8195;
    in.vscroll2Width = 195;
    in.picture1Height = 6195;
    in.hscroll1Height = 195;
    in.imageWidth = 10;
    in.imageHeight = 10;
    return in;
}

} // namespace

TEST(ViewerZoom, DoublingTheZoomMakesTheWidthOverhang)
{
    ZoomInput in = viewport(1, 4800, 3000);
    in.imageLeft = -300;
    in.hscroll1 = {500, 300, true};
    const ZoomResult one = ApplyZoom(in);
    EXPECT_EQ(one.imageWidth, 4800);
    EXPECT_EQ(one.imageHeight, 3000);
    EXPECT_FALSE(one.hscroll1.enabled);
    EXPECT_EQ(one.imageLeft, 0);
    EXPECT_FALSE(one.overflowed);

    in.zoom = 2;
    in.hscroll1 = one.hscroll1;
    in.imageLeft = one.imageLeft;
    const ZoomResult two = ApplyZoom(in);
    EXPECT_EQ(two.imageWidth, 9600);
    EXPECT_EQ(two.imageHeight, 6000);
    EXPECT_TRUE(two.hscroll1.enabled);
    EXPECT_EQ(two.hscroll1.maximum, 1600);
    // 6000 down fits a room of exactly 6000.
    EXPECT_FALSE(two.vscroll2.enabled);
    EXPECT_EQ(two.imageTop, 0);
}

TEST(ViewerZoom, SmallPictureAtZoomOneSitsTopLeftWithoutScrolling)
{
    ZoomInput in = viewport(1, 3000, 2000);
    in.imageLeft = -700;
    in.imageTop = -900;
    in.hscroll1 = {700, 700, true};
    in.vscroll2 = {900, 900, true};
    const ZoomResult r = ApplyZoom(in);
    EXPECT_FALSE(r.hscroll1.enabled);
    EXPECT_FALSE(r.vscroll2.enabled);
    EXPECT_EQ(r.imageLeft, 0);
    EXPECT_EQ(r.imageTop, 0);
    EXPECT_EQ(r.imageWidth, 3000);
    EXPECT_EQ(r.imageHeight, 2000);
}

TEST(ViewerZoom, OverhangInOneDirectionOnly)
{
    ZoomInput in = viewport(3, 3000, 1500); // 9000 x 4500
    in.imageTop = -400;
    in.vscroll2 = {800, 400, true};
    const ZoomResult r = ApplyZoom(in);
    EXPECT_TRUE(r.hscroll1.enabled);
    EXPECT_EQ(r.hscroll1.maximum, 1000);
    EXPECT_FALSE(r.vscroll2.enabled);
    EXPECT_EQ(r.imageTop, 0);

    // And the other way round.
    ZoomInput tall = viewport(2, 2000, 4000); // 4000 x 8000
    tall.imageLeft = -250;
    const ZoomResult t = ApplyZoom(tall);
    EXPECT_FALSE(t.hscroll1.enabled);
    EXPECT_EQ(t.imageLeft, 0);
    EXPECT_TRUE(t.vscroll2.enabled);
    EXPECT_EQ(t.vscroll2.maximum, 2000);
}

TEST(ViewerZoom, ZoomChangeKeepsTheOffsetWhileScrollingStays)
{
    ZoomInput in = viewport(2, 6000, 4000); // 12000 x 8000
    in.hscroll1 = {4000, 1500, true};
    in.vscroll2 = {2000, 800, true};
    in.imageLeft = -1500;
    in.imageTop = -800;
    in.zoom = 3; // 18000 x 12000
    const ZoomResult r = ApplyZoom(in);
    EXPECT_EQ(r.hscroll1, (ScrollBarState{10000, 1500, true}));
    EXPECT_EQ(r.vscroll2, (ScrollBarState{6000, 800, true}));
    EXPECT_EQ(r.imageLeft, -1500);
    EXPECT_EQ(r.imageTop, -800);

    // Zooming out below the scroll value: each bar holds its value to the new
    // maximum and the picture follows, so no empty strip shows past its edge.
    in.zoom = 2;
    in.hscroll1 = {10000, 9000, true};
    in.vscroll2 = {6000, 5000, true};
    in.imageLeft = -9000;
    in.imageTop = -5000;
    const ZoomResult back = ApplyZoom(in);
    EXPECT_EQ(back.hscroll1, (ScrollBarState{4000, 4000, true}));
    EXPECT_EQ(back.imageLeft, -4000);
    EXPECT_EQ(back.vscroll2, (ScrollBarState{2000, 2000, true}));
    EXPECT_EQ(back.imageTop, -2000);
}

TEST(ViewerZoom, OverhangBeyondSixteenBitsSkipsTheRemainingSteps)
{
    // 9600 at zoom 5 is 48000 wide, 40000 over the room.
    ZoomInput in = viewport(5, 9600, 2000);
    in.hscroll1 = {1234, 100, false};
    in.vscroll2 = {77, 0, false}; // 10000 tall would overhang: not reached
    in.imageLeft = -100;
    in.imageTop = -5;
    const ZoomResult r = ApplyZoom(in);
    EXPECT_TRUE(r.overflowed);
    EXPECT_EQ(r.imageWidth, 48000);
    EXPECT_EQ(r.imageHeight, 10000);
    EXPECT_EQ(r.hscroll1, in.hscroll1);
    EXPECT_EQ(r.vscroll2, in.vscroll2);
    EXPECT_EQ(r.imageLeft, -100);
    EXPECT_EQ(r.imageTop, -5);

    // Only the vertical step overflows: the horizontal one is already done.
    ZoomInput tall = viewport(5, 1000, 9000); // 5000 x 45000
    tall.hscroll1 = {300, 300, true};
    tall.vscroll2 = {55, 0, true};
    const ZoomResult t = ApplyZoom(tall);
    EXPECT_TRUE(t.overflowed);
    EXPECT_FALSE(t.hscroll1.enabled);
    EXPECT_EQ(t.imageLeft, 0);
    EXPECT_EQ(t.vscroll2, tall.vscroll2);

    // The largest overhang that still fits, and the first that does not.
    ZoomInput edge = viewport(1, 8000 + 32767, 100);
    EXPECT_FALSE(ApplyZoom(edge).overflowed);
    EXPECT_EQ(ApplyZoom(edge).hscroll1.maximum, 32767);
    edge.viewNaturalWidth += 1;
    EXPECT_TRUE(ApplyZoom(edge).overflowed);
}

TEST(ViewerZoom, ProductBeyondThirtyTwoBitsChangesNothing)
{
    ZoomInput in = viewport(5, 1'000'000'000, 100);
    in.imageWidth = 4800;
    in.imageHeight = 3000;
    in.hscroll1 = {5, 1, true};
    const ZoomResult r = ApplyZoom(in);
    EXPECT_TRUE(r.overflowed);
    EXPECT_EQ(r.imageWidth, 4800);
    EXPECT_EQ(r.imageHeight, 3000);
    EXPECT_EQ(r.hscroll1, in.hscroll1);
}

TEST(ViewerZoom, ConversionsRoundToNearestEven)
{
    std::int16_t v = 0;
    EXPECT_TRUE(ToInt16(2.5, v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(ToInt16(3.5, v));
    EXPECT_EQ(v, 4);
    EXPECT_TRUE(ToInt16(-2.5, v));
    EXPECT_EQ(v, -2);
    EXPECT_TRUE(ToInt16(32767.4, v));
    EXPECT_EQ(v, 32767);
    v = 9;
    EXPECT_FALSE(ToInt16(32767.5, v)); // rounds to 32768
    EXPECT_FALSE(ToInt16(-32768.6, v));
    EXPECT_FALSE(ToInt16(std::numeric_limits<double>::quiet_NaN(), v));
    EXPECT_EQ(v, 9);

    EXPECT_EQ(NaturalTwips(320, 96), 4800);
    EXPECT_EQ(NaturalTwips(641, 192), 4808); // 4807.5 -> even
    EXPECT_EQ(NaturalTwips(1, 576), 2);      // 2.5 -> 2
    EXPECT_EQ(NaturalTwips(100, 0), 0);
}
