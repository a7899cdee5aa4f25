#include <gtest/gtest.h>

#include <limits>
#include <string>

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "BusyAnimation.h"
#include "CameraPanelWidget.h"
#include "MainWindowLayout.h"
#include "PaintCounter.h"
#include "StretchImage.h"
#include "Twips.h"
#include "WaitUntil.h"

namespace {

// The panel's controls live inside a visible parent, as in the main window's
// grid, so that visibility and clicks behave as on screen.
struct ShownPanel
{
    explicit ShownPanel(int index)
    {
        host.resize(400, 600);
        panel = new CameraPanelWidget(index, &host);
        host.show();
        panel->show();
    }
    QWidget host;
    CameraPanelWidget *panel = nullptr;
};

QRect pixels(const TwipsRect &rect, const QWidget *reference)
{
    return Twips::toPixels(rect, Twips::dpiX(reference), Twips::dpiY(reference));
}

QPixmap solid(QColor colour, QSize size = {64, 48})
{
    QPixmap pixmap(size);
    pixmap.fill(colour);
    return pixmap;
}

} // namespace

TEST(CameraPanelWidget, ChildrenAreNamedAfterTheirControlAndIndex)
{
    CameraPanelWidget panel(7);
    EXPECT_EQ(panel.objectName(), QStringLiteral("Frame_7"));
    EXPECT_EQ(panel.index(), 7);
    for (const char *name :
         {"Picture2", "imgCam", "Picture3", "imgRefresh", "prgCam", "cmdRefresh", "cmdStop"}) {
        const QString full = QString::fromLatin1(name) + QStringLiteral("_7");
        EXPECT_NE(panel.findChild<QWidget *>(full), nullptr) << full.toStdString();
    }
    EXPECT_EQ(panel.findChild<StretchImage *>(QStringLiteral("imgCam_7")), panel.imgCam());
    EXPECT_EQ(panel.findChild<StretchImage *>(QStringLiteral("imgRefresh_7")), panel.imgRefresh());
    EXPECT_EQ(panel.findChild<QProgressBar *>(QStringLiteral("prgCam_7")), panel.prgCam());
}

TEST(CameraPanelWidget, StartsHiddenCaptionedWebCamWithEmptyPictureAndNoBusyIndicator)
{
    ShownPanel shown(0);
    CameraPanelWidget fresh(1, &shown.host);
    EXPECT_TRUE(fresh.isHidden());
    EXPECT_EQ(fresh.title(), QStringLiteral("[WebCam]"));
    EXPECT_TRUE(fresh.imgCam()->pixmap().isNull());
    EXPECT_TRUE(fresh.imgRefresh()->isHidden());
    EXPECT_TRUE(fresh.findChild<QWidget *>(QStringLiteral("Picture3_1"))->isHidden());
    EXPECT_EQ(fresh.prgCam()->minimum(), 0);
    EXPECT_EQ(fresh.prgCam()->maximum(), 100);
    EXPECT_EQ(fresh.prgCam()->value(), 0);
}

TEST(CameraPanelWidget, ButtonsCarryTheirCaptionsAndTips)
{
    CameraPanelWidget panel(2);
    auto *refresh = panel.findChild<QPushButton *>(QStringLiteral("cmdRefresh_2"));
    auto *stop = panel.findChild<QPushButton *>(QStringLiteral("cmdStop_2"));
    ASSERT_NE(refresh, nullptr);
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(refresh->text(), QStringLiteral("@"));
    EXPECT_EQ(refresh->toolTip(), QStringLiteral("Refresh"));
    EXPECT_EQ(stop->text(), QStringLiteral("X"));
    EXPECT_EQ(stop->toolTip(), QStringLiteral("Stop"));
}

// Panels 0 to 15 and 16 to 23 sit in two column pairs 60 twips apart.
class CameraPanelWidgetGeometry : public testing::TestWithParam<int>
{
};

