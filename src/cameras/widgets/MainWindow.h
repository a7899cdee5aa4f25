#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "CamListPane.h"
#include "CameraGridPane.h"
#include "MainStatusBar.h"
#include "MainWindowLayout.h"
#include "PaneSupport.h"
#include "Picture.h"
#include "PictureWindowController.h"
#include "SavingController.h"

class PictureIndex;

class AboutWindow;
class CameraEngine;
class ChangeDetectionController;
class CameraEvents;
class EventsDialog;
class WebView;
class WebViewDialog;
class HelpWindow;
class QAction;
class QTimer;
class ViewerPane;
class WallView;

// Form1, the program's working window: the camera list with its commands at
// the left, the 24 camera panels in the middle, the viewer of the selected
// camera at the right and the status bar below. Each column is a pane of its
// own; the window holds the menus, the selection, the layout and the wiring
// between the panes, the engine and the saver. Every control carries the name
// the rest of the program and the tests know it by as its objectName.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence, run once before the window is first shown.
    void Form_Load();

    // Fits the three columns to an outer window size in twips (title, menu
    // bar and borders included, as the layout arithmetic expects).
    void LayoutMainWindow(float outerHeight, float outerWidth);

    // The capture engine behind the 24 panels; the window owns it.
    CameraEngine &engine() const { return *m_engine; }

    // The start's own openings, as double-clicks on the list would make them:
    // first the cameras open when the window last closed, when "Reopen
    // cameras at start" is ticked, then every listed camera (all) or the
    // listed ones among names, in file order. Returns what did not open and
    // why (also put in the status bar); empty when nothing was refused.
    QString openCamsAtStart(const QStringList &names, bool all);

    // Puts the named camera of the camera list file into the lowest free panel
    // and starts it. Returns the panel's index, or -1 when nothing opened.
    int OpenCamPanel(const QString &name) { return m_grid->openCam(name); }

    // The selected camera: the one the viewer shows; -1 for none. Panel 0
    // counts as selected from the start.
    qint16 selectedCam() const { return m_selectedCam; }
    // How many panels this window has opened and not stopped.
    qint16 camsInUse() const { return m_grid->camsInUse(); }
    // Whether the full-screen picture window follows the selected camera.
    bool pictureWindowOpen() const { return m_pictureWindow->isFollowing(); }
    // The picture panel index shows: the engine's, or the file it was saved as.
    Picture shownPicture(int index) const { return m_grid->shownPicture(index); }

    // Makes camera i the selected one and shows it in the viewer at the
    // current zoom with its details.
    void showCameraInViewer(int index);

    // Trusts the certificate panel index's camera was refused for, after
    // asking; see CameraGridPane.
    bool trustRefusedCertificate(int index) { return m_grid->trustRefusedCertificate(index); }

    // Saves new pictures while "AutoSave New Pictures" is ticked, and the
    // selected one on "Save Image".
    PictureSaver &saver() const { return m_saving->saver(); }

    // Keeps cam/ within the picture limits and pauses autosave on a full disk.
    RetentionKeeper &keeper() const { return m_saving->keeper(); }

    // Marks the panels whose camera sent no picture for too long; a timer
    // runs it every second.
    void checkHealth() { m_grid->checkHealth(); }

    // True when "AutoSave New Pictures" is ticked.
    bool autoSaveTicked() const { return m_list->autoSaveTicked(); }

    // The text of the status bar's first panel.
    void setStatusText(const QString &text) { m_statusBar->setText(text); }
    QString statusText() const { return m_statusBar->text(); }

    // What the menu entry "Exit" does to end the program at once. The default
    // leaves the event loop without running any window's closing steps.
    void setExitHandler(std::function<void()> handler) { m_exitHandler = std::move(handler); }
    // What ends the program after the window has closed (default: quit the loop).
    void setEndProgramHandler(std::function<void()> handler)
    {
        m_endProgramHandler = std::move(handler);
    }

    // The wall of all open cameras over the whole client area (View > Wall,
    // or --wall at start); hidden, the three columns show again.
    void setWallShown(bool shown);
    bool wallShown() const;
    WallView *wall() const { return m_wall; }

    // The index of saved pictures; null when it could not be opened.
    PictureIndex *pictureIndex() const { return m_pictureIndex; }

    // MQTT events of the window's cameras while a broker is set (Cams >
    // Events...); started by Form_Load and again when the dialog stores.
    CameraEvents &events() const { return *m_events; }
    // The web view; null until the window has loaded.
    WebView *webView() const { return m_web.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Runs one handler to its end; what stops it goes to the status bar.
    template <typename Handler>
    void guard(Handler &&handler)
    {
        guarded([this](const QString &text) { setStatusText(text); }, handler);
    }
    void buildControls();
    void buildMenus();
    void applyGeometry();
    void layoutFromClientArea();
    float twipsLength(int pixels, bool vertical) const;

    // Following the engine and the saver.
    void connectEngine();
    void cmdSave_Click();
    void Command3_Click();
    void openPictureIndex();
    // The review window, on the camera of panel when it has saved pictures.
    void showReview(int panel);
    // Events from the stored settings, from now on; what stops them is said.
    void startEvents();
    void showEvents();
    // The web view from the stored settings, fed from the engine; what stops it is said.
    void startWebView();
    void showWebView();
    // The help window, loaded when first asked for.
    void showHelp();

    // Stores the names of the open cameras for the next start, when it is to
    // reopen them.
    void rememberOpenCams();

    // The program's own commands.
    void exitProgram();

    // The wall: built hidden, fed from the engine per panel, its clicks wired.
    void buildWall();
    // Tells the panels, the viewer and the wall whether anyone can see them
    // now: on minimising and restoring, and when the wall or the picture
    // window comes or goes.
    void updateSight();
    void buildViewMenu();
    void feedWall(int index);

    MainWindowGeometry m_geometry;
    CameraEngine *m_engine = nullptr;
    SavingController *m_saving = nullptr;
    ChangeDetectionController *m_detection = nullptr;
    qint16 m_selectedCam = 0;
    std::function<void()> m_exitHandler;
    std::function<void()> m_endProgramHandler;
    bool m_exiting = false;

    // The three columns, and the full-screen picture window.
    CamListPane *m_list = nullptr;
    CameraGridPane *m_grid = nullptr;
    ViewerPane *m_viewer = nullptr;
    PictureWindowController *m_pictureWindow = nullptr;
    // The index of saved pictures the review window looks back through;
    // opened at start, null when it cannot be.
    PictureIndex *m_pictureIndex = nullptr;
    CameraEvents *m_events = nullptr;
    QPointer<EventsDialog> m_eventsDialog;
    // The web view while it is on (Cams > Web View...), and the feed that
    // keeps its board: a fresh one for each start.
    std::unique_ptr<WebView> m_web;
    QObject *m_webFeed = nullptr;
    QPointer<WebViewDialog> m_webDialog;

    // Windows loaded on request, unloaded when closed.
    QPointer<HelpWindow> m_helpWindow;
    QPointer<AboutWindow> m_about;

    MainStatusBar *m_statusBar = nullptr;

    QAction *mnuKeepOriginal = nullptr;
    QAction *mnuReopenCams = nullptr;

    WallView *m_wall = nullptr;
    QAction *mnuWall = nullptr;
    QTimer *m_wallStaleCheck = nullptr;
    // The viewer, or the picture window following it, can be seen.
    bool m_viewerInSight = true;
};
