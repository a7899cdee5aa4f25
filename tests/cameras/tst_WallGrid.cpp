#include <gtest/gtest.h>

#include "WallGrid.h"

using WallGrid::Grid;

namespace {

struct GridCase
{
    const char *name;
    int count;
    ViewerZoom::Size area;
    double aspect;
    Grid expected;
};

// Worked by hand: the picture area each candidate tile shows, largest wins.
const GridCase kGridCases[] = {
    // 5x5 tiles of 384x200 show 356x200; 6x4 tiles of 320x250 only 320x180.
    {"TwentyFourFullHd", 24, {1920, 1000}, 16.0 / 9, {5, 5}},
    {"TwentyFourUnknownShape", 24, {1920, 1000}, 0, {5, 5}},
    {"FourFillTwoByTwo", 4, {1920, 1080}, 16.0 / 9, {2, 2}},
    {"TwoSideBySideInAWideWindow", 2, {1920, 600}, 16.0 / 9, {2, 1}},
    {"TwoAboveEachOtherInATallWindow", 2, {600, 1600}, 16.0 / 9, {1, 2}},
    {"OneAlone", 1, {800, 600}, 4.0 / 3, {1, 1}},
    {"NoneIsOneTile", 0, {800, 600}, 4.0 / 3, {1, 1}},
    {"ThreeFourByThreeInTwoByTwo", 3, {1920, 1080}, 4.0 / 3, {2, 2}},
    {"FiveInAVeryWideWindow", 5, {3000, 600}, 16.0 / 9, {3, 2}},
    {"NineSquares", 9, {1000, 1000}, 1, {3, 3}},
    // 2x1 and 1x2 show the same: more columns.
    {"TieGoesToColumns", 2, {1000, 1000}, 1, {2, 1}},
    {"MoreThanEveryGrid", 30, {1920, 1080}, 16.0 / 9, {6, 4}},
};

} // namespace

TEST(WallGrid, ChoosesTheGridThatShowsThePicturesLargest)
{
    for (const GridCase &c : kGridCases) {
        const Grid chosen = WallGrid::choose(c.count, c.area, c.aspect);
        EXPECT_EQ(chosen.columns, c.expected.columns) << c.name;
        EXPECT_EQ(chosen.rows, c.expected.rows) << c.name;
        if (c.count <= 25) {
            EXPECT_GE(chosen.cells(), c.count) << c.name;
        }
    }
}

TEST(WallGrid, TilesMeetWithoutGapsAndCoverTheArea)
{
    const ViewerZoom::Size area{1000, 701};
    for (const Grid grid : {Grid{3, 3}, Grid{6, 4}, Grid{1, 1}}) {
        long long covered = 0;
        for (int i = 0; i < grid.cells(); ++i) {
            const ViewerZoom::Rect r = WallGrid::tileRect(grid, area, i);
            covered += (long long)r.width * r.height;
            if (i % grid.columns > 0) {
                const ViewerZoom::Rect left = WallGrid::tileRect(grid, area, i - 1);
                EXPECT_EQ(left.left + left.width, r.left) << i;
                EXPECT_EQ(left.top, r.top) << i;
            }
            EXPECT_LE(r.left + r.width, area.width);
            EXPECT_LE(r.top + r.height, area.height);
        }
        EXPECT_EQ(covered, (long long)area.width * area.height) << grid.columns << "x" << grid.rows;
    }
    // Three across 1000: 333, 333 and the remaining 334.
    EXPECT_EQ(WallGrid::tileRect({3, 1}, {1000, 100}, 2), (ViewerZoom::Rect{666, 0, 334, 100}));
}
