#include "ViewerPane.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "AppInfo.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "DisplayText.h"
#include "NetworkTime.h"
#include "PaneSupport.h"
#include "PanelStatus.h"
#include "Twips.h"
#include "ValueLabel.h"
#include "ViewerZoom.h"
#include "WindowUpdateLock.h"
#include "ZoomImage.h"

namespace {
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
} // namespace

ViewerPane::ViewerPane(CameraEngine &engine, QWidget *parent)
    : QGroupBox(QStringLiteral("Viewer"), parent)
    , m_engine(engine)
    , m_networkTime(new NetworkTime(this))
{
    setObjectName(QStringLiteral("frmMain"));
    Picture1 = new QFrame(this);
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
    connect(HScroll1, &QScrollBar::valueChanged, this, &ViewerPane::HScroll1_Change);
    connect(VScroll2, &QScrollBar::valueChanged, this, &ViewerPane::VScroll2_Change);
    Command1 = makeButton(QStringLiteral("Command1"), QString(), QString(), m_picture1Inside);
    Command1->setFocusPolicy(Qt::NoFocus);

    buildDetails();

    connect(&m_engine, &CameraEngine::pictureArrived, this,
            [this](Camera *camera, const Picture &picture) {
                showArrival(camera->panel(), picture);
            });
    connect(&m_engine, &CameraEngine::fetchFailed, this,
            [this](Camera *camera, const Failure &failure) {
                showFailure(camera->panel(), failure);
            });
    connect(&m_engine, &CameraEngine::fetchStarted, this, [this](Camera *camera) {
        if (camera->panel() == m_selectedCam())
            emit fetchBusy(true);
    });
    connect(&m_engine, &CameraEngine::ticked, this,
            [this](Camera *camera) { followTick(camera->panel()); });
    connect(m_networkTime, &NetworkTime::timeTextChanged, lblTime, &QLabel::setText);
}

ViewerPane::~ViewerPane()
{
    delete m_networkTime;
}

void ViewerPane::buildDetails()
{
    const auto px = [this](const TwipsRect &rect) { return Twips::toPixels(rect, this); };
    frmDetails = new QGroupBox(QStringLiteral("Details"), this);
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
    connect(cmdSave, &QPushButton::clicked, this, &ViewerPane::saveClicked);
    connect(Command3, &QPushButton::clicked, this, &ViewerPane::screensaverClicked);
    connect(Slider1, &QScrollBar::valueChanged, this, &ViewerPane::Slider1_Change);

    lblTime = new ValueLabel(frmDetails);
    lblTime->setObjectName(QStringLiteral("lblTime"));
    lblTime->setGeometry(
        px({kCaptionLeft, kTimeTop, kValueLeft - kCaptionLeft + kValueWidth, kRowHeight}));
}

void ViewerPane::applyGeometry(const MainWindowGeometry &g)
{
    m_geometry = g;
    const auto px = [this](const TwipsRect &rect) { return Twips::toPixels(rect, this); };
    Picture1->setGeometry(px(g.Picture1));
    m_picture1Inside->setGeometry(Picture1->contentsRect());
    VScroll2->setGeometry(px(g.VScroll2));
    HScroll1->setGeometry(px(g.HScroll1));
    Command1->setGeometry(px(g.Command1));
    frmDetails->setGeometry(px(g.frmDetails));
    placeImage();
}

void ViewerPane::placeImage()
{
    imgMain->setGeometry(Twips::toPixels(m_image, this));
    // The picture lies under the viewport's scroll bars.
    imgMain->lower();
}

void ViewerPane::setSelection(std::function<int()> selectedCam)
{
    m_selectedCam = std::move(selectedCam);
}

void ViewerPane::showCamera(int index, const Picture &picture)
{
    m_viewerPicture = picture;
    show();
    frmDetails->show();
    // The full-resolution picture: the viewer zooms it, the panel's small
    // copy would turn blocky.
    const QImage full = *picture.full();
    imgMain->setPicture(full);
    sizeViewerFor(full.size());
    showLabels(index);
    lblNextRefresh->setText(nextRefreshLabel(index));
    m_networkTime->GetNetworkTime();
}

QString ViewerPane::nextRefreshLabel(int index) const
{
    const Camera *camera = m_engine.camera(index);
    return camera ? camera->nextRefreshLabel() : QString();
}

