#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ViewerZoom.h"

using namespace ViewerZoom;

namespace {

// The viewer of a 1920 x 1080 window: about 1000 x 600 pixels of room.
constexpr Size kRoom{1003, 611};

ZoomInput zoomed(Size natural, int zoom, int hValue = 0, int vValue = 0)
{
    ZoomInput in;
    in.zoom = zoom;
    in.natural = natural;
    in.room = kRoom;
    in.horizontal.value = hValue;
    in.vertical.value = vValue;
    return in;
}

struct EdgeCase
{
    Size natural;
    int zoom;
};

class ViewerZoomEdges : public ::testing::TestWithParam<EdgeCase>
{
};

std::vector<EdgeCase> edgeCases()
{
    std::vector<EdgeCase> cases;
    for (const Size size : {Size{1920, 1080}, Size{7680, 4320}}) {
        for (int zoom = kMinZoom; zoom <= kMaxZoom; ++zoom)
            cases.push_back({size, zoom});
    }
    return cases;
}

} // namespace

TEST_P(ViewerZoomEdges, TheBarsReachAllFourEdges)
{
    const EdgeCase c = GetParam();
    const ZoomResult first = ApplyZoom(zoomed(c.natural, c.zoom));
    ASSERT_EQ(first.image.width, c.natural.width * c.zoom);
    ASSERT_EQ(first.image.height, c.natural.height * c.zoom);
    ASSERT_TRUE(first.horizontal.enabled);
    ASSERT_TRUE(first.vertical.enabled);
    // Top left at 0.
    EXPECT_EQ(first.image.left, 0);
    EXPECT_EQ(first.image.top, 0);
    // Each bar at its maximum: the far edges meet the viewport's.
    const ZoomResult far =
        ApplyZoom(zoomed(c.natural, c.zoom, first.horizontal.maximum, first.vertical.maximum));
    EXPECT_EQ(far.image.left + far.image.width, kRoom.width);
    EXPECT_EQ(far.image.top + far.image.height, kRoom.height);
    // And a value past the end is held to it.
    const ZoomResult past = ApplyZoom(zoomed(c.natural, c.zoom, 1'000'000'000, 1'000'000'000));
    EXPECT_EQ(past, far);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewerZoomEdges, ::testing::ValuesIn(edgeCases()),
                         [](const ::testing::TestParamInfo<EdgeCase> &info) {
                             return std::to_string(info.param.natural.width) + "x" +
                                    std::to_string(info.param.natural.height) + "_zoom" +
                                    std::to_string(info.param.zoom);
                         });

TEST(ViewerZoom, APictureThatFitsSitsTopLeftWithItsBarOff)
{
    // Fits across, overhangs down.
    const ZoomResult r = ApplyZoom(zoomed({320, 700}, 1, 40, 50));
    EXPECT_EQ(r.image, (Rect{0, -50, 320, 700}));
    EXPECT_EQ(r.horizontal, (ScrollBarState{0, 0, false}));
    EXPECT_EQ(r.vertical, (ScrollBarState{700 - kRoom.height, 50, true}));
}

struct FitCase
{
    const char *name;
    Size natural;
    Size room;
    Rect expected;
};

const FitCase kFitCases[] = {
    // 16:9 in a wider room: full height, centred across.
    {"WideRoom", {1920, 1080}, {1000, 400}, {144, 0, 711, 400}},
    // 16:9 in a taller room: full width, centred down.
    {"TallRoom", {1920, 1080}, {800, 600}, {0, 75, 800, 450}},
    // A small picture grows to the room.
    {"SmallGrows", {320, 240}, {640, 600}, {0, 60, 640, 480}},
    {"ExactFit", {400, 300}, {400, 300}, {0, 0, 400, 300}},
    {"NoPicture", {0, 0}, {400, 300}, {0, 0, 0, 0}},
};

TEST(ViewerZoom, FitKeepsTheAspectAndCentres)
{
    for (const FitCase &c : kFitCases) {
        ZoomInput in;
        in.fit = true;
        in.zoom = 3;
        in.natural = c.natural;
        in.room = c.room;
        in.horizontal = {500, 200, true};
        const ZoomResult r = ApplyZoom(in);
        EXPECT_EQ(r.image, c.expected) << c.name;
        EXPECT_FALSE(r.horizontal.enabled) << c.name;
        EXPECT_FALSE(r.vertical.enabled) << c.name;
        if (c.expected.width > 0) {
            // Aspect within a pixel's rounding.
            EXPECT_NEAR(double(r.image.width) / r.image.height,
                        double(c.natural.width) / c.natural.height,
                        1.0 / std::min(r.image.width, r.image.height))
                << c.name;
        }
    }
}

struct StepCase
{
    const char *name;
    bool fit;
    int zoom;
    double fitScale;
    int step;
    int expected; // 0 is Fit
};

const StepCase kStepCases[] = {
    {"FitSmallerInGoesToOne", true, 1, 0.56, +1, 1},
    {"OneOutGoesToFitWhenSmaller", false, 1, 0.56, -1, 0},
    {"FitOutStays", true, 1, 0.56, -1, 0},
    {"TwoOutIsOne", false, 2, 0.56, -1, 1},
    {"FiveInStays", false, 5, 0.56, +1, 5},
    {"FitBetweenInIsNextWhole", true, 1, 2.5, +1, 3},
    {"ThreeOutIsFitBetween", false, 3, 2.5, -1, 0},
    {"FitBetweenOutIsTwo", true, 1, 2.5, -1, 2},
    {"OneOutStaysWhenFitIsLarger", false, 1, 2.5, -1, 1},
    {"NoPictureOutOfOneStays", false, 1, 0, -1, 1},
};

TEST(ViewerZoom, StepsGoToTheNearestScaleAmongZoomsAndFit)
{
    for (const StepCase &c : kStepCases)
        EXPECT_EQ(steppedZoom(c.fit, c.zoom, c.fitScale, c.step), c.expected) << c.name;
}

TEST(ViewerZoom, ZoomAboutAPointKeepsThatPointUnderIt)
{
    // The picture 2000 long, scrolled 300: viewport position 100 shows picture
    // point 400. At 4000 long that point is at 800, so the bar goes to 700.
    EXPECT_EQ(anchoredValue(-300, 2000, 4000, 100), 700);
    // Centred and small (Fit), point 250 of a 500 long picture placed at 50:
    // picture fraction 0.4; at 1500 long it lies at 600, under position 250.
    EXPECT_EQ(anchoredValue(50, 500, 1500, 250), 350);
    EXPECT_EQ(anchoredValue(0, 0, 100, 10), 0);
}
