#include "WallView.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include "PaneSupport.h"

namespace {
// Between tiles, and the thin progress line at a tile's foot.
constexpr int kGap = 2;
constexpr int kProgressHeight = 3;
constexpr int kRepaintMs = 50;

QRect toQRect(const ViewerZoom::Rect &r)
{
    return {r.left, r.top, r.width, r.height};
}
} // namespace

WallView::WallView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("wall"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Tiles are large: the names may be larger than the columns' small fixed font.
    QFont larger = font();
    larger.setPointSizeF(10);
    setFont(larger);
    // Two dozen cameras finish their pictures at different moments; every
    // repaint is a trip to the display server, so they go together.
    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kRepaintMs);
    connect(&m_repaint, &QTimer::timeout, this, [this] {
        update(m_dirty);
        m_dirty = QRegion();
    });
    m_clickWait.setSingleShot(true);
    connect(&m_clickWait, &QTimer::timeout, this, [this] {
        const int index = m_pendingClick;
        m_pendingClick = -1;
        if (index >= 0)
            emit tileClicked(index);
    });
    if (parent) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
}

bool WallView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void WallView::setTile(int index, const Tile &tile)
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return;
    Slot &slot = m_tiles[size_t(index)];
    const bool placesChange =
        slot.tile.inUse != tile.inUse || slot.tile.picture.size() != tile.picture.size();
    const bool pictureChanged = !slot.tile.picture.isSameAs(tile.picture);
    const bool marksChanged = slot.tile.name != tile.name || slot.tile.stale != tile.stale ||
                              slot.tile.inChange != tile.inChange;
    const bool progressChanged =
        slot.tile.busy != tile.busy || (tile.busy && slot.tile.progress != tile.progress);
    slot.tile = tile;
    if (!tile.inUse) {
        slot.shown = QImage();
        slot.decoded = Picture();
    }
    if (placesChange) {
        relayout();
        return;
    }
    // Each repaint goes to the display whole: a download moves only the thin
    // line, and a new picture repaints once it is decoded.
    if (pictureChanged)
        decode(index);
    if (marksChanged || (pictureChanged && tile.picture.isNull()))
        repaintSoon(tileGeometry(index));
    else if (progressChanged)
        repaintSoon(progressRect(index));
}

void WallView::repaintSoon(const QRect &rect)
{
    // Hidden or minimised, nothing is on the screen to mend; showing again
    // paints it all.
    if (!isVisible() || m_outOfSight)
        return;
    m_dirty += rect;
    if (!m_repaint.isActive())
        m_repaint.start();
}

QRect WallView::progressRect(int index) const
{
    const QRect tile = tileGeometry(index);
    return {tile.left(), tile.bottom() + 1 - kProgressHeight, tile.width(), kProgressHeight};
}

void WallView::relayout()
{
    m_order.clear();
    for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
        if (m_tiles[size_t(i)].tile.inUse)
            m_order.push_back(i);
    }
    // The shape of the first picture stands for all: cameras of one site
    // mostly share it.
    double aspect = 0;
    for (int i : m_order) {
        const QSize natural = m_tiles[size_t(i)].tile.picture.size();
        if (!natural.isEmpty()) {
            aspect = double(natural.width()) / natural.height();
            break;
        }
    }
    m_grid = WallGrid::choose(int(m_order.size()), {width(), height()}, aspect);
    for (int i : m_order)
        decode(i);
    update();
}

QRect WallView::tileGeometry(int index) const
{
    const auto at = std::find(m_order.begin(), m_order.end(), index);
    if (at == m_order.end())
        return {};
    return toQRect(WallGrid::tileRect(m_grid, {width(), height()}, int(at - m_order.begin())))
        .adjusted(kGap / 2, kGap / 2, -kGap / 2, -kGap / 2);
}

QRect WallView::pictureGeometry(int index) const
{
    const QRect tile = tileGeometry(index);
    const QSize natural = m_tiles[size_t(index)].tile.picture.size();
    if (tile.isEmpty() || natural.isEmpty())
        return {};
    return toQRect(ViewerZoom::fitRect({natural.width(), natural.height()},
                                       {tile.width(), tile.height()}))
        .translated(tile.topLeft());
}

int WallView::panelAt(const QPoint &pos) const
{
    for (int i : m_order) {
        if (tileGeometry(i).contains(pos))
            return i;
    }
    return -1;
}

