#pragma once

#include <optional>

#include <QBitArray>
#include <QImage>
#include <QWidget>

#include "CellMask.h"

// A camera's picture with the detection grid over it, on which the mask is
// painted: a drag with the left button excludes the cells it crosses, with
// the right button it includes them again. Excluded cells are shaded; cells
// the detector last found changed are tinted, so the user sees what it counts.
class CellMaskCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit CellMaskCanvas(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    const QImage &picture() const { return m_picture; }

    const CellMask &mask() const { return m_mask; }
    void setMask(const CellMask &mask);

    // The detector's changed cells (row by row over the grid); empty for none.
    void setChangedCells(const QBitArray &cells);
    const QBitArray &changedCells() const { return m_changed; }

    // The cell under a point of the widget; -1 outside the picture.
    int cellAt(QPoint point) const;
    // Where a cell is drawn.
    QRect cellArea(int cell) const;

    QSize sizeHint() const override;

    // Shades for excluded and changed cells, for tests and the legend.
    static QColor excludedShade();
    static QColor changedTint();

signals:
    // The user painted the mask.
    void maskEdited(const CellMask &mask);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QRect pictureArea() const;
    void paintAt(QPoint point);

    QImage m_picture;
    CellMask m_mask;
    QBitArray m_changed;
    // While a button is held: true excludes, false includes.
    std::optional<bool> m_excluding;
};
