#pragma once

#include <cmath>
#include <cstdint>

#include <QImage>

// Camera-like pictures for the codec benchmarks: smooth light, edges, texture
// and sensor noise, always the same, so that the codecs work as on a photo and
// not on flat colour, and figures compare between runs.

// An RGB32 picture whose every pixel is colour(x, y, noise): noise is the next
// value of a fixed pseudo-random sequence, drawn row by row, left to right.
template <typename Colour>
QImage noisyPicture(int width, int height, Colour &&colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            row[x] = colour(x, y, noise);
        }
    }
    return image;
}

// The 1920 x 1080 scene the save path and the JPEG writer are measured on:
// light, boxes, texture and a little noise.
inline QImage cameraScene()
{
    constexpr int width = 1920;
    constexpr int height = 1080;
    return noisyPicture(width, height, [](int x, int y, std::uint32_t noise) {
        const int grain = int(noise >> 28) - 8;
        const double light = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.006);
        const bool inBox = (x / 240 + y / 180) % 3 == 0;
        const double texture = 20 * std::sin(x * 0.31 + y * 0.17);
        return qRgb(qBound(0, int(200 * light + (x * 40) / width - texture) + grain, 255),
                    qBound(0, int((inBox ? 150 : 90) + 80 * light) + grain, 255),
                    qBound(0, int(60 + 120 * light + texture) + grain, 255));
    });
}
