#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "AboutWindow.h"
#include "AppInfo.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "CameraEvents.h"
#include "CameraWebFeed.h"
#include "ChangeDetectionController.h"
#include "EventsDialog.h"
#include "HelpWindow.h"
#include "MainStatusBar.h"
#include "PictureIndex.h"
#include "PictureSaver.h"
#include "RetentionKeeper.h"
#include "ReviewWindow.h"
#include "Settings.h"
#include "Skin.h"
#include "SkinLabelArray.h"
#include "StartOpenings.h"
#include "Twips.h"
#include "ViewerPane.h"
#include "WallView.h"
#include "WebView.h"
#include "WebViewDialog.h"
#include "WindowUpdateLock.h"
#include "WindowUtils.h"

namespace {
// Title bar, menu bar and borders, which the layout arithmetic takes off the
// outer height. Our menu bar and frame lie outside the client area, so the
// outer height handed to it is the client area plus the status bar plus this.
constexpr float kFrameReserve = 800;

// A menu entry named for the program and the tests, running handler.
template <typename Handler>
QAction *addEntry(QMenu *menu, const char *text, const QString &name, Handler &&handler,
                  const char *tip = nullptr, bool checkable = false)
{
    QAction *entry = menu->addAction(QString::fromUtf8(text));
    entry->setObjectName(name);
    if (tip)
        entry->setToolTip(QString::fromUtf8(tip));
    entry->setCheckable(checkable);
    QObject::connect(entry, &QAction::triggered, menu, std::forward<Handler>(handler));
    return entry;
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_exitHandler([] { QCoreApplication::exit(0); })
    , m_endProgramHandler([] { QCoreApplication::quit(); })
{
    setObjectName(QStringLiteral("Form1"));
    m_engine = new CameraEngine(this);
    m_saving = new SavingController(this);
    m_pictureWindow = new PictureWindowController(this);
    m_events = new CameraEvents(*m_engine, saver(), this);
    connect(m_events, &CameraEvents::notice, this, &MainWindow::setStatusText);
    buildControls();
    buildWall();
    buildMenus();
    applyGeometry();
    connectEngine();
}

MainWindow::~MainWindow()
{
    // "offline" goes out before the cameras it speaks for stop. The engine
    // goes next, while this window is still whole: closing its sockets may
    // still signal it.
    delete m_events;
    // The web view's threads read the board the engine feeds: they stop first.
    m_web.reset();
    delete m_saving;
    delete m_engine;
    if (WindowUpdateLock::mainWindow() == this)
        WindowUpdateLock::detach();
    // The picture window is a window of its own; it goes with the main window.
    delete m_pictureWindow;
}

float MainWindow::twipsLength(int pixels, bool vertical) const
{
    return float(Twips::fromPixels(pixels, vertical ? Twips::dpiY(this) : Twips::dpiX(this)));
}

void MainWindow::buildControls()
{
    // Controls sit at fixed places sized for a small dialog font, like the
    // window was designed with; a larger font would clip their captions.
    QFont font = this->font();
    font.setPointSizeF(8.25);
    setFont(font);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    client->installEventFilter(this);
    // Compact buttons and panel captions for the small fixed controls; the
    // zoom bar shows its track on any skin.
    client->setStyleSheet(QStringLiteral(
        "QPushButton { padding: 1px 3px; }\n"
        "QCheckBox#chkSave { spacing: 3px; }\n"
        "CameraPanelWidget::title { left: 4px; padding: 0 2px; }\n"
        "QScrollBar#Slider1 { background-color: rgba(0, 0, 0, 28); border-radius: 3px; }\n"));

    m_list = new CamListPane(client);
    connect(m_list, &CamListPane::statusText, this, &MainWindow::setStatusText);
    connect(m_list, &CamListPane::openRequested, this,
            [this](const QString &name) { guard([&] { m_grid->openListed(name); }); });
    connect(m_list, &CamListPane::stopAllRequested, this,
            [this] { guard([&] { m_engine->stopAll(); }); });
    connect(m_list, &CamListPane::autoSaveModeChosen, m_saving,
            &SavingController::autoSaveModeChosen);

    m_grid = new CameraGridPane(*m_engine, client);
    connect(m_list, &CamListPane::camEdited, m_grid, &CameraGridPane::renameCam);
    connect(m_grid, &CameraGridPane::statusText, this, &MainWindow::setStatusText);
    connect(m_grid, &CameraGridPane::pictureClicked, this, &MainWindow::showCameraInViewer);
    connect(m_grid, &CameraGridPane::reviewRequested, this,
            [this](int index) { guard([&] { showReview(index); }); });

    m_viewer = new ViewerPane(*m_engine, client);
    m_viewer->setSelection([this] { return int(m_selectedCam); });
    m_detection = new ChangeDetectionController(*m_engine, *m_viewer, this,
                                                [this] { return int(m_selectedCam); });
    connect(m_detection, &ChangeDetectionController::statusText, this, &MainWindow::setStatusText);
    connect(m_viewer, &ViewerPane::pictureShown, m_pictureWindow,
            &PictureWindowController::setPicture);
    connect(m_viewer, &ViewerPane::fetchBusy, m_pictureWindow, &PictureWindowController::setBusy);
    connect(m_viewer, &ViewerPane::statusText, this, &MainWindow::setStatusText);
    connect(m_viewer, &ViewerPane::saveClicked, this, &MainWindow::cmdSave_Click);
    connect(m_viewer, &ViewerPane::screensaverClicked, this, &MainWindow::Command3_Click);

    m_statusBar = new MainStatusBar(this);
    setStatusBar(m_statusBar);
}

void MainWindow::buildMenus()
{
    const auto addMenu = [this](const char *title, const char *name) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf8(title));
        menu->setObjectName(QString::fromUtf8(name));
        return menu;
    };
    addEntry(addMenu("&File", "mnuFile"), "Exit", QStringLiteral("mnuFileItem_0"),
             [this] { exitProgram(); });