TEST_P(CameraPanelWidgetGeometry, FrameAndControlsArePlacedFromTwips)
{
    const int index = GetParam();
    CameraPanelWidget panel(index);
    const PanelGrid::PanelControls &c = PanelGrid::kPanelControls;
    EXPECT_EQ(panel.geometry(), pixels(PanelGrid::frameRect(index), &panel));

    auto *picture2 = panel.findChild<QFrame *>(QStringLiteral("Picture2_%1").arg(index));
    ASSERT_NE(picture2, nullptr);
    EXPECT_EQ(picture2->geometry(), pixels(c.Picture2, &panel));
    // Inside the picture box the picture is placed from its inner edge.
    const QPoint inside = picture2->contentsRect().topLeft();
    EXPECT_EQ(panel.imgCam()->geometry(), pixels(c.imgCam, &panel).translated(inside));
    EXPECT_EQ(panel.imgRefresh()->geometry(), pixels(c.imgRefresh, &panel));
    EXPECT_EQ(panel.prgCam()->geometry(), pixels(c.prgCam, &panel));
    EXPECT_EQ(panel.findChild<QWidget *>(QStringLiteral("cmdRefresh_%1").arg(index))->geometry(),
              pixels(c.cmdRefresh, &panel));
    EXPECT_EQ(panel.findChild<QWidget *>(QStringLiteral("cmdStop_%1").arg(index))->geometry(),
              pixels(c.cmdStop, &panel));
    EXPECT_EQ(panel.pictureSize(), panel.imgCam()->size());
}

INSTANTIATE_TEST_SUITE_P(Panels, CameraPanelWidgetGeometry, testing::Values(0, 1, 15, 16, 23),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Panel" + std::to_string(info.param);
                         });

TEST(CameraPanelWidget, AtNinetySixDpiTheTwipsComeOutAsTheKnownPixels)
{
    CameraPanelWidget panel(3);
    if (Twips::dpiX(&panel) != 96 || Twips::dpiY(&panel) != 96)
        GTEST_SKIP() << "the screen is not at 96 dpi";
    // Panel 3: odd column (1740), row 1 (60 + 1980); 15 twips a pixel.
    EXPECT_EQ(panel.pos(), QPoint(116, 136));
    EXPECT_EQ(panel.prgCam()->geometry(), QRect(12, 80, 85, 9));
    EXPECT_EQ(panel.imgRefresh()->geometry(), QRect(44, 44, 21, 17));
    EXPECT_EQ(panel.findChild<QWidget *>(QStringLiteral("cmdStop_3"))->geometry(),
              QRect(64, 92, 33, 29));
}

TEST(CameraPanelWidget, ShowsThePictureItIsGivenScaledToThePictureArea)
{
    ShownPanel shown(0);
    CameraPanelWidget &panel = *shown.panel;
    panel.setPicture(solid(Qt::red, {8, 6}));
    EXPECT_EQ(panel.imgCam()->pixmap().size(), QSize(8, 6));

    // The small picture fills the whole control, stretched.
    const QImage drawn = panel.imgCam()->grab().toImage();
    ASSERT_EQ(drawn.size(), panel.pictureSize() * panel.imgCam()->devicePixelRatioF());
    EXPECT_EQ(QColor(drawn.pixel(1, 1)), QColor(Qt::red));
    EXPECT_EQ(QColor(drawn.pixel(drawn.width() - 2, drawn.height() - 2)), QColor(Qt::red));

    panel.setPicture(QPixmap());
    EXPECT_TRUE(panel.imgCam()->pixmap().isNull());
}

TEST(CameraPanelWidget, BusyShowsTheIndicatorOverThePictureAndHidesIt)
{
    ShownPanel shown(4);
    CameraPanelWidget &panel = *shown.panel;
    panel.setBusy(true);
    EXPECT_TRUE(panel.imgRefresh()->isVisible());
    // The indicator is the topmost child, over the picture box.
    EXPECT_EQ(panel.children().last(), panel.imgRefresh());
    EXPECT_EQ(panel.childAt(panel.imgRefresh()->geometry().center()), panel.imgRefresh());

    panel.setBusy(false);
    EXPECT_FALSE(panel.imgRefresh()->isVisible());
    EXPECT_NE(panel.childAt(panel.imgRefresh()->geometry().center()), panel.imgRefresh());
}

TEST(CameraPanelWidget, BusyIndicatorRunsTheSharedAnimationOnlyWhileShown)
{
    ShownPanel shown(0);
    CameraPanelWidget &panel = *shown.panel;
    BusyAnimation animation;
    panel.setBusyAnimation(&animation);
    EXPECT_EQ(panel.imgRefresh()->animation(), &animation);
    EXPECT_FALSE(animation.isRunning());

    panel.setBusy(true);
    EXPECT_TRUE(animation.isRunning());
    panel.setBusy(false);
    EXPECT_FALSE(animation.isRunning());
}

