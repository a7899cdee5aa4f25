#include "ViewerPane.h"

#include "SceneChangeDetector.h"

#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "AppInfo.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "DisplayText.h"
#include "NetworkTime.h"
#include "PaneSupport.h"
#include "PanelStatus.h"
#include "Settings.h"
#include "Twips.h"
#include "ValueLabel.h"
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
constexpr float kZoomFactorWidth = 840;
constexpr float kFitWidth = 1200;
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
    buildViewport();
    buildDetails();

    connect(
        &m_engine, &CameraEngine::pictureArrived, this,
        [this](Camera *camera, const Picture &picture) { showArrival(camera->panel(), picture); });
    connect(
        &m_engine, &CameraEngine::fetchFailed, this,
        [this](Camera *camera, const Failure &failure) { showFailure(camera->panel(), failure); });
    connect(&m_engine, &CameraEngine::fetchStarted, this, [this](Camera *camera) {
        if (camera->panel() == m_selectedCam())
            emit fetchBusy(true);
    });
    connect(&m_engine, &CameraEngine::ticked, this,
            [this](Camera *camera) { followTick(camera->panel()); });
    connect(m_networkTime, &NetworkTime::timeTextChanged, lblTime, &QLabel::setText);
}

void ViewerPane::buildViewport()
{
    m_viewport = new QFrame(this);
    m_viewport->setObjectName(QStringLiteral("Picture1"));
    m_viewport->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    m_viewport->setFrameShape(QFrame::Panel);
    m_viewport->setFrameShadow(QFrame::Sunken);
    // A two-pixel border: the 60 twips the scroll bars leave at the far edges.
    m_viewport->setLineWidth(2);
    m_viewport->setAutoFillBackground(true);
    // The inside of the border, which clips the zoomed picture. It takes the
    // focus on a click, so the viewer's keys work right after touching it.
    m_viewportInside = new QWidget(m_viewport);
    m_viewportInside->setObjectName(QStringLiteral("Picture1_inside"));
    m_viewportInside->setFocusPolicy(Qt::StrongFocus);
    m_viewportInside->installEventFilter(this);

    m_image = new ZoomImage(m_viewportInside);
    m_image->setObjectName(QStringLiteral("imgMain"));
    m_image->installEventFilter(this);

    m_verticalBar = new QScrollBar(Qt::Vertical, m_viewportInside);
    m_verticalBar->setObjectName(QStringLiteral("VScroll2"));
    m_horizontalBar = new QScrollBar(Qt::Horizontal, m_viewportInside);
    m_horizontalBar->setObjectName(QStringLiteral("HScroll1"));
    for (QScrollBar *bar : {m_verticalBar, m_horizontalBar}) {
        bar->setRange(0, 0);
        bar->setSingleStep(ViewerZoom::kScrollSingleStep);
        bar->setEnabled(false);
    }
    connect(m_horizontalBar, &QScrollBar::valueChanged, this, &ViewerPane::horizontalScrolled);
    connect(m_verticalBar, &QScrollBar::valueChanged, this, &ViewerPane::verticalScrolled);
    m_barCorner = makeButton(QStringLiteral("Command1"), QString(), QString(), m_viewportInside);
    m_barCorner->setFocusPolicy(Qt::NoFocus);
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
    m_zoomBar = new QScrollBar(Qt::Horizontal, frmDetails);
    m_zoomBar->setObjectName(QStringLiteral("Slider1"));
    m_zoomBar->setRange(ViewerZoom::kMinZoom, ViewerZoom::kMaxZoom);
    m_zoomBar->setSingleStep(1);
    m_zoomBar->setPageStep(1);
    m_zoomBar->setValue(1);
    m_zoomBar->setToolTip(QStringLiteral("Zoom: 1 to 5 times"));
    m_zoomBar->setGeometry(px({kValueLeft, kZoomTop, kZoomBarWidth, kRowHeight}));
    m_zoomFactor = new ValueLabel(frmDetails);
    m_zoomFactor->setObjectName(QStringLiteral("zoomFactor"));
    m_zoomFactor->setGeometry(
        px({kValueLeft + kZoomBarWidth + 120, kZoomTop, kZoomFactorWidth, kRowHeight}));
    m_fitBox = new QCheckBox(QStringLiteral("Fit"), frmDetails);
    m_fitBox->setObjectName(QStringLiteral("chkFit"));
    m_fitBox->setToolTip(QStringLiteral("Show the whole picture in the viewer"));
    m_fitBox->setGeometry(px({kValueLeft + kZoomBarWidth + 120 + kZoomFactorWidth, kZoomTop - 30,
                              kFitWidth, kRowHeight + 60}));
    guarded([this](const QString &text) { emit statusText(text); },
            [&] { m_fit = Settings::viewerFit(); });
    m_fitBox->setChecked(m_fit);
    showZoomFactor();

    cmdSave =
        makeButton(QStringLiteral("cmdSave"), QStringLiteral("Save Image"),
                   tr("save image in your %1 folder")
                       .arg(QDir::toNativeSeparators(AppInfo::programFile(QStringLiteral("cam")))),
                   frmDetails);
    cmdSave->setGeometry(px({kCaptionLeft, kButtonsTop, kCaptionWidth, kButtonHeight}));
    m_screensaverButton = makeButton(
        QStringLiteral("Command3"), QStringLiteral("Screensaver"),
        QStringLiteral("full screen, auto refreshing view of current cam.  click to close."),
        frmDetails);
    m_screensaverButton->setGeometry(px({kValueLeft, kButtonsTop, kCaptionWidth, kButtonHeight}));
    connect(cmdSave, &QPushButton::clicked, this, &ViewerPane::saveClicked);
    connect(m_screensaverButton, &QPushButton::clicked, this, &ViewerPane::screensaverClicked);
    connect(m_zoomBar, &QScrollBar::valueChanged, this, &ViewerPane::zoomBarMoved);
    connect(m_fitBox, &QCheckBox::toggled, this, &ViewerPane::fitToggled);

    lblTime = new ValueLabel(frmDetails);
    lblTime->setObjectName(QStringLiteral("lblTime"));
    lblTime->setGeometry(
        px({kCaptionLeft, kTimeTop, kValueLeft - kCaptionLeft + kValueWidth, kRowHeight}));
}