    QMenu *cams = addMenu("&Cams", "mnuCams");
    const char *camItems[] = {"Add a Cam", "Delete Selected Cam", "Edit Selected Cam",
                              "Start Selected Cam", "Stop All Cams"};
    for (int i = 0; i < 5; ++i)
        addEntry(cams, camItems[i], QStringLiteral("mnuCamItem_%1").arg(i),
                 [this, i] { m_list->runCommand(i); });
    cams->addSeparator();
    mnuKeepOriginal = addEntry(
        cams, "Keep the camera's own pictures", QStringLiteral("mnuKeepOriginal"),
        [this](bool ticked) { m_saving->keepOriginalClicked(ticked); },
        "Save a camera's JPEG exactly as it came instead of encoding it again", true);
    mnuReopenCams = addEntry(
        cams, "Reopen cameras at start", QStringLiteral("mnuReopenCams"),
        [this](bool ticked) {
            guard([&] {
                if (!Settings::setReopenCams(ticked))
                    setStatusText(tr("The \"Reopen cameras at start\" setting could not be "
                                     "stored; the next start will not remember it."));
            });
        },
        "Open the cameras that were open when the window last closed", true);
    addEntry(
        cams, "Picture Limits...", QStringLiteral("mnuPictureLimits"),
        [this] { guard([&] { m_saving->showLimits(); }); },
        "How long and how much of the saved pictures to keep, and the free space autosave "
        "leaves on the disk");
    addEntry(
        cams, "Change Detection...", QStringLiteral("mnuChangeDetection"),
        [this] { guard([&] { m_detection->showDialog(); }); },
        "How sensitive the selected camera's change detection is, how big a change must be, "
        "and which parts of its picture to leave out");
    addEntry(
        cams, "Review...", QStringLiteral("mnuReview"),
        [this] { guard([&] { showReview(m_selectedCam); }); },
        "Look back through the saved pictures of a camera, day by day, and make a timelapse");
    addEntry(
        cams, "Web View...", QStringLiteral("mnuWebView"),
        [this] { guard([&] { showWebView(); }); },
        "Watch the cameras from a phone's or another computer's browser, over HTTPS with a "
        "password");
    addEntry(
        cams, "Events...", QStringLiteral("mnuEvents"), [this] { guard([&] { showEvents(); }); },
        "Tell an MQTT broker, such as Home Assistant's, about stale cameras and saved pictures");

