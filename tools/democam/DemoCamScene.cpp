#include "DemoCamScene.h"

#include <array>
#include <cmath>
#include <numbers>

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr std::array<const char *, 24> kPlaces{
    "Yard",   "Door",   "Shop",  "Weather", "Garden", "Gate", "Garage",  "Street",
    "Roof",   "Lobby",  "Dock",  "Pond",    "Barn",   "Hall", "Office",  "Workshop",
    "Stairs", "Cellar", "Porch", "Drive",   "Field",  "Shed", "Kitchen", "Bridge"};

// A small, fast, seedable generator: the texture must be the same on every run.
struct Lcg
{
    quint32 state;
    quint32 next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

QFont sceneFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qMax(6, pixelSize));
    font.setBold(bold);
    return font;
}

// Text on a dark plate so it stays readable over any part of the scene.
void drawLabel(QPainter &p, const QString &text, const QFont &font, QPoint anchor,
               Qt::Alignment corner)
{
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int pad = qMax(2, font.pixelSize() / 4);
    QRect box(QPoint(0, 0), metrics.size(Qt::TextSingleLine, text) + QSize(2 * pad, 2 * pad));
    if (corner & Qt::AlignRight)
        box.moveRight(anchor.x());
    else
        box.moveLeft(anchor.x());
    if (corner & Qt::AlignBottom)
        box.moveBottom(anchor.y());
    else
        box.moveTop(anchor.y());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 170));
    p.drawRoundedRect(box, pad, pad);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
}

} // namespace

constexpr std::array<std::pair<DemoSceneKind, const char *>, 8> kKindNames{{
    {DemoSceneKind::Shapes, "shapes"},
    {DemoSceneKind::Still, "still"},
    {DemoSceneKind::Dawn, "dawn"},
    {DemoSceneKind::Lights, "lights"},
    {DemoSceneKind::Walker, "walker"},
    {DemoSceneKind::Small, "small"},
    {DemoSceneKind::Clock, "clock"},
    {DemoSceneKind::Rain, "rain"},
}};

DemoCamScene::DemoCamScene(QSize size, DemoSceneKind kind)
    : m_size(size)
    , m_kind(kind)
{
}

QString DemoCamScene::kindName(DemoSceneKind kind)
{
    for (const auto &[k, name] : kKindNames) {
        if (k == kind)
            return QLatin1String(name);
    }
    return QString();
}

std::optional<DemoSceneKind> DemoCamScene::kindFromName(const QString &name)
{
    for (const auto &[kind, text] : kKindNames) {
        if (name == QLatin1String(text))
            return kind;
    }
    return std::nullopt;
}

QStringList DemoCamScene::kindNames()
{
    QStringList names;
    for (const auto &[kind, name] : kKindNames)
        names << QLatin1String(name);
    return names;
}

QString DemoCamScene::cameraName(int camera)
{
    if (camera >= 1 && camera <= int(kPlaces.size()))
        return QStringLiteral("Demo ") + QLatin1String(kPlaces[camera - 1]);
    return QStringLiteral("Demo %1").arg(camera);
}

const QImage &DemoCamScene::background(int camera)
{
    auto it = m_backgrounds.constFind(camera);
    if (it != m_backgrounds.cend())
        return *it;

    const int w = m_size.width();
    const int h = m_size.height();
    QImage image(m_size, QImage::Format_RGB32);
    const int hue = (camera * 47) % 360;
    {
        QPainter p(&image);
        QLinearGradient sky(0, 0, 0, h);
        sky.setColorAt(0.0, QColor::fromHsv(hue, 90, 230));
        sky.setColorAt(0.6, QColor::fromHsv(hue, 140, 150));
        sky.setColorAt(1.0, QColor::fromHsv((hue + 30) % 360, 160, 70));
        p.fillRect(image.rect(), sky);

        // A skyline of blocks with windows: edges and detail like a real view.
        Lcg rng{quint32(camera) * 2654435761u};
        const int ground = h * 3 / 4;
        for (int x = 0; x < w;) {
            const int bw = w / 24 + int(rng.next() % quint32(qMax(1, w / 12)));
            const int bh = h / 8 + int(rng.next() % quint32(qMax(1, h / 3)));
            const QColor wall =
                QColor::fromHsv((hue + 180 + int(rng.next() % 60)) % 360, 40 + int(rng.next() % 80),
                                60 + int(rng.next() % 90));
            p.fillRect(x, ground - bh, bw, bh, wall);
            const int win = qMax(2, w / 160);
            for (int wy = ground - bh + win; wy + win < ground; wy += 3 * win) {
                for (int wx = x + win; wx + win < x + bw; wx += 3 * win) {
                    if (rng.next() % 3)
                        p.fillRect(wx, wy, win, win, QColor(250, 230, 150));
                }
            }
            x += bw + int(rng.next() % quint32(qMax(1, w / 80)));
        }
        p.fillRect(0, ground, w, h - ground, QColor::fromHsv((hue + 90) % 360, 80, 80));
    }

    // Fine grain, as a real sensor has: it gives the JPEG a realistic size and the
    // decoder realistic work, where flat colour would compress to almost nothing.
    Lcg grain{quint32(camera) * 40503u + 17u};
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int d = int(grain.next() % 13u) - 6;
            const QRgb c = row[x];
            row[x] = qRgb(qBound(0, qRed(c) + d, 255), qBound(0, qGreen(c) + d, 255),
                          qBound(0, qBlue(c) + d, 255));
        }
    }
    return *m_backgrounds.insert(camera, image);
}

