#include "CameraPanelWidget.h"

#include <algorithm>
#include <cmath>

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "MainWindowLayout.h"
#include "StretchImage.h"
#include "Twips.h"

namespace {
QString indexed(const char *name, int index)
{
    return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(index);
}
const QString PictureTip = QStringLiteral("Show this camera in the viewer");
} // namespace

CameraPanelWidget::CameraPanelWidget(int index, QWidget *parent)
    : QGroupBox(parent)
    , m_index(index)
{
    setObjectName(indexed("Frame", index));
    setTitle(QStringLiteral("[WebCam]"));

    m_picture2 = new QFrame(this);
    m_picture2->setObjectName(indexed("Picture2", index));
    m_picture2->setFrameShape(QFrame::Panel);
    m_picture2->setFrameShadow(QFrame::Sunken);
    m_picture2->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    m_picture2->setAutoFillBackground(true);

    m_imgCam = new StretchImage(m_picture2);
    m_imgCam->setObjectName(indexed("imgCam", index));
    m_imgCam->setCursor(Qt::PointingHandCursor);
    m_imgCam->setToolTip(PictureTip);

    m_picture3 = new StretchImage(m_picture2);
    m_picture3->setObjectName(indexed("Picture3", index));
    m_picture3->hide();

    m_imgRefresh = new StretchImage(this);
    m_imgRefresh->setObjectName(indexed("imgRefresh", index));
    m_imgRefresh->hide();

    m_prgCam = new QProgressBar(this);
    m_prgCam->setObjectName(indexed("prgCam", index));
    m_prgCam->setRange(0, 100);
    m_prgCam->setValue(0);
    m_prgCam->setTextVisible(false);

    m_cmdRefresh = new QPushButton(QStringLiteral("@"), this);
    m_cmdRefresh->setObjectName(indexed("cmdRefresh", index));
    m_cmdRefresh->setToolTip(QStringLiteral("Refresh"));

    m_staleMark = new QLabel(tr("No picture"), m_picture2);
    m_staleMark->setObjectName(indexed("staleMark", index));
    m_staleMark->setAlignment(Qt::AlignCenter);
    // Dark red under white: readable over any picture, light or dark.
    m_staleMark->setStyleSheet(
        QStringLiteral("QLabel { background: rgba(150, 20, 20, 210); color: white; "
                       "font-weight: bold; font-size: 7pt; }"));
    m_staleMark->hide();

    // Amber, not red: a change is news, not trouble like the "No picture" band.
    m_changeMark = new QFrame(this);
    m_changeMark->setObjectName(indexed("changeMark", index));
    m_changeMark->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_changeMark->setStyleSheet(
        QStringLiteral("QFrame { border: 3px solid rgb(255, 170, 0); background: transparent; }"));
    m_changeMark->setToolTip(tr("Change going on"));
    m_changeMark->hide();

    m_cmdStop = new QPushButton(QStringLiteral("X"), this);
    m_cmdStop->setObjectName(indexed("cmdStop", index));
    m_cmdStop->setToolTip(QStringLiteral("Stop"));

    connect(m_imgCam, &StretchImage::clicked, this, [this] { emit pictureClicked(m_index); });
    connect(m_picture3, &StretchImage::clicked, this, [this] { emit pictureClicked(m_index); });
    // The busy indicator lies over the picture; a click on it is a click on the picture.
    connect(m_imgRefresh, &StretchImage::clicked, this, [this] { emit pictureClicked(m_index); });
    connect(m_cmdRefresh, &QPushButton::clicked, this, [this] { emit refreshClicked(m_index); });
    connect(m_cmdStop, &QPushButton::clicked, this, [this] { emit stopClicked(m_index); });

    applyGeometry();
    hide();
}

void CameraPanelWidget::applyGeometry()
{
    const PanelGrid::PanelControls &c = PanelGrid::kPanelControls;
    setGeometry(Twips::toPixels(PanelGrid::frameRect(m_index), this));
    m_picture2->setGeometry(Twips::toPixels(c.Picture2, this));
    // Children of a picture box are placed relative to its inside, within its border.
    const QPoint inside = m_picture2->contentsRect().topLeft();
    m_imgCam->setGeometry(Twips::toPixels(c.imgCam, this).translated(inside));
    m_picture3->setGeometry(Twips::toPixels(c.Picture3, this).translated(inside));
    m_imgRefresh->setGeometry(Twips::toPixels(c.imgRefresh, this));
    m_prgCam->setGeometry(Twips::toPixels(c.prgCam, this));
    m_cmdRefresh->setGeometry(Twips::toPixels(c.cmdRefresh, this));
    m_cmdStop->setGeometry(Twips::toPixels(c.cmdStop, this));
    const QRect picture = m_imgCam->geometry();
    const int band = std::min(picture.height(), m_staleMark->fontMetrics().height() + 4);
    m_staleMark->setGeometry(picture.x(), picture.bottom() + 1 - band, picture.width(), band);
    m_staleMark->raise();
    m_changeMark->setGeometry(m_picture2->geometry().adjusted(-2, -2, 2, 2));
    m_changeMark->raise();
    m_imgRefresh->raise();
}

QSize CameraPanelWidget::pictureSize() const
{
    return m_imgCam->size();
}

void CameraPanelWidget::setPicture(const QPixmap &picture)
{
    m_imgCam->setPixmap(picture);
}

void CameraPanelWidget::setBusy(bool busy)
{
    m_imgRefresh->setVisible(busy);
    if (busy)
        m_imgRefresh->raise();
}

void CameraPanelWidget::setProgress(double percent)
{
    if (!std::isfinite(percent))
        percent = 0;
    const int value = int(std::lround(std::clamp(percent, 0.0, 100.0)));
    if (value == m_prgCam->value())
        return;
    // A progress bar paints itself, and its frame behind it, the moment its
    // value moves: with two dozen downloads that is a paint per panel per
    // chunk received. Held back, the move joins the window's next paint.
    m_prgCam->setUpdatesEnabled(false);
    m_prgCam->setValue(value);
    m_prgCam->setUpdatesEnabled(true);
}

void CameraPanelWidget::setBusyAnimation(BusyAnimation *animation)
{
    m_imgRefresh->setAnimation(animation);
}

void CameraPanelWidget::setStale(bool stale, const QString &tip)
{
    // The tip's "how long ago" moves every second; a tooltip costs no paint.
    m_staleMark->setToolTip(tip);
    m_imgCam->setToolTip(stale ? tip : PictureTip);
    if (stale == m_stale)
        return;
    m_stale = stale;
    m_staleMark->setVisible(stale);
}

void CameraPanelWidget::setInChange(bool inChange)
{
    if (inChange == m_inChange)
        return;
    m_inChange = inChange;
    m_changeMark->setVisible(inChange);
}
