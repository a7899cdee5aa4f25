#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "PictureIndex.h"
#include "ReviewTimeline.h"
#include "ReviewWindow.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"

// The review window through its real controls: keys on the timeline, a click
// on it, the pictures it decodes from a real cam/ folder and index.

namespace {

const QDate kDay(2026, 7, 12);

// Yard: thirty pictures a minute apart from 8:00, ten from 14:00, changes at
// the 6th, the 21st and the 34th; Gate and the next day besides.
class ReviewWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_cam = TestEnv::freshProgramDirectory() + QStringLiteral("/cam");
        QDir().mkpath(m_cam);
        TestEnv::freshCacheDirectory();
        m_index = std::make_unique<PictureIndex>(m_cam);
        ASSERT_TRUE(m_index->open());
        const QList<int> eventStarts = {5, 20, 33};
        for (int n = 0; n < 40; ++n) {
            const QTime time = n < 30 ? QTime(8, n, 0) : QTime(14, n - 30, 0);
            const QString path = picture(QStringLiteral("Yard"), QDateTime(kDay, time), n);
            std::optional<qint64> event;
            for (int start : eventStarts) {
                if (n >= start && n < start + 3)
                    event = start;
            }
            ASSERT_TRUE(m_index->add(path, 100, QStringLiteral("Yard"), 0.5, event).value());
        }
        picture(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0)), 0);
        picture(QStringLiteral("Yard"), QDateTime(kDay.addDays(1), QTime(9, 0)), 0);
        m_index->scanNow();
    }

    QString picture(const QString &camera, const QDateTime &moment, int n)
    {
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((n * 37) % 360, 200, 200));
        const QString path = m_cam + QLatin1Char('/') + SnapshotFileName::make(camera, moment);
        EXPECT_TRUE(image.save(path, "JPG"));
        return path;
    }

    QString m_cam;
    std::unique_ptr<PictureIndex> m_index;
};

} // namespace

TEST_F(ReviewWindowTest, ArrowsStepAndControlArrowsJumpBetweenChanges)
{
    ReviewWindow window(m_index.get(), m_cam);
    window.show();
    ASSERT_TRUE(window.selectCamera(QStringLiteral("Yard")));
    window.showDay(kDay);
    ASSERT_EQ(window.dayPictures().size(), 40);
    ASSERT_EQ(window.dayEvents().size(), 3);
    // Gate came first (9:00); another camera keeps the moment: Yard's 8:29.
    EXPECT_EQ(window.currentIndex(), 29);

    auto *timeline = window.findChild<ReviewTimeline *>(QStringLiteral("timeline"));
    auto *picture = window.findChild<QLabel *>(QStringLiteral("imgPicture"));
    auto *when = window.findChild<QLabel *>(QStringLiteral("lblWhen"));
    ASSERT_TRUE(timeline && picture && when);
    EXPECT_FALSE(picture->pixmap().isNull());
    // Decoded for the size shown, never larger.
    EXPECT_LE(picture->pixmap().width(), picture->contentsRect().width());

    struct Press
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int expected;
    };
    const Press presses[] = {
        {Qt::Key_Home, Qt::NoModifier, 0},        {Qt::Key_Right, Qt::NoModifier, 1},
        {Qt::Key_Right, Qt::NoModifier, 2},       {Qt::Key_Left, Qt::NoModifier, 1},
        {Qt::Key_Right, Qt::ControlModifier, 5},  {Qt::Key_Right, Qt::ControlModifier, 20},
        {Qt::Key_Right, Qt::ControlModifier, 33}, {Qt::Key_Right, Qt::ControlModifier, 33},
        {Qt::Key_Left, Qt::ControlModifier, 20},  {Qt::Key_Right, Qt::NoModifier, 21},
        {Qt::Key_Left, Qt::ControlModifier, 20},  {Qt::Key_Left, Qt::ControlModifier, 5},
        {Qt::Key_Left, Qt::ControlModifier, 5},   {Qt::Key_End, Qt::NoModifier, 39},
        {Qt::Key_Right, Qt::NoModifier, 39},      {Qt::Key_Home, Qt::NoModifier, 0},
        {Qt::Key_Left, Qt::NoModifier, 0},
    };
    for (const Press &press : presses) {
        QTest::keyClick(timeline, press.key, press.modifiers);
        EXPECT_EQ(window.currentIndex(), press.expected)
            << "after key " << press.key << " with " << press.modifiers.toInt();
    }
    QTest::keyClick(timeline, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_TRUE(when->text().contains(window.dayPictures().at(5).file)) << qPrintable(when->text());
}

