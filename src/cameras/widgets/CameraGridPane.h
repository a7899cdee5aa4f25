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
class QTimer;
class StretchImage;
struct Failure;
struct SaveReport;

// frmCams, "Webcams": the 24 camera panels in their scrolling area, and the
// hidden pictures they take theirs from. It follows the engine's panel
// records: captions, progress, the panel pictures (decoded off the window's
// thread), failed fetches, the stale marks, and the panel's own menu for
// trusting a refused certificate and reviewing the camera's pictures. It
// tells the engine the size panel pictures are decoded at.
//
// Only panels someone can see get pixels: one scrolled out of the view, or
// every one while the pane is out of sight, keeps its picture's bytes, and
// decodes them off the window's thread once it is exposed again. Which panels
// are exposed is worked out when the view scrolls, resizes or goes out of
// sight, not per picture.
class CameraGridPane : public QGroupBox
{
    Q_OBJECT
public:
    CameraGridPane(CameraEngine &engine, QWidget *parent = nullptr);

    void applyGeometry(const MainWindowGeometry &geometry);

    // At the window's start: the panels get the busy animation, and the
    // stale marks are checked every second from now on.
    void start();

    CameraPanelWidget *panel(int index) const { return m_panels[size_t(index)]; }

    // The picture panel index shows: the engine's, or the file it was saved as.
    Picture shownPicture(int index) const;
    // Shows picture in panel index: at once when the camera decoded it for the
    // panel, otherwise decoded off the window's thread once the panel is exposed.
    void showPicture(int index, const Picture &picture);

    // Whether panel index lies in the scrolling area's view while the pane is
    // in sight; a lookup, cheap enough for every arriving picture.
    bool isExposed(int index) const;
    // The window is minimised or something lies over the whole pane (the wall).
    void setOutOfSight(bool outOfSight);
    // The picture as saved replaces the arrived one in its panel, unless a
    // newer one came meanwhile.
    void showSaved(const SaveReport &report);

    // Puts the named camera of the camera list file into the lowest free
    // panel and starts it. Returns the panel's index, or -1 when nothing
    // opened; a file error goes to statusText.
    int openCam(const QString &name);
    // What opening one camera of the list came to.
    enum class OpenOutcome { Opened, AlreadyOpen, PanelsFull, NotOpened };
    // A listed camera, as a double-click on the list opens it: not when a
    // camera of that name is open already, nor when all panels are in use.
    OpenOutcome openListed(const QString &name);
    // Opens each of the listed cameras names in turn; returns those that
    // found all panels in use, each once.
    QStringList openAll(const QStringList &names);
    // How many panels were opened here and not stopped.
    qint16 camsInUse() const { return m_camsInUse; }
    // Every panel showing the camera oldName shows the edited camera, not
    // only the first.
    void renameCam(const QString &oldName, const QString &name, const QString &url,
                   const QString &refresh);
    // The names of the cameras in use, in panel order.
    QStringList openNames() const;

    // Marks the panels whose camera sent no picture for too long, and takes
    // the mark off the others; a timer runs it every second.
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
    // The panel's menu entry "Review...": look back at its camera's pictures.
    void reviewRequested(int index);

private:
    void sync(int index);
    void showFailure(int index, const Failure &failure);
    void showPanelMenu(int index, const QPoint &globalPos);
    void VScroll1_Change(int value);
    void updateExposure();
    // Brings panel index's pixels up to the picture it is to show, as far as
    // that costs no decode on the window's thread.
    void paintPanel(int index);

    CameraEngine &m_engine;
    QWidget *picWindowOuter = nullptr;
    QWidget *picWindowInner = nullptr;
    QScrollBar *VScroll1 = nullptr;
    std::array<CameraPanelWidget *, PanelGrid::kPanelCount> m_panels{};
    qint16 m_camsInUse = 0;
    QTimer *m_healthTimer = nullptr;
    // Hidden: picrefresh animates, blank is the empty picture, notFound
    // stands for a reply that is not a picture.
    StretchImage *picrefresh = nullptr;
    StretchImage *blank = nullptr;
    StretchImage *notFound = nullptr;
    // What each panel shows, and the engine's picture it was last taken from
    // (a saved picture replaces the one the engine has).
    std::array<Picture, PanelGrid::kPanelCount> m_shown;
    std::array<Picture, PanelGrid::kPanelCount> m_fromEngine;
    // The picture whose pixels each panel has; behind m_shown while the panel
    // is out of sight or its decode runs.
    std::array<Picture, PanelGrid::kPanelCount> m_painted;
    std::array<bool, PanelGrid::kPanelCount> m_exposed{};
    std::array<bool, PanelGrid::kPanelCount> m_decoding{};
    // Panels whose camera told of news while the pane was out of sight.
    std::array<bool, PanelGrid::kPanelCount> m_syncDue{};
    bool m_outOfSight = false;
};
