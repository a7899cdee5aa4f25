#include "MainWindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>

#include "AboutWindow.h"
#include "AddCamDialog.h"
#include "AppInfo.h"
#include "BusyAnimation.h"
#include "CamListFile.h"
#include "CameraEngine.h"
#include "CameraPanelWidget.h"
#include "CertificatePins.h"
#include "DisplayText.h"
#include "EditCamDialog.h"
#include "HelpWindow.h"
#include "HttpExchange.h"
#include "MessageBoxes.h"
#include "NetworkTime.h"
#include "NoticeWindow.h"
#include "Picture.h"
#include "PictureLimitsDialog.h"
#include "PictureSaver.h"
#include "PictureWindow.h"
#include "RetentionKeeper.h"
#include "Settings.h"
#include "Skin.h"
#include "SkinLabelArray.h"
#include "StockPictures.h"
#include "StretchImage.h"
#include "Twips.h"
#include "ValueLabel.h"
#include "ViewerZoom.h"
#include "WindowUpdateLock.h"
#include "WindowUtils.h"
#include "ZoomImage.h"

namespace {
// Runs one handler to its end; nothing it throws may reach the event loop.
template <typename Handler>
void guarded(MainWindow *window, Handler &&handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        window->setStatusText(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        window->setStatusText(QObject::tr("An unexpected error stopped the last command."));
    }
}

// Runs work on the shared thread pool and hands its result to done on
// context's thread, unless context has gone by then.
template <typename T, typename Work, typename Done>
void offThread(QObject *context, Work work, Done done)
{
    auto promise = std::make_shared<QPromise<T>>();
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, done = std::move(done)] {
                         if (watcher->future().resultCount() > 0)
                             done(watcher->future().result());
                         watcher->deleteLater();
                     });
    watcher->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)]() mutable {
        promise->addResult(work());
        promise->finish();
    });
}

// Title bar, menu bar and borders, which the layout arithmetic takes off the
// outer height. Our menu bar and frame lie outside the client area, so the
// outer height handed to it is the client area plus the status bar plus this.
constexpr float kFrameReserve = 800;

// The detail frame's inside: captions in one column, their values beside them.
constexpr float kCaptionLeft = 120;
constexpr float kCaptionWidth = 1455;
constexpr float kValueLeft = 1620;
constexpr float kValueWidth = 6600;
constexpr float kRowHeight = 255;
constexpr float kFirstRowTop = 300;
constexpr float kRowStep = 315;
constexpr float kZoomTop = kFirstRowTop + 5 * kRowStep + 60;
constexpr float kZoomBarWidth = 2400;
constexpr float kButtonsTop = kZoomTop + kRowStep + 120;
constexpr float kButtonHeight = 435;
constexpr float kTimeTop = kButtonsTop + kButtonHeight + 180;

QPushButton *makeButton(const QString &name, const QString &caption, const QString &tip,
                        QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    return button;
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
    m_networkTime = new NetworkTime(this);
    m_saver = new PictureSaver(this);
    m_keeper = new RetentionKeeper(m_saver, PictureSaver::camDirectory(), this);
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
    // The engine and the time socket go first, while this window is still
    // whole: closing their sockets may still signal it.
    delete m_keeper;
    delete m_saver;
    delete m_engine;
    delete m_networkTime;
    if (WindowUpdateLock::mainWindow() == this)
        WindowUpdateLock::detach();
    // The picture window is a window of its own; it goes with the main window.
    if (m_pictureWindow)
        delete m_pictureWindow.data();
}

QRect MainWindow::px(const TwipsRect &rect) const
{
    return Twips::toPixels(rect, this);
}