TEST_F(ReviewWindowTest, AClickOnTheTimelineShowsThePictureOfThatMoment)
{
    ReviewWindow window(m_index.get(), m_cam);
    window.show();
    ASSERT_TRUE(window.selectCamera(QStringLiteral("Yard")));
    window.showDay(kDay);
    auto *timeline = window.findChild<ReviewTimeline *>(QStringLiteral("timeline"));
    ASSERT_TRUE(timeline);
    QSignalSpy shown(&window, &ReviewWindow::pictureShown);
    // Half past two: the nearest picture is 14:09, the last of the day.
    QTest::mouseClick(timeline, Qt::LeftButton, {},
                      QPoint(timeline->xOf(14 * 3600 + 30 * 60), timeline->height() / 2));
    EXPECT_EQ(window.currentIndex(), 39);
    ASSERT_FALSE(shown.isEmpty());
    // Just after eight: the first ones.
    QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(timeline->xOf(8 * 3600), 10));
    EXPECT_LE(window.currentIndex(), 1);
    // The other day and the other camera.
    window.showDay(kDay.addDays(1));
    EXPECT_EQ(window.dayPictures().size(), 1);
    ASSERT_TRUE(window.selectCamera(QStringLiteral("Gate")));
    window.showDay(kDay);
    EXPECT_EQ(window.dayPictures().size(), 1);
    EXPECT_FALSE(window.selectCamera(QStringLiteral("Nobody")));
}

TEST_F(ReviewWindowTest, SpacePlaysAndCopiesAndExportsComeFromTheDayShown)
{
    ReviewWindow window(m_index.get(), m_cam);
    window.show();
    ASSERT_TRUE(window.selectCamera(QStringLiteral("Yard")));
    window.showDay(kDay);
    window.setPlaySpeed(50);
    auto *timeline = window.findChild<ReviewTimeline *>(QStringLiteral("timeline"));
    QTest::keyClick(timeline, Qt::Key_Space);
    EXPECT_TRUE(window.isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(window.currentIndex() >= 3, 5000);
    QTest::keyClick(timeline, Qt::Key_Space);
    EXPECT_FALSE(window.isPlaying());
    const int stopped = window.currentIndex();
    QTest::qWait(100);
    EXPECT_EQ(window.currentIndex(), stopped);

    const QString copy = TestEnv::root() + QStringLiteral("/copy.jpg");
    ASSERT_TRUE(window.saveCopyTo(copy));
    EXPECT_EQ(TestEnv::readFile(copy),
              TestEnv::readFile(m_index->pathOf(window.dayPictures().at(stopped))));

    TimelapseOptions options;
    options.output = TestEnv::root() + QStringLiteral("/yard.mp4");
    options.fps = 10;
    options.lengthSeconds = 2;
    QSignalSpy finished(&window, &ReviewWindow::exportFinished);
    ASSERT_TRUE(window.startExport(kDay.startOfDay(), kDay.addDays(1).startOfDay(), options));
    auto *progress = window.findChild<QProgressBar *>(QStringLiteral("prgExport"));
    EXPECT_TRUE(progress->isVisible());
    ASSERT_TRUE(finished.wait(60000));
    const auto summary = finished.first().first().value<TimelapseSummary>();
    EXPECT_TRUE(summary.ok());
    EXPECT_EQ(summary.frames, 20);
    EXPECT_EQ(summary.gapsCut, 1);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(QFile::exists(options.output));
}
