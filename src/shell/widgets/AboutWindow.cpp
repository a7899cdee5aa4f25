#include "AboutWindow.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QScreen>

#include "AppInfo.h"
#include "Skin.h"
#include "Twips.h"

namespace {

// The window's client area and its controls, in twips.
constexpr int ClientWidth = 6600;
constexpr int ClientHeight = 2460;
constexpr int TextLeft = 1920;
constexpr int ValueLeft = 3240;
constexpr int ValueWidth = ClientWidth - ValueLeft - 180;

void centre(QWidget *window)
{
    const QWidget *owner = window->parentWidget();
    QRect area;
    if (owner)
        area = owner->window()->frameGeometry();
    else if (const QScreen *screen = window->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        window->move(area.center() - window->rect().center());
}

} // namespace

AboutWindow::AboutWindow(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmAbout"));
    const std::pair<QLabel *, const char *> names[] = {{Picture1, "Picture1"},
                                                       {Label1, "Label1"},
                                                       {lblVersionCaption, "lblVersionCaption"},
                                                       {lblVersion, "lblVersion"},
                                                       {lblCompanyCaption, "lblCompanyCaption"},
                                                       {lblCompany, "lblCompany"},
                                                       {lblWebsiteCaption, "lblWebsiteCaption"},
                                                       {lblWebsite, "lblWebsite"}};
    for (const auto &[label, name] : names)
        label->setObjectName(QLatin1String(name));

    setFixedSize(Twips::toPx(QSize(ClientWidth, ClientHeight), this));

    Twips::setGeometry(Picture1, 240, 240, 1440, 1440);
    Picture1->setPixmap(drawPicture(Picture1->size()));
    // A picture box, not a text label: the skin colours it as one and lays no
    // skin label over it.
    Picture1->setProperty("tessalyKind", QStringLiteral("PictureBox"));

    Twips::setGeometry(Label1, TextLeft, 180, ClientWidth - TextLeft - 180, 540);
    QFont titleFont = Label1->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    Label1->setFont(titleFont);

    const int rowHeight = 300;
    Twips::setGeometry(lblVersionCaption, TextLeft, 900, ValueLeft - TextLeft, rowHeight);
    Twips::setGeometry(lblVersion, ValueLeft, 900, ValueWidth, rowHeight);
    Twips::setGeometry(lblCompanyCaption, TextLeft, 1260, ValueLeft - TextLeft, rowHeight);
    Twips::setGeometry(lblCompany, ValueLeft, 1260, ValueWidth, rowHeight);
    Twips::setGeometry(lblWebsiteCaption, TextLeft, 1620, ValueLeft - TextLeft, rowHeight);
    // The comments may run to two lines.
    Twips::setGeometry(lblWebsite, ValueLeft, 1620, ValueWidth, 2 * rowHeight + 60);
    lblWebsite->setWordWrap(true);
    lblWebsite->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblVersionCaption->setText(QStringLiteral("Version:"));
    lblCompanyCaption->setText(QStringLiteral("Owned By:"));
    lblWebsiteCaption->setText(QStringLiteral("Website:"));
    for (QLabel *value : {lblVersion, lblCompany, lblWebsite})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Form_Load();
    centre(this);
}

void AboutWindow::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + AppInfo::productName());
    Label1->setText(AppInfo::productName());
    lblCompany->setText(AppInfo::companyName());
    lblVersion->setText(QString::number(AppInfo::versionMajor()) + QLatin1Char('.') +
                        QString::number(AppInfo::versionMinor()));
    lblWebsite->setText(AppInfo::comments());
    SkinDialog(this);
}

QPixmap AboutWindow::drawPicture(const QSize &size)
{
    QPixmap pixmap(size.isValid() && !size.isEmpty() ? size : QSize(96, 96));
    pixmap.fill(Qt::transparent);
    const qreal w = pixmap.width();
    const qreal h = pixmap.height();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // A purple tile.
    QLinearGradient tile(0, 0, 0, h);
    tile.setColorAt(0, QColor(0x8e, 0x5c, 0xc4));
    tile.setColorAt(1, QColor(0x4b, 0x25, 0x7a));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0, 0, w, h), w * 0.16, h * 0.16);

    // A camera body with a viewfinder hump.
    const QRectF body(w * 0.14, h * 0.34, w * 0.72, h * 0.44);
    QPainterPath camera;
    camera.addRoundedRect(body, w * 0.07, h * 0.07);
    camera.addRoundedRect(QRectF(w * 0.36, h * 0.24, w * 0.28, h * 0.14), w * 0.04, h * 0.04);
    p.setBrush(QColor(0xf4, 0xee, 0xfb));
    p.drawPath(camera.simplified());

    // The lens: rings and a glint.
    const QPointF centre(w * 0.5, h * 0.56);
    p.setBrush(QColor(0x3a, 0x1d, 0x5e));
    p.drawEllipse(centre, w * 0.17, h * 0.17);
    QRadialGradient glass(centre, w * 0.12, centre - QPointF(w * 0.04, h * 0.04));
    glass.setColorAt(0, QColor(0xb7, 0x94, 0xe6));
    glass.setColorAt(1, QColor(0x24, 0x10, 0x3c));
    p.setBrush(glass);
    p.drawEllipse(centre, w * 0.12, h * 0.12);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(centre - QPointF(w * 0.045, h * 0.045), w * 0.03, h * 0.03);

    // The recording light.
    p.setBrush(QColor(0xe5, 0x39, 0x5b));
    p.drawEllipse(QPointF(w * 0.76, h * 0.43), w * 0.035, h * 0.035);
    return pixmap;
}
