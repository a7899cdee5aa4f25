#include "GreyPicture.h"

#include <cstdlib>
#include <vector>

#include <turbojpeg.h>

namespace {

struct Decompressor
{
    tjhandle handle = tjInitDecompress();
    ~Decompressor()
    {
        if (handle)
            tjDestroy(handle);
    }
    Decompressor() = default;
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;
};

// The smallest scaling factor TurboJPEG offers (1/8 on every build we know).
tjscalingfactor smallestFactor()
{
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    for (int i = 0; factors && i < count; ++i) {
        if (double(factors[i].num) / factors[i].denom < double(best.num) / best.denom)
            best = factors[i];
    }
    return best;
}

double planeColourfulness(const std::vector<unsigned char> &u, const std::vector<unsigned char> &v)
{
    if (u.empty() || u.size() != v.size())
        return 0.0;
    qint64 sum = 0;
    for (size_t i = 0; i < u.size(); ++i)
        sum += std::abs(int(u[i]) - 128) + std::abs(int(v[i]) - 128);
    return double(sum) / double(u.size());
}

} // namespace

GreyPicture::GreyPicture(QImage image, double colourfulness)
    : m_image(std::move(image))
    , m_colourfulness(colourfulness)
{
}

GreyPicture GreyPicture::fromImage(const QImage &image)
{
    if (image.isNull())
        return {};
    if (image.format() == QImage::Format_Grayscale8)
        return GreyPicture(image, 0.0);
    const QImage rgb =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    QImage grey(rgb.size(), QImage::Format_Grayscale8);
    qint64 chroma = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *out = grey.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const int r = qRed(in[x]), g = qGreen(in[x]), b = qBlue(in[x]);
            // BT.601 luma, as a JPEG's Y plane holds it, so both roads agree.
            out[x] = uchar((77 * r + 150 * g + 29 * b + 128) >> 8);
            chroma += std::abs(r - g) + std::abs(g - b);
        }
    }
    // |r-g| + |g-b| runs about twice the JPEG's |Cb| + |Cr| for the same picture.
    const double pixels = double(rgb.width()) * rgb.height();
    return GreyPicture(grey, pixels > 0 ? double(chroma) / pixels / 2.0 : 0.0);
}

GreyPicture GreyPicture::fromJpeg(const QByteArray &jpeg)
{
    Decompressor d;
    if (!d.handle || jpeg.isEmpty())
        return {};
    const auto *data = reinterpret_cast<const unsigned char *>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(d.handle, data, size, &width, &height, &subsampling, &colourSpace) !=
            0 ||
        width <= 0 || height <= 0 || qint64(width) * height > (qint64(1) << 28))
        return {};
    const tjscalingfactor factor = smallestFactor();
    const int w = TJSCALED(width, factor);
    const int h = TJSCALED(height, factor);
    if (subsampling < 0 || colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK) {
        // No planes to take apart: let the decoder make grey pixels.
        QImage grey(w, h, QImage::Format_Grayscale8);
        if (tjDecompress2(d.handle, data, size, grey.bits(), w, int(grey.bytesPerLine()), h,
                          TJPF_GRAY, 0) != 0 &&
            tjGetErrorCode(d.handle) != TJERR_WARNING)
            return {};
        return GreyPicture(grey, 0.0);
    }
    // Planes are padded to whole chroma blocks: the luma plane may be a row
    // or a column larger than the picture.
    const int lw = tjPlaneWidth(0, w, subsampling);
    const int lh = tjPlaneHeight(0, h, subsampling);
    if (lw < w || lh < h)
        return {};
    QImage luma(lw, lh, QImage::Format_Grayscale8);
    const bool grey = subsampling == TJSAMP_GRAY;
    std::vector<unsigned char> u, v;
    int strides[3] = {int(luma.bytesPerLine()), 0, 0};
    unsigned char *planes[3] = {luma.bits(), nullptr, nullptr};
    if (!grey) {
        const int cw = tjPlaneWidth(1, w, subsampling);
        const int ch = tjPlaneHeight(1, h, subsampling);
        if (cw <= 0 || ch <= 0)
            return {};
        u.resize(size_t(cw) * size_t(ch));
        v.resize(u.size());
        planes[1] = u.data();
        planes[2] = v.data();
        strides[1] = strides[2] = cw;
    }
    if (tjDecompressToYUVPlanes(d.handle, data, size, planes, w, strides, h, 0) != 0) {
        // A warning leaves a whole picture; the end of data before the picture's
        // end does not.
        const QByteArray why = tjGetErrorStr2(d.handle);
        if (tjGetErrorCode(d.handle) != TJERR_WARNING || why.contains("remature end"))
            return {};
    }
    return GreyPicture(lw == w && lh == h ? luma : luma.copy(0, 0, w, h),
                       grey ? 0.0 : planeColourfulness(u, v));
}
