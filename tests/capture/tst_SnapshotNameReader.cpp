#include <gtest/gtest.h>

#include "SnapshotFileName.h"
#include "SnapshotNameReader.h"

namespace {

struct RoundTrip
{
    const char *label;
    const char *camera;
    QDate date;
    QTime time;
    const char *cameraPart;
};

const RoundTrip kRoundTrips[] = {
    {"plain", "Front Door", {2026, 7, 12}, {8, 5, 9}, "FrontDoor"},
    {"midnight", "Gate", {2027, 1, 5}, {0, 0, 7}, "Gate"},
    {"noon", "Gate", {2027, 1, 5}, {12, 30, 0}, "Gate"},
    {"lateInTheYear", "Lobby", {2026, 12, 31}, {23, 4, 5}, "Lobby"},
    {"oneColon", "Cam:1", {2026, 7, 12}, {8, 5, 9}, "Cam1"},
    {"twoColonsKeepOneOfTheTime", "Cam:1:2", {2026, 7, 12}, {8, 5, 9}, "Cam12"},
    {"threeColonsKeepBoth", "a:b:c:d", {2026, 3, 4}, {10, 11, 12}, "abcd"},
    {"oneSlashKeepsTheSecond", "Yard / East", {2026, 7, 12}, {8, 5, 9}, "YardEast"},
    {"threeSlashesKeepBoth", "a/b/c/d", {2026, 11, 2}, {21, 0, 59}, "abc_d"},
    {"digitsAtTheEnd", "Cam12", {2026, 1, 11}, {11, 11, 11}, "Cam12"},
    {"underscoreAtTheEnd", "Yard_", {2026, 10, 10}, {10, 10, 10}, "Yard_"},
    {"leadingDot", ".hidden", {2026, 5, 6}, {7, 8, 9}, "_hidden"},
    {"leadingDash", "-x", {2026, 5, 6}, {19, 8, 9}, "_x"},
    {"dotDot", "a..b", {2026, 5, 6}, {7, 8, 9}, "a__b"},
    {"unicode", "Café Nord", {2026, 2, 28}, {1, 2, 3}, "CaféNord"},
};

class SnapshotNameRoundTrip : public testing::TestWithParam<RoundTrip>
{
};

} // namespace

TEST_P(SnapshotNameRoundTrip, TheSavedNameReadsBackToItsCameraAndMoment)
{
    const RoundTrip &row = GetParam();
    const QString camera = QString::fromUtf8(row.camera);
    const QDateTime moment(row.date, row.time);
    const QString part = QString::fromUtf8(row.cameraPart);
    EXPECT_EQ(SnapshotNameReader::cameraPart(camera), part);

    const QString name = SnapshotFileName::make(camera, moment);
    const QList<SnapshotReading> readings = SnapshotNameReader::readings(name);
    const SnapshotReading expected{part, row.date, row.time, 1};
    EXPECT_TRUE(readings.contains(expected)) << qPrintable(name);
    EXPECT_EQ(SnapshotNameReader::choose(readings, {part}), expected) << qPrintable(name);

    // The copy a save takes when the second is taken reads the same, with its number.
    const QString copy = name.chopped(4) + QStringLiteral("-12.jpg");
    EXPECT_EQ(SnapshotNameReader::choose(SnapshotNameReader::readings(copy), {part}),
              (SnapshotReading{part, row.date, row.time, 12}))
        << qPrintable(copy);
}

INSTANTIATE_TEST_SUITE_P(Names, SnapshotNameRoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(SnapshotNameReader, NamesTheRuleCannotMakeHaveNoReading)
{
    const char *const names[] = {
        "FrontDoor712202680509AM.png",   // not a JPEG of ours
        "FrontDoor712202680509XM.jpg",   // neither AM nor PM
        "FrontDoor712202680569AM.jpg",   // second 69
        "FrontDoor712202686009AM.jpg",   // minute 60
        "FrontDoor7122026130509AM.jpg",  // hour 13 on a 12-hour clock ... or a year 2026 1
        "12202680509AM.jpg",             // no camera
        "FrontDoor00202680509AM.jpg",    // day 0
        "FrontDoor712202680509AM-1.jpg", // copies start at 2
        "FrontDoor712202680509AM-02.jpg",
        "FrontDoor712202680509AM-.jpg",
        "notes.txt",
        "holiday.jpg",
        "FrontDoor7120268050AM.jpg", // too few digits
    };
    for (const char *name : names)
        EXPECT_TRUE(SnapshotNameReader::readings(QString::fromUtf8(name)).isEmpty()) << name;
}

TEST(SnapshotNameReader, ADoubtfulNameIsSettledByKnownCamerasThenByTheFileTime)
{
    // Cam1 on 1/11/2026 or Cam1 on 11/1/2026, or Cam11 on 1/1/2026.
    const QList<SnapshotReading> readings = SnapshotNameReader::readings(u"Cam1111202610000AM.jpg");
    ASSERT_GE(readings.size(), 3);

    const auto byCamera = SnapshotNameReader::choose(readings, {QStringLiteral("Cam11")});
    ASSERT_TRUE(byCamera);
    EXPECT_EQ(byCamera->camera, QStringLiteral("Cam11"));
    EXPECT_EQ(byCamera->date, QDate(2026, 1, 1));

    const auto november = SnapshotNameReader::choose(readings, {QStringLiteral("Cam1")}, [] {
        return QDateTime(QDate(2026, 11, 1), QTime(1, 0, 30));
    });
    ASSERT_TRUE(november);
    EXPECT_EQ(november->date, QDate(2026, 11, 1));
    const auto january = SnapshotNameReader::choose(readings, {QStringLiteral("Cam1")}, [] {
        return QDateTime(QDate(2026, 1, 11), QTime(1, 0, 30));
    });
    ASSERT_TRUE(january);
    EXPECT_EQ(january->date, QDate(2026, 1, 11));
    EXPECT_EQ(january->time, QTime(1, 0, 0));
}
