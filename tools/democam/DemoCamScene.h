#pragma once

#include <optional>

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// What a demo camera shows. Shapes is the lively default; the others are
// the scenes change detection is proved on, each a still view with one kind
// of happening (or of trouble) over it, a cycle of a minute (dawn: twenty):
// - Still: only sensor noise.
// - Dawn: the whole picture brightens over ten minutes and darkens over ten.
// - Lights: the whole picture jumps from dark to bright every half minute.
// - Walker: a person crosses the picture in the first 20 s of each minute.
// - Small: a parcel of 1.5 % of the picture lies there from 30 s to 36 s.
// - Clock: the camera's own date and time written over the view.
// - Rain: fine streaks all over the picture, new in every picture.
enum class DemoSceneKind { Shapes, Still, Dawn, Lights, Walker, Small, Clock, Rain };

// Paints the picture a demo camera shows at a given moment: a textured
// background of the camera's own colour, shapes that move with the moment,
// the camera's name and a clock. The same camera and moment always give the
// same picture, so a repeat fetch of an unchanged camera sees the same bytes.
class DemoCamScene
{
public:
    explicit DemoCamScene(QSize size, DemoSceneKind kind = DemoSceneKind::Shapes);

    QSize size() const { return m_size; }
    DemoSceneKind kind() const { return m_kind; }
    static QString kindName(DemoSceneKind kind);
    static std::optional<DemoSceneKind> kindFromName(const QString &name);
    static QStringList kindNames();
    // "Demo Yard", "Demo Door", ... one fixed name per camera number 1..24.
    static QString cameraName(int camera);

    // Needs a QGuiApplication (fonts); the platform may be "offscreen".
    QImage render(int camera, const QDateTime &moment, int changeEverySeconds);

private:
    const QImage &background(int camera);
    QImage renderDetectionScene(const QImage &base, int camera, qint64 seconds) const;

    QSize m_size;
    DemoSceneKind m_kind = DemoSceneKind::Shapes;
    // The background costs the most to paint and never changes: one per camera.
    QHash<int, QImage> m_backgrounds;
};