void ViewerPane::applyGeometry(const MainWindowGeometry &g)
{
    const auto px = [this](const TwipsRect &rect) { return Twips::toPixels(rect, this); };
    m_viewport->setGeometry(px(g.Picture1));
    m_viewportInside->setGeometry(m_viewport->contentsRect());
    m_verticalBar->setGeometry(px(g.VScroll2));
    m_horizontalBar->setGeometry(px(g.HScroll1));
    m_barCorner->setGeometry(px(g.Command1));
    frmDetails->setGeometry(px(g.frmDetails));
    // The room changed: Fit fits it again, and the bars' ranges follow.
    if (m_natural.width > 0 && m_natural.height > 0)
        applyZoom();
    else
        placeImage();
}

void ViewerPane::placeImage()
{
    m_image->setGeometry(m_imagePlace.left, m_imagePlace.top, m_imagePlace.width,
                         m_imagePlace.height);
    // The picture lies under the viewport's scroll bars.
    m_image->lower();
}

void ViewerPane::setSelection(std::function<int()> selectedCam)
{
    m_selectedCam = std::move(selectedCam);
}

void ViewerPane::showCamera(int index, const Picture &picture)
{
    m_viewerPicture = picture;
    m_behind = false;
    show();
    frmDetails->show();
    // The full-resolution picture: the viewer zooms it, the panel's small
    // copy would turn blocky.
    const QImage full = *picture.full();
    m_image->setPicture(full);
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
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                // No window-update lock: releasing it repaints the whole window,
                // where only the viewer and its labels change; their repaints come
                // together after this handler anyway.
                showLabels(index);
                m_viewerPicture = picture;
                m_behind = m_outOfSight;
                if (m_outOfSight) {
                    emit fetchBusy(false);
                    return;
                }
                decodeForViewer(index, picture);
            });
}

