#pragma once

#include <QString>

// What the real ffprobe (Debian's ffmpeg) reads in a video file.
namespace FfProbe {

struct Video
{
    // Empty when ffprobe ran and read the file; otherwise why not, including
    // "ffprobe is not installed".
    QString error;
    QString codec;
    QString pixelFormat;
    int width = 0;
    int height = 0;
    int frames = 0; // counted by decoding, not taken from the header
    double durationSeconds = 0;
};

Video probe(const QString &path);

} // namespace FfProbe