int MainWindow::pxLength(float twips) const
{
    return Twips::toPixels(twips, Twips::dpiY(this));
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

    buildFrame1(client);
    buildCams(client);
    buildViewer(client);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    status->setFixedHeight(pxLength(kStatusBarHeight));
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

void MainWindow::buildFrame1(QWidget *client)
{
    Frame1 = new QGroupBox(QStringLiteral("Controls"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    cmdAdd = makeButton(QStringLiteral("cmdAdd"), QStringLiteral("Add"),
                        QStringLiteral("Add a Cam"), Frame1);
    cmdRemove = makeButton(QStringLiteral("cmdRemove"), QStringLiteral("Del"),
                           QStringLiteral("Remove Selected Cam"), Frame1);
    cmdEdit = makeButton(QStringLiteral("cmdEdit"), QStringLiteral("Edit"),
                         QStringLiteral("Edit Selected Cam"), Frame1);
    cmdStartCam = makeButton(QStringLiteral("cmdStartCam"), QStringLiteral("Start Cam"),
                             QStringLiteral("Start Selected Cam"), Frame1);
    cmdStopAll = makeButton(QStringLiteral("cmdStopAll"), QStringLiteral("Stop All"),
                            QStringLiteral("Stop All Cams"), Frame1);
    chkSave = new QCheckBox(QStringLiteral("AutoSave New Pictures"), Frame1);
    chkSave->setObjectName(QStringLiteral("chkSave"));
    chkSave->setToolTip(
        tr("saved to %1")
            .arg(QDir::toNativeSeparators(AppInfo::programFile(QStringLiteral("cam")))));
    Label1 = new QLabel(QStringLiteral("Webcam Listing"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    List1 = new QListWidget(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(cmdAdd, &QPushButton::clicked, this, &MainWindow::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &MainWindow::cmdRemove_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &MainWindow::cmdEdit_Click);
    connect(cmdStartCam, &QPushButton::clicked, this, &MainWindow::cmdStartCam_Click);
    connect(cmdStopAll, &QPushButton::clicked, this, &MainWindow::cmdStopAll_Click);
    // A double-click anywhere on the list, below its last item too, opens the
    // selected camera; the item signal alone would miss the empty area.
    List1->viewport()->installEventFilter(this);
    connect(chkSave, &QCheckBox::clicked, this, &MainWindow::chkSave_Click);
}

void MainWindow::buildCams(QWidget *client)
{
    frmCams = new QGroupBox(QStringLiteral("Webcams"), client);
    frmCams->setObjectName(QStringLiteral("frmCams"));
    picWindowOuter = new QWidget(frmCams);
    picWindowOuter->setObjectName(QStringLiteral("picWindowOuter"));
    picWindowOuter->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    picWindowOuter->setAutoFillBackground(true);
    picWindowInner = new QWidget(picWindowOuter);
    picWindowInner->setObjectName(QStringLiteral("picWindowInner"));
    picWindowInner->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    picWindowInner->setAutoFillBackground(true);

    VScroll1 = new QScrollBar(Qt::Vertical, frmCams);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setRange(kPanelScroll.minimum, kPanelScroll.maximum);
    VScroll1->setSingleStep(kPanelScroll.singleStep);
    VScroll1->setPageStep(kPanelScroll.pageStep);
    VScroll1->setValue(0);
    // The panels move when the thumb is let go, not while it is dragged.
    VScroll1->setTracking(false);
    connect(VScroll1, &QScrollBar::valueChanged, this, &MainWindow::VScroll1_Change);

    for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
        auto *panel = new CameraPanelWidget(i, picWindowInner);
        Frame[size_t(i)] = panel;
        connect(panel, &CameraPanelWidget::pictureClicked, this, &MainWindow::showCameraInViewer);
        connect(panel, &CameraPanelWidget::refreshClicked, m_engine, &CameraEngine::refreshNow);
        connect(panel, &CameraPanelWidget::stopClicked, m_engine, &CameraEngine::stop);
        panel->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(panel, &QWidget::customContextMenuRequested, this,
                [this, i, panel](const QPoint &pos) { showPanelMenu(i, panel->mapToGlobal(pos)); });
    }
}

void MainWindow::buildViewer(QWidget *client)
{
    frmMain = new QGroupBox(QStringLiteral("Viewer"), client);
    frmMain->setObjectName(QStringLiteral("frmMain"));
    Picture1 = new QFrame(frmMain);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    Picture1->setFrameShape(QFrame::Panel);
    Picture1->setFrameShadow(QFrame::Sunken);
    // A two-pixel border: the 60 twips the scroll bars leave at the far edges.
    Picture1->setLineWidth(2);
    Picture1->setAutoFillBackground(true);
    // The inside of the border, which clips the zoomed picture.
    m_picture1Inside = new QWidget(Picture1);
    m_picture1Inside->setObjectName(QStringLiteral("Picture1_inside"));

    imgMain = new ZoomImage(m_picture1Inside);
    imgMain->setObjectName(QStringLiteral("imgMain"));

    VScroll2 = new QScrollBar(Qt::Vertical, m_picture1Inside);
    VScroll2->setObjectName(QStringLiteral("VScroll2"));
    HScroll1 = new QScrollBar(Qt::Horizontal, m_picture1Inside);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    for (QScrollBar *bar : {VScroll2, HScroll1}) {
        bar->setRange(0, 0);
        bar->setSingleStep(ViewerZoom::kScrollSingleStep);
        bar->setPageStep(ViewerZoom::kScrollPageStep);
    }
    connect(HScroll1, &QScrollBar::valueChanged, this, &MainWindow::HScroll1_Change);
    connect(VScroll2, &QScrollBar::valueChanged, this, &MainWindow::VScroll2_Change);
    Command1 = makeButton(QStringLiteral("Command1"), QString(), QString(), m_picture1Inside);
    Command1->setFocusPolicy(Qt::NoFocus);

    buildDetails();
}

void MainWindow::buildDetails()
{
    frmDetails = new QGroupBox(QStringLiteral("Details"), frmMain);
    frmDetails->setObjectName(QStringLiteral("frmDetails"));

    struct Row
    {
        const char *caption;
        ValueLabel **value;
        const char *name;
    };
    const Row rows[] = {
        {"Name:", &lblName, "lblName"},
        {"Refresh Rate:", &lblRefresh, "lblRefresh"},
        {"Last Changed:", &lblLastChanged, "lblLastChanged"},
        {"Last Refreshed:", &lblLastRefreshed, "lblLastRefreshed"},
        {"Next Refresh:", &lblNextRefresh, "lblNextRefresh"},
    };
    float top = kFirstRowTop;
    int n = 0;
    for (const Row &row : rows) {
        auto *caption = new QLabel(QString::fromLatin1(row.caption), frmDetails);
        caption->setObjectName(QStringLiteral("lblCaption_") + QString::number(n++));
        caption->setGeometry(px({kCaptionLeft, top, kCaptionWidth, kRowHeight}));
        auto *value = new ValueLabel(frmDetails);
        value->setObjectName(QString::fromLatin1(row.name));
        value->setGeometry(px({kValueLeft, top, kValueWidth, kRowHeight}));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        *row.value = value;
        top += kRowStep;
    }

    auto *zoomCaption = new QLabel(QStringLiteral("Zoom:"), frmDetails);
    zoomCaption->setObjectName(QStringLiteral("lblCaption_zoom"));
    zoomCaption->setGeometry(px({kCaptionLeft, kZoomTop, kCaptionWidth, kRowHeight}));
    Slider1 = new QScrollBar(Qt::Horizontal, frmDetails);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setRange(ViewerZoom::kMinZoom, ViewerZoom::kMaxZoom);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(1);
    Slider1->setValue(1);
    Slider1->setToolTip(QStringLiteral("Zoom: 1 to 5 times"));
    Slider1->setGeometry(px({kValueLeft, kZoomTop, kZoomBarWidth, kRowHeight}));
    m_zoomFactor = new ValueLabel(frmDetails);
    m_zoomFactor->setObjectName(QStringLiteral("zoomFactor"));
    m_zoomFactor->setGeometry(
        px({kValueLeft + kZoomBarWidth + 120, kZoomTop, kCaptionWidth, kRowHeight}));
    showZoomFactor(Slider1->value());

    cmdSave =
        makeButton(QStringLiteral("cmdSave"), QStringLiteral("Save Image"),
                   tr("save image in your %1 folder")
                       .arg(QDir::toNativeSeparators(AppInfo::programFile(QStringLiteral("cam")))),
                   frmDetails);
    cmdSave->setGeometry(px({kCaptionLeft, kButtonsTop, kCaptionWidth, kButtonHeight}));
    Command3 = makeButton(
        QStringLiteral("Command3"), QStringLiteral("Screensaver"),
        QStringLiteral("full screen, auto refreshing view of current cam.  click to close."),
        frmDetails);
    Command3->setGeometry(px({kValueLeft, kButtonsTop, kCaptionWidth, kButtonHeight}));
    connect(cmdSave, &QPushButton::clicked, this, &MainWindow::cmdSave_Click);
    connect(Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(Slider1, &QScrollBar::valueChanged, this, &MainWindow::Slider1_Change);

    lblTime = new ValueLabel(frmDetails);
    lblTime->setObjectName(QStringLiteral("lblTime"));
    lblTime->setGeometry(
        px({kCaptionLeft, kTimeTop, kValueLeft - kCaptionLeft + kValueWidth, kRowHeight}));
}

void MainWindow::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction *exitItem = mnuFile->addAction(QStringLiteral("Exit"));
    exitItem->setObjectName(QStringLiteral("mnuFileItem_0"));
    connect(exitItem, &QAction::triggered, this, [this] { mnuFileItem_Click(0); });

    mnuCams = menuBar()->addMenu(QStringLiteral("&Cams"));
    mnuCams->setObjectName(QStringLiteral("mnuCams"));
    const char *camItems[] = {"Add a Cam", "Delete Selected Cam", "Edit Selected Cam",
                              "Start Selected Cam", "Stop All Cams"};
    for (int i = 0; i < 5; ++i) {
        QAction *item = mnuCams->addAction(QString::fromLatin1(camItems[i]));
        item->setObjectName(QStringLiteral("mnuCamItem_") + QString::number(i));
        connect(item, &QAction::triggered, this, [this, i] { mnuCamItem_Click(i); });
    }
    mnuCams->addSeparator();
    mnuKeepOriginal = mnuCams->addAction(QStringLiteral("Keep the camera's own pictures"));
    mnuKeepOriginal->setObjectName(QStringLiteral("mnuKeepOriginal"));
    mnuKeepOriginal->setCheckable(true);
    mnuKeepOriginal->setToolTip(
        QStringLiteral("Save a camera's JPEG exactly as it came instead of encoding it again"));
    connect(mnuKeepOriginal, &QAction::triggered, this, &MainWindow::keepOriginalToggled);
    mnuReopenCams = mnuCams->addAction(QStringLiteral("Reopen cameras at start"));
    mnuReopenCams->setObjectName(QStringLiteral("mnuReopenCams"));
    mnuReopenCams->setCheckable(true);
    mnuReopenCams->setToolTip(
        QStringLiteral("Open the cameras that were open when the window last closed"));
    connect(mnuReopenCams, &QAction::triggered, this, &MainWindow::reopenCamsToggled);
    mnuPictureLimits = mnuCams->addAction(QStringLiteral("Picture Limits..."));
    mnuPictureLimits->setObjectName(QStringLiteral("mnuPictureLimits"));
    mnuPictureLimits->setToolTip(
        QStringLiteral("How long and how much of the saved pictures to keep, and the free space "
                       "autosave leaves on the disk"));
    connect(mnuPictureLimits, &QAction::triggered, this,
            [this] { guarded(this, [&] { showPictureLimits(); }); });

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction *helpItem = mnuHelp->addAction(QStringLiteral("View Help"));
    helpItem->setObjectName(QStringLiteral("mnuHelpItem_0"));
    connect(helpItem, &QAction::triggered, this, [this] { guarded(this, [&] { showHelp(); }); });

    mnuAbout = menuBar()->addMenu(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    QAction *aboutItem = mnuAbout->addAction(QStringLiteral("About this software"));
    aboutItem->setObjectName(QStringLiteral("mnuAboutItem"));
    connect(aboutItem, &QAction::triggered, this, [this] { guarded(this, [&] { showAbout(); }); });
}

void MainWindow::applyGeometry()
{
    const MainWindowGeometry &g = m_geometry;
    Frame1->setGeometry(px(g.Frame1));
    cmdAdd->setGeometry(px(g.cmdAdd));
    cmdRemove->setGeometry(px(g.cmdRemove));
    cmdEdit->setGeometry(px(g.cmdEdit));
    cmdStartCam->setGeometry(px(g.cmdStartCam));
    cmdStopAll->setGeometry(px(g.cmdStopAll));
    chkSave->setGeometry(px(g.chkSave));
    Label1->setGeometry(px(g.Label1));
    List1->setGeometry(px(g.List1));

    frmCams->setGeometry(px(g.frmCams));
    picWindowOuter->setGeometry(px(g.picWindowOuter));
    TwipsRect inner = g.picWindowInner;
    inner.top = PanelAreaTop(VScroll1->value());
    picWindowInner->setGeometry(px(inner));
    VScroll1->setGeometry(px(g.VScroll1));

    frmMain->setGeometry(px(g.frmMain));
    Picture1->setGeometry(px(g.Picture1));
    m_picture1Inside->setGeometry(Picture1->contentsRect());
    VScroll2->setGeometry(px(g.VScroll2));
    HScroll1->setGeometry(px(g.HScroll1));
    Command1->setGeometry(px(g.Command1));
    frmDetails->setGeometry(px(g.frmDetails));
    placeImage();
}

void MainWindow::placeImage()
{
    imgMain->setGeometry(px(m_image));
    // The picture lies under the viewport's scroll bars.
    imgMain->lower();
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
    else if (List1 && watched == List1->viewport() && event->type() == QEvent::MouseButtonDblClick)
        List1_DblClick();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::VScroll1_Change(int value)
{
    QRect inner = picWindowInner->geometry();
    inner.moveTop(pxLength(PanelAreaTop(value)));
    picWindowInner->setGeometry(inner);
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
    WindowUpdateLock::attach(this,
                             [this] { return m_pictureWindow && m_pictureWindow->isVisible(); });

    StartSkinSupport();
    WindowUtils::SetWindowIcon(this, QStringLiteral("AAA"), true);
    if (Skin::skinningSwitch()) {
        // The detail frame's captions go to SkinLabel1, the "Controls"
        // frame's to SkinLabel2; labels elsewhere get no skin label.
        auto *first = new SkinLabelArray(QStringLiteral("SkinLabel1"), frmDetails, this);
        auto *second = new SkinLabelArray(QStringLiteral("SkinLabel2"), Frame1, this);
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

    guarded(this, [&] { chkSave->setChecked(Settings::autoSave()); });
    m_saver->setAutoSave(chkSave->isChecked());
    guarded(this, [&] { mnuKeepOriginal->setChecked(Settings::keepOriginal()); });
    m_saver->setKeepOriginal(mnuKeepOriginal->isChecked());
    guarded(this, [&] { mnuReopenCams->setChecked(Settings::reopenCams()); });

    setWindowTitle(AppInfo::productName() + QStringLiteral(" by ") + AppInfo::companyName());

    const QString camDirectory = AppInfo::programFile(QStringLiteral("cam"));
    if (!WindowUtils::DirExists(camDirectory) && !QDir().mkpath(camDirectory))
        setStatusText(tr("The folder %1 for saved pictures could not be made; pictures cannot "
                         "be saved.")
                          .arg(QDir::toNativeSeparators(camDirectory)));

    // The limits hold from the start: a disk filled while the program was
    // closed is found now, not a minute later.
    m_keeper->setDirectory(camDirectory);
    guarded(this, [&] { m_keeper->setLimits(RetentionKeeper::storedLimits()); });
    guarded(this, [&] { m_keeper->start(); });
    m_healthTimer->start();

    LockWindowUpdates(this, true);
    for (CameraPanelWidget *panel : Frame)
        panel->setBusyAnimation(picrefresh->animation());
    LockWindowUpdates(this, false);

    ReloadCamList();

    guarded(this, [&] {
        if (Settings::showHelp() == true)
            showHelp();
    });
}

void MainWindow::mnuFileItem_Click(int index)
{
    if (index == 0)
        exitProgram();
}

void MainWindow::mnuCamItem_Click(int index)
{
    QPushButton *const buttons[] = {cmdAdd, cmdRemove, cmdEdit, cmdStartCam, cmdStopAll};
    if (index >= 0 && index < 5)
        buttons[index]->click();
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
    const QList<QWidget *> windows = {m_addDialog.data(),     m_editDialog.data(), m_notice.data(),
                                      m_pictureWindow.data(), m_helpWindow.data(), m_about.data()};
    for (QWidget *window : windows) {
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

bool MainWindow::IsCamSelected() const
{
    for (int i = 0; i < List1->count(); ++i) {
        if (List1->item(i)->isSelected())
            return true;
    }
    return false;
}

QString MainWindow::currentListText() const
{
    const QListWidgetItem *item = List1->currentItem();
    return item ? item->text() : QString();
}

void MainWindow::ReloadCamList()
{
    List1->clear();
    const CamListResult<QStringList> list = CamListFile::LoadCamList();
    if (!list.ok()) {
        showFileError(list.errorText());
        return;
    }
    LockWindowUpdates(this, true);
    List1->addItems(list.value());
    LockWindowUpdates(this, false);
}

void MainWindow::showFileError(const QString &error)
{
    setStatusText(error);
}

void MainWindow::cmdAdd_Click()
{
    if (!m_addDialog) {
        m_addDialog = new AddCamDialog(this);
        connect(m_addDialog, &CamEntryDialog::camListChanged, this, &MainWindow::ReloadCamList);
    }
    m_addDialog->show();
    m_addDialog->raise();
    m_addDialog->activateWindow();
}

void MainWindow::cmdEdit_Click()
{
    if (!IsCamSelected()) {
        showNotice();
        return;
    }
    const QString selected = currentListText();
    // A dialog that is open already keeps the entry it loaded; only its caption follows.
    if (!m_editDialog) {
        m_editDialog = new EditCamDialog(selected, this);
        connect(m_editDialog, &CamEntryDialog::camListChanged, this, &MainWindow::ReloadCamList);
        connect(m_editDialog, &EditCamDialog::camEdited, this, &MainWindow::renamePanels);
    }
    m_editDialog->setWindowTitle(selected);
    m_editDialog->show();
    m_editDialog->raise();
    m_editDialog->activateWindow();
}

void MainWindow::cmdRemove_Click()
{
    if (!IsCamSelected()) {
        showNotice();
        return;
    }
    const CamListResult<std::optional<CamEntry>> found =
        CamListFile::FindCamEntry(currentListText());
    if (!found.ok()) {
        showFileError(found.errorText());
        return;
    }
    if (!found.value())
        return;
    const CamEntry entry = *found.value();
    const auto answer = MessageBoxes::ask(
        this, QStringLiteral("Confirm Delete"),
        QStringLiteral("Are you sure you want to delete ") + entry.name + QLatin1Char('?'),
        MessageBoxes::Ok | MessageBoxes::Cancel, MessageBoxes::NoIcon);
    if (answer != MessageBoxes::Ok)
        return;
    // A panel showing the camera keeps running: only the file and the list change.
    const CamListResult<bool> removed = CamListFile::RemoveCamEntry(entry);
    if (!removed.ok())
        showFileError(removed.errorText());
    ReloadCamList();
}

void MainWindow::chkSave_Click()
{
    // The option takes effect at once, stored or not; a store that failed is
    // said, so the next start's different state does not come as a surprise.
    m_saver->setAutoSave(chkSave->isChecked());
    guarded(this, [&] {
        if (!Settings::setAutoSave(chkSave->isChecked()))
            setStatusText(tr("The AutoSave setting could not be stored; the next start "
                             "will not remember it."));
    });
}

void MainWindow::keepOriginalToggled()
{
    // Like AutoSave: in effect at once, and a store that failed is said.
    m_saver->setKeepOriginal(mnuKeepOriginal->isChecked());
    guarded(this, [&] {
        if (!Settings::setKeepOriginal(mnuKeepOriginal->isChecked()))
            setStatusText(tr("The \"Keep the camera's own pictures\" setting could not be "
                             "stored; the next start will not remember it."));
    });
}

void MainWindow::showPictureLimits()
{
    if (m_pictureLimits) {
        m_pictureLimits->activateWindow();
        return;
    }
    m_pictureLimits = new PictureLimitsDialog(m_keeper->limits(), this);
    connect(m_pictureLimits, &PictureLimitsDialog::limitsChosen, this,
            [this](const PictureRetention::Limits &limits, bool stored) {
                guarded(this, [&] {
                    m_keeper->setLimits(limits);
                    // Tighter limits hold at once, not at the next minute.
                    m_keeper->enforceNow();
                    m_keeper->checkFreeSpace();
                    if (!stored)
                        setStatusText(tr("The picture limits could not be stored; the next start "
                                         "will not remember them."));
                });
            });
    m_pictureLimits->show();
}

void MainWindow::reopenCamsToggled()
{
    guarded(this, [&] {
        if (!Settings::setReopenCams(mnuReopenCams->isChecked()))
            setStatusText(tr("The \"Reopen cameras at start\" setting could not be stored; the "
                             "next start will not remember it."));
    });
}

void MainWindow::rememberOpenCams()
{
    guarded(this, [&] {
        if (!mnuReopenCams->isChecked())
            return;
        QStringList names;
        for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
            const PanelStatus &p = m_engine->status(i);
            if (p.inUse)
                names << p.name;
        }
        Settings::setOpenCams(names);
    });
}

// ---- the engine -------------------------------------------------------------

void MainWindow::connectEngine()
{
    CameraEngine *e = m_engine;
    // Panel pictures are decoded at the size the panel shows them; the
    // selected camera's in full, as the viewer shows it, and so is a new
    // picture about to be saved.
    e->setThumbnailSize(Frame[0]->pictureSize());
    e->setNotFoundPicture(Picture::fromImage(StockPictures::notFound()));
    // Two dozen cameras on one refresh answer together, and their decodes back
    // to back would keep clicks waiting: the engine only checks a picture, and
    // the panel's copy and the viewer's are decoded off this thread
    // (showPanelPicture, showArrivedPicture). Only a picture about to be saved
    // is decoded in full at once, for the save.
    e->setDecodeRule([this](int, bool isNew) {
        return m_saver->decodeFor(isNew, PictureDecode::StructureOnly);
    });

    connect(e, &CameraEngine::statusChanged, this, &MainWindow::syncPanel);
    connect(e, &CameraEngine::statusText, this, &MainWindow::setStatusText);
    connect(e, &CameraEngine::ticked, this, &MainWindow::followTick);
    connect(e, &CameraEngine::fetchStarted, this, [this](int index) {
        if (index == m_selectedCam && m_pictureWindowOpen && m_pictureWindow)
            m_pictureWindow->setBusy(true);
    });
    connect(e, &CameraEngine::pictureArrived, this, &MainWindow::showArrivedPicture);
    connect(e, &CameraEngine::fetchFailed, this, &MainWindow::showFetchFailure);
    connect(e, &CameraEngine::stopped, this, &MainWindow::panelStopped);
    connect(m_networkTime, &NetworkTime::timeTextChanged, lblTime, &QLabel::setText);
    // The saver follows after this window, so a saved picture replaces the
    // arrived one, never the other way round.
    m_saver->follow(e);
    connect(m_saver, &PictureSaver::pictureSaved, this, &MainWindow::showSaved);
    connect(m_saver, &PictureSaver::saveFailed, this,
            [this](const SaveReport &report) { setStatusText(report.statusText); });

    // The mark goes with the next picture, not a second later; a stopped panel
    // loses it at once too.
    connect(e, &CameraEngine::pictureArrived, this, [this](int index) { updateHealthMark(index); });
    connect(e, &CameraEngine::stopped, this, [this](int index) { updateHealthMark(index); });
    connect(m_keeper, &RetentionKeeper::pauseChanged, this,
            [this](bool paused, const QString &text) {
                setStatusText(paused ? tr("Autosave paused: %1; it goes on by itself when there "
                                          "is room")
                                           .arg(text)
                                     : tr("Autosave goes on: %1").arg(text));
            });
    connect(m_keeper, &RetentionKeeper::enforced, this,
            [this](const PictureRetention::Report &report) {
                if (!report.failures.isEmpty())
                    setStatusText(
                        tr("An old picture could not be deleted: %1").arg(report.failures.first()));
            });
}

void MainWindow::checkHealth()
{
    for (int i = 0; i < PanelGrid::kPanelCount; ++i)
        updateHealthMark(i);
}

void MainWindow::updateHealthMark(int index)
{
    guarded(this, [&] {
        CameraPanelWidget *panel = Frame[size_t(index)];
        if (!m_engine->isStale(index)) {
            if (panel->isStale())
                panel->setStale(false);
            return;
        }
        const CameraHealth &health = m_engine->health(index);
        const qint64 now = m_engine->nowMs();
        QString tip =
            health.hasPicture()
                ? tr("No picture for %1").arg(CameraHealth::spanText(now - health.lastPictureMs()))
                : tr("No picture yet, %1 after opening")
                      .arg(CameraHealth::spanText(now - health.startedMs()));
        if (!health.lastFailure().isEmpty())
            tip += tr("\nLast failure: %1").arg(health.lastFailure());
        panel->setStale(true, tip);
    });
}

Picture MainWindow::shownPicture(int index) const
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return {};
    return m_shown[size_t(index)];
}

void MainWindow::syncPanel(int index)
{
    guarded(this, [&] {
        const PanelStatus &p = m_engine->status(index);
        CameraPanelWidget *w = Frame[size_t(index)];
        w->setTitle(p.caption);
        w->setBusy(p.busy);
        w->setProgress(p.progress);
        w->setVisible(p.inUse);
        if (!p.picture.isSameAs(m_fromEngine[size_t(index)])) {
            m_fromEngine[size_t(index)] = p.picture;
            showPanelPicture(index, p.picture);
        }
    });
}

void MainWindow::showPanelPicture(int index, const Picture &picture)
{
    m_shown[size_t(index)] = picture;
    CameraPanelWidget *w = Frame[size_t(index)];
    // The engine says nothing about failed fetches; the panel's tip tells why
    // its picture is not coming, and the next picture clears it.
    if (!picture.isSameAs(m_engine->notFoundPicture()))
        w->setToolTip(QString());
    const QSize size = w->pictureSize();
    const QImage cached = picture.cachedThumbnail();
    // Made already, drawn by us or blank: nothing to decode.
    if (cached.size() == size || picture.bytes().isEmpty()) {
        w->setPicture(QPixmap::fromImage(cached.size() == size ? cached : picture.thumbnail(size)));
        return;
    }
    // The selected camera's arrival decodes it in full for the viewer and
    // makes the panel's copy from those pixels (showArrivedPicture).
    if (index == m_selectedCam && picture.isSameAs(m_engine->status(index).picture))
        return;
    offThread<QImage>(
        this, [picture, size] { return picture.thumbnail(size); },
        [this, index, picture](const QImage &thumbnail) {
            // A newer picture may have come meanwhile; one that does not decode
            // leaves the last good one in place, and says so.
            if (!m_shown[size_t(index)].isSameAs(picture))
                return;
            if (thumbnail.isNull())
                m_engine->reportUndecodable(index, picture);
            else
                Frame[size_t(index)]->setPicture(QPixmap::fromImage(thumbnail));
        });
}

void MainWindow::showArrivedPicture(int index, const Picture &picture)
{
    if (index != m_selectedCam)
        return;
    guarded(this, [&] {
        // No window-update lock: releasing it repaints the whole window, where
        // only the viewer and its labels change; their repaints come together
        // after this handler anyway.
        showViewerLabels(index);
        m_viewerPicture = picture;
        const QSize panelSize = Frame[size_t(index)]->pictureSize();
        // Decoded in full already for a save: shown at once.
        if (const std::shared_ptr<const QImage> held = picture.heldFull()) {
            showSelectedPicture(index, picture, *held, picture.thumbnail(panelSize));
            return;
        }
        offThread<std::pair<std::shared_ptr<const QImage>, QImage>>(
            this,
            [picture, panelSize] {
                std::shared_ptr<const QImage> full = picture.full();
                return std::make_pair(full, picture.thumbnail(panelSize));
            },
            [this, index, picture](const std::pair<std::shared_ptr<const QImage>, QImage> &made) {
                guarded(this,
                        [&] { showSelectedPicture(index, picture, *made.first, made.second); });
            });
    });
}

void MainWindow::showSelectedPicture(int index, const Picture &picture, const QImage &full,
                                     const QImage &thumbnail)
{
    // The panel's copy, unless a newer picture or a saved one replaced it.
    if (m_shown[size_t(index)].isSameAs(picture) && !thumbnail.isNull())
        Frame[size_t(index)]->setPicture(QPixmap::fromImage(thumbnail));
    if (full.isNull() && thumbnail.isNull())
        m_engine->reportUndecodable(index, picture);
    // The viewer, while the camera is still selected and this its latest picture.
    if (index != m_selectedCam || !m_viewerPicture.isSameAs(picture))
        return;
    // The fetch has ended either way; a picture that did not decode leaves
    // the last one in place.
    if (m_pictureWindowOpen && m_pictureWindow)
        m_pictureWindow->setBusy(false);
    if (full.isNull())
        return;
    showViewerPicture(full);
    if (m_pictureWindowOpen && m_pictureWindow)
        m_pictureWindow->setPicture(full);
}

void MainWindow::showFetchFailure(int index, const Failure &failure)
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return;
    QString tip = DisplayText::escapeControls(failure.text);
    if (!m_engine->status(index).refusedCertificateSha256.isEmpty())
        tip += tr("\nRight-click the panel to trust this certificate.");
    Frame[size_t(index)]->setToolTip(tip);
    // Like a download, a failure owns the shared status bar until the next
    // message: a refused picture leaves the old one shown, and without a word
    // the camera would look frozen.
    setStatusText(QStringLiteral("%1: %2").arg(m_engine->status(index).name, failure.text));
    if (index != m_selectedCam)
        return;
    // A body that did not decode ended the fetch as a picture would have.
    if (failure.kind == Failure::Kind::Decode && m_pictureWindowOpen && m_pictureWindow)
        m_pictureWindow->setBusy(false);
    if (failure.kind == Failure::Kind::Decode || failure.kind == Failure::Kind::NotAPicture)
        showViewerLabels(index);
}

void MainWindow::showPanelMenu(int index, const QPoint &globalPos)
{
    QMenu menu(this);
    QAction *trust = menu.addAction(tr("Trust This Certificate..."));
    trust->setObjectName(QStringLiteral("mnuTrustCertificate"));
    trust->setEnabled(!m_engine->status(index).refusedCertificateSha256.isEmpty());
    if (menu.exec(globalPos) == trust)
        guarded(this, [&] { trustRefusedCertificate(index); });
}

bool MainWindow::trustRefusedCertificate(int index)
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return false;
    const PanelStatus &status = m_engine->status(index);
    // Copies: the engine may report another fetch while the question is open.
    const QByteArray sha256 = status.refusedCertificateSha256;
    const QString hostPort = status.refusedCertificateHost;
    if (sha256.isEmpty() || hostPort.isEmpty())
        return false;
    const QString shownHost = DisplayText::escapeControls(hostPort);
    const QString fingerprint = HttpExchange::fingerprintText(sha256);
    const MessageBoxes::Button answer = MessageBoxes::ask(
        this,
        {tr("Trust Certificate"),
         tr("The camera at %1 showed a certificate that cannot be verified.\n\n"
            "SHA-256 fingerprint:\n%2\n\n"
            "Trust only if this is the fingerprint your camera shows. Tessaly will then "
            "accept this one certificate for %1, and refuse any other.")
             .arg(shownHost, fingerprint),
         MessageBoxes::Yes | MessageBoxes::No, MessageBoxes::Warning,
         status.lastFailure ? DisplayText::escapeControls(status.lastFailure->text) : QString()});
    if (answer != MessageBoxes::Yes)
        return false;
    if (!CertificatePins::trust(hostPort, sha256)) {
        setStatusText(tr("The certificate of %1 could not be stored as trusted; the settings "
                         "file cannot be written.")
                          .arg(shownHost));
        return false;
    }
    setStatusText(tr("The certificate of %1 is trusted from now on.").arg(shownHost));
    if (m_engine->status(index).inUse)
        m_engine->refreshNow(index);
    return true;
}

void MainWindow::showSaved(const SaveReport &report)
{
    guarded(this, [&] {
        if (report.index < 0 || report.index >= PanelGrid::kPanelCount)
            return;
        // The panel shows the picture as saved.
        if (!report.picture.isNull())
            showPanelPicture(report.index, report.picture);
        if (report.index == m_selectedCam)
            setStatusText(report.statusText);
    });
}

void MainWindow::followTick(int index)
{
    // Only the countdown label changes: no lock, which would repaint the whole window.
    if (index != m_selectedCam)
        return;
    guarded(this, [&] {
        lblNextRefresh->setText(m_engine->nextRefreshLabel(index));
        requestNetworkTime();
    });
}

void MainWindow::panelStopped(int index, bool wasInUse)
{
    if (wasInUse && m_camsInUse > 0)
        --m_camsInUse;
    if (index == m_selectedCam) {
        m_selectedCam = -1;
        hideViewer();
    }
}

void MainWindow::cmdStartCam_Click()
{
    if (IsCamSelected())
        OpenSelectedCam();
    else
        showNotice();
}

void MainWindow::cmdStopAll_Click()
{
    guarded(this, [&] { m_engine->stopAll(); });
}

void MainWindow::List1_DblClick()
{
    OpenSelectedCam();
}

void MainWindow::OpenSelectedCam()
{
    guarded(this, [&] { openListedCam(currentListText()); });
}

MainWindow::OpenOutcome MainWindow::openListedCam(const QString &name)
{
    // Every frame counts, hidden ones too: a camera named like an unused
    // panel's caption does not open while a frame carries that caption. Asked
    // first, so a camera shown already is never said to have found no room.
    for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
        if (m_engine->status(i).caption == name)
            return OpenOutcome::AlreadyOpen;
    }
    if (m_camsInUse >= PanelGrid::kPanelCount)
        return OpenOutcome::PanelsFull;
    return OpenCamPanel(name) < 0 ? OpenOutcome::NotOpened : OpenOutcome::Opened;
}

QString MainWindow::openCamsAtStart(const QStringList &names, bool all)
{
    QStringList listed;
    for (int i = 0; i < List1->count(); ++i)
        listed << List1->item(i)->text();

    QStringList asked;
    if (mnuReopenCams->isChecked())
        guarded(this, [&] { asked = Settings::openCams(); });
    asked += names;
    QStringList wanted = asked;
    // Named cameras open in the order of the list, as --open-all opens them.
    wanted.erase(std::remove_if(wanted.begin(), wanted.end(),
                                [&](const QString &name) { return names.contains(name); }),
                 wanted.end());
    for (const QString &name : listed) {
        if (all || names.contains(name))
            wanted << name;
    }

    QStringList unknown;
    for (const QString &name : asked) {
        if (!listed.contains(name) && !unknown.contains(name))
            unknown << name;
    }
    QStringList leftOut;
    for (const QString &name : wanted) {
        if (!listed.contains(name))
            continue;
        OpenOutcome outcome = OpenOutcome::NotOpened;
        guarded(this, [&] { outcome = openListedCam(name); });
        if (outcome == OpenOutcome::PanelsFull && !leftOut.contains(name))
            leftOut << name;
    }

    const auto quoted = [](const QStringList &list) {
        QStringList out;
        for (const QString &name : list)
            out << QLatin1Char('"') + name + QLatin1Char('"');
        return out.join(QStringLiteral(", "));
    };
    QStringList said;
    if (!unknown.isEmpty())
        said << tr("Not in the camera list, so not opened: %1.").arg(quoted(unknown));
    if (!leftOut.isEmpty())
        said << tr("All %1 panels are in use; %2 more %3 did not open: %4.")
                    .arg(PanelGrid::kPanelCount)
                    .arg(leftOut.size())
                    .arg(leftOut.size() == 1 ? tr("camera") : tr("cameras"), quoted(leftOut));
    const QString text = said.join(QLatin1Char(' '));
    if (!text.isEmpty())
        setStatusText(text);
    return text;
}

int MainWindow::OpenCamPanel(const QString &name)
{
    int opened = -1;
    guarded(this, [&] {
        if (name.isEmpty())
            return;
        const CamListResult<std::optional<CamEntry>> found = CamListFile::FindCamEntry(name);
        if (!found.ok()) {
            showFileError(found.errorText());
            return;
        }
        if (!found.value())
            return;
        const CamEntry &entry = *found.value();
        const int i = m_engine->open(entry.name, entry.address, entry.refresh);
        if (i < 0)
            return;
        ++m_camsInUse;
        opened = i;
    });
    return opened;
}

void MainWindow::renamePanels(const QString &oldName, const QString &name, const QString &url,
                              const QString &refresh)
{
    guarded(this, [&] {
        // Every panel showing the camera changes, not only the first.
        for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
            if (m_engine->status(i).caption != oldName)
                continue;
            m_engine->setCamera(i, name, url, refresh);
        }
    });
}

// ---- the viewer -------------------------------------------------------------

void MainWindow::showCameraInViewer(int index)
{
    guarded(this, [&] {
        if (index < 0 || index >= PanelGrid::kPanelCount)
            return;
        m_selectedCam = qint16(index);
        m_viewerPicture = m_shown[size_t(index)];
        LockWindowUpdates(this, true);
        frmMain->show();
        frmDetails->show();
        // The full-resolution picture: the viewer zooms it, the panel's small
        // copy would turn blocky.
        const QImage full = *m_shown[size_t(index)].full();
        imgMain->setPicture(full);
        sizeViewerFor(full.size());
        showViewerLabels(index);
        lblNextRefresh->setText(m_engine->nextRefreshLabel(index));
        requestNetworkTime();
    });
}

void MainWindow::sizeViewerFor(const QSize &natural)
{
    m_image.width = 10;
    m_image.height = 10;
    viewNaturalWidth = ViewerZoom::NaturalTwips(natural.width(), Twips::dpiX(this));
    viewNaturalHeight = ViewerZoom::NaturalTwips(natural.height(), Twips::dpiY(this));
    ApplyZoom();
}

void MainWindow::ApplyZoom()
{
    LockWindowUpdates(this, true);
    ViewerZoom::ZoomInput in;
    in.zoom = Slider1->value();
    in.viewNaturalWidth = viewNaturalWidth;
    in.viewNaturalHeight = viewNaturalHeight;
    in.picture1Width = m_geometry.Picture1.width;
    in.picture1Height = m_geometry.Picture1.height;
    in.vscroll2Width = m_geometry.VScroll2.width;
    in.hscroll1Height = m_geometry.HScroll1.height;
    const auto barState = [](const QScrollBar *bar) {
        return ViewerZoom::ScrollBarState{std::int16_t(bar->maximum()), std::int16_t(bar->value()),
                                          bar->isEnabled()};
    };
    in.hscroll1 = barState(HScroll1);
    in.vscroll2 = barState(VScroll2);
    in.imageLeft = m_image.left;
    in.imageTop = m_image.top;
    in.imageWidth = m_image.width;
    in.imageHeight = m_image.height;

    const ViewerZoom::ZoomResult out = ViewerZoom::ApplyZoom(in);
    m_image = {out.imageLeft, out.imageTop, out.imageWidth, out.imageHeight};
    // The bars are set quietly: the picture's place comes from the result.
    const auto setBar = [](QScrollBar *bar, const ViewerZoom::ScrollBarState &state) {
        const QSignalBlocker quiet(bar);
        bar->setMaximum(state.maximum);
        bar->setValue(state.value);
        bar->setEnabled(state.enabled);
    };
    setBar(HScroll1, out.hscroll1);
    setBar(VScroll2, out.vscroll2);
    placeImage();
    LockWindowUpdates(this, false);
}

void MainWindow::Slider1_Change(int value)
{
    showZoomFactor(value);
    guarded(this, [&] { ApplyZoom(); });
}

void MainWindow::showZoomFactor(int zoom)
{
    m_zoomFactor->setText(QString::number(zoom) + QStringLiteral("\u00d7"));
}

void MainWindow::HScroll1_Change(int value)
{
    m_image.left = float(-value);
    placeImage();
}

void MainWindow::VScroll2_Change(int value)
{
    m_image.top = float(-value);
    placeImage();
}

void MainWindow::showViewerPicture(const QImage &full)
{
    guarded(this, [&] {
        imgMain->setPicture(full);
        // Panel 0 counts as selected from the start, so its pictures reach the
        // viewer before anybody has picked a camera. The first of them sizes
        // the viewer as a selection would; squeezed into the image's small
        // design-time box it would look broken. Later pictures keep the size
        // the viewer has, until the camera is selected again.
        if (viewNaturalWidth == 0 && viewNaturalHeight == 0 && !full.isNull())
            sizeViewerFor(full.size());
    });
}

void MainWindow::showViewerLabels(int index)
{
    guarded(this, [&] {
        const PanelStatus &p = m_engine->status(index);
        lblName->setText(p.name);
        lblRefresh->setText(p.refresh);
        lblLastChanged->setText(DisplayText::escapeControls(p.lastChange));
        lblLastRefreshed->setText(p.lastRecorded);
    });
}

void MainWindow::hideViewer()
{
    frmMain->hide();
    frmDetails->hide();
}

bool MainWindow::autoSaveTicked() const
{
    return chkSave->isChecked();
}

void MainWindow::cmdSave_Click()
{
    guarded(this, [&] {
        if (m_selectedCam < 0 || m_selectedCam >= PanelGrid::kPanelCount) {
            setStatusText(QStringLiteral("Save Image: no camera is selected"));
            return;
        }
        // The picture the selected panel shows, whether new or not; the blank
        // and the not-found pictures are no pictures of the camera.
        const Picture shown = shownPicture(m_selectedCam);
        if (shown.isNull() || shown.isSameAs(m_engine->notFoundPicture())) {
            setStatusText(QStringLiteral("Save Image: the selected camera shows no picture"));
            return;
        }
        const SaveImageResult result =
            PictureSaver::savePicture(m_engine->status(m_selectedCam).name, shown, m_saver->now());
        if (result.saved) {
            // The viewer shows the picture that was saved.
            LockWindowUpdates(this, true);
            imgMain->setPicture(*result.picture.full());
            LockWindowUpdates(this, false);
        }
        setStatusText(result.statusText);
    });
}

void MainWindow::Command3_Click()
{
    guarded(this, [&] {
        m_pictureWindowOpen = true;
        if (m_pictureWindow) {
            m_pictureWindow->setPicture(imgMain->picture());
            m_pictureWindow->raise();
            return;
        }
        // Opening switches the screen saver off, loads the window with
        // imgMain's picture and shows it over the whole screen.
        m_pictureWindow = PictureWindow::open(imgMain->picture(), nullptr, [](bool active) {
            return WindowUtils::SetScreenSaverActive(active);
        });
        // Over the screen this window is on, also where no window manager
        // carries out the full-screen request.
        if (const QScreen *s = screen())
            m_pictureWindow->setGeometry(s->geometry());
        connect(m_pictureWindow, &PictureWindow::closedByClick, this,
                [this] { m_pictureWindowOpen = false; });
    });
}

void MainWindow::showNotice()
{
    if (!m_notice)
        m_notice = new NoticeWindow(this);
    m_notice->show();
    m_notice->raise();
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

void MainWindow::requestNetworkTime()
{
    m_networkTime->GetNetworkTime();
}
