// Repainting the viewer's picture: imgMain is sized to the zoomed picture
// (up to 5 x its natural size) and clipped by its viewport, so a repaint must
// cost what the visible part costs, not what the whole enlargement would.
// The full-screen case shrinks a large camera picture to the screen once per
// size and then only copies it.
//
//   cmake --build build --target bench_ZoomImage && build/bench/bench_ZoomImage

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "BenchCodecs.h"
#include "ZoomImage.h"

namespace {

QImage cameraPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x & 255, y & 255, (x ^ y) & 255));
    return picture;
}

// zoom 0 stretches the picture to the viewport itself (the picture window).
void repaint(benchmark::State &state, int zoom, QSize picture, QSize viewport)
{
    QWidget port;
    port.resize(viewport);
    ZoomImage image(&port);
    image.setPicture(cameraPicture(picture.width(), picture.height()));
    if (zoom > 0)
        image.setGeometry(-100, -100, picture.width() * zoom, picture.height() * zoom);
    else
        image.setGeometry(port.rect());
    QImage target(viewport, QImage::Format_RGB32);
    for (auto _ : state) {
        port.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}

} // namespace

// The viewport is Picture1 of a maximised 1920 x 1080 main window (561 x 461).
BENCHMARK_CAPTURE(repaint, vga_zoom1, 1, QSize(640, 480), QSize(561, 461))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(repaint, vga_zoom5, 5, QSize(640, 480), QSize(561, 461))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(repaint, fullhd_zoom5, 5, QSize(1920, 1080), QSize(561, 461))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(repaint, fullhd_to_screen_1280x720, 0, QSize(1920, 1080), QSize(1280, 720))
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return runBenchmarks<QApplication>(argc, argv);
}
