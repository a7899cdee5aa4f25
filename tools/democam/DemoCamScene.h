#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>

// Paints the picture a demo camera shows at a given moment: a textured
// background of the camera's own colour, shapes that move with the moment,
// the camera's name and a clock. The same camera and moment always give the
// same picture, so a repeat fetch of an unchanged camera sees the same bytes.
class DemoCamScene
{
public:
    explicit DemoCamScene(QSize size);

    QSize size() const { return m_size; }
    // "Demo Yard", "Demo Door", ... one fixed name per camera number 1..24.
    static QString cameraName(int camera);

    // Needs a QGuiApplication (fonts); the platform may be "offscreen".
    QImage render(int camera, const QDateTime &moment, int changeEverySeconds);

private:
    const QImage &background(int camera);

    QSize m_size;
    // The background costs the most to paint and never changes: one per camera.
    QHash<int, QImage> m_backgrounds;
};
