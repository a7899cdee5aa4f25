#pragma once

#include <functional>

#include <QGroupBox>

#include "MainWindowLayout.h"
#include "Picture.h"

class CameraEngine;
class NetworkTime;
class QFrame;
class QPushButton;
class QScrollBar;
class ValueLabel;
class ZoomImage;
struct Failure;

// frmMain, "Viewer": the selected camera's picture at full resolution in
// Picture1, zoomed 1 to 5 times and scrolled, and frmDetails below it with
// the camera's details, the zoom bar, "Save Image", "Screensaver" and the
// network time. It follows the engine for the selected camera: each new
// picture is decoded in full off the window's thread, and the panel's copy
// is made from the same pixels. The zoom arithmetic is ViewerZoom's; this
// pane holds its state (the picture's place and natural size) and applies it.
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

    QGroupBox *details() const { return frmDetails; }
    int zoom() const;

signals:
    void statusText(const QString &text);
    void saveClicked();
    void screensaverClicked();
    void pictureShown(const QImage &full);
    // A fetch of the selected camera started (true) or ended, with a
    // picture or without (false).
    void fetchBusy(bool busy);

private:
    void showArrival(int index, const Picture &picture);
    void showDecoded(int index, const Picture &picture, const QImage &full);
    QString nextRefreshLabel(int index) const;
    void showFailure(int index, const Failure &failure);
    void followTick(int index);
    void showLabels(int index);
    // A new picture of the same camera, at the size and zoom the viewer has;
    // the first picture ever sizes the viewer as a selection would.
    void showPicture(const QImage &picture);
    void buildDetails();
    // Zoom 1 starts from this natural size in pixels.
    void sizeViewerFor(const QSize &natural);
    void ApplyZoom();
    void placeImage();
    void showZoomFactor(int zoom);
    void Slider1_Change(int value);
    void HScroll1_Change(int value);
    void VScroll2_Change(int value);

    CameraEngine &m_engine;
    std::function<int()> m_selectedCam = [] { return -1; };
    // The selected camera's latest arrival, which the viewer is to show once decoded.
    Picture m_viewerPicture;
    // The time label's source: one daytime request at a time.
    NetworkTime *m_networkTime = nullptr;
    // The places ApplyZoom reads: Picture1 and its scroll bars.
    MainWindowGeometry m_geometry;
    // The picture's natural size in twips, and imgMain's place in Picture1 in twips.
    qint32 viewNaturalWidth = 0;
    qint32 viewNaturalHeight = 0;
    TwipsRect m_image{0, 0, 915, 855};

    QFrame *Picture1 = nullptr;
    QWidget *m_picture1Inside = nullptr;
    ZoomImage *imgMain = nullptr;
    QScrollBar *VScroll2 = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QPushButton *Command1 = nullptr;

    QGroupBox *frmDetails = nullptr;
    ValueLabel *lblName = nullptr;
    ValueLabel *lblRefresh = nullptr;
    ValueLabel *lblLastChanged = nullptr;
    ValueLabel *lblLastRefreshed = nullptr;
    ValueLabel *lblNextRefresh = nullptr;
    QScrollBar *Slider1 = nullptr;
    // Beside the zoom bar: the factor it stands at, which the bar alone does not tell.
    ValueLabel *m_zoomFactor = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *Command3 = nullptr;
    ValueLabel *lblTime = nullptr;
};
