#pragma once

#include <array>
#include <vector>

#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include "MainWindowLayout.h"
#include "Picture.h"
#include "WallGrid.h"

// The wall: every open camera at once, tiled over the whole of the window's
// client area in the grid that shows the pictures largest (WallGrid). Each
// tile shows its camera's picture fitted, the camera's name, the "No picture"
// band while the camera is stale and a thin line for the download under way.
//
// It knows no engine: whoever owns it feeds it per panel (setTile) whenever
// the panel changed. Pictures are decoded off the window's thread at the
// size their tile shows them (the smallest DCT scale that covers it), one
// decode per tile at a time, the newest picture winning; nothing is decoded
// while the wall is hidden or out of sight (the window minimised), and the
// latest pictures are decoded when it shows again.
//
// A click on a tile reports it (tileClicked) once it is sure no double-click
// follows; a double-click reports tileDoubleClicked; Escape asks to close.
class WallView : public QWidget
{
    Q_OBJECT
public:
    // What one panel shows.
    struct Tile
    {
        bool inUse = false;
        QString name;
        Picture picture; // null: the blank picture
        bool stale = false;
        bool busy = false;
        float progress = 0;    // 0 to 100
        bool inChange = false; // change detection finds a change going on
    };

    // Takes the whole of parent and follows its size.
    explicit WallView(QWidget *parent);

    void setTile(int index, const Tile &tile);
    const Tile &tile(int index) const { return m_tiles[size_t(index)].tile; }

    // The panels shown, in panel order, and the grid they are in.
    const std::vector<int> &shownPanels() const { return m_order; }
    WallGrid::Grid grid() const { return m_grid; }
    // Where panel index's tile is; empty when it is not on the wall.
    QRect tileGeometry(int index) const;
    // Where its picture is drawn inside the wall, fitted to the tile.
    QRect pictureGeometry(int index) const;
    // The picture decoded for the tile (null until one is).
    QImage tileImage(int index) const { return m_tiles[size_t(index)].shown; }
    // How many decodes ran, for tests and measurements.
    int decodeCount() const { return m_decodes; }
    // The panel whose tile lies under pos, or -1.
    int panelAt(const QPoint &pos) const;
    // The window is minimised: shown or not, nobody sees the wall.
    void setOutOfSight(bool outOfSight);

signals:
    void tileClicked(int index);
    void tileDoubleClicked(int index);
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Slot
    {
        Tile tile;
        QImage shown;
        // What the last decode was of, and at which size.
        Picture decoded;
        QSize decodedAt;
        bool decoding = false;
    };

    void relayout();
    // Decodes the tile's picture at its size, unless that is done or under way.
    void decode(int index);
    QSize decodeSize(int index) const;
    QRect progressRect(int index) const;
    void repaintSoon(const QRect &rect);
    void paintTile(QPainter &painter, int index) const;

    std::array<Slot, PanelGrid::kPanelCount> m_tiles;
    std::vector<int> m_order;
    WallGrid::Grid m_grid;
    QTimer m_repaint;
    QRegion m_dirty;
    QTimer m_clickWait;
    int m_pendingClick = -1;
    int m_decodes = 0;
    bool m_outOfSight = false;
};