    buildViewMenu();
    addEntry(addMenu("&Help", "mnuHelp"), "View Help", QStringLiteral("mnuHelpItem_0"),
             [this] { guard([&] { showHelp(); }); });
    addEntry(addMenu("&About", "mnuAbout"), "About this software", QStringLiteral("mnuAboutItem"),
             [this] { guard([&] { showLoaded(m_about, this); }); });
}

void MainWindow::applyGeometry()
{
    const MainWindowGeometry &g = m_geometry;
    m_list->setGeometry(Twips::toPixels(g.Frame1, this));
    m_list->applyGeometry(g);
    m_grid->setGeometry(Twips::toPixels(g.frmCams, this));
    m_grid->applyGeometry(g);
    m_viewer->setGeometry(Twips::toPixels(g.frmMain, this));
    m_viewer->applyGeometry(g);
}

void MainWindow::LayoutMainWindow(float outerHeight, float outerWidth)
{
    m_geometry = ::LayoutMainWindow(outerHeight, outerWidth,
                                    twipsLength(statusBar()->height(), true), m_geometry);
    applyGeometry();
}

void MainWindow::layoutFromClientArea()
{
    const QWidget *client = centralWidget();
    const float statusHeight = twipsLength(statusBar()->height(), true);
    LayoutMainWindow(twipsLength(client->height(), true) + statusHeight + kFrameReserve,
                     twipsLength(client->width(), false));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The client area is resized by the window's own layout after the menu and
    // status bars have taken their share: that is the size the columns fill.
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        layoutFromClientArea();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::Form_Load()
{
    // This window's own changes to many controls freeze its drawing.
    WindowUpdateLock::attach(this, [this] { return m_pictureWindow->isVisible(); });

    StartSkinSupport();
    WindowUtils::SetWindowIcon(this, QStringLiteral("AAA"), true);
    if (Skin::skinningSwitch()) {
        // The detail frame's captions go to SkinLabel1, the "Controls"
        // frame's to SkinLabel2; labels elsewhere get no skin label.
        auto *first = new SkinLabelArray(QStringLiteral("SkinLabel1"), m_viewer->details(), this);
        auto *second = new SkinLabelArray(QStringLiteral("SkinLabel2"), m_list, this);
        SkinLabels(this, *first, *second);
        SkinForm(this);
    }

    // Maximise: the window takes the screen's working area, and the columns
    // are laid out for it here, before the window is first shown.
    if (const QScreen *s = screen())
        resize(s->availableGeometry().size());
    setWindowState(windowState() | Qt::WindowMaximized);
    if (layout())
        layout()->activate();
    layoutFromClientArea();

    m_statusBar->fitPanel();

    guard([&] {
        const Settings::AutoSaveMode mode = Settings::autoSaveMode();
        m_list->setAutoSaveTicked(mode != Settings::AutoSaveMode::Off);
        m_list->setOnlyChangesTicked(mode == Settings::AutoSaveMode::Change);
    });
    saver().setAutoSaveMode(m_list->autoSaveMode());
    m_detection->start();
    guard([&] { mnuKeepOriginal->setChecked(Settings::keepOriginal()); });
    saver().setKeepOriginal(mnuKeepOriginal->isChecked());
    guard([&] { mnuReopenCams->setChecked(Settings::reopenCams()); });

    setWindowTitle(AppInfo::productName() + QStringLiteral(" by ") + AppInfo::companyName());
    m_saving->start();
    openPictureIndex();
    m_grid->start();

    m_list->reload();
    startEvents();
    startWebView();
    connect(m_list, &CamListPane::reloaded, this,
            [this] { m_events->setCameras(m_list->names()); });

    guard([&] {
        if (Settings::showHelp() == true)
            showHelp();
    });
}

void MainWindow::exitProgram()
{
    // Leaving by "Exit" skips the closing steps, but not the user's wish to
    // find the same cameras open next time.
    rememberOpenCams();
    m_exiting = true;
    if (m_exitHandler)
        m_exitHandler();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // "Exit" has ended the program already: none of the closing steps run.
    if (m_exiting) {
        event->accept();
        return;
    }
    rememberOpenCams();
    // Unload the other windows in this order; one that is not loaded is left alone.
    m_list->closeWindows();
    m_pictureWindow->closeWindow();
    unloadWindows({m_helpWindow.data(), m_about.data()});
    if (Skin::skinningSwitch())
        CallSkinSupport();
    event->accept();
    if (m_endProgramHandler)
        m_endProgramHandler();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateSight();
}

void MainWindow::updateSight()
{
    // A state change may come while the window is still being built.
    if (!m_wall)
        return;
    const bool minimised = isMinimized();
    const bool covered = minimised || !m_wall->isHidden();
    m_viewerInSight = !covered || m_pictureWindow->isFollowing();
    m_statusBar->setHeld(minimised);
    m_grid->setOutOfSight(covered);
    m_viewer->setOutOfSight(!m_viewerInSight);
    m_wall->setOutOfSight(minimised);
}

void MainWindow::rememberOpenCams()
{
    guard([&] {
        if (mnuReopenCams->isChecked())
            Settings::setOpenCams(m_grid->openNames());
    });
}

// ---- the engine -------------------------------------------------------------

void MainWindow::connectEngine()
{
    CameraEngine *e = m_engine;
    // Every camera decodes its pictures off this thread at the panels' size;
    // the selected one in full while the viewer or the picture window shows
    // it, and the panel's copy is made from those pixels. A panel nobody can
    // see gets only a structure check, its bytes decoded once it is exposed;
    // the wall decodes at its tiles' size itself. The saver decodes what it
    // saves on its own thread.
    e->setDecodeRule([this](const Camera &camera, bool) {
        const int index = camera.panel();
        if (index == m_selectedCam && m_viewerInSight)
            return PictureDecode::Full;
        return m_grid->isExposed(index) ? PictureDecode::Thumbnail : PictureDecode::StructureOnly;
    });

    connect(e, &CameraEngine::statusText, this, &MainWindow::setStatusText);
    connect(e, &CameraEngine::stopped, this, [this](int index) {
        if (index != m_selectedCam)
            return;
        m_selectedCam = -1;
        m_viewer->hideViewer();
    });
    saver().follow(e);
    connect(&saver(), &PictureSaver::pictureSaved, this, [this](const SaveReport &report) {
        guard([&] {
            // The panel shows the picture as saved, unless a newer one came meanwhile.
            m_grid->showSaved(report);
            if (m_selectedCam >= 0 && report.panel == m_selectedCam)
                setStatusText(report.statusText);
        });
    });
    connect(m_saving, &SavingController::statusText, this, &MainWindow::setStatusText);
    // The viewer shows the picture "Save Image" wrote.
    connect(m_saving, &SavingController::imageSaved, this, [this](const QImage &saved) {
        LockWindowUpdates(this, true);
        m_viewer->setPicture(saved);
        LockWindowUpdates(this, false);
    });
}

QString MainWindow::openCamsAtStart(const QStringList &names, bool all)
{
    QStringList remembered;
    if (mnuReopenCams->isChecked())
        guard([&] { remembered = Settings::openCams(); });
    const StartOpenings plan = StartOpenings::plan(m_list->names(), remembered, names, all);
    const QString text =
        StartOpenings::report(plan.unknown, m_grid->openAll(plan.wanted), PanelGrid::kPanelCount);
    if (!text.isEmpty())
        setStatusText(text);
    return text;
}

void MainWindow::showCameraInViewer(int index)
{
    guard([&] {
        if (index < 0 || index >= PanelGrid::kPanelCount)
            return;
        m_selectedCam = qint16(index);
        m_detection->selectionChanged();
        LockWindowUpdates(this, true);
        m_viewer->showCamera(index, m_grid->shownPicture(index));
    });
}

void MainWindow::cmdSave_Click()
{
    guard([&] {
        const Camera *camera = m_engine->camera(m_selectedCam);
        m_saving->saveImage(camera ? std::optional(camera->name()) : std::nullopt,
                            shownPicture(m_selectedCam), m_engine->notFoundPicture());
    });
}

void MainWindow::Command3_Click()
{
    guard([&] {
        m_pictureWindow->open(m_viewer->picture(), screen());
        // The picture window wants the selected camera's pictures even
        // where the viewer is out of sight, until a click closes it.
        connect(m_pictureWindow->window(), &PictureWindow::closedByClick, this,
                &MainWindow::updateSight, Qt::UniqueConnection);
        updateSight();
    });
}

void MainWindow::showHelp()
{
    // A help window loaded while Help.rtf was missing never shows; load it
    // again, the file may be there now.
    if (m_helpWindow && !m_helpWindow->hasHelpText())
        delete m_helpWindow.data();
    showLoaded(m_helpWindow, this);
}

// ---- the wall ---------------------------------------------------------------

void MainWindow::buildWall()
{
    m_wall = new WallView(centralWidget());
    m_wall->hide();
    // Per panel, what the wall shows; the stale mark changes with time alone,
    // so it is looked at each second while the wall shows.
    const auto feedCamera = [this](Camera *camera) { feedWall(camera->panel()); };
    connect(m_engine, &CameraEngine::statusChanged, this, feedCamera);
    connect(m_engine, &CameraEngine::healthChanged, this, feedCamera);
    connect(m_engine, &CameraEngine::changeJudged, this, feedCamera);
    connect(m_engine, &CameraEngine::stopped, this, &MainWindow::feedWall);
    m_wallStaleCheck = new QTimer(m_wall);
    m_wallStaleCheck->setInterval(1000);
    connect(m_wallStaleCheck, &QTimer::timeout, this, [this] {
        for (int i = 0; i < PanelGrid::kPanelCount; ++i)
            feedWall(i);
    });
    connect(m_wall, &WallView::tileClicked, this, [this](int index) {
        // Selected first: leaving the wall then has no older picture to
        // catch the viewer up on.
        showCameraInViewer(index);
        setWallShown(false);
    });
    connect(m_wall, &WallView::tileDoubleClicked, this, [this](int index) {
        showCameraInViewer(index);
        Command3_Click();
    });
    connect(m_wall, &WallView::closeRequested, this, [this] { setWallShown(false); });
}

void MainWindow::buildViewMenu()
{
    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    mnuWall = addEntry(
        view, "Wall", QStringLiteral("mnuWall"), [this](bool shown) { setWallShown(shown); },
        "Every open camera at once, tiled over the window; Escape returns", true);
    mnuWall->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    addEntry(
        view, "Show Changes", QStringLiteral("mnuShowChanges"),
        [this](bool shown) { m_detection->setShowChanges(shown); },
        "Tint the parts of the viewer's picture that change detection finds changed", true);
}

void MainWindow::feedWall(int index)
{
    guard([&] {
        const PanelStatus &p = m_engine->status(index);
        const Camera *camera = m_engine->camera(index);
        m_wall->setTile(index, {p.inUse, p.name, p.picture, camera && camera->isStale(), p.busy,
                                p.progress, camera && camera->inChange()});
    });
}

void MainWindow::setWallShown(bool shown)
{
    guard([&] {
        {
            const QSignalBlocker quiet(mnuWall);
            mnuWall->setChecked(shown);
        }
        if (shown)
            m_wallStaleCheck->start();
        else
            m_wallStaleCheck->stop();
        if (!shown) {
            m_wall->hide();
            updateSight();
            return;
        }
        for (int i = 0; i < PanelGrid::kPanelCount; ++i)
            feedWall(i);
        m_wall->raise();
        m_wall->show();
        m_wall->setFocus(Qt::ShortcutFocusReason);
        updateSight();
    });
}

bool MainWindow::wallShown() const
{
    return m_wall && m_wall->isVisible();
}

// ---- looking back -----------------------------------------------------------

void MainWindow::openPictureIndex()
{
    auto *index = new PictureIndex(PictureSaver::camDirectory(), this);
    if (const Result<bool> opened = index->open(); !opened) {
        setStatusText(
            tr("The index of saved pictures cannot be opened: %1").arg(opened.errorText()));
        delete index;
        return;
    }
    m_pictureIndex = index;
    m_pictureIndex->setKnownCameras(m_list->names());
    // Files added or removed while the program was not running: found on a
    // worker thread, never making the window wait.
    m_pictureIndex->startScan();
    // Each saved picture goes into the index on the writer's own thread; the
    // index is thread-safe and outlives the saver's thread (the saver goes first).
    saver().setWrittenHook([index = m_pictureIndex](const SaveReport &report) {
        index->add(report.path, report.picture.bytes().size(), report.camera);
    });
    // The keeper deletes on this thread; the rows go right after their files.
    connect(
        &keeper(), &RetentionKeeper::enforced, index,
        [index](const PictureRetention::Report &removal) { index->remove(removal.removedPaths); });
}

void MainWindow::showReview(int panel)
{
    if (!m_pictureIndex) {
        setStatusText(tr("There is no index of saved pictures to review."));
        return;
    }
    auto *review = new ReviewWindow(m_pictureIndex, PictureSaver::camDirectory(), this);
    review->setAttribute(Qt::WA_DeleteOnClose);
    if (const Camera *camera = m_engine->camera(panel);
        camera && !review->selectCamera(camera->name()))
        setStatusText(tr("No picture of %1 is saved yet.").arg(camera->name()));
    review->show();
}

// ---- events -----------------------------------------------------------------

void MainWindow::startEvents()
{
    // Every listed camera, open or not: a camera stopped for a while keeps its
    // entities in Home Assistant, and only one gone from the list loses them.
    if (!m_events->start(m_list->names()) && !m_events->problem().isEmpty())
        setStatusText(m_events->problem());
}

void MainWindow::showEvents()
{
    if (m_eventsDialog) {
        m_eventsDialog->activateWindow();
        return;
    }
    m_eventsDialog = new EventsDialog(this);
    connect(m_eventsDialog, &EventsDialog::eventsChosen, this, [this](bool stored) {
        guard([&] {
            if (!stored)
                setStatusText(tr("The events settings could not be stored."));
            startEvents();
            if (stored && !m_events->isRunning() && m_events->problem().isEmpty())
                setStatusText(tr("Events are off."));
        });
    });
    m_eventsDialog->show();
}

// ---- web view ---------------------------------------------------------------

void MainWindow::startWebView()
{
    // A fresh feed for a fresh start: the old one's connections go with it.
    delete m_webFeed;
    m_webFeed = nullptr;
    if (!m_web)
        m_web = std::make_unique<WebView>();
    m_web->stop();
    // The camera page's strip of saved pictures; without an index it says none.
    m_web->setPictureIndex(m_pictureIndex);
    // Cameras closed while nobody fed the board would linger on it.
    for (int id = 1; id <= CameraEngine::PanelCount; ++id)
        m_web->board().remove(id);
    if (!Settings::webView().on)
        return;
    const Result<QStringList> started = m_web->start();
    if (!started) {
        setStatusText(tr("Web view not started: %1").arg(started.errorText()));
        return;
    }
    m_webFeed = new QObject(this);
    CameraWebFeed::follow(*m_engine, *m_web, m_webFeed);
    setStatusText(started.value().join(QStringLiteral("; ")));
}

void MainWindow::showWebView()
{
    if (m_webDialog) {
        m_webDialog->activateWindow();
        return;
    }
    const QString fingerprint =
        m_web && m_web->isRunning() ? m_web->certificate().fingerprintText() : QString();
    m_webDialog = new WebViewDialog(fingerprint, this);
    connect(m_webDialog, &WebViewDialog::webViewChosen, this, [this](bool stored) {
        guard([&] {
            startWebView();
            if (!stored)
                setStatusText(tr("The web view settings could not be stored."));
            else if (!m_web->isRunning() && !Settings::webView().on)
                setStatusText(tr("The web view is off."));
        });
    });
    m_webDialog->show();
}
