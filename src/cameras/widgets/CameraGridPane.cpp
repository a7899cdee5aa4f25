#include "CameraGridPane.h"

#include <QAction>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

#include "BusyAnimation.h"
#include "CamListFile.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "CameraPanelWidget.h"
#include "CertificatePins.h"
#include "DisplayText.h"
#include "HttpExchange.h"
#include "MessageBoxes.h"
#include "OffThread.h"
#include "PaneSupport.h"
#include "PictureSaver.h"
#include "StockPictures.h"
#include "StretchImage.h"
#include "Twips.h"
#include "WindowUpdateLock.h"

CameraGridPane::CameraGridPane(CameraEngine &engine, QWidget *parent)
    : QGroupBox(QStringLiteral("Webcams"), parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("frmCams"));
    picWindowOuter = new QWidget(this);
    picWindowOuter->setObjectName(QStringLiteral("picWindowOuter"));
    picWindowOuter->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    picWindowOuter->setAutoFillBackground(true);
    picWindowInner = new QWidget(picWindowOuter);
    picWindowInner->setObjectName(QStringLiteral("picWindowInner"));
    picWindowInner->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    picWindowInner->setAutoFillBackground(true);

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setRange(kPanelScroll.minimum, kPanelScroll.maximum);
    VScroll1->setSingleStep(kPanelScroll.singleStep);
    VScroll1->setPageStep(kPanelScroll.pageStep);
    VScroll1->setValue(0);
    // The panels move when the thumb is let go, not while it is dragged.
    VScroll1->setTracking(false);
    connect(VScroll1, &QScrollBar::valueChanged, this, &CameraGridPane::VScroll1_Change);

    for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
        auto *panel = new CameraPanelWidget(i, picWindowInner);
        m_panels[size_t(i)] = panel;
        connect(panel, &CameraPanelWidget::pictureClicked, this, &CameraGridPane::pictureClicked);
        connect(panel, &CameraPanelWidget::refreshClicked, &m_engine, &CameraEngine::refreshNow);
        connect(panel, &CameraPanelWidget::stopClicked, &m_engine, &CameraEngine::stop);
        panel->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(panel, &QWidget::customContextMenuRequested, this,
                [this, i, panel](const QPoint &pos) { showPanelMenu(i, panel->mapToGlobal(pos)); });
    }

    picrefresh = new StretchImage(this);
    picrefresh->setObjectName(QStringLiteral("picrefresh"));
    picrefresh->setAnimation(new BusyAnimation(this));
    picrefresh->hide();
    blank = new StretchImage(this);
    blank->setObjectName(QStringLiteral("blank"));
    blank->hide();
    notFound = new StretchImage(this);
    notFound->setObjectName(QStringLiteral("notFound"));
    notFound->setPixmap(QPixmap::fromImage(StockPictures::notFound()));
    notFound->hide();

    updateExposure();

    // Panel pictures are decoded at the size the panel shows them.
    m_engine.setThumbnailSize(m_panels[0]->pictureSize());
    m_engine.setNotFoundPicture(Picture::fromImage(StockPictures::notFound()));
    m_healthTimer = new QTimer(this);
    m_healthTimer->setInterval(1000);
    connect(m_healthTimer, &QTimer::timeout, this, &CameraGridPane::checkHealth);
    connect(&m_engine, &CameraEngine::statusChanged, this,
            [this](Camera *camera) { sync(camera->panel()); });
    connect(
        &m_engine, &CameraEngine::fetchFailed, this,
        [this](Camera *camera, const Failure &failure) { showFailure(camera->panel(), failure); });
    // The mark goes with the next picture, not a second later; a stopped panel
    // loses it at once too.
    connect(&m_engine, &CameraEngine::pictureArrived, this,
            [this](Camera *camera) { updateHealthMark(camera->panel()); });
    connect(&m_engine, &CameraEngine::stopped, this, [this](int index, bool wasInUse) {
        if (wasInUse && m_camsInUse > 0)
            --m_camsInUse;
        sync(index);
        // The failure tip goes with the camera. A panel that never had a
        // picture gets no new one to clear it, and would show the old
        // camera's failure over the next camera opened in it.
        m_panels[size_t(index)]->setToolTip(QString());
        updateHealthMark(index);
        m_panels[size_t(index)]->setInChange(false);
    });
    connect(&m_engine, &CameraEngine::changeJudged, this, [this](Camera *camera) {
        if (CameraPanelWidget *panel = this->panel(camera->panel()))
            panel->setInChange(camera->inChange());
    });
}

void CameraGridPane::applyGeometry(const MainWindowGeometry &g)
{
    const auto px = [this](const TwipsRect &rect) { return Twips::toPixels(rect, this); };
    picWindowOuter->setGeometry(px(g.picWindowOuter));
    TwipsRect inner = g.picWindowInner;
    inner.top = PanelAreaTop(VScroll1->value());
    picWindowInner->setGeometry(px(inner));
    VScroll1->setGeometry(px(g.VScroll1));
    updateExposure();
}

