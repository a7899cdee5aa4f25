#pragma once

#include <functional>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

// Pictures as cameras send them, made at test time, and a way to measure what
// reading one costs.
namespace TestPictures {

// Four coloured quadrants (red, green, blue, white), so scaling and decoding
// errors show in the pixels.
QImage quadrants(const QSize &size);

// An RGB32 picture of size whose pixel (x, y) is pixel(x, y): ramps, waves and
// patterns each test draws to its own purpose.
QImage fromPixels(const QSize &size, const std::function<QRgb(int x, int y)> &pixel);

// image written by Qt's own writer ("jpeg", "png", "bmp"); quality -1 is the
// writer's default.
QByteArray encode(const QImage &image, const char *format, bool progressive = false,
                  int quality = -1);

// A JPEG of one flat colour, as a camera would send it.
QByteArray jpegOf(const QColor &color, const QSize &size = QSize(64, 48));

// A JPEG of a textured path, with a dark person-sized block whose left edge is
// at x = personAt when personAt is 0 or more: what change detection must find.
QByteArray pathView(const QSize &size, int personAt);

// A GIF of the quadrants with a four-colour table, LZW-coded by hand (Qt writes
// no GIF).
QByteArray gif(const QSize &size);

// A progressive JPEG whose last scan is repeated until it has `scans` scans in
// all. A decoder passes over every coefficient once per scan.
QByteArray manyScanJpeg(const QSize &size, int scans);

struct ChildUsage
{
    bool ok = false;       // the child ran to its end and exited 0
    long peakRssKiB = 0;   // its peak resident set
    double cpuSeconds = 0; // user and system time
};

// Runs work in a forked child and reports what it cost, so a test can measure
// the peak memory of one operation without the parent's history in the way.
// The child gets `seconds` before it is killed.
ChildUsage runInChild(const std::function<void()> &work, int seconds = 60);

} // namespace TestPictures
