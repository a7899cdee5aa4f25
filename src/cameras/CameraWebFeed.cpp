#include "CameraWebFeed.h"

#include <optional>

#include <QDateTime>
#include <QTimer>

#include "Camera.h"
#include "CameraEngine.h"
#include "WebCameraBoard.h"
#include "WebView.h"

namespace {

// "delivering; last picture 3 s ago", "failing for 2 min (40 failed fetches)".
QString healthLine(const Camera &camera, qint64 now)
{
    const CameraHealth &health = camera.health();
    if (health.isFailing())
        return QStringLiteral("failing for %1 (%2 failed fetches)")
            .arg(CameraHealth::spanText(now - health.downSinceMs()))
            .arg(health.failuresInRun());
    if (!health.hasPicture())
        return QStringLiteral("waiting for the first picture");
    return QStringLiteral("delivering; last picture %1 ago")
        .arg(CameraHealth::spanText(now - health.lastPictureMs()));
}

// Whether a change is going on, where the camera watches for change at all.
std::optional<bool> changeMark(const Camera &camera)
{
    return camera.detecting() ? std::optional<bool>(camera.inChange()) : std::nullopt;
}

} // namespace

void CameraWebFeed::follow(CameraEngine &engine, WebView &web, QObject *context)
{
    WebCameraBoard &board = web.board();
    for (const Camera *camera : engine.cameras())
        board.setCamera(camera->panel() + 1, camera->name(), camera->refreshText());
    QObject::connect(&engine, &CameraEngine::opened, context, [&board](Camera *camera) {
        board.setCamera(camera->panel() + 1, camera->name(), camera->refreshText());
    });
    QObject::connect(&engine, &CameraEngine::pictureArrived, context,
                     [&board](Camera *camera, const Picture &picture, bool) {
                         if (picture.format() == "jpeg")
                             board.setPicture(camera->panel() + 1, picture.bytes(),
                                              QDateTime::currentDateTime());
                     });
    QObject::connect(&engine, &CameraEngine::changeJudged, context, [&board](Camera *camera) {
        board.setChangeMark(camera->panel() + 1, changeMark(*camera));
    });
    QObject::connect(&engine, &CameraEngine::stopped, context,
                     [&board](int index, bool) { board.remove(index + 1); });
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [&engine, &board] {
        for (const Camera *camera : engine.cameras()) {
            board.setHealth(camera->panel() + 1, camera->isStale(),
                            healthLine(*camera, engine.nowMs()));
            // Detection switched off (or on) between pictures shows here too.
            board.setChangeMark(camera->panel() + 1, changeMark(*camera));
        }
    });
    timer->start(1000);
}
