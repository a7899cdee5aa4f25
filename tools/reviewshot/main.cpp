// tessaly-review-shot OUT.png: the review window over a day of demo pictures,
// photographed for the documentation. A cam/ folder in a temporary directory
// gets a demo camera's pictures every minute of a morning and an afternoon
// (the gap between them shows on the timeline), with change events where the
// scene moved; the window shows one picture inside an event. Run it under
// xvfb-run (scripts/review-screenshot.sh).
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include "DemoCamScene.h"
#include "PictureIndex.h"
#include "ReviewWindow.h"
#include "SnapshotFileName.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaly-review-shot"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessaly-review-shot OUT.png\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toLocal8Bit());
    const QString cam = home.path() + QStringLiteral("/cam");
    QDir().mkpath(cam);

    const QDate day(2026, 7, 12);
    const QString camera = DemoCamScene::cameraName(1);
    DemoCamScene scene(QSize(960, 540));
    PictureIndex index(cam);
    if (!index.open())
        return 1;
    int n = 0;
    const struct
    {
        QTime from;
        QTime to;
    } spans[] = {{QTime(6, 10), QTime(11, 40)}, {QTime(13, 5), QTime(19, 50)}};
    for (const auto &span : spans) {
        for (QDateTime at(day, span.from); at.time() < span.to; at = at.addSecs(120), ++n) {
            const QString path = cam + QLatin1Char('/') + SnapshotFileName::make(camera, at);
            scene.render(1, at, 600).save(path, "JPG", 85);
            // A change every so often: a few pictures long.
            const int phase = n % 47;
            std::optional<qint64> event;
            if (phase < 4)
                event = n / 47 + 1;
            index.add(path, QFileInfo(path).size(), camera, phase < 4 ? 0.2 + 0.1 * phase : 0.01,
                      event);
        }
    }

    ReviewWindow window(&index, cam);
    window.resize(1100, 760);
    window.show();
    window.selectCamera(camera);
    window.showDay(day);
    window.showMoment(QTime(9, 0).msecsSinceStartOfDay() / 1000);
    window.jumpEvent(1);
    QTimer::singleShot(800, &app, [&] {
        const bool saved = window.grab().save(out);
        std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write",
                     out.toLocal8Bit().constData());
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
