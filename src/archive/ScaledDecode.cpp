#include "ScaledDecode.h"

#include <QFile>
#include <QImageReader>

#include <turbojpeg.h>

namespace {

// One decompressor per thread, kept: making one costs more than a small decode.
tjhandle decompressor()
{
    struct Handle
    {
        tjhandle handle = tjInitDecompress();
        ~Handle() { tjDestroy(handle); }
    };
    thread_local Handle handle;
    return handle.handle;
}

QImage withQtReader(const QString &path, const QSize &box)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize natural = reader.size();
    if (natural.isValid() && !box.isEmpty()) {
        const QSize fitted = natural.scaled(box, Qt::KeepAspectRatio);
        if (fitted.width() < natural.width())
            reader.setScaledSize(fitted);
    }
    return reader.read();
}

} // namespace

QImage ScaledDecode::toFit(const QString &path, const QSize &box)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    tjhandle handle = decompressor();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (!handle || tjDecompressHeader3(handle, data, (unsigned long)bytes.size(), &width, &height,
                                       &subsampling, &colorspace) != 0)
        return withQtReader(path, box);
    if (width <= 0 || height <= 0 || qint64(width) * height > 100'000'000)
        return {};

    // The largest scale whose result fits the box; the smallest there is when
    // none does.
    int scalingCount = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&scalingCount);
    int outWidth = TJSCALED(width, factors[scalingCount - 1]);
    int outHeight = TJSCALED(height, factors[scalingCount - 1]);
    const QSize target = box.isEmpty() ? QSize(width, height) : box;
    for (int i = 0; i < scalingCount; ++i) {
        const int w = TJSCALED(width, factors[i]);
        const int h = TJSCALED(height, factors[i]);
        if (w <= std::max(target.width(), 1) && h <= std::max(target.height(), 1) && w <= width &&
            qint64(w) * h > qint64(outWidth) * outHeight) {
            outWidth = w;
            outHeight = h;
        }
    }
    QImage image(outWidth, outHeight, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // BGRX in memory is what QImage's RGB32 is on a little-endian machine.
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    const int rc = tjDecompress2(handle, data, (unsigned long)bytes.size(), image.bits(), outWidth,
                                 int(image.bytesPerLine()), outHeight, format,
                                 TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE);
    // A picture cut short still shows the rows it has.
    if (rc != 0 && tjGetErrorCode(handle) != TJERR_WARNING)
        return {};
    return image;
}
