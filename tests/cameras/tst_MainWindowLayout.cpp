#include <gtest/gtest.h>

#include <stdexcept>

#include "MainWindowLayout.h"

namespace {

// The resize moves nothing but what follows the window: the left and middle
// columns keep their widths and every Left, and the fixed controls stay put.
void expectUntouched(const MainWindowGeometry &before, const MainWindowGeometry &after)
{
    EXPECT_EQ(after.Frame1.width, before.Frame1.width);
    EXPECT_EQ(after.frmCams.width, before.frmCams.width);
    EXPECT_EQ(after.frmMain.left, before.frmMain.left);
    EXPECT_EQ(after.cmdStopAll, before.cmdStopAll);
    EXPECT_EQ(after.picWindowInner, before.picWindowInner);
    EXPECT_EQ(after.VScroll2.width, before.VScroll2.width);
    EXPECT_EQ(after.frmDetails.height, before.frmDetails.height);
}

} // namespace

TEST(MainWindowLayout, MaximisedWindowExample)
{
    const MainWindowGeometry design;
    const MainWindowGeometry g = LayoutMainWindow(11520, 15360, 375, design);

    EXPECT_EQ(g.Frame1.height, 10345);
    EXPECT_EQ(g.frmCams.height, 10345);
    EXPECT_EQ(g.frmMain.height, 10345);
    EXPECT_EQ(g.frmMain.width, 8760);
    EXPECT_EQ(g.List1.height, 7025);
    EXPECT_EQ(g.picWindowOuter.height, 10045);
    EXPECT_EQ(g.VScroll1.height, 10045);
    EXPECT_EQ(g.Picture1.height, 6415);
    EXPECT_EQ(g.Picture1.width, 8360);
    EXPECT_EQ(g.frmDetails.top, 6655);
    EXPECT_EQ(g.frmDetails.width, 8360);
    EXPECT_EQ(g.VScroll2.height, 6160);
    EXPECT_EQ(g.VScroll2.left, 8105);
    EXPECT_EQ(g.HScroll1.width, 8105);
    EXPECT_EQ(g.HScroll1.top, 6160);
    EXPECT_EQ(g.Command1.top, 6160);
    EXPECT_EQ(g.Command1.left, 8105);
    expectUntouched(design, g);

    // A second pass over its own result changes nothing: the steps read only
    // values they do not write.
    EXPECT_EQ(LayoutMainWindow(11520, 15360, 375, g), g);
}

TEST(MainWindowLayout, WindowLowerThanItsFurnitureGetsAbsoluteSizes)
{
    // 1000 - 375 - 800 = -175 for the columns, and a window narrower than the
    // viewer's Left; every size comes out positive.
    const MainWindowGeometry design;
    const MainWindowGeometry g = LayoutMainWindow(1000, 5000, 375, design);

    EXPECT_EQ(g.Frame1.height, 175);
    EXPECT_EQ(g.frmCams.height, 175);
    EXPECT_EQ(g.frmMain.height, 175);
    EXPECT_EQ(g.frmMain.width, 1600);         // |5000 - 6600|
    EXPECT_EQ(g.List1.height, 3145);          // |175 - 3300 - 20|
    EXPECT_EQ(g.picWindowOuter.height, 6165); // |3300 + 3145 - 280|
    EXPECT_EQ(g.VScroll1.height, 6165);
    EXPECT_EQ(g.Picture1.height, 3755); // |175 - 3555 - 375|
    EXPECT_EQ(g.Picture1.width, 1200);  // |1600 - 400|
    EXPECT_EQ(g.frmDetails.top, 3995);  // 240 + 3755
    EXPECT_EQ(g.VScroll2.height, 3500); // |3755 - 195 - 60|
    EXPECT_EQ(g.VScroll2.left, 945);    // |1200 - 195 - 60|
    EXPECT_EQ(g.HScroll1.width, 945);
    EXPECT_EQ(g.HScroll1.top, 3500);
    EXPECT_EQ(g.Command1.top, 3500);
    EXPECT_EQ(g.Command1.left, 945);
    expectUntouched(design, g);
}

