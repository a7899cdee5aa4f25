#pragma once

#include <QBitArray>
#include <QImage>
#include <QRect>
#include <QSize>

#include "ClickableWidget.h"

// An image control that draws its picture to its own size: the viewer's
// imgMain (sized by the zoom and moved inside its viewport by the scroll bars)
// stretches it; the picture window's Image1 keeps its aspect, the whole
// picture as large as it goes and centred on the background. The picture is
// drawn from the full-resolution image with smooth filtering, so a zoomed
// picture looks sharp and smooth rather than blocky.
class ZoomImage : public ClickableWidget
{
    Q_OBJECT
public:
    explicit ZoomImage(QWidget *parent = nullptr);

    // The picture is shared, not copied (QImage is implicitly shared). A null
    // image shows nothing. shrunk, when given, is the picture already shrunk
    // to the size it will be drawn at (device pixels), made off the window's
    // thread: the paint then has nothing to average.
    void setPicture(const QImage &picture, const QImage &shrunk = QImage());
    QImage picture() const { return m_picture; }

    // The picture's size at zoom 1, in device-independent pixels.
    QSize naturalSize() const;

    // Off (the default): the picture fills the control. On: it keeps its
    // aspect, centred, and the rest shows the background.
    void setKeepAspect(bool keep);
    bool keepsAspect() const { return m_keepAspect; }
    // Where the picture is drawn inside the control.
    QRect pictureRect() const;

    // Cells of a columns x rows grid over the picture, row by row, drawn
    // tinted over it (what change detection found changed); empty for none.
    void setCellOverlay(const QBitArray &cells, int columns, int rows);
    const QBitArray &cellOverlay() const { return m_cells; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage m_picture;
    // The picture in a format the raster painter draws without converting.
    QImage m_drawable;
    // A shrunk picture is averaged once per size: bilinear filtering alone
    // would skip source pixels and shimmer. Enlarging needs no cache, the
    // painter filters only the part that is exposed.
    QImage m_shrunk;
    bool m_keepAspect = false;
    QBitArray m_cells;
    int m_cellColumns = 0;
    int m_cellRows = 0;
};