void WallView::setOutOfSight(bool outOfSight)
{
    if (m_outOfSight == outOfSight)
        return;
    m_outOfSight = outOfSight;
    if (outOfSight)
        return;
    // Back in sight: the pictures that came meanwhile, and the names, marks
    // and progress lines that moved unpainted.
    for (int i : m_order)
        decode(i);
    update();
}

QSize WallView::decodeSize(int index) const
{
    // In device pixels, so a high-density screen gets a sharp tile.
    return (QSizeF(pictureGeometry(index).size()) * devicePixelRatioF()).toSize();
}

void WallView::decode(int index)
{
    Slot &slot = m_tiles[size_t(index)];
    if (!isVisible() || m_outOfSight || slot.decoding || !slot.tile.inUse)
        return;
    const Picture picture = slot.tile.picture;
    const QSize size = decodeSize(index);
    if (picture.isNull()) {
        slot.shown = QImage();
        slot.decoded = picture;
        return;
    }
    if (size.isEmpty() || (slot.decoded.isSameAs(picture) && slot.decodedAt == size))
        return;
    slot.decoding = true;
    ++m_decodes;
    offThread<QImage>(
        this, [picture, size] { return picture.scaled(size); },
        [this, index, picture, size](const QImage &image) {
            Slot &done = m_tiles[size_t(index)];
            done.decoding = false;
            // Tried once per picture and size: one that does not decode
            // leaves the last good one in place.
            done.decoded = picture;
            done.decodedAt = size;
            if (!image.isNull() && done.tile.inUse && done.tile.picture.isSameAs(picture)) {
                done.shown = image;
                done.shown.setDevicePixelRatio(devicePixelRatioF());
                repaintSoon(tileGeometry(index));
            }
            // A newer picture, or a new size, came while this one decoded.
            decode(index);
        });
}

void WallView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(16, 16, 16));
    for (int i : m_order) {
        if (tileGeometry(i).intersects(event->rect()))
            paintTile(painter, i);
    }
}

void WallView::paintTile(QPainter &painter, int index) const
{
    const Slot &slot = m_tiles[size_t(index)];
    const QRect tile = tileGeometry(index);
    painter.fillRect(tile, QColor(32, 32, 32));
    const QRect picture = pictureGeometry(index);
    if (!slot.shown.isNull() && !picture.isEmpty()) {
        // Until the decode at a new size is in, the last one is stretched.
        painter.setRenderHint(QPainter::SmoothPixmapTransform,
                              slot.shown.deviceIndependentSize().toSize() != picture.size());
        painter.drawImage(QRectF(picture), slot.shown);
    }

    const QFontMetrics metrics(font());
    const int band = metrics.height() + 6;
    // The camera's name over a dark band at the tile's head.
    const QRect head(tile.left(), tile.top(), tile.width(), band);
    painter.fillRect(head, QColor(0, 0, 0, 150));
    painter.setPen(Qt::white);
    painter.drawText(head.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     metrics.elidedText(slot.tile.name, Qt::ElideRight, head.width() - 12));

    // As on the panels: dark red under white, readable over any picture.
    if (slot.tile.stale) {
        const QRect foot = picture.isEmpty() ? tile : picture;
        const QRect mark(foot.left(), foot.bottom() + 1 - band, foot.width(), band);
        painter.fillRect(mark, QColor(150, 20, 20, 210));
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(mark, Qt::AlignCenter, tr("No picture"));
        painter.setFont(font());
    }

    // As on the panels: an amber frame while a change goes on.
    if (slot.tile.inChange) {
        const QRect frame = picture.isEmpty() ? tile : picture;
        painter.setPen(QPen(QColor(255, 170, 0), 4));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame.adjusted(2, 2, -2, -2));
    }

    if (slot.tile.busy) {
        const QRect line = progressRect(index);
        const int done = int(line.width() * std::clamp(slot.tile.progress, 0.0f, 100.0f) / 100);
        painter.fillRect(line.left(), line.top(), done, line.height(), QColor(120, 200, 255));
    }
}

void WallView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void WallView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Hidden, nothing was decoded: the latest pictures now.
    relayout();
}

void WallView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const int index = panelAt(event->position().toPoint());
    // The second release of a double-click is no click.
    if (index < 0 || m_pendingClick == -2) {
        m_pendingClick = -1;
        return;
    }
    m_pendingClick = index;
    m_clickWait.start(QApplication::doubleClickInterval());
}

void WallView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    m_clickWait.stop();
    m_pendingClick = -2;
    const int index = panelAt(event->position().toPoint());
    if (index >= 0)
        emit tileDoubleClicked(index);
}

void WallView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        emit closeRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}
