#include <gtest/gtest.h>

#include "TimelapsePlan.h"

namespace {

struct PlanCase
{
    const char *label;
    QList<qint64> times;    // seconds
    double secondsPerFrame; // 0: by frame count
    int frameCount;
    QList<int> frames;
    int gapsCut;
};

QList<qint64> ms(const QList<qint64> &seconds)
{
    QList<qint64> out;
    for (qint64 s : seconds)
        out.append(s * 1000);
    return out;
}

const PlanCase kCases[] = {
    {"onePerFrame", {0, 1, 2, 3}, 1, 0, {0, 1, 2, 3}, 0},
    // Each frame shows the picture current at its moment: held, or skipped.
    {"heldWhileNothingNew", {0, 2, 3}, 1, 0, {0, 0, 1, 2}, 0},
    {"fasterSkipsPictures", {0, 1, 2, 3, 4, 5, 6}, 2, 0, {0, 2, 4, 6}, 0},
    {"unevenPictures", {0, 1, 5}, 2, 0, {0, 1, 1}, 0},
    // A gap of more than three frames is one frame long.
    {"gapCut", {0, 1, 100, 101}, 1, 0, {0, 1, 2, 3}, 1},
    {"gapOfThreeFramesKept", {0, 3, 4}, 1, 0, {0, 0, 0, 1, 2}, 0},
    {"twoGapsCut", {0, 50, 51, 500}, 1, 0, {0, 1, 2, 3}, 2},
    {"byCountSpreads", {0, 1, 2, 3, 4}, 0, 9, {0, 0, 1, 1, 2, 2, 3, 3, 4}, 0},
    {"byCountCutsTheNight", {0, 1, 2, 3, 36000, 36001}, 0, 6, {0, 1, 2, 3, 4, 5}, 1},
    {"onePicture", {7}, 0, 3, {0, 0, 0}, 0},
};

class TimelapsePlanTest : public testing::TestWithParam<PlanCase>
{
};

} // namespace

TEST_P(TimelapsePlanTest, FramesShowThePictureCurrentAtTheirMoment)
{
    const PlanCase &row = GetParam();
    const TimelapsePlan plan =
        row.secondsPerFrame > 0
            ? TimelapsePlan::bySpeed(ms(row.times), row.secondsPerFrame * 1000, 3)
            : TimelapsePlan::byFrameCount(ms(row.times), row.frameCount, 3);
    EXPECT_EQ(plan.frames, row.frames);
    EXPECT_EQ(plan.gapsCut, row.gapsCut);
}

INSTANTIATE_TEST_SUITE_P(Plans, TimelapsePlanTest, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(TimelapsePlan, NothingToShowMakesNoFrames)
{
    EXPECT_TRUE(TimelapsePlan::bySpeed({}, 1000, 3).frames.isEmpty());
    EXPECT_TRUE(TimelapsePlan::byFrameCount({}, 10, 3).frames.isEmpty());
    EXPECT_TRUE(TimelapsePlan::bySpeed({1, 2}, 0, 3).frames.isEmpty());
}