TEST(MainWindowLayout, ReadsTheCurrentGeometryAndStatusBar)
{
    // A taller status bar and a detail frame that was moved: the arithmetic
    // must use what it is given, not the design values.
    MainWindowGeometry current;
    current.frmDetails.height = 3000;
    current.Command1.height = 300;
    current.Command1.width = 300;
    const MainWindowGeometry g = LayoutMainWindow(11520, 15360, 500, current);

    EXPECT_EQ(g.Frame1.height, 10220);  // 11520 - 500 - 800
    EXPECT_EQ(g.Picture1.height, 6720); // 10220 - 3000 - 500
    EXPECT_EQ(g.VScroll2.height, 6360); // 6720 - 300 - 60
    EXPECT_EQ(g.HScroll1.width, 8000);  // 8360 - 300 - 60
    EXPECT_EQ(g.frmDetails.top, 6960);  // 240 + 6720
}

TEST(MainWindowLayout, PanelAreaScrollsBetweenItsExtremes)
{
    EXPECT_EQ(kPanelScroll.minimum, 0);
    EXPECT_EQ(kPanelScroll.maximum, 18000);
    EXPECT_EQ(kPanelScroll.singleStep, 600);
    EXPECT_EQ(kPanelScroll.pageStep, 2000);

    // At 0 the inner area starts 30 twips above the viewport; the first row
    // lies 30 below its top edge.
    EXPECT_EQ(PanelAreaTop(0), -30);
    EXPECT_EQ(PanelAreaTop(0) + PanelGrid::frameRect(0).top, 30);
    // At the maximum the last row lies 3810 below it, inside a viewport of
    // the design height.
    EXPECT_EQ(PanelAreaTop(18000), -18030);
    const TwipsRect last = PanelGrid::frameRect(23);
    EXPECT_EQ(PanelAreaTop(18000) + last.top, 3810);
    EXPECT_LT(PanelAreaTop(18000) + last.top + last.height,
              MainWindowGeometry{}.picWindowOuter.height);
    EXPECT_EQ(PanelAreaTop(600), -630);

    // Out-of-range values are held to the bar's range.
    EXPECT_EQ(PanelAreaTop(-5), -30);
    EXPECT_EQ(PanelAreaTop(32767), -18030);
}

TEST(MainWindowLayout, ResizeKeepsTheScrollPosition)
{
    MainWindowGeometry current;
    current.picWindowInner.top = PanelAreaTop(7400);
    const MainWindowGeometry small = LayoutMainWindow(6000, 9000, 375, current);
    const MainWindowGeometry large = LayoutMainWindow(16000, 25000, 375, small);
    EXPECT_EQ(small.picWindowInner.top, -7430);
    EXPECT_EQ(large.picWindowInner.top, -7430);
}

TEST(MainWindowLayout, PanelGridTwoColumnsTwelveRows)
{
    EXPECT_EQ(PanelGrid::frameRect(0), (TwipsRect{60, 60, 1635, 1935}));
    EXPECT_EQ(PanelGrid::frameRect(1), (TwipsRect{1740, 60, 1635, 1935}));
    EXPECT_EQ(PanelGrid::frameRect(14), (TwipsRect{60, 13920, 1635, 1935}));
    EXPECT_EQ(PanelGrid::frameRect(15), (TwipsRect{1740, 13920, 1635, 1935}));
    // From index 16 on the columns sit 60 twips further left.
    EXPECT_EQ(PanelGrid::frameRect(16), (TwipsRect{0, 15900, 1635, 1935}));
    EXPECT_EQ(PanelGrid::frameRect(23), (TwipsRect{1680, 21840, 1635, 1935}));

    const TwipsRect inner = MainWindowGeometry{}.picWindowInner;
    for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
        const TwipsRect r = PanelGrid::frameRect(i);
        EXPECT_GE(r.left, 0) << i;
        EXPECT_LE(r.left + r.width, inner.width) << i;
        EXPECT_LE(r.top + r.height, inner.height) << i;
        // Neither the right neighbour nor the row below overlaps.
        if (i % 2 == 0) {
            EXPECT_LT(r.left + r.width, PanelGrid::frameRect(i + 1).left) << i;
        }
        if (i + 2 < PanelGrid::kPanelCount) {
            EXPECT_LT(r.top + r.height, PanelGrid::frameRect(i + 2).top) << i;
        }
    }
    EXPECT_THROW(PanelGrid::frameRect(-1), std::out_of_range);
    EXPECT_THROW(PanelGrid::frameRect(24), std::out_of_range);
}
