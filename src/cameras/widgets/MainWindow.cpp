#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "AboutWindow.h"
#include "AppInfo.h"
#include "BusyAnimation.h"
#include "CamListFile.h"
#include "CamListPane.h"
#include "CameraEngine.h"
#include "CameraGridPane.h"
#include "DisplayText.h"
#include "HelpWindow.h"
#include "NetworkTime.h"
#include "PaneSupport.h"
#include "PictureSaver.h"
#include "PictureWindowController.h"
#include "SavingController.h"
#include "Settings.h"
#include "Skin.h"
#include "SkinLabelArray.h"
#include "StartOpenings.h"
#include "StockPictures.h"
#include "StretchImage.h"
#include "Twips.h"
#include "ValueLabel.h"
#include "ViewerPane.h"
#include "WindowUpdateLock.h"
#include "WindowUtils.h"

namespace {
// Title bar, menu bar and borders, which the layout arithmetic takes off the
// outer height. Our menu bar and frame lie outside the client area, so the
// outer height handed to it is the client area plus the status bar plus this.
constexpr float kFrameReserve = 800;

// A menu entry named for the program and the tests.
QAction *addEntry(QMenu *menu, const QString &text, const QString &name, const QString &tip = {})
{
    QAction *entry = menu->addAction(text);
    entry->setObjectName(name);
    if (!tip.isEmpty())
        entry->setToolTip(tip);
    return entry;
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_exitHandler([] { QCoreApplication::exit(0); })
    , m_endProgramHandler([] { QCoreApplication::quit(); })
{
    setObjectName(QStringLiteral("Form1"));
    m_busyAnimation = new BusyAnimation(this);
    m_engine = new CameraEngine(this);
    m_saving = new SavingController(this);
    m_pictureWindow = new PictureWindowController(this);
    m_healthTimer = new QTimer(this);
    m_healthTimer->setInterval(1000);
    connect(m_healthTimer, &QTimer::timeout, this, &MainWindow::checkHealth);
    buildControls();
    buildMenus();
    applyGeometry();
    connectEngine();
}

MainWindow::~MainWindow()
{
    // The engine goes first, while this window is still whole: closing its
    // sockets may still signal it.
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
            [this](const QString &name) { guard([&] { openListedCam(name); }); });
    connect(m_list, &CamListPane::stopAllRequested, this,
            [this] { guard([&] { m_engine->stopAll(); }); });
    connect(m_list, &CamListPane::autoSaveClicked, m_saving, &SavingController::autoSaveClicked);

    m_grid = new CameraGridPane(*m_engine, client);
    m_grid->setSelection([this] { return int(m_selectedCam); });
    connect(m_list, &CamListPane::camEdited, m_grid, &CameraGridPane::renameCam);
    connect(m_grid, &CameraGridPane::statusText, this, &MainWindow::setStatusText);
    connect(m_grid, &CameraGridPane::pictureClicked, this, &MainWindow::showCameraInViewer);

    m_viewer = new ViewerPane(*m_engine, client);
    m_viewer->setSelection([this] { return int(m_selectedCam); });
    connect(m_viewer, &ViewerPane::panelCopyDecoded, m_grid, &CameraGridPane::showSelectedCopy);
    connect(m_viewer, &ViewerPane::pictureShown, m_pictureWindow,
            &PictureWindowController::setPicture);
    connect(m_viewer, &ViewerPane::fetchEnded, m_pictureWindow,
            [this] { m_pictureWindow->setBusy(false); });
    connect(m_viewer, &ViewerPane::statusText, this, &MainWindow::setStatusText);
    connect(m_viewer, &ViewerPane::saveClicked, this, &MainWindow::cmdSave_Click);
    connect(m_viewer, &ViewerPane::screensaverClicked, this, &MainWindow::Command3_Click);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    status->setFixedHeight(Twips::toPixels(kStatusBarHeight, Twips::dpiY(this)));
    m_statusPanel = new ValueLabel(status);
    m_statusPanel->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    m_statusPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status->addWidget(m_statusPanel, 1);
    setStatusBar(status);

    // The hidden pictures: picrefresh animates, blank is the empty picture,
    // notFound stands for a reply that is not a picture.
    picrefresh = new StretchImage(client);
    picrefresh->setObjectName(QStringLiteral("picrefresh"));
    picrefresh->setAnimation(m_busyAnimation);
    picrefresh->hide();
    blank = new StretchImage(client);
    blank->setObjectName(QStringLiteral("blank"));
    blank->hide();
    notFound = new StretchImage(client);
    notFound->setObjectName(QStringLiteral("notFound"));
    notFound->setPixmap(QPixmap::fromImage(StockPictures::notFound()));
    notFound->hide();
}

void MainWindow::buildMenus()
{
    const auto addMenu = [this](const QString &title, const QString &name) {
        QMenu *menu = menuBar()->addMenu(title);
        menu->setObjectName(name);
        return menu;
    };
    QMenu *mnuFile = addMenu(QStringLiteral("&File"), QStringLiteral("mnuFile"));
    connect(addEntry(mnuFile, QStringLiteral("Exit"), QStringLiteral("mnuFileItem_0")),
            &QAction::triggered, this, &MainWindow::exitProgram);

    QMenu *mnuCams = addMenu(QStringLiteral("&Cams"), QStringLiteral("mnuCams"));
    const char *camItems[] = {"Add a Cam", "Delete Selected Cam", "Edit Selected Cam",
                              "Start Selected Cam", "Stop All Cams"};
    for (int i = 0; i < 5; ++i)
        connect(addEntry(mnuCams, QString::fromLatin1(camItems[i]),
                         QStringLiteral("mnuCamItem_") + QString::number(i)),
                &QAction::triggered, this, [this, i] { m_list->runCommand(i); });
    mnuCams->addSeparator();
    mnuKeepOriginal = addEntry(
        mnuCams, QStringLiteral("Keep the camera's own pictures"),
        QStringLiteral("mnuKeepOriginal"),
        QStringLiteral("Save a camera's JPEG exactly as it came instead of encoding it again"));
    mnuKeepOriginal->setCheckable(true);
    connect(mnuKeepOriginal, &QAction::triggered, m_saving, &SavingController::keepOriginalClicked);
    mnuReopenCams = addEntry(
        mnuCams, QStringLiteral("Reopen cameras at start"), QStringLiteral("mnuReopenCams"),
        QStringLiteral("Open the cameras that were open when the window last closed"));
    mnuReopenCams->setCheckable(true);
    connect(mnuReopenCams, &QAction::triggered, this, [this](bool ticked) {
        guard([&] {
            if (!Settings::setReopenCams(ticked))
                setStatusText(tr("The \"Reopen cameras at start\" setting could not be stored; "
                                 "the next start will not remember it."));
        });
    });
    QAction *limits = addEntry(
        mnuCams, QStringLiteral("Picture Limits..."), QStringLiteral("mnuPictureLimits"),
        QStringLiteral("How long and how much of the saved pictures to keep, and the free space "
                       "autosave leaves on the disk"));
    connect(limits, &QAction::triggered, this, [this] { guard([&] { m_saving->showLimits(); }); });

    QMenu *mnuHelp = addMenu(QStringLiteral("&Help"), QStringLiteral("mnuHelp"));
    connect(addEntry(mnuHelp, QStringLiteral("View Help"), QStringLiteral("mnuHelpItem_0")),
            &QAction::triggered, this, [this] { guard([&] { showHelp(); }); });
    QMenu *mnuAbout = addMenu(QStringLiteral("&About"), QStringLiteral("mnuAbout"));
    connect(
        addEntry(mnuAbout, QStringLiteral("About this software"), QStringLiteral("mnuAboutItem")),
        &QAction::triggered, this, [this] { guard([&] { showAbout(); }); });
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

void MainWindow::setStatusText(const QString &text)
{
    // Camera text reaches the status bar; control characters are shown, not obeyed.
    m_statusPanel->setText(DisplayText::escapeControls(text));
}

QString MainWindow::statusText() const
{
    return m_statusPanel->text();
}

void MainWindow::setExitHandler(std::function<void()> handler)
{
    m_exitHandler = std::move(handler);
}

void MainWindow::setEndProgramHandler(std::function<void()> handler)
{
    m_endProgramHandler = std::move(handler);
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

    // The first panel spans the window: it stretches with the status bar, so a
    // fixed width that would keep the window from shrinking is not needed.
    m_statusPanel->resize(width(), m_statusPanel->height());

    guard([&] { m_list->setAutoSaveTicked(Settings::autoSave()); });
    saver().setAutoSave(m_list->autoSaveTicked());
    guard([&] { mnuKeepOriginal->setChecked(Settings::keepOriginal()); });
    saver().setKeepOriginal(mnuKeepOriginal->isChecked());
    guard([&] { mnuReopenCams->setChecked(Settings::reopenCams()); });

    setWindowTitle(AppInfo::productName() + QStringLiteral(" by ") + AppInfo::companyName());
    m_saving->start();
    m_healthTimer->start();

    LockWindowUpdates(this, true);
    m_grid->setBusyAnimation(picrefresh->animation());
    LockWindowUpdates(this, false);

    m_list->reload();

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
    for (QWidget *window :
         {static_cast<QWidget *>(m_helpWindow.data()), static_cast<QWidget *>(m_about.data())}) {
        if (!window)
            continue;
        window->close();
        delete window;
    }
    if (Skin::skinningSwitch())
        CallSkinSupport();
    event->accept();
    if (m_endProgramHandler)
        m_endProgramHandler();
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
    // Panel pictures are decoded at the size the panel shows them; the
    // selected camera's in full, as the viewer shows it, and so is a new
    // picture about to be saved.
    e->setThumbnailSize(m_grid->pictureSize());
    e->setNotFoundPicture(Picture::fromImage(StockPictures::notFound()));
    // Two dozen cameras on one refresh answer together, and their decodes back
    // to back would keep clicks waiting: the engine only checks a picture, and
    // the panel's copy and the viewer's are decoded off this thread. Only a
    // picture about to be saved is decoded in full at once, for the save.
    e->setDecodeRule(
        [this](int, bool isNew) { return saver().decodeFor(isNew, PictureDecode::StructureOnly); });

    connect(e, &CameraEngine::statusText, this, &MainWindow::setStatusText);
    connect(e, &CameraEngine::fetchStarted, this, [this](int index) {
        if (index == m_selectedCam)
            m_pictureWindow->setBusy(true);
    });
    connect(e, &CameraEngine::fetchFailed, this, [this](int index, const Failure &failure) {
        // Like a download, a failure owns the shared status bar until the next
        // message: a refused picture leaves the old one shown, and without a
        // word the camera would look frozen.
        setStatusText(QStringLiteral("%1: %2").arg(m_engine->status(index).name, failure.text));
    });
    connect(e, &CameraEngine::stopped, this, &MainWindow::panelStopped);
    // The saver follows after this window, so a saved picture replaces the
    // arrived one, never the other way round.
    saver().follow(e);
    connect(&saver(), &PictureSaver::pictureSaved, this, &MainWindow::showSaved);
    connect(m_saving, &SavingController::statusText, this, &MainWindow::setStatusText);
}

void MainWindow::showSaved(const SaveReport &report)
{
    guard([&] {
        if (report.index < 0 || report.index >= PanelGrid::kPanelCount)
            return;
        // The panel shows the picture as saved.
        if (!report.picture.isNull())
            m_grid->showPicture(report.index, report.picture);
        if (report.index == m_selectedCam)
            setStatusText(report.statusText);
    });
}

void MainWindow::panelStopped(int index, bool wasInUse)
{
    if (wasInUse && m_camsInUse > 0)
        --m_camsInUse;
    if (index == m_selectedCam) {
        m_selectedCam = -1;
        m_viewer->hideViewer();
    }
}

MainWindow::OpenOutcome MainWindow::openListedCam(const QString &name)
{
    // Asked first, so a camera shown already is never said to have found no room.
    if (m_grid->showsCaption(name))
        return OpenOutcome::AlreadyOpen;
    if (m_camsInUse >= PanelGrid::kPanelCount)
        return OpenOutcome::PanelsFull;
    return OpenCamPanel(name) < 0 ? OpenOutcome::NotOpened : OpenOutcome::Opened;
}

QString MainWindow::openCamsAtStart(const QStringList &names, bool all)
{
    QStringList remembered;
    if (mnuReopenCams->isChecked())
        guard([&] { remembered = Settings::openCams(); });
    const StartOpenings plan = StartOpenings::plan(m_list->names(), remembered, names, all);
    QStringList leftOut;
    for (const QString &name : plan.wanted) {
        OpenOutcome outcome = OpenOutcome::NotOpened;
        guard([&] { outcome = openListedCam(name); });
        if (outcome == OpenOutcome::PanelsFull && !leftOut.contains(name))
            leftOut << name;
    }
    const QString text = StartOpenings::report(plan.unknown, leftOut, PanelGrid::kPanelCount);
    if (!text.isEmpty())
        setStatusText(text);
    return text;
}

int MainWindow::OpenCamPanel(const QString &name)
{
    const int opened = m_grid->openCam(name);
    if (opened >= 0)
        ++m_camsInUse;
    return opened;
}

void MainWindow::showCameraInViewer(int index)
{
    guard([&] {
        if (index < 0 || index >= PanelGrid::kPanelCount)
            return;
        m_selectedCam = qint16(index);
        LockWindowUpdates(this, true);
        m_viewer->showCamera(index, m_grid->shownPicture(index));
    });
}

void MainWindow::cmdSave_Click()
{
    guard([&] {
        if (m_selectedCam < 0 || m_selectedCam >= PanelGrid::kPanelCount) {
            setStatusText(QStringLiteral("Save Image: no camera is selected"));
            return;
        }
        // The picture the selected panel shows, whether new or not; the
        // blank and the not-found pictures are no pictures of the camera.
        const Picture shown = shownPicture(m_selectedCam);
        if (shown.isNull() || shown.isSameAs(m_engine->notFoundPicture())) {
            setStatusText(QStringLiteral("Save Image: the selected camera shows no picture"));
            return;
        }
        const SaveImageResult result =
            PictureSaver::savePicture(m_engine->status(m_selectedCam).name, shown, saver().now());
        // The viewer shows the picture that was saved.
        if (result.saved) {
            LockWindowUpdates(this, true);
            m_viewer->setPicture(*result.picture.full());
            LockWindowUpdates(this, false);
        }
        setStatusText(result.statusText);
    });
}

void MainWindow::Command3_Click()
{
    guard([&] { m_pictureWindow->open(m_viewer->picture(), screen()); });
}

void MainWindow::showHelp()
{
    // A help window loaded while Help.rtf was missing never shows; load it
    // again, the file may be there now.
    if (m_helpWindow && !m_helpWindow->hasHelpText())
        delete m_helpWindow.data();
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow(this);
    m_helpWindow->show();
    m_helpWindow->raise();
}

void MainWindow::showAbout()
{
    if (!m_about)
        m_about = new AboutWindow(this);
    m_about->show();
    m_about->raise();
}
