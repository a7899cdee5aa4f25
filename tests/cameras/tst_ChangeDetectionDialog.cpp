#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "CellMaskCanvas.h"
#include "ChangeDetectionDialog.h"
#include "DetectionSettings.h"
#include "TestEnv.h"

namespace {

struct DialogTest : ::testing::Test
{
    void SetUp() override
    {
        TestEnv::freshConfigDirectory();
        current.sensitivity = 60;
        current.minAreaPercent = 2.0;
        current.mask.setExcluded(0, 0, true);
        dialog = new ChangeDetectionDialog(QStringLiteral("Yard"), current);
        dialog->resize(640, 520);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        canvas = dialog->canvas();
        QImage grey(240, 135, QImage::Format_RGB32);
        grey.fill(qRgb(128, 128, 128));
        dialog->showPicture(grey, QBitArray());
    }
    void TearDown() override { delete dialog; }

    QPoint centreOf(int column, int row) const
    {
        return canvas->cellArea(row * CellMask::Columns + column).center();
    }
    void drag(Qt::MouseButton button, QPoint from, QPoint to)
    {
        QTest::mousePress(canvas, button, {}, from);
        for (int step = 1; step <= 8; ++step)
            QTest::mouseMove(canvas, from + (to - from) * step / 8);
        QTest::mouseRelease(canvas, button, {}, to);
    }

    DetectionOptions current;
    // OK and Cancel close the dialog, which then deletes itself later.
    QPointer<ChangeDetectionDialog> dialog;
    CellMaskCanvas *canvas = nullptr;
};

} // namespace

TEST_F(DialogTest, StartsFromTheCurrentOptionsAndFollowsTheControls)
{
    EXPECT_EQ(dialog->options().sensitivity, 60);
    EXPECT_DOUBLE_EQ(dialog->options().minAreaPercent, 2.0);
    EXPECT_EQ(dialog->options().mask, current.mask);

    QSignalSpy changed(dialog, &ChangeDetectionDialog::optionsChanged);
    dialog->findChild<QSlider *>(QStringLiteral("sldSensitivity"))->setValue(85);
    dialog->findChild<QDoubleSpinBox *>(QStringLiteral("spnMinArea"))->setValue(3.5);
    EXPECT_EQ(dialog->options().sensitivity, 85);
    EXPECT_EQ(dialog->findChild<QLabel *>(QStringLiteral("lblSensitivity"))->text(),
              QStringLiteral("85"));
    EXPECT_DOUBLE_EQ(dialog->options().minAreaPercent, 3.5);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed.last().at(0).value<DetectionOptions>().minAreaPercent, 3.5);
}

TEST_F(DialogTest, DragExcludesCellsAndRightDragIncludesThemAgain)
{
    QSignalSpy edited(canvas, &CellMaskCanvas::maskEdited);
    drag(Qt::LeftButton, centreOf(2, 5), centreOf(7, 5));
    for (int column = 2; column <= 7; ++column)
        EXPECT_TRUE(dialog->options().mask.isExcluded(column, 5)) << column;
    EXPECT_FALSE(dialog->options().mask.isExcluded(8, 5));
    EXPECT_FALSE(dialog->options().mask.isExcluded(2, 6));
    EXPECT_EQ(edited.size(), 6) << "one edit per cell that changed";

    drag(Qt::RightButton, centreOf(4, 5), centreOf(5, 5));
    EXPECT_FALSE(dialog->options().mask.isExcluded(4, 5));
    EXPECT_FALSE(dialog->options().mask.isExcluded(5, 5));
    EXPECT_TRUE(dialog->options().mask.isExcluded(3, 5));
    EXPECT_TRUE(dialog->options().mask.isExcluded(6, 5));
    EXPECT_EQ(dialog->options().mask.excludedCount(), 1 + 4);

    dialog->findChild<QPushButton *>(QStringLiteral("cmdClearMask"))->click();
    EXPECT_TRUE(dialog->options().mask.isEmpty());
}

TEST_F(DialogTest, ChangedCellsAreTintedOverThePicture)
{
    QBitArray cells(CellMask::Cells);
    cells.setBit(9 * CellMask::Columns + 12);
    QImage grey(240, 135, QImage::Format_RGB32);
    grey.fill(qRgb(128, 128, 128));
    dialog->showPicture(grey, cells);
    const QImage shown = canvas->grab().toImage();
    const QColor tinted = shown.pixelColor(centreOf(12, 9));
    const QColor plain = shown.pixelColor(centreOf(14, 9));
    const QColor masked = shown.pixelColor(centreOf(0, 0));
    EXPECT_GT(tinted.red(), plain.red() + 40);
    EXPECT_LT(tinted.green(), plain.green());
    EXPECT_LT(masked.value(), plain.value() - 40) << "masked cells are shaded";
    EXPECT_EQ(canvas->cellAt(QPoint(-5, -5)), -1);
}

TEST_F(DialogTest, OkStoresForTheCameraAndCancelStoresNothing)
{
    dialog->findChild<QSlider *>(QStringLiteral("sldSensitivity"))->setValue(30);
    drag(Qt::LeftButton, centreOf(10, 10), centreOf(10, 10));
    QSignalSpy chosen(dialog, &ChangeDetectionDialog::optionsChosen);
    dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen.front().at(0).toString(), QStringLiteral("Yard"));
    EXPECT_TRUE(chosen.front().at(2).toBool());
    const DetectionOptions stored = DetectionSettings::load(QStringLiteral("Yard"));
    EXPECT_EQ(stored.sensitivity, 30);
    EXPECT_TRUE(stored.mask.isExcluded(10, 10));
    EXPECT_TRUE(stored.mask.isExcluded(0, 0));

    QPointer<ChangeDetectionDialog> other =
        new ChangeDetectionDialog(QStringLiteral("Gate"), DetectionOptions());
    other->findChild<QSlider *>(QStringLiteral("sldSensitivity"))->setValue(90);
    other->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
    EXPECT_EQ(DetectionSettings::load(QStringLiteral("Gate")).sensitivity,
              DetectionOptions::DefaultSensitivity);
    delete other;
}
