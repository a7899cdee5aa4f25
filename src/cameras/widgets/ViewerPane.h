#pragma once

#include <QGroupBox>

#include "MainWindowLayout.h"

class QFrame;
class QPushButton;
class QScrollBar;
class ValueLabel;
class ZoomImage;
struct PanelStatus;

// frmMain, "Viewer": the selected camera's picture at full resolution in
// Picture1, zoomed 1 to 5 times and scrolled, and frmDetails below it with
// the camera's details, the zoom bar, "Save Image", "Screensaver" and the
// network time. The zoom arithmetic is ViewerZoom's; this pane holds its
// state (the picture's place and natural size) and applies it.
class ViewerPane : public QGroupBox
{
    Q_OBJECT
public:
    explicit ViewerPane(QWidget *parent = nullptr);

    void applyGeometry(const MainWindowGeometry &geometry);

    // A newly selected camera: shows the pane, puts picture in at the
    // current zoom and lays the viewer out afresh for its size.
    void showCamera(const QImage &picture);
    // A new picture of the same camera, at the size and zoom the viewer has;
    // the first picture ever sizes the viewer as a selection would.
    void showPicture(const QImage &picture);
    // Just the picture, as it is: the viewer keeps its size and zoom.
    void setPicture(const QImage &picture);
    QImage picture() const;
    void showLabels(const PanelStatus &status);
    void setNextRefresh(const QString &text);
    void setTime(const QString &text);
    // No camera is selected.
    void hideViewer();

    QGroupBox *details() const { return frmDetails; }
    int zoom() const;

signals:
    void statusText(const QString &text);
    void saveClicked();
    void screensaverClicked();

private:
    void buildDetails();
    // Zoom 1 starts from this natural size in pixels.
    void sizeViewerFor(const QSize &natural);
    void ApplyZoom();
    void placeImage();
    void showZoomFactor(int zoom);
    void Slider1_Change(int value);
    void HScroll1_Change(int value);
    void VScroll2_Change(int value);

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