void CameraGridPane::VScroll1_Change(int value)
{
    QRect inner = picWindowInner->geometry();
    inner.moveTop(Twips::toPixels(PanelAreaTop(value), Twips::dpiY(this)));
    picWindowInner->setGeometry(inner);
    updateExposure();
}

bool CameraGridPane::isExposed(int index) const
{
    return index >= 0 && index < PanelGrid::kPanelCount && m_exposed[size_t(index)];
}

void CameraGridPane::setOutOfSight(bool outOfSight)
{
    if (m_outOfSight == outOfSight)
        return;
    m_outOfSight = outOfSight;
    for (int i = 0; i < PanelGrid::kPanelCount && !outOfSight; ++i) {
        if (m_syncDue[size_t(i)])
            sync(i);
    }
    updateExposure();
}

void CameraGridPane::updateExposure()
{
    // The outer picture box is the view; the panels move with the inner one.
    const QRect view = picWindowOuter->rect().translated(-picWindowInner->pos());
    for (int i = 0; i < PanelGrid::kPanelCount; ++i) {
        const bool exposed = !m_outOfSight && view.intersects(m_panels[size_t(i)]->geometry());
        const bool uncovered = exposed && !m_exposed[size_t(i)];
        m_exposed[size_t(i)] = exposed;
        if (uncovered)
            paintPanel(i);
    }
}

void CameraGridPane::start()
{
    LockWindowUpdates(window(), true);
    for (CameraPanelWidget *panel : m_panels)
        panel->setBusyAnimation(picrefresh->animation());
    LockWindowUpdates(window(), false);
    m_healthTimer->start();
}

Picture CameraGridPane::shownPicture(int index) const
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return {};
    return m_shown[size_t(index)];
}

void CameraGridPane::sync(int index)
{
    // Every step of every download would move widgets nobody sees, and each
    // move posts events that wake the loop; the panel catches up in one go.
    m_syncDue[size_t(index)] = m_outOfSight;
    if (m_outOfSight)
        return;
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                const PanelStatus &p = m_engine.status(index);
                CameraPanelWidget *w = m_panels[size_t(index)];
                w->setTitle(p.caption);
                w->setBusy(p.busy);
                w->setProgress(p.progress);
                w->setVisible(p.inUse);
                if (!p.picture.isSameAs(m_fromEngine[size_t(index)])) {
                    m_fromEngine[size_t(index)] = p.picture;
                    showPicture(index, p.picture);
                }
            });
}

void CameraGridPane::showPicture(int index, const Picture &picture)
{
    m_shown[size_t(index)] = picture;
    CameraPanelWidget *w = m_panels[size_t(index)];
    // The engine says nothing about failed fetches; the panel's tip tells why
    // its picture is not coming, and the next picture clears it.
    if (!picture.isSameAs(m_engine.notFoundPicture()))
        w->setToolTip(QString());
    paintPanel(index);
}

void CameraGridPane::paintPanel(int index)
{
    const Picture picture = m_shown[size_t(index)];
    if (m_painted[size_t(index)].isSameAs(picture))
        return;
    CameraPanelWidget *w = m_panels[size_t(index)];
    const QSize size = w->pictureSize();
    // The blank picture, a drawn one, or one the camera decoded at the
    // panel's size off this thread: nothing to decode here.
    if (picture.isNull() || picture.bytes().isEmpty() || picture.cachedThumbnail().size() == size) {
        m_painted[size_t(index)] = picture;
        w->setPicture(QPixmap::fromImage(picture.thumbnail(size)));
        return;
    }
    // Out of sight the bytes wait; one decode per panel at a time, and the
    // one that ends looks again for a newer picture.
    if (!m_exposed[size_t(index)] || m_decoding[size_t(index)])
        return;
    m_decoding[size_t(index)] = true;
    offThread<QImage>(
        this, [picture, size] { return picture.thumbnail(size); },
        [this, index, picture](const QImage &image) {
            m_decoding[size_t(index)] = false;
            if (!m_shown[size_t(index)].isSameAs(picture))
                return paintPanel(index);
            // One that does not decode leaves the last good pixels in place.
            m_painted[size_t(index)] = picture;
            if (!image.isNull())
                m_panels[size_t(index)]->setPicture(QPixmap::fromImage(image));
        });
}

void CameraGridPane::showSaved(const SaveReport &report)
{
    // Saving takes its time: a picture that came meanwhile stays.
    if (report.panel < 0 || report.panel >= PanelGrid::kPanelCount || report.picture.isNull() ||
        !m_fromEngine[size_t(report.panel)].isSameAs(report.source))
        return;
    showPicture(report.panel, report.picture);
}

void CameraGridPane::showFailure(int index, const Failure &failure)
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return;
    QString tip = DisplayText::escapeControls(failure.text);
    if (!m_engine.status(index).refusedCertificateSha256.isEmpty())
        tip += tr("\nRight-click the panel to trust this certificate.");
    m_panels[size_t(index)]->setToolTip(tip);
    // Like a download, a failure owns the shared status bar until the next
    // message: a refused picture leaves the old one shown, and without a word
    // the camera would look frozen.
    emit statusText(QStringLiteral("%1: %2").arg(m_engine.status(index).name, failure.text));
}

