#pragma once

#include <array>
#include <functional>

#include <QMainWindow>
#include <QPointer>

#include "MainWindowLayout.h"
#include "Picture.h"
#include "Result.h"

class AboutWindow;
class AddCamDialog;
class BusyAnimation;
class CameraEngine;
class CameraPanelWidget;
class NetworkTime;
class PictureLimitsDialog;
class PictureSaver;
class PictureWindow;
class RetentionKeeper;
struct SaveReport;
class EditCamDialog;
class HelpWindow;
class NoticeWindow;
class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QScrollBar;
class QTimer;
class StretchImage;
class ValueLabel;
class ZoomImage;

// Form1, the program's working window: the camera list with its commands at
// the left, the 24 camera panels in the middle, the viewer of the selected
// camera at the right and the status bar below. Every control carries the
// name the rest of the program and the tests know it by as its objectName.
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

    // Opens the camera named by List1's current item, unless 24 panels are in
    // use or a panel carries that name already.
    void OpenSelectedCam();
    // The start's own openings, as double-clicks on the list would make them:
    // first the cameras open when the window last closed, when "Reopen
    // cameras at start" is ticked, then every listed camera (all) or the
    // listed ones among names, in file order. Returns what did not open and
    // why (also put in the status bar); empty when nothing was refused.
    QString openCamsAtStart(const QStringList &names, bool all);

    // Puts the named camera of the camera list file into the lowest free panel
    // and starts it. Returns the panel's index, or -1 when nothing opened.
    int OpenCamPanel(const QString &name);

    // The selected camera: the one the viewer shows; -1 for none. Panel 0
    // counts as selected from the start.
    qint16 selectedCam() const { return m_selectedCam; }
    // How many panels this window has opened and not stopped.
    qint16 camsInUse() const { return m_camsInUse; }
    // Whether the full-screen picture window follows the selected camera.
    bool pictureWindowOpen() const { return m_pictureWindowOpen; }
    // The picture panel index shows: the engine's, or the file it was saved as.
    Picture shownPicture(int index) const;

    // Makes camera i the selected one and shows it in the viewer at the
    // current zoom with its details.
    void showCameraInViewer(int index);

    // The panel's right-click menu entry "Trust This Certificate...": shows the
    // fingerprint of the certificate panel index's camera was refused for, and
    // on Yes trusts that one certificate for the camera's host and port and
    // fetches again. Returns whether a pin was stored.
    bool trustRefusedCertificate(int index);

    // Saves new pictures while "AutoSave New Pictures" is ticked, and the
    // selected one on "Save Image".
    PictureSaver &saver() const { return *m_saver; }

    // Keeps cam/ within the picture limits and pauses autosave on a full disk.
    RetentionKeeper &keeper() const { return *m_keeper; }

    // Marks the panels whose camera sent no picture for too long, and takes
    // the mark off the others; a timer runs it every second.
    void checkHealth();

    // True when "AutoSave New Pictures" is ticked.
    bool autoSaveTicked() const;

    // The text of the status bar's first panel.
    void setStatusText(const QString &text);
    QString statusText() const;

    // What the menu entry "Exit" does to end the program at once. The default
    // leaves the event loop without running any window's closing steps.
    void setExitHandler(std::function<void()> handler);
    // What ends the program after the window has closed (default: quit the loop).
    void setEndProgramHandler(std::function<void()> handler);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildFrame1(QWidget *client);
    void buildCams(QWidget *client);
    void buildViewer(QWidget *client);
    void buildDetails();
    void buildMenus();
    void applyGeometry();
    void layoutFromClientArea();
    QRect px(const TwipsRect &rect) const;
    int pxLength(float twips) const;
    float twipsLength(int pixels, bool vertical) const;

    void VScroll1_Change(int value);
    void HScroll1_Change(int value);
    void VScroll2_Change(int value);
    void Slider1_Change(int value);
    void showZoomFactor(int zoom);
    void ApplyZoom();
    // Zoom 1 starts from this natural size in pixels: the viewer's picture is
    // laid out afresh for it, as when a camera is selected.
    void sizeViewerFor(const QSize &natural);
    void placeImage();

    // Following the engine and the saver.
    void connectEngine();
    void syncPanel(int index);
    void showPanelPicture(int index, const Picture &picture);
    void showArrivedPicture(int index, const Picture &picture);
    void showFetchFailure(int index, const Failure &failure);
    void showPanelMenu(int index, const QPoint &globalPos);
    void showSaved(const SaveReport &report);
    void followTick(int index);
    void panelStopped(int index, bool wasInUse);
    // Puts a picture, at full resolution, into the viewer (imgMain) without
    // changing its size or zoom.
    void showViewerPicture(const QImage &full);
    // The selected camera's arrived picture, decoded: into its panel and, when
    // it is still the one to show, the viewer and the picture window.
    void showSelectedPicture(int index, const Picture &picture, const QImage &full,
                             const QImage &thumbnail);
    void showViewerLabels(int index);
    void hideViewer();
    void renamePanels(const QString &oldName, const QString &name, const QString &url,
                      const QString &refresh);
    void cmdSave_Click();
    // The notice "Oops!": nothing is selected in the list.
    void showNotice();
    // The help and about windows, loaded when first asked for.
    void showHelp();
    void showAbout();
    void requestNetworkTime();
    void Command3_Click();

    // The list commands.
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdEdit_Click();
    void cmdStartCam_Click();
    void cmdStopAll_Click();
    void List1_DblClick();
    void chkSave_Click();
    void keepOriginalToggled();
    void showPictureLimits();
    void updateHealthMark(int index);
    void reopenCamsToggled();
    // What opening one camera of the list came to.
    enum class OpenOutcome { Opened, AlreadyOpen, PanelsFull, NotOpened };
    OpenOutcome openListedCam(const QString &name);
    // Stores the names of the open cameras for the next start, when it is to
    // reopen them.
    void rememberOpenCams();
    bool IsCamSelected() const;
    QString currentListText() const;
    // Refills List1 from the camera list file; a file error goes to the status bar.
    void ReloadCamList();
    void showFileError(const QString &error);

    void mnuFileItem_Click(int index);
    void mnuCamItem_Click(int index);

    // The program's own commands.
    void exitProgram();

    MainWindowGeometry m_geometry;
    CameraEngine *m_engine = nullptr;
    // The time label's source: one daytime request at a time.
    NetworkTime *m_networkTime = nullptr;
    PictureSaver *m_saver = nullptr;
    RetentionKeeper *m_keeper = nullptr;
    QTimer *m_healthTimer = nullptr;
    qint16 m_selectedCam = 0;
    qint16 m_camsInUse = 0;
    bool m_pictureWindowOpen = false;
    // What each panel shows, and the engine's picture it was last taken from
    // (a saved picture replaces the one the engine has).
    std::array<Picture, PanelGrid::kPanelCount> m_shown;
    std::array<Picture, PanelGrid::kPanelCount> m_fromEngine;
    // The selected camera's latest arrival, which the viewer is to show once decoded.
    Picture m_viewerPicture;
    // The selected picture's natural size in twips, and imgMain's place in
    // Picture1 in twips.
    qint32 viewNaturalWidth = 0;
    qint32 viewNaturalHeight = 0;
    TwipsRect m_image{0, 0, 915, 855};
    std::function<void()> m_exitHandler;
    std::function<void()> m_endProgramHandler;
    bool m_exiting = false;

    BusyAnimation *m_busyAnimation = nullptr;

    // Windows loaded on request, unloaded when closed.
    QPointer<AddCamDialog> m_addDialog;
    QPointer<EditCamDialog> m_editDialog;
    QPointer<NoticeWindow> m_notice;
    QPointer<PictureWindow> m_pictureWindow;
    QPointer<HelpWindow> m_helpWindow;
    QPointer<AboutWindow> m_about;
    QPointer<PictureLimitsDialog> m_pictureLimits;

    // Frame1, "Controls".
    QGroupBox *Frame1 = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdRemove = nullptr;
    QPushButton *cmdEdit = nullptr;
    QPushButton *cmdStartCam = nullptr;
    QPushButton *cmdStopAll = nullptr;
    QCheckBox *chkSave = nullptr;
    QLabel *Label1 = nullptr;
    QListWidget *List1 = nullptr;

    // frmCams, "Webcams".
    QGroupBox *frmCams = nullptr;
    QWidget *picWindowOuter = nullptr;
    QWidget *picWindowInner = nullptr;
    QScrollBar *VScroll1 = nullptr;
    std::array<CameraPanelWidget *, PanelGrid::kPanelCount> Frame{};

    // frmMain, "Viewer".
    QGroupBox *frmMain = nullptr;
    QFrame *Picture1 = nullptr;
    QWidget *m_picture1Inside = nullptr;
    ZoomImage *imgMain = nullptr;
    QScrollBar *VScroll2 = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QPushButton *Command1 = nullptr;

    // frmDetails, inside the viewer.
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

    ValueLabel *m_statusPanel = nullptr;

    // Hidden pictures the panels and the picture window take theirs from.
    StretchImage *picrefresh = nullptr;
    StretchImage *blank = nullptr;
    StretchImage *notFound = nullptr;

    QMenu *mnuFile = nullptr;
    QMenu *mnuCams = nullptr;
    QAction *mnuKeepOriginal = nullptr;
    QAction *mnuPictureLimits = nullptr;
    QAction *mnuReopenCams = nullptr;
    QMenu *mnuHelp = nullptr;
    QMenu *mnuAbout = nullptr;
};