void ViewerPane::decodeForViewer(int index, const Picture &picture)
{
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                // Fitted, the viewer shows a shrunk copy: made off the thread, so
                // the window's thread has no large picture to average each second.
                const QSize shrinkTo =
                    m_fit && picture.size() == QSize(m_natural.width, m_natural.height)
                        ? (QSizeF(m_imagePlace.width, m_imagePlace.height) * devicePixelRatioF())
                              .toSize()
                        : QSize();
                struct Made
                {
                    std::shared_ptr<const QImage> full;
                    QImage shrunk;
                };
                // The camera decodes the selected camera in full; held here so
                // the worker takes those pixels rather than decoding again (it
                // decodes only for a camera selected while its picture was on
                // the way).
                offThread<Made>(
                    this,
                    [picture, held = picture.heldFull(), shrinkTo] {
                        Made made{held ? held : picture.full(), QImage()};
                        if (!shrinkTo.isEmpty() && made.full->width() > shrinkTo.width() &&
                            made.full->height() > shrinkTo.height())
                            made.shrunk = made.full->scaled(shrinkTo, Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation);
                        return made;
                    },
                    [this, index, picture](const Made &made) {
                        guarded([this](const QString &text) { emit statusText(text); },
                                [&] { showDecoded(index, picture, *made.full, made.shrunk); });
                    });
            });
}

void ViewerPane::showDecoded(int index, const Picture &picture, const QImage &full,
                             const QImage &shrunk)
{
    // The viewer, while the camera is still selected and this its latest picture.
    if (index != m_selectedCam() || !m_viewerPicture.isSameAs(picture))
        return;
    // The fetch has ended either way; a picture that did not decode leaves
    // the last one in place.
    emit fetchBusy(false);
    if (full.isNull())
        return;
    showPicture(full, shrunk);
    emit pictureShown(full);
}

void ViewerPane::setOutOfSight(bool outOfSight)
{
    m_outOfSight = outOfSight;
    if (outOfSight || !m_behind)
        return;
    m_behind = false;
    const int index = m_selectedCam();
    if (index >= 0 && !m_viewerPicture.isNull())
        decodeForViewer(index, m_viewerPicture);
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

void ViewerPane::showPicture(const QImage &picture, const QImage &shrunk)
{
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                m_image->setPicture(picture, shrunk);
                // Panel 0 counts as selected from the start, so its pictures
                // reach the viewer before anybody has picked a camera. The first
                // of them sizes the viewer as a selection would; squeezed into
                // the image's small design-time box it would look broken. Later
                // pictures keep the size the viewer has, until the camera is
                // selected again.
                if (m_natural.width == 0 && m_natural.height == 0 && !picture.isNull())
                    sizeViewerFor(picture.size());
            });
}

void ViewerPane::setPicture(const QImage &picture)
{
    m_image->setPicture(picture);
}

QImage ViewerPane::picture() const
{
    return m_image->picture();
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
    return m_zoomBar->value();
}

void ViewerPane::sizeViewerFor(const QSize &natural)
{
    m_imagePlace.width = 1;
    m_imagePlace.height = 1;
    m_natural = {natural.width(), natural.height()};
    applyZoom();
}

ViewerZoom::Size ViewerPane::room() const
{
    // The viewport ends where its bars begin.
    return {m_verticalBar->x(), m_horizontalBar->y()};
}

QPoint ViewerPane::viewportCentre() const
{
    const ViewerZoom::Size r = room();
    return {r.width / 2, r.height / 2};
}

void ViewerPane::applyZoom()
{
    applyZoom(m_horizontalBar->value(), m_verticalBar->value());
}