TEST(CameraPanelWidget, ProgressIsRoundedAndHeldWithinZeroToHundred)
{
    CameraPanelWidget panel(0);
    QProgressBar *bar = panel.prgCam();
    panel.setProgress(42.4);
    EXPECT_EQ(bar->value(), 42);
    panel.setProgress(42.6);
    EXPECT_EQ(bar->value(), 43);
    panel.setProgress(100);
    EXPECT_EQ(bar->value(), 100);
    panel.setProgress(0);
    EXPECT_EQ(bar->value(), 0);
    panel.setProgress(250);
    EXPECT_EQ(bar->value(), 100);
    panel.setProgress(-5);
    EXPECT_EQ(bar->value(), 0);
    panel.setProgress(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(bar->value(), 0);
    panel.setProgress(std::numeric_limits<double>::infinity());
    EXPECT_EQ(bar->value(), 0);
}

TEST(CameraPanelWidget, ClicksReportThePanelIndex)
{
    ShownPanel shown(5);
    CameraPanelWidget &panel = *shown.panel;
    QSignalSpy picture(&panel, &CameraPanelWidget::pictureClicked);
    QSignalSpy refresh(&panel, &CameraPanelWidget::refreshClicked);
    QSignalSpy stop(&panel, &CameraPanelWidget::stopClicked);

    QTest::mouseClick(panel.imgCam(), Qt::LeftButton);
    ASSERT_EQ(picture.count(), 1);
    EXPECT_EQ(picture.takeFirst().at(0).toInt(), 5);

    QTest::mouseClick(panel.findChild<QPushButton *>(QStringLiteral("cmdRefresh_5")),
                      Qt::LeftButton);
    ASSERT_EQ(refresh.count(), 1);
    EXPECT_EQ(refresh.takeFirst().at(0).toInt(), 5);

    QTest::mouseClick(panel.findChild<QPushButton *>(QStringLiteral("cmdStop_5")), Qt::LeftButton);
    ASSERT_EQ(stop.count(), 1);
    EXPECT_EQ(stop.takeFirst().at(0).toInt(), 5);

    EXPECT_EQ(picture.count(), 0);
    EXPECT_EQ(refresh.count(), 0);
}

TEST(CameraPanelWidget, AClickOnTheBusyIndicatorSelectsTheCameraLikeThePicture)
{
    ShownPanel shown(9);
    CameraPanelWidget &panel = *shown.panel;
    panel.setBusy(true);
    QSignalSpy picture(&panel, &CameraPanelWidget::pictureClicked);
    QSignalSpy refresh(&panel, &CameraPanelWidget::refreshClicked);

    QTest::mouseClick(panel.imgRefresh(), Qt::LeftButton);
    ASSERT_EQ(picture.count(), 1);
    EXPECT_EQ(picture.takeFirst().at(0).toInt(), 9);
    EXPECT_EQ(refresh.count(), 0);
}

TEST(CameraPanelWidget, ARightClickOrADragOffThePictureIsNoClick)
{
    ShownPanel shown(1);
    CameraPanelWidget &panel = *shown.panel;
    QSignalSpy picture(&panel, &CameraPanelWidget::pictureClicked);

    QTest::mouseClick(panel.imgCam(), Qt::RightButton);
    QTest::mousePress(panel.imgCam(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(panel.imgCam(), Qt::LeftButton, {},
                        QPoint(panel.imgCam()->width() + 20, 2));
    EXPECT_EQ(picture.count(), 0);
}

TEST(CameraPanelWidget, AMovingProgressBarJoinsTheNextPaintInsteadOfPaintingAtOnce)
{
    QWidget window;
    window.resize(400, 300);
    auto *panel = new CameraPanelWidget(0, &window);
    panel->show();
    window.show();
    QProgressBar *bar = panel->prgCam();
    PaintCounter counter(bar);
    ASSERT_TRUE(waitUntil([&] { return counter.paints > 0; })) << "first shown";
    QApplication::processEvents();

    // Chunks of one download, handled one after another: no paint in between.
    counter.paints = 0;
    for (double percent : {10.0, 20.0, 35.0, 60.0})
        panel->setProgress(percent);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(bar->value(), 60);
    // The window's next paint shows the last value.
    ASSERT_TRUE(waitUntil([&] { return counter.paints > 0; }));
    EXPECT_TRUE(bar->updatesEnabled());

    // The same value again paints nothing at all.
    QApplication::processEvents();
    counter.paints = 0;
    panel->setProgress(60.2);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);
}
