#include "GridPicture.h"

#include <memory>
#include <vector>

#include <turbojpeg.h>

namespace {
struct Handle
{
    tjhandle handle;
    explicit Handle(tjhandle h)
        : handle(h)
    {
    }
    ~Handle()
    {
        if (handle)
            tjDestroy(handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
};
} // namespace

QSize GridPicture::scaledSize(const QSize &size)
{
    for (const int denominator : {1, 2, 4, 8}) {
        const QSize scaled((size.width() + denominator - 1) / denominator,
                           (size.height() + denominator - 1) / denominator);
        if (scaled.width() <= MaxWidth)
            return scaled;
    }
    return QSize((size.width() + 7) / 8, (size.height() + 7) / 8);
}

QByteArray GridPicture::make(const QByteArray &jpeg)
{
    const Handle decoder(tjInitDecompress());
    if (!decoder.handle || jpeg.isEmpty())
        return {};
    const auto *in = reinterpret_cast<const unsigned char *>(jpeg.constData());
    const unsigned long inSize = static_cast<unsigned long>(jpeg.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(decoder.handle, in, inSize, &width, &height, &subsampling,
                            &colorspace) != 0 ||
        width <= 0 || height <= 0 || qint64(width) * height > qint64(100) * 1000 * 1000)
        return {};
    const QSize scaled = scaledSize(QSize(width, height));
    if (scaled.width() == width)
        return jpeg; // small enough already: the camera's own bytes
    std::vector<unsigned char> pixels(size_t(scaled.width()) * size_t(scaled.height()) * 3);
    // A torn picture gives a warning and grey rows; a tile may show that.
    if (tjDecompress2(decoder.handle, in, inSize, pixels.data(), scaled.width(), 0, scaled.height(),
                      TJPF_RGB, TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) != 0 &&
        tjGetErrorCode(decoder.handle) != TJERR_WARNING)
        return {};
    const Handle encoder(tjInitCompress());
    if (!encoder.handle)
        return {};
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    if (tjCompress2(encoder.handle, pixels.data(), scaled.width(), 0, scaled.height(), TJPF_RGB,
                    &out, &outSize, TJSAMP_420, Quality, TJFLAG_FASTDCT) != 0) {
        tjFree(out);
        return {};
    }
    QByteArray result(reinterpret_cast<const char *>(out), qsizetype(outSize));
    tjFree(out);
    return result;
}
