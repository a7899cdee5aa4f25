#include "CellMaskCanvas.h"

#include <QMouseEvent>
#include <QPainter>

CellMaskCanvas::CellMaskCanvas(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("picMask"));
    setMinimumSize(CellMask::Columns * 8, CellMask::Rows * 8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setToolTip(tr("Drag to leave cells out of change detection; drag with the right button to "
                  "take them in again"));
}

QColor CellMaskCanvas::excludedShade()
{
    return QColor(20, 20, 20, 170);
}

QColor CellMaskCanvas::changedTint()
{
    return QColor(255, 40, 40, 110);
}

QSize CellMaskCanvas::sizeHint() const
{
    return QSize(CellMask::Columns * 24, CellMask::Rows * 24 * 9 / 12);
}

void CellMaskCanvas::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void CellMaskCanvas::setMask(const CellMask &mask)
{
    m_mask = mask;
    update();
}

void CellMaskCanvas::setChangedCells(const QBitArray &cells)
{
    m_changed = cells;
    update();
}

// The picture keeps its proportions inside the widget; the grid goes with it.
QRect CellMaskCanvas::pictureArea() const
{
    const QSize natural = m_picture.isNull() ? QSize(16, 9) : m_picture.size();
    const QSize fitted = natural.scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QRect CellMaskCanvas::cellArea(int cell) const
{
    const QRect area = pictureArea();
    const int column = cell % CellMask::Columns;
    const int row = cell / CellMask::Columns;
    const int x0 = area.left() + column * area.width() / CellMask::Columns;
    const int x1 = area.left() + (column + 1) * area.width() / CellMask::Columns;
    const int y0 = area.top() + row * area.height() / CellMask::Rows;
    const int y1 = area.top() + (row + 1) * area.height() / CellMask::Rows;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

int CellMaskCanvas::cellAt(QPoint point) const
{
    const QRect area = pictureArea();
    if (!area.contains(point) || area.isEmpty())
        return -1;
    const int column = (point.x() - area.left()) * CellMask::Columns / area.width();
    const int row = (point.y() - area.top()) * CellMask::Rows / area.height();
    return qBound(0, row, CellMask::Rows - 1) * CellMask::Columns +
           qBound(0, column, CellMask::Columns - 1);
}

void CellMaskCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect area = pictureArea();
    if (m_picture.isNull())
        p.fillRect(area, Qt::black);
    else
        p.drawImage(area, m_picture);
    for (int cell = 0; cell < CellMask::Cells; ++cell) {
        if (m_mask.isExcluded(cell))
            p.fillRect(cellArea(cell), excludedShade());
        else if (cell < m_changed.size() && m_changed.testBit(cell))
            p.fillRect(cellArea(cell), changedTint());
    }
    p.setPen(QColor(255, 255, 255, 60));
    for (int c = 1; c < CellMask::Columns; ++c) {
        const int x = area.left() + c * area.width() / CellMask::Columns;
        p.drawLine(x, area.top(), x, area.bottom());
    }
    for (int r = 1; r < CellMask::Rows; ++r) {
        const int y = area.top() + r * area.height() / CellMask::Rows;
        p.drawLine(area.left(), y, area.right(), y);
    }
}

void CellMaskCanvas::paintAt(QPoint point)
{
    const int cell = cellAt(point);
    if (cell < 0 || !m_excluding || m_mask.isExcluded(cell) == *m_excluding)
        return;
    m_mask.setExcluded(cell % CellMask::Columns, cell / CellMask::Columns, *m_excluding);
    update(cellArea(cell));
    emit maskEdited(m_mask);
}

void CellMaskCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_excluding = true;
    else if (event->button() == Qt::RightButton)
        m_excluding = false;
    else
        return QWidget::mousePressEvent(event);
    paintAt(event->position().toPoint());
}

void CellMaskCanvas::mouseMoveEvent(QMouseEvent *event)
{
    paintAt(event->position().toPoint());
}

void CellMaskCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if ((event->button() == Qt::LeftButton && m_excluding == true) ||
        (event->button() == Qt::RightButton && m_excluding == false))
        m_excluding.reset();
}
