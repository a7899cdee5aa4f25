#include "StockPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace StockPictures {

QImage notFound(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = image.rect();

    QLinearGradient back(r.topLeft(), r.bottomLeft());
    back.setColorAt(0, QColor(58, 44, 82));
    back.setColorAt(1, QColor(30, 22, 46));
    p.fillRect(r, back);

    // A picture frame with a torn corner and a cross: "no picture here".
    const double w = r.width();
    const double h = r.height();
    const QRectF frame(w * 0.28, h * 0.16, w * 0.44, h * 0.42);
    QPen pen(QColor(232, 216, 255), std::max(2.0, w / 80));
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(QColor(90, 70, 124));
    QPainterPath torn;
    torn.moveTo(frame.topLeft());
    torn.lineTo(frame.right() - frame.width() * 0.25, frame.top());
    torn.lineTo(frame.right(), frame.top() + frame.height() * 0.3);
    torn.lineTo(frame.bottomRight());
    torn.lineTo(frame.bottomLeft());
    torn.closeSubpath();
    p.drawPath(torn);
    QPen cross(QColor(255, 120, 140), std::max(3.0, w / 48), Qt::SolidLine, Qt::RoundCap);
    p.setPen(cross);
    const QRectF x = frame.adjusted(frame.width() * 0.3, frame.height() * 0.25,
                                    -frame.width() * 0.3, -frame.height() * 0.25);
    p.drawLine(x.topLeft(), x.bottomRight());
    p.drawLine(x.topRight(), x.bottomLeft());

    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(8, int(h / 9)));
    p.setFont(font);
    p.setPen(QColor(240, 232, 255));
    p.drawText(QRectF(0, h * 0.64, w, h * 0.3), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("not a picture"));
    p.end();
    return image;
}

} // namespace StockPictures