void ViewerPane::applyZoom(int horizontalValue, int verticalValue)
{
    LockWindowUpdates(window(), true);
    ViewerZoom::ZoomInput in;
    in.fit = m_fit;
    in.zoom = m_zoomBar->value();
    in.natural = m_natural;
    in.room = room();
    in.horizontal.value = horizontalValue;
    in.vertical.value = verticalValue;
    const ViewerZoom::ZoomResult out = ViewerZoom::ApplyZoom(in);
    m_imagePlace = out.image;
    // The bars are set quietly: the picture's place comes from the result. A
    // bar that goes off goes back to 0 with the picture, so that scrolling,
    // once it is on again, starts where the picture is.
    const auto setBar = [](QScrollBar *bar, const ViewerZoom::ScrollBarState &state, int page) {
        const QSignalBlocker quiet(bar);
        bar->setRange(0, state.maximum);
        bar->setPageStep(std::max(page * 9 / 10, 1));
        bar->setValue(state.value);
        bar->setEnabled(state.enabled);
    };
    setBar(m_horizontalBar, out.horizontal, in.room.width);
    setBar(m_verticalBar, out.vertical, in.room.height);
    placeImage();
    showZoomFactor();
    LockWindowUpdates(window(), false);
}

void ViewerPane::zoomAbout(int zoom, const QPoint &anchor)
{
    const ViewerZoom::Rect before = m_imagePlace;
    const bool fit = zoom <= 0;
    {
        const QSignalBlocker quiet(m_zoomBar);
        if (!fit)
            m_zoomBar->setValue(zoom);
    }
    const int shown = m_zoomBar->value();
    const int width = int(std::min<qint64>(qint64(shown) * m_natural.width, INT_MAX));
    const int height = int(std::min<qint64>(qint64(shown) * m_natural.height, INT_MAX));
    setFit(fit);
    if (!fit)
        applyZoom(ViewerZoom::anchoredValue(before.left, before.width, width, anchor.x()),
                  ViewerZoom::anchoredValue(before.top, before.height, height, anchor.y()));
    showZoomFactor();
}

void ViewerPane::stepZoom(int step, const QPoint &anchor)
{
    const double fitScale = ViewerZoom::fitScale(m_natural, room());
    const int next = ViewerZoom::steppedZoom(m_fit, m_zoomBar->value(), fitScale, step);
    if ((next == 0) != m_fit || (next != 0 && next != m_zoomBar->value()))
        zoomAbout(next, anchor);
}

void ViewerPane::setFit(bool fit)
{
    const bool changed = fit != m_fit;
    m_fit = fit;
    {
        const QSignalBlocker quiet(m_fitBox);
        m_fitBox->setChecked(fit);
    }
    if (changed) {
        guarded([this](const QString &text) { emit statusText(text); },
                [&] { Settings::setViewerFit(fit); });
    }
    showZoomFactor();
    applyZoom();
}

void ViewerPane::fitToggled(bool fit)
{
    guarded([this](const QString &text) { emit statusText(text); }, [&] { setFit(fit); });
}

void ViewerPane::zoomBarMoved(int)
{
    // Moving the bar means that zoom: Fit goes off.
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                if (m_fit)
                    setFit(false);
                else
                    applyZoom();
                showZoomFactor();
            });
}

void ViewerPane::showZoomFactor()
{
    const double scale = m_fit ? ViewerZoom::fitScale(m_natural, room()) : m_zoomBar->value();
    // Fit shows its own scale, which is rarely a whole number.
    m_zoomFactor->setText(m_fit && scale > 0
                              ? QString::number(scale, 'f', 2) + QStringLiteral("\u00d7")
                              : QString::number(m_zoomBar->value()) + QStringLiteral("\u00d7"));
    m_zoomFactor->setEnabled(!m_fit);
}

void ViewerPane::horizontalScrolled(int value)
{
    m_imagePlace.left = -value;
    placeImage();
}

void ViewerPane::verticalScrolled(int value)
{
    m_imagePlace.top = -value;
    placeImage();
}

