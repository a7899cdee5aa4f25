#pragma once

#include <functional>
#include <optional>

#include <QBitArray>
#include <QGroupBox>

#include "MainWindowLayout.h"
#include "Picture.h"
#include "ViewerZoom.h"

class CameraEngine;
class NetworkTime;
class QCheckBox;
class QKeyEvent;
class QWheelEvent;
class QFrame;
class QPushButton;
class QScrollBar;
class ValueLabel;
class ZoomImage;
struct Failure;

// frmMain, "Viewer": the selected camera's picture at full resolution in
// its viewport, either fitted whole ("Fit", the default) or zoomed 1 to 5
// times and scrolled, and frmDetails below it with the camera's details, the
// zoom bar, "Fit", "Save Image", "Screensaver" and the network time. It
// follows the engine for the selected camera: each new picture is decoded in
// full off the window's thread, and the panel's copy is made from the same
// pixels. The zoom arithmetic is ViewerZoom's; this pane holds its state (the
// picture's place and natural size) and applies it.
//
// In the viewport, as in an image viewer: Ctrl + wheel zooms about the
// pointer, the wheel scrolls, dragging pans, a double-click toggles Fit and
// natural size; with the focus there, + and - zoom, 0 fits, 1 is natural
// size, the arrows pan, Home/End go to the left/right edge and
// PageUp/PageDown to the top/bottom edge.
class ViewerPane : public QGroupBox
{
    Q_OBJECT
public:
    ViewerPane(CameraEngine &engine, QWidget *parent = nullptr);
    // The time socket goes first, while the labels are still there.
    ~ViewerPane() override;

    void applyGeometry(const MainWindowGeometry &geometry);

    // Who is selected; the main window keeps the selection.
    void setSelection(std::function<int()> selectedCam);
    // Camera index was selected, showing picture: shows the pane with it at
    // the current zoom, laid out afresh for its size, and the details.
    void showCamera(int index, const Picture &picture);
    // Just the picture, as it is: the viewer keeps its size and zoom.
    void setPicture(const QImage &picture);
    QImage picture() const;
    // No camera is selected.
    void hideViewer();
    // The cells change detection found changed, drawn over the picture; empty for none.
    void setChangeOverlay(const QBitArray &cells);
    // Nobody sees the viewer's picture (the window minimised or under the
    // wall, no picture window following it): the selected camera's pictures
    // are kept undecoded, and the latest one is decoded when it is seen again.
    void setOutOfSight(bool outOfSight);

    QGroupBox *details() const { return frmDetails; }
    // The zoom bar's value, 1 to 5 (what zoom means while Fit is off).
    int zoom() const;
    // Whether the whole picture is fitted into the viewport; remembered in
    // the user's settings.
    bool isFit() const { return m_fit; }
    void setFit(bool fit);

signals:
    void statusText(const QString &text);
    void saveClicked();
    void screensaverClicked();
    void pictureShown(const QImage &full);
    // A fetch of the selected camera started (true) or ended, with a
    // picture or without (false).
    void fetchBusy(bool busy);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showArrival(int index, const Picture &picture);
    void decodeForViewer(int index, const Picture &picture);
    void showDecoded(int index, const Picture &picture, const QImage &full,
                     const QImage &shrunk = QImage());
    QString nextRefreshLabel(int index) const;
    void showFailure(int index, const Failure &failure);
    void followTick(int index);
    void showLabels(int index);
    // A new picture of the same camera, at the size and zoom the viewer has;
    // the first picture ever sizes the viewer as a selection would.
    void showPicture(const QImage &picture, const QImage &shrunk = QImage());
    void buildViewport();
    void buildDetails();
    // Zoom 1 starts from this natural size in pixels.
    void sizeViewerFor(const QSize &natural);
    // Places the picture for the zoom or Fit and sets up the bars; the bars
    // are to show at least the given values (held to their new range).
    void applyZoom();
    void applyZoom(int horizontalValue, int verticalValue);
    // Goes to Fit (zoom 0) or a zoom, keeping the picture point under anchor
    // (viewport coordinates) where it is.
    void zoomAbout(int zoom, const QPoint &anchor);
    void stepZoom(int step, const QPoint &anchor);
    QPoint viewportCentre() const;
    ViewerZoom::Size room() const;
    void placeImage();
    void showZoomFactor();
    void zoomBarMoved(int value);
    void fitToggled(bool fit);
    void horizontalScrolled(int value);
    void verticalScrolled(int value);
    bool viewportKey(const QKeyEvent *event);
    bool viewportWheel(const QWheelEvent *event);
    bool viewportMouse(QEvent *event);

    CameraEngine &m_engine;
    std::function<int()> m_selectedCam = [] { return -1; };
    // The selected camera's latest arrival, which the viewer is to show once decoded.
    Picture m_viewerPicture;
    bool m_outOfSight = false;
    // m_viewerPicture came while out of sight and is not decoded yet.
    bool m_behind = false;
    // The time label's source: one daytime request at a time.
    NetworkTime *m_networkTime = nullptr;
    // The picture's natural size, and its place in the viewport, in pixels.
    ViewerZoom::Size m_natural;
    ViewerZoom::Rect m_imagePlace{0, 0, 61, 57};
    bool m_fit = true;
    // A drag that pans: where it started and the bars' values then.
    std::optional<QPoint> m_dragStart;
    QPoint m_dragValues;

    QFrame *m_viewport = nullptr;
    QWidget *m_viewportInside = nullptr;
    ZoomImage *m_image = nullptr;
    QScrollBar *m_verticalBar = nullptr;
    QScrollBar *m_horizontalBar = nullptr;
    QPushButton *m_barCorner = nullptr;

    QGroupBox *frmDetails = nullptr;
    ValueLabel *lblName = nullptr;
    ValueLabel *lblRefresh = nullptr;
    ValueLabel *lblLastChanged = nullptr;
    ValueLabel *lblLastRefreshed = nullptr;
    ValueLabel *lblNextRefresh = nullptr;
    QScrollBar *m_zoomBar = nullptr;
    // Beside the zoom bar: the factor it stands at, which the bar alone does not tell.
    ValueLabel *m_zoomFactor = nullptr;
    QCheckBox *m_fitBox = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *m_screensaverButton = nullptr;
    ValueLabel *lblTime = nullptr;
};