namespace {

// Every level of every channel times gain, clipped at white, plus sensor
// noise that is new in every picture.
void expose(QImage &image, double gain, quint32 seed)
{
    std::array<int, 256> level{};
    for (int v = 0; v < 256; ++v)
        level[size_t(v)] = qBound(0, int(std::lround(v * gain)), 255);
    Lcg noise{seed * 2246822519u + 3266489917u};
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const quint32 r = noise.next();
            // Three small draws out of one: -3..3 each.
            const int dr = int(r % 7u) - 3, dg = int((r >> 3) % 7u) - 3,
                      db = int((r >> 6) % 7u) - 3;
            const QRgb c = row[x];
            row[x] = qRgb(qBound(0, level[size_t(qRed(c))] + dr, 255),
                          qBound(0, level[size_t(qGreen(c))] + dg, 255),
                          qBound(0, level[size_t(qBlue(c))] + db, 255));
        }
    }
}

// A person seen from the side: legs, body, arms and head, feet at feet.y().
void drawWalker(QPainter &p, QPointF feet, double height, double step)
{
    const double u = height / 8.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(35, 40, 70));
    const double swing = std::sin(step) * u * 0.9;
    p.drawRect(QRectF(feet.x() - u * 0.5 + swing, feet.y() - 3.8 * u, u * 0.7, 3.8 * u));
    p.drawRect(QRectF(feet.x() - u * 0.2 - swing, feet.y() - 3.8 * u, u * 0.7, 3.8 * u));
    p.setBrush(QColor(150, 40, 30));
    p.drawRoundedRect(QRectF(feet.x() - u, feet.y() - 7.0 * u, 2.0 * u, 3.4 * u), u / 3, u / 3);
    p.setBrush(QColor(215, 175, 145));
    p.drawEllipse(QPointF(feet.x(), feet.y() - 7.5 * u), u * 0.55, u * 0.6);
}

} // namespace

