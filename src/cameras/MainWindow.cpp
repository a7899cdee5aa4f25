#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>

#include "AppInfo.h"
#include "BusyAnimation.h"
#include "CameraPanelWidget.h"
#include "StockPictures.h"
#include "StretchImage.h"
#include "Twips.h"
#include "ValueLabel.h"
#include "ViewerZoom.h"
#include "ZoomImage.h"

namespace {
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
    buildControls();
    buildMenus();
    applyGeometry();
}

MainWindow::~MainWindow() = default;

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
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    client->installEventFilter(this);

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
    chkSave->setToolTip(QStringLiteral("saved to /cam/ subdirectory under pellin.exe"));
    Label1 = new QLabel(QStringLiteral("Webcam Listing"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    List1 = new QListWidget(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
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
        panel->setBusyAnimation(m_busyAnimation);
        Frame[size_t(i)] = panel;
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
    Picture1->setAutoFillBackground(true);

    imgMain = new ZoomImage(Picture1);
    imgMain->setObjectName(QStringLiteral("imgMain"));

    VScroll2 = new QScrollBar(Qt::Vertical, Picture1);
    VScroll2->setObjectName(QStringLiteral("VScroll2"));
    HScroll1 = new QScrollBar(Qt::Horizontal, Picture1);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    for (QScrollBar *bar : {VScroll2, HScroll1}) {
        bar->setRange(0, 0);
        bar->setSingleStep(ViewerZoom::kScrollSingleStep);
        bar->setPageStep(ViewerZoom::kScrollPageStep);
    }
    Command1 = makeButton(QStringLiteral("Command1"), QString(), QString(), Picture1);
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
    Slider1->setGeometry(px({kValueLeft, kZoomTop, 2400, kRowHeight}));

    cmdSave = makeButton(QStringLiteral("cmdSave"), QStringLiteral("Save Image"),
                         QStringLiteral("save image in you /cam/ folder"), frmDetails);
    cmdSave->setGeometry(px({kCaptionLeft, kButtonsTop, kCaptionWidth, kButtonHeight}));
    Command3 = makeButton(
        QStringLiteral("Command3"), QStringLiteral("Screensaver"),
        QStringLiteral("full screen, auto refreshing view of current cam.  click to close."),
        frmDetails);
    Command3->setGeometry(px({kValueLeft, kButtonsTop, kCaptionWidth, kButtonHeight}));

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

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction *helpItem = mnuHelp->addAction(QStringLiteral("View Help"));
    helpItem->setObjectName(QStringLiteral("mnuHelpItem_0"));

    mnuAbout = menuBar()->addMenu(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    QAction *aboutItem = mnuAbout->addAction(QStringLiteral("About this software"));
    aboutItem->setObjectName(QStringLiteral("mnuAboutItem"));
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
    VScroll2->setGeometry(px(g.VScroll2));
    HScroll1->setGeometry(px(g.HScroll1));
    Command1->setGeometry(px(g.Command1));
    frmDetails->setGeometry(px(g.frmDetails));
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

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The client area is resized by the window's own layout after the menu and
    // status bars have taken their share: that is the size the columns fill.
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        layoutFromClientArea();
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
    m_statusPanel->setText(text);
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
    // Maximise: the window takes the screen's working area, and the columns
    // are laid out for it here, before the window is first shown.
    setWindowState(windowState() | Qt::WindowMaximized);
    if (const QScreen *s = screen())
        resize(s->availableGeometry().size());
    if (layout())
        layout()->activate();
    layoutFromClientArea();

    m_statusPanel->setMinimumWidth(0);
    m_statusPanel->resize(width(), m_statusPanel->height());

    setWindowTitle(AppInfo::productName() + QStringLiteral(" by ") + AppInfo::companyName());
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
    m_exiting = true;
    if (m_exitHandler)
        m_exitHandler();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_exiting) {
        event->accept();
        return;
    }
    QMainWindow::closeEvent(event);
    if (m_endProgramHandler)
        m_endProgramHandler();
}