bool ViewerPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_viewportInside && watched != m_image)
        return QGroupBox::eventFilter(watched, event);
    bool handled = false;
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                switch (event->type()) {
                case QEvent::KeyPress:
                    handled = viewportKey(static_cast<QKeyEvent *>(event));
                    break;
                case QEvent::Wheel:
                    handled = viewportWheel(static_cast<QWheelEvent *>(event));
                    break;
                case QEvent::MouseButtonPress:
                case QEvent::MouseMove:
                case QEvent::MouseButtonRelease:
                case QEvent::MouseButtonDblClick:
                    handled = viewportMouse(event);
                    break;
                default:
                    break;
                }
            });
    return handled || QGroupBox::eventFilter(watched, event);
}

bool ViewerPane::viewportKey(const QKeyEvent *event)
{
    const auto scrollBy = [](QScrollBar *bar, int steps) {
        bar->setValue(bar->value() + steps * bar->singleStep());
    };
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        stepZoom(+1, viewportCentre());
        return true;
    case Qt::Key_Minus:
        stepZoom(-1, viewportCentre());
        return true;
    case Qt::Key_0:
        zoomAbout(0, viewportCentre());
        return true;
    case Qt::Key_1:
        zoomAbout(1, viewportCentre());
        return true;
    case Qt::Key_Left:
        scrollBy(m_horizontalBar, -1);
        return true;
    case Qt::Key_Right:
        scrollBy(m_horizontalBar, +1);
        return true;
    case Qt::Key_Up:
        scrollBy(m_verticalBar, -1);
        return true;
    case Qt::Key_Down:
        scrollBy(m_verticalBar, +1);
        return true;
    case Qt::Key_Home:
        m_horizontalBar->setValue(m_horizontalBar->minimum());
        return true;
    case Qt::Key_End:
        m_horizontalBar->setValue(m_horizontalBar->maximum());
        return true;
    case Qt::Key_PageUp:
        m_verticalBar->setValue(m_verticalBar->minimum());
        return true;
    case Qt::Key_PageDown:
        m_verticalBar->setValue(m_verticalBar->maximum());
        return true;
    default:
        return false;
    }
}

bool ViewerPane::viewportWheel(const QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    const QPoint at = m_viewportInside->mapFromGlobal(event->globalPosition().toPoint());
    if (event->modifiers() & Qt::ControlModifier) {
        if (delta.y() != 0)
            stepZoom(delta.y() > 0 ? +1 : -1, at);
        return true;
    }
    // Three arrow steps a notch, as scrolling areas go; Shift turns the wheel sideways.
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || delta.y() == 0;
    const int notches = (sideways && delta.x() != 0 ? delta.x() : delta.y());
    QScrollBar *bar = sideways ? m_horizontalBar : m_verticalBar;
    bar->setValue(bar->value() - notches * 3 * bar->singleStep() / 120);
    return true;
}

bool ViewerPane::viewportMouse(QEvent *event)
{
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint at = m_viewportInside->mapFromGlobal(mouse->globalPosition().toPoint());
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_dragStart.reset();
        // Fit and natural size, in turn.
        zoomAbout(m_fit ? 1 : 0, at);
        return true;
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_viewportInside->setFocus(Qt::MouseFocusReason);
        m_dragStart = at;
        m_dragValues = {m_horizontalBar->value(), m_verticalBar->value()};
        // The image still sees its click.
        return false;
    case QEvent::MouseMove:
        if (!m_dragStart || !(mouse->buttons() & Qt::LeftButton))
            return false;
        m_horizontalBar->setValue(m_dragValues.x() - (at.x() - m_dragStart->x()));
        m_verticalBar->setValue(m_dragValues.y() - (at.y() - m_dragStart->y()));
        return true;
    case QEvent::MouseButtonRelease:
        m_dragStart.reset();
        return false;
    default:
        return false;
    }
}

void ViewerPane::setChangeOverlay(const QBitArray &cells)
{
    m_image->setCellOverlay(cells, SceneChangeDetector::Columns, SceneChangeDetector::Rows);
}