QImage DemoCamScene::renderDetectionScene(const QImage &base, int camera, qint64 seconds) const
{
    const int w = m_size.width();
    const int h = m_size.height();
    const auto seed = quint32(seconds) * 2654435761u + quint32(camera);
    const qint64 phase = ((seconds % 60) + 60) % 60;
    double gain = 1.0;
    if (m_kind == DemoSceneKind::Dawn) {
        // A triangle over 20 minutes: never a jump, 0.15 to 1 and back.
        const qint64 t = ((seconds % 1200) + 1200) % 1200;
        const double rise = t < 600 ? double(t) / 600.0 : double(1200 - t) / 600.0;
        gain = 0.15 + 0.85 * rise;
    } else if (m_kind == DemoSceneKind::Lights) {
        gain = phase < 30 ? 1.2 : 0.5;
    }
    QImage image = base.copy();
    expose(image, gain, seed);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (m_kind) {
    case DemoSceneKind::Walker:
        if (phase < 20) {
            const double height = h * 0.38;
            const double x = -height * 0.2 + (w + height * 0.4) * double(phase) / 20.0;
            drawWalker(p, QPointF(x, h * 0.93), height, double(phase));
        }
        break;
    case DemoSceneKind::Small:
        if (phase >= 30 && phase < 36) {
            const double side = std::sqrt(0.015 * w * h);
            p.setPen(QPen(QColor(90, 50, 20), qMax(1.0, side / 40.0)));
            p.setBrush(QColor(230, 150, 60));
            p.drawRect(QRectF(w * 0.55, h * 0.82 - side / 2, side, side));
        }
        break;
    case DemoSceneKind::Clock: {
        // On-screen text as cameras write it: white with a black edge.
        const QDateTime moment = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
        QPainterPath text;
        QFont font = sceneFont(h / 26, true);
        text.addText(QPointF(h / 40.0, h / 40.0 + h / 26.0), font,
                     QLocale::c().toString(moment, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        p.setPen(QPen(Qt::black, qMax(1.0, h / 300.0)));
        p.setBrush(Qt::white);
        p.drawPath(text);
        break;
    }
    case DemoSceneKind::Rain: {
        Lcg drops{seed ^ 0x5bd1e995u};
        const int count = w * h / 1000;
        const double length = h / 30.0;
        p.setPen(QPen(QColor(210, 215, 225, 110), qMax(1.0, h / 700.0)));
        for (int i = 0; i < count; ++i) {
            const double x = drops.next() % quint32(w);
            const double y = drops.next() % quint32(h);
            p.drawLine(QPointF(x, y), QPointF(x - length / 4, y + length));
        }
        break;
    }
    default:
        break;
    }
    p.end();
    return image;
}

QImage DemoCamScene::render(int camera, const QDateTime &moment, int changeEverySeconds)
{
    if (m_kind != DemoSceneKind::Shapes)
        return renderDetectionScene(background(camera), camera, moment.toSecsSinceEpoch());
    QImage image = background(camera).copy();
    const int w = m_size.width();
    const int h = m_size.height();
    const int unit = qMin(w, h);
    // Seconds of the day keep the double arithmetic exact enough for smooth paths.
    const qint64 seconds = moment.toSecsSinceEpoch();
    const double t = double(seconds % 86400) + camera * 7.0;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // A ball on a Lissajous path.
    const QPointF ball(w * (0.5 + 0.4 * std::sin(t * 0.37)), h * (0.45 + 0.3 * std::sin(t * 0.23)));
    const double r = unit * 0.07;
    p.setPen(QPen(Qt::black, qMax(1.0, unit / 200.0)));
    p.setBrush(QColor::fromHsv((camera * 97) % 360, 220, 250));
    p.drawEllipse(ball, r, r);

    // A turning square.
    p.save();
    p.translate(w * 0.25, h * 0.55);
    p.rotate(std::fmod(t * 23.0, 360.0));
    p.setBrush(QColor(255, 255, 255, 200));
    const double s = unit * 0.09;
    p.drawRect(QRectF(-s, -s, 2 * s, 2 * s));
    p.restore();

    // A triangle sweeping along the ground.
    const double tx = std::fmod(t * 0.05, 1.0) * (w + 2 * r) - r;
    QPainterPath triangle;
    triangle.moveTo(tx, h * 0.9);
    triangle.lineTo(tx + r, h * 0.9);
    triangle.lineTo(tx + r / 2, h * 0.9 - r);
    triangle.closeSubpath();
    p.setBrush(QColor(255, 120, 40));
    p.drawPath(triangle);

    // A seconds hand, so a new picture is obvious at a glance.
    const QPointF centre(w * 0.82, h * 0.3);
    const double angle = double(seconds % 60) / 60.0 * 2 * std::numbers::pi;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, qMax(1.0, unit / 150.0)));
    p.drawEllipse(centre, r, r);
    p.drawLine(centre, centre + QPointF(std::sin(angle) * r, -std::cos(angle) * r));

    const int margin = qMax(2, unit / 40);
    drawLabel(p, cameraName(camera) + QStringLiteral("  \u00b7  cam%1").arg(camera),
              sceneFont(unit / 12, true), QPoint(margin, margin), Qt::AlignLeft | Qt::AlignTop);
    drawLabel(p, QLocale::c().toString(moment.toLocalTime(), QStringLiteral("yyyy-MM-dd hh:mm:ss")),
              sceneFont(unit / 14, false), QPoint(w - margin, h - margin),
              Qt::AlignRight | Qt::AlignBottom);
    drawLabel(p, QStringLiteral("new picture every %1 s").arg(changeEverySeconds),
              sceneFont(unit / 24, false), QPoint(margin, h - margin),
              Qt::AlignLeft | Qt::AlignBottom);
    p.end();
    return image;
}