void ViewerPane::showArrival(int index, const Picture &picture)
{
    if (index != m_selectedCam())
        return;
    guarded(
        [this](const QString &text) { emit statusText(text); },
        [&] {
            // No window-update lock: releasing it repaints the whole window,
            // where only the viewer and its labels change; their repaints come
            // together after this handler anyway.
            showLabels(index);
            m_viewerPicture = picture;
            // The camera decodes the selected camera's pictures in full: shown at once.
            if (const std::shared_ptr<const QImage> held = picture.heldFull()) {
                showDecoded(index, picture, *held);
                return;
            }
            // Selected while its picture was on the way: decoded here, off the thread.
            offThread<std::shared_ptr<const QImage>>(
                this, [picture] { return picture.full(); },
                [this, index, picture](const std::shared_ptr<const QImage> &full) {
                    guarded([this](const QString &text) { emit statusText(text); },
                            [&] { showDecoded(index, picture, *full); });
                });
        });
}

void ViewerPane::showDecoded(int index, const Picture &picture, const QImage &full)
{
    // The viewer, while the camera is still selected and this its latest picture.
    if (index != m_selectedCam() || !m_viewerPicture.isSameAs(picture))
        return;
    // The fetch has ended either way; a picture that did not decode leaves
    // the last one in place.
    emit fetchBusy(false);
    if (full.isNull())
        return;
    showPicture(full);
    emit pictureShown(full);
}

void ViewerPane::showFailure(int index, const Failure &failure)
{
    if (index != m_selectedCam())
        return;
    // A body that did not decode ended the fetch as a picture would have.
    if (failure.kind == Failure::Kind::Decode)
        emit fetchBusy(false);
    if (failure.kind == Failure::Kind::Decode || failure.kind == Failure::Kind::NotAPicture)
        showLabels(index);
}

void ViewerPane::followTick(int index)
{
    // Only the countdown label changes: no lock, which would repaint the whole window.
    if (index != m_selectedCam())
        return;
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                lblNextRefresh->setText(nextRefreshLabel(index));
                m_networkTime->GetNetworkTime();
            });
}

void ViewerPane::showPicture(const QImage &picture)
{
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                imgMain->setPicture(picture);
                // Panel 0 counts as selected from the start, so its pictures
                // reach the viewer before anybody has picked a camera. The first
                // of them sizes the viewer as a selection would; squeezed into
                // the image's small design-time box it would look broken. Later
                // pictures keep the size the viewer has, until the camera is
                // selected again.
                if (viewNaturalWidth == 0 && viewNaturalHeight == 0 && !picture.isNull())
                    sizeViewerFor(picture.size());
            });
}

void ViewerPane::setPicture(const QImage &picture)
{
    imgMain->setPicture(picture);
}

QImage ViewerPane::picture() const
{
    return imgMain->picture();
}

void ViewerPane::showLabels(int index)
{
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                const PanelStatus &p = m_engine.status(index);
                lblName->setText(p.name);
                lblRefresh->setText(p.refresh);
                lblLastChanged->setText(DisplayText::escapeControls(p.lastChange));
                lblLastRefreshed->setText(p.lastRecorded);
            });
}

void ViewerPane::hideViewer()
{
    hide();
    frmDetails->hide();
}

int ViewerPane::zoom() const
{
    return Slider1->value();
}

void ViewerPane::sizeViewerFor(const QSize &natural)
{
    m_image.width = 10;
    m_image.height = 10;
    viewNaturalWidth = ViewerZoom::NaturalTwips(natural.width(), Twips::dpiX(this));
    viewNaturalHeight = ViewerZoom::NaturalTwips(natural.height(), Twips::dpiY(this));
    ApplyZoom();
}

void ViewerPane::ApplyZoom()
{
    LockWindowUpdates(window(), true);
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
    // The bars are set quietly: the picture's place comes from the result. A
    // bar that goes off goes back to 0 with the picture, so that scrolling,
    // once it is on again, starts where the picture is, not where the thumb
    // was left.
    const auto setBar = [](QScrollBar *bar, const ViewerZoom::ScrollBarState &state) {
        const QSignalBlocker quiet(bar);
        bar->setMaximum(state.maximum);
        bar->setValue(state.enabled ? state.value : 0);
        bar->setEnabled(state.enabled);
    };
    setBar(HScroll1, out.hscroll1);
    setBar(VScroll2, out.vscroll2);
    placeImage();
    LockWindowUpdates(window(), false);
}

void ViewerPane::Slider1_Change(int value)
{
    showZoomFactor(value);
    guarded([this](const QString &text) { emit statusText(text); }, [&] { ApplyZoom(); });
}

void ViewerPane::showZoomFactor(int zoom)
{
    m_zoomFactor->setText(QString::number(zoom) + QStringLiteral("\u00d7"));
}

void ViewerPane::HScroll1_Change(int value)
{
    m_image.left = float(-value);
    placeImage();
}

void ViewerPane::VScroll2_Change(int value)
{
    m_image.top = float(-value);
    placeImage();
}
