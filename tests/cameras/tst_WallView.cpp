#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "TestPictures.h"
#include "WaitUntil.h"
#include "WallView.h"

namespace {

// The window's client area at 1920 x 1080, below its menu and above its status bar.
class WallViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        client.resize(1920, 1030);
        wall = new WallView(&client);
    }

    // count cameras with 1920 x 1080 pictures, each its own colour.
    void feed(int count)
    {
        for (int i = 0; i < count; ++i) {
            const QColor colour = QColor::fromHsv(i * 15, 200, 200);
            wall->setTile(i, {true, QStringLiteral("Demo %1").arg(i + 1),
                              Picture::fromBytesChecked(
                                  TestPictures::jpegOf(colour, QSize(1920, 1080)), QSize(8, 6)),
                              i == 3, i == 5, 40});
        }
    }

    QWidget client;
    WallView *wall = nullptr;
};

} // namespace

TEST_F(WallViewTest, TwentyFourCamerasFillTheAreaInTilesWiderThanThreeHundred)
{
    feed(24);
    client.show();
    EXPECT_EQ(wall->geometry(), client.rect()) << "the whole client area";
    ASSERT_EQ(wall->shownPanels().size(), 24u);
    EXPECT_EQ(wall->grid().cells(), 25);
    for (int i = 0; i < 24; ++i) {
        EXPECT_GT(wall->tileGeometry(i).width(), 300) << i;
        EXPECT_TRUE(wall->rect().contains(wall->tileGeometry(i))) << i;
        const QRect picture = wall->pictureGeometry(i);
        EXPECT_TRUE(wall->tileGeometry(i).contains(picture)) << i;
        EXPECT_NEAR(double(picture.width()) / picture.height(), 16.0 / 9, 0.02) << i;
    }
    // Decoded off the window's thread at the size the tile shows, not in full.
    ASSERT_TRUE(waitUntil([&] {
        for (int i = 0; i < 24; ++i) {
            if (wall->tileImage(i).isNull())
                return false;
        }
        return true;
    }));
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(wall->tileImage(i).size(), wall->pictureGeometry(i).size()) << i;
    const QImage shown = wall->grab().toImage();
    const QPoint middle = wall->pictureGeometry(7).center();
    EXPECT_NEAR(QColor(shown.pixel(middle)).hue(), 7 * 15, 6) << "the tile's own picture";

    // A camera stopped: the others close up.
    wall->setTile(23, {});
    EXPECT_EQ(wall->shownPanels().size(), 23u);
    EXPECT_TRUE(wall->tileGeometry(23).isEmpty());
}

TEST_F(WallViewTest, NothingDecodesWhileHiddenAndTheNewestPictureWins)
{
    feed(4);
    EXPECT_EQ(wall->decodeCount(), 0) << "the wall is hidden";
    client.show();
    EXPECT_EQ(wall->grid().cells(), 4);
    EXPECT_TRUE(waitUntil([&] { return !wall->tileImage(0).isNull(); }));
    // Two pictures in a row while the first decodes: the last one shows.
    for (const QColor colour : {QColor(Qt::red), QColor(Qt::blue)}) {
        wall->setTile(0, {true, QStringLiteral("Demo 1"),
                          Picture::fromBytesChecked(TestPictures::jpegOf(colour, QSize(1920, 1080)),
                                                    QSize(8, 6))});
    }
    EXPECT_TRUE(waitUntil([&] {
        const QImage image = wall->tileImage(0);
        return !image.isNull() &&
               QColor(image.pixel(image.width() / 2, image.height() / 2)).blue() > 200;
    }));

    // Shown but out of sight (the window minimised): the picture waits in its
    // bytes and is decoded when the wall is seen again.
    wall->setOutOfSight(true);
    const int decodes = wall->decodeCount();
    wall->setTile(0, {true, QStringLiteral("Demo 1"),
                      Picture::fromBytesChecked(TestPictures::jpegOf(Qt::green, QSize(1920, 1080)),
                                                QSize(8, 6))});
    EXPECT_EQ(wall->decodeCount(), decodes);
    wall->setOutOfSight(false);
    EXPECT_TRUE(waitUntil([&] {
        const QImage image = wall->tileImage(0);
        return QColor(image.pixel(image.width() / 2, image.height() / 2)).green() > 200;
    }));
}

TEST_F(WallViewTest, ClickSelectsDoubleClickOpensAndEscapeAsksToClose)
{
    feed(6);
    client.show();
    QSignalSpy clicked(wall, &WallView::tileClicked);
    QSignalSpy doubled(wall, &WallView::tileDoubleClicked);
    QSignalSpy closing(wall, &WallView::closeRequested);

    QTest::mouseClick(wall, Qt::LeftButton, {}, wall->tileGeometry(4).center());
    EXPECT_EQ(clicked.size(), 0) << "not before a double-click is ruled out";
    ASSERT_TRUE(clicked.wait(2000));
    EXPECT_EQ(clicked[0][0].toInt(), 4);

    const QPoint second = wall->tileGeometry(2).center();
    QTest::mouseClick(wall, Qt::LeftButton, {}, second);
    QTest::mouseDClick(wall, Qt::LeftButton, {}, second);
    ASSERT_EQ(doubled.size(), 1);
    EXPECT_EQ(doubled[0][0].toInt(), 2);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_EQ(clicked.size(), 1) << "a double-click is no click";

    QTest::keyClick(wall, Qt::Key_Escape);
    EXPECT_EQ(closing.size(), 1);
}
