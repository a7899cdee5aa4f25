#pragma once

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include "DibSection.h"

// The bare codecs the program's own picture paths are measured against, and
// the main() of a benchmark that needs a Qt application first.

// Qt's JPEG reader with nothing of ours around it.
inline QImage bareDecode(const QByteArray &jpeg)
{
    QByteArray copy = jpeg;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.read();
}

// The picture as a camera sends it; empty when it cannot be encoded.
inline QByteArray cameraJpeg(const QImage &image, int quality)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        jpeg.clear();
    return jpeg;
}

// TurboJPEG's encoder with the settings SaveJpegFile uses: the size of the
// result, 0 when it failed.
inline unsigned long bareCompress(tjhandle handle, const DibSection &dib, int quality)
{
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(handle, dib.DIBSectionBitsPtr(), dib.Width(), dib.BytesPerScanLine(),
                    dib.Height(), TJPF_BGR, &jpeg, &size, TJSAMP_420, quality,
                    TJFLAG_BOTTOMUP) != 0)
        size = 0;
    tjFree(jpeg);
    return size;
}

// Runs the benchmarks inside an App (QCoreApplication, or QApplication where
// widgets are measured).
template <typename App>
int runBenchmarks(int argc, char **argv)
{
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
