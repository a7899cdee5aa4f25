#pragma once

#include <array>
#include <functional>

#include <QGroupBox>

#include "MainWindowLayout.h"
#include "Picture.h"

class BusyAnimation;
class CameraEngine;
class CameraPanelWidget;
class QScrollBar;
struct Failure;

// frmCams, "Webcams": the 24 camera panels in their scrolling area. It
// follows the engine's panel records: captions, progress, the panel
// pictures (decoded off the window's thread), the tooltips of failed
// fetches, the stale marks, and the panel's own menu for trusting a refused
// certificate.
class CameraGridPane : public QGroupBox
{
    Q_OBJECT
public:
    CameraGridPane(CameraEngine &engine, QWidget *parent = nullptr);

    void applyGeometry(const MainWindowGeometry &geometry);

    // The selected camera's arrivals are decoded for the viewer, which hands
    // the panel its copy (showSelectedCopy); the pane asks who that is.
    void setSelection(std::function<int()> selectedCam);

    CameraPanelWidget *panel(int index) const { return m_panels[size_t(index)]; }
    // The size panel pictures are decoded at.
    QSize pictureSize() const;
    void setBusyAnimation(BusyAnimation *animation);

    // The picture panel index shows: the engine's, or the file it was saved as.
    Picture shownPicture(int index) const;
    // Shows picture in panel index, decoding it off the window's thread when
    // it is not made already; a picture that does not decode is reported to
    // the engine and the last good one stays.
    void showPicture(int index, const Picture &picture);
    // The panel's copy of the selected camera's picture, unless a newer or a
    // saved picture replaced it meanwhile.
    void showSelectedCopy(int index, const Picture &picture, const QImage &thumbnail);

    // Puts the named camera of the camera list file into the lowest free
    // panel and starts it. Returns the panel's index, or -1 when nothing
    // opened; a file error goes to statusText.
    int openCam(const QString &name);
    // Whether any panel, a hidden one too, carries name as its caption.
    bool showsCaption(const QString &name) const;
    // Every panel showing the camera oldName shows the edited camera, not
    // only the first.
    void renameCam(const QString &oldName, const QString &name, const QString &url,
                   const QString &refresh);
    // The names of the cameras in use, in panel order.
    QStringList openNames() const;

    // Marks the panels whose camera sent no picture for too long, and takes
    // the mark off the others; the window runs it every second.
    void checkHealth();
    void updateHealthMark(int index);

    // The panel's right-click menu entry "Trust This Certificate...": shows the
    // fingerprint of the certificate panel index's camera was refused for, and
    // on Yes trusts that one certificate for the camera's host and port and
    // fetches again. Returns whether a pin was stored.
    bool trustRefusedCertificate(int index);

signals:
    void statusText(const QString &text);
    // A click on a panel's picture selects its camera.
    void pictureClicked(int index);

private:
    void sync(int index);
    void showFailure(int index, const Failure &failure);
    void showPanelMenu(int index, const QPoint &globalPos);
    void VScroll1_Change(int value);

    CameraEngine &m_engine;
    std::function<int()> m_selectedCam = [] { return -1; };
    QWidget *picWindowOuter = nullptr;
    QWidget *picWindowInner = nullptr;
    QScrollBar *VScroll1 = nullptr;
    std::array<CameraPanelWidget *, PanelGrid::kPanelCount> m_panels{};
    // What each panel shows, and the engine's picture it was last taken from
    // (a saved picture replaces the one the engine has).
    std::array<Picture, PanelGrid::kPanelCount> m_shown;
    std::array<Picture, PanelGrid::kPanelCount> m_fromEngine;
};