int CameraGridPane::openCam(const QString &name)
{
    int opened = -1;
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                if (name.isEmpty())
                    return;
                const CamListResult<std::optional<CamEntry>> found =
                    CamListFile::FindCamEntry(name);
                if (!found.ok()) {
                    emit statusText(found.errorText());
                    return;
                }
                if (!found.value())
                    return;
                if (const Camera *camera = m_engine.open(
                        found.value()->name, found.value()->address, found.value()->refresh))
                    opened = camera->panel();
            });
    if (opened >= 0)
        ++m_camsInUse;
    return opened;
}

CameraGridPane::OpenOutcome CameraGridPane::openListed(const QString &name)
{
    // Asked first, so a camera shown already is never said to have found no room.
    if (m_engine.cameraNamed(name))
        return OpenOutcome::AlreadyOpen;
    if (m_camsInUse >= PanelGrid::kPanelCount)
        return OpenOutcome::PanelsFull;
    return openCam(name) < 0 ? OpenOutcome::NotOpened : OpenOutcome::Opened;
}

QStringList CameraGridPane::openAll(const QStringList &names)
{
    QStringList leftOut;
    for (const QString &name : names) {
        auto outcome = OpenOutcome::NotOpened;
        guarded([this](const QString &text) { emit statusText(text); },
                [&] { outcome = openListed(name); });
        if (outcome == OpenOutcome::PanelsFull && !leftOut.contains(name))
            leftOut << name;
    }
    return leftOut;
}

void CameraGridPane::renameCam(const QString &oldName, const QString &name, const QString &url,
                               const QString &refresh)
{
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                for (Camera *camera : m_engine.cameras()) {
                    if (camera->name() == oldName)
                        camera->setEntry(name, url, refresh);
                }
            });
}

QStringList CameraGridPane::openNames() const
{
    QStringList names;
    for (const Camera *camera : m_engine.cameras())
        names << camera->name();
    return names;
}

void CameraGridPane::checkHealth()
{
    for (int i = 0; i < PanelGrid::kPanelCount; ++i)
        updateHealthMark(i);
}

void CameraGridPane::updateHealthMark(int index)
{
    guarded([this](const QString &text) { emit statusText(text); },
            [&] {
                CameraPanelWidget *panel = m_panels[size_t(index)];
                const Camera *camera = m_engine.camera(index);
                if (!camera || !camera->isStale()) {
                    if (panel->isStale())
                        panel->setStale(false);
                    return;
                }
                const CameraHealth &health = camera->health();
                const qint64 now = m_engine.nowMs();
                QString tip = health.hasPicture()
                                  ? tr("No picture for %1")
                                        .arg(CameraHealth::spanText(now - health.lastPictureMs()))
                                  : tr("No picture yet, %1 after opening")
                                        .arg(CameraHealth::spanText(now - health.startedMs()));
                if (!health.lastFailure().isEmpty())
                    tip += tr("\nLast failure: %1").arg(health.lastFailure());
                panel->setStale(true, tip);
            });
}

void CameraGridPane::showPanelMenu(int index, const QPoint &globalPos)
{
    QMenu menu(this);
    QAction *trust = menu.addAction(tr("Trust This Certificate..."));
    trust->setObjectName(QStringLiteral("mnuTrustCertificate"));
    trust->setEnabled(!m_engine.status(index).refusedCertificateSha256.isEmpty());
    QAction *review = menu.addAction(tr("Review..."));
    review->setObjectName(QStringLiteral("mnuReviewCamera"));
    review->setEnabled(m_engine.status(index).inUse);
    QAction *chosen = menu.exec(globalPos);
    if (chosen == trust)
        guarded([this](const QString &text) { emit statusText(text); },
                [&] { trustRefusedCertificate(index); });
    else if (chosen == review)
        emit reviewRequested(index);
}

bool CameraGridPane::trustRefusedCertificate(int index)
{
    if (index < 0 || index >= PanelGrid::kPanelCount)
        return false;
    const PanelStatus &status = m_engine.status(index);
    // Copies: the engine may report another fetch while the question is open.
    const QByteArray sha256 = status.refusedCertificateSha256;
    const QString hostPort = status.refusedCertificateHost;
    if (sha256.isEmpty() || hostPort.isEmpty())
        return false;
    const QString shownHost = DisplayText::escapeControls(hostPort);
    const QString fingerprint = HttpExchange::fingerprintText(sha256);
    const MessageBoxes::Button answer = MessageBoxes::ask(
        window(),
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
        emit statusText(tr("The certificate of %1 could not be stored as trusted; the settings "
                           "file cannot be written.")
                            .arg(shownHost));
        return false;
    }
    emit statusText(tr("The certificate of %1 is trusted from now on.").arg(shownHost));
    if (m_engine.status(index).inUse)
        m_engine.refreshNow(index);
    return true;
}
