#include "SplashWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QScreen>
#include <QTimer>

#include "AppInfo.h"
#include "Skin.h"
#include "SkinSupport.h"

namespace {
constexpr int kPictureWidth = 480;
constexpr int kPictureHeight = 270;
constexpr int kLineHeight = 30;
// intTemp before the tick that opens the main window: the 75th tick of +2.
constexpr qint16 kLastTickValue = 148;
} // namespace

SplashWindow::SplashWindow(OpenMainWindow openMainWindow, bool skinning, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_openMainWindow(std::move(openMainWindow))
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(kPictureWidth, kPictureHeight + kLineHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kPictureWidth, kPictureHeight);
    Image1->setPixmap(QPixmap::fromImage(splashPicture()));

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(0, kPictureHeight, kPictureWidth, kLineHeight);
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setText(tr("Every camera you watch, one window away."));
    // The pale line under the dark picture gets an edge of its own, so the
    // splash keeps its shape on a light desktop.
    setStyleSheet(QStringLiteral("QLabel#Label3 { border: 1px solid #8a6bb8; border-top: none; }"));

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(2);
    connect(Timer2, &QTimer::timeout, this, &SplashWindow::fadeTick);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Form_Load(skinning);
}

void SplashWindow::Form_Load(bool skinning)
{
    AppInfo::applyToApplication();
    Skin::setSkinningSwitch(skinning);
    if (Skin::skinningSwitch()) {
        skn = new Skin(this);
        Skin::setProgramSkin(skn);
        SkinForm(this);
        SkinSupport &support = SkinSupport::instance();
        support.adoptSkinObject(skn->supportObject());
        support.afterSkinObject();
    }
    Timer2->start();
}

void SplashWindow::fadeTick()
{
    const qint16 noted = m_fadeStep;
    m_fadeStep = static_cast<qint16>(m_fadeStep + 2);
    if (noted != kLastTickValue)
        return;
    // Stopped first, so that the main window opens exactly once.
    Timer2->stop();
    try {
        if (m_openMainWindow)
            m_openMainWindow();
    } catch (const std::exception &e) {
        qWarning("The main window could not be opened: %s", e.what());
    } catch (...) {
        qWarning("The main window could not be opened.");
    }
    hide();
    setVisible(false);
}

QImage SplashWindow::splashPicture()
{
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kPictureHeight);
    sky.setColorAt(0.0, QColor(0x4A, 0x2A, 0x78));
    sky.setColorAt(1.0, QColor(0x1F, 0x10, 0x36));
    p.fillRect(image.rect(), sky);

    // Faint tiles behind the camera: many cameras, one picture each.
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 9; ++col) {
            const int alpha = 14 + ((row * 7 + col * 3) % 5) * 6;
            p.setBrush(QColor(255, 255, 255, alpha));
            p.drawRoundedRect(QRectF(12 + col * 52, 10 + row * 52, 46, 46), 5, 5);
        }
    }

    // The camera: a body, a lens with a glint, a viewfinder and a red light.
    const QRectF body(52, 92, 150, 96);
    p.setBrush(QColor(0xEA, 0xE2, 0xF5));
    p.setPen(QPen(QColor(0x2B, 0x1B, 0x40), 3));
    p.drawRoundedRect(QRectF(72, 76, 44, 22), 5, 5);
    p.drawRoundedRect(body, 14, 14);
    const QPointF lensCentre = body.center() + QPointF(6, 4);
    QRadialGradient glass(lensCentre, 36, lensCentre - QPointF(10, 10));
    glass.setColorAt(0.0, QColor(0x9E, 0x7C, 0xD6));
    glass.setColorAt(0.6, QColor(0x4A, 0x2A, 0x78));
    glass.setColorAt(1.0, QColor(0x1F, 0x10, 0x36));
    p.setBrush(QColor(0x7B, 0x4F, 0xB8));
    p.drawEllipse(lensCentre, 38, 38);
    p.setBrush(glass);
    p.drawEllipse(lensCentre, 28, 28);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(lensCentre - QPointF(11, 11), 6, 6);
    p.setBrush(QColor(0xE5, 0x39, 0x35));
    p.drawEllipse(QPointF(body.right() - 18, body.top() + 16), 5, 5);

    // Waves going out from the camera: it is on the network.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(0xB9, 0xA2, 0xDA, 220 - i * 60), 4, Qt::SolidLine, Qt::RoundCap));
        const qreal r = 18 + i * 14;
        p.drawArc(QRectF(body.right() - 10 - r, body.top() - 6 - r, 2 * r, 2 * r), 0 * 16, 90 * 16);
    }

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(48);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(226, 88, 240, 60), Qt::AlignLeft | Qt::AlignVCenter, AppInfo::productName());

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(15);
    p.setFont(small);
    p.setPen(QColor(0xD9, 0xCC, 0xEE));
    p.drawText(
        QRectF(230, 148, 240, 24), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Version %1.%2").arg(AppInfo::versionMajor()).arg(AppInfo::versionMinor()));
    p.drawText(QRectF(230, 172, 240, 24), Qt::AlignLeft | Qt::AlignVCenter, AppInfo::companyName());
    p.end();
    return image;
}
