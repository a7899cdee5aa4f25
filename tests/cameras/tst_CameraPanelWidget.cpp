#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <QApplication>
#include <QEvent>
#include <QProgressBar>

#include "CameraPanelWidget.h"
#include "WaitUntil.h"

namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *watched) { watched->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

TEST(CameraPanelWidget, ProgressIsRoundedAndHeldToTheBarsRange)
{
    CameraPanelWidget panel(0);
    QProgressBar *bar = panel.prgCam();
    struct Row
    {
        double percent;
        int shown;
    };
    for (const Row &row : {Row{42.6, 43}, Row{42.4, 42}, Row{150, 100}, Row{-3, 0}, Row{99.5, 100},
                           Row{std::numeric_limits<double>::quiet_NaN(), 0},
                           Row{std::numeric_limits<double>::infinity(), 0}, Row{7, 7}}) {
        panel.setProgress(row.percent);
        EXPECT_EQ(bar->value(), row.shown) << row.percent;
    }
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
