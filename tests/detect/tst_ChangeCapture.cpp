#include <gtest/gtest.h>

#include "ChangeCapture.h"

namespace {

// One run of pictures a minute apart: the detector's verdicts ('C' changed,
// '.' quiet) and, for each picture, why it was saved in the end ('B' before
// a change, 'C' changed, 'A' after, 'R' regular, '-' not at all).
struct CaptureCase
{
    const char *name;
    const char *verdicts;
    int afterCount;
    int alsoEveryMinutes;
    const char *saved;
};

const CaptureCase kCases[] = {
    {"QuietSavesNothing", ".......", 2, 0, "-------"},
    {"OneChange", "..C....", 2, 0, "-BCAA--"},
    {"FirstPictureChangedHasNothingBefore", "C...", 2, 0, "CAA-"},
    {"ChangeResumedDuringTheAfterPictures", "..CC.C....", 2, 0, "-BCCACAA--"},
    {"ChangeRightAfterTheAfterPicturesNeedsNoBefore", "..C..C...", 2, 0, "-BCAACAA-"},
    {"SecondChangeGetsItsOwnBefore", "..C...C..", 2, 0, "-BCAABCAA"},
    {"NoAfterPictures", "..C..", 0, 0, "-BC--"},
    {"RegularRecordAlone", "......", 0, 2, "R-R-R-"},
    {"ChangeStandsInForADueRegular", "...C......", 2, 3, "R-BCAAR--R"},
};

char letter(ChangeCapture::Reason reason)
{
    switch (reason) {
    case ChangeCapture::Reason::Before:
        return 'B';
    case ChangeCapture::Reason::Changed:
        return 'C';
    case ChangeCapture::Reason::After:
        return 'A';
    case ChangeCapture::Reason::Regular:
        return 'R';
    }
    return '?';
}

class CaptureTable : public ::testing::TestWithParam<CaptureCase>
{
};

TEST_P(CaptureTable, SavesTheRightPictures)
{
    const CaptureCase &c = GetParam();
    ChangeCapture capture({c.afterCount, c.alsoEveryMinutes});
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1796774400, Qt::UTC);
    const std::string verdicts = c.verdicts;
    std::string saved(verdicts.size(), '-');
    QDateTime lastSavedTime;
    for (size_t i = 0; i < verdicts.size(); ++i) {
        const QDateTime time = start.addSecs(qint64(i) * 60);
        const auto saves =
            capture.offer(QByteArray::number(qulonglong(i)), time, verdicts[i] == 'C');
        for (const ChangeCapture::Save &save : saves) {
            const size_t index = save.bytes.toULongLong();
            ASSERT_LT(index, saved.size());
            EXPECT_EQ(saved[index], '-') << "picture " << index << " saved twice";
            EXPECT_EQ(save.time, start.addSecs(qint64(index) * 60));
            // Oldest first, so files come out in the order they were taken.
            if (lastSavedTime.isValid()) {
                EXPECT_GT(save.time, lastSavedTime);
            }
            lastSavedTime = save.time;
            saved[index] = letter(save.reason);
        }
    }
    EXPECT_EQ(saved, c.saved);
}

INSTANTIATE_TEST_SUITE_P(Runs, CaptureTable, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ChangeCapture, ResetForgetsTheHeldPicture)
{
    ChangeCapture capture;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(1796774400, Qt::UTC);
    EXPECT_TRUE(capture.offer("held", t, false).isEmpty());
    capture.reset();
    const auto saves = capture.offer("changed", t.addSecs(1), true);
    ASSERT_EQ(saves.size(), 1);
    EXPECT_EQ(saves.front().bytes, QByteArray("changed"));
}

} // namespace
