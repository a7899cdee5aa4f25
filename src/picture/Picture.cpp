#include "Picture.h"

#include <mutex>

#include <turbojpeg.h>

#include <QBuffer>
#include <QImageReader>

#include "PictureStructure.h"

struct Picture::Data
{
    QByteArray bytes;
    QByteArray format;
    QSize naturalSize;
    // Drawn pictures have no bytes to decode again; they keep their image.
    std::shared_ptr<const QImage> drawn;

    mutable std::mutex mutex;
    mutable QImage thumbnail;
    mutable std::weak_ptr<const QImage> fullDecode;
};

namespace {

void raiseAllocationLimitOnce()
{
    // The reader's default limit (128 MiB) would refuse pictures well inside
    // MaxPixels; ours still bounds what one hostile header can make us allocate.
    static std::once_flag once;
    std::call_once(once, [] {
        if (QImageReader::allocationLimit() < Picture::AllocationLimitMiB)
            QImageReader::setAllocationLimit(Picture::AllocationLimitMiB);
    });
}

bool tooManyPixels(const QSize &size)
{
    return PictureStructure::tooManyPixels(size.width(), size.height());
}

bool isJpeg(const QByteArray &format)
{
    return format == "jpeg" || format == "jpg";
}

// What TurboJPEG made of a JPEG.
struct JpegDecode
{
    QImage image;         // null when the reader must decode (grey, CMYK) or on refusal
    bool refused = false; // the decoder failed, or the data ended before the picture
};

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

// The smallest size TurboJPEG scales to in the DCT that still covers target, so
// what is left to shrink is little. The natural size when none does.
QSize dctScaledSize(const QSize &natural, const QSize &target)
{
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    QSize best = natural;
    for (int i = 0; factors && i < count; ++i) {
        const QSize scaled(TJSCALED(natural.width(), factors[i]),
                           TJSCALED(natural.height(), factors[i]));
        if (scaled.width() >= target.width() && scaled.height() >= target.height() &&
            qint64(scaled.width()) * scaled.height() < qint64(best.width()) * best.height())
            best = scaled;
    }
    return best;
}

// A JPEG judged by the decoder: what trails the end marker does not matter, but
// a decoder error, or its warning that the data ended before the picture did
// (a torn body, or a middle missing before an intact end marker), refuses it.
// Other warnings (stray bytes before a marker) leave a whole picture and pass.
// Colour pictures come back as 32-bit pixels at the smallest DCT scale that
// covers target; the image reader, which widens 24-bit rows one by one, cost a
// tenth more. Grey and CMYK pictures are only judged here, at the smallest
// scale; the reader then decodes them into formats of their own.
JpegDecode decodeJpeg(const QByteArray &bytes, const QSize &natural, const QSize &target)
{
    JpegDecode result;
    if (!natural.isValid() || natural.isEmpty() || tooManyPixels(natural))
        return result;
    Decompressor decompressor;
    if (!decompressor.handle)
        return result;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(decompressor.handle, data, size, &width, &height, &subsampling,
                            &colourSpace) != 0 ||
        QSize(width, height) != natural) {
        result.refused = true;
        return result;
    }
    const bool colour = colourSpace == TJCS_YCbCr || colourSpace == TJCS_RGB;
    const QSize scaled = dctScaledSize(natural, colour ? target : QSize(1, 1));
    QImage image;
    int pixelFormat = TJPF_GRAY;
    if (colour) {
        image = QImage(scaled, QImage::Format_RGB32);
        // The fourth byte must be 0xFF in Format_RGB32; the A formats guarantee it.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        pixelFormat = TJPF_BGRA;
#else
        pixelFormat = TJPF_ARGB;
#endif
    } else if (colourSpace == TJCS_GRAY) {
        image = QImage(scaled, QImage::Format_Grayscale8);
    } else {
        image = QImage(scaled.width() * 4, scaled.height(), QImage::Format_Grayscale8);
        pixelFormat = TJPF_CMYK;
    }
    if (image.isNull())
        return result;
    if (tjDecompress2(decompressor.handle, data, size, image.bits(), scaled.width(),
                      int(image.bytesPerLine()), scaled.height(), pixelFormat, 0) != 0) {
        const bool warning = tjGetErrorCode(decompressor.handle) == TJERR_WARNING;
        const QByteArray why = tjGetErrorStr2(decompressor.handle);
        if (!warning || why.contains("remature end")) {
            result.refused = true;
            return result;
        }
    }
    if (colour)
        result.image = std::move(image);
    return result;
}

// A thumbnail from full-size pixels: a quick sampling down to four times the
// size, then an area average over those samples. Close to what the scaled
// decode gives, at a fraction of a smooth scale over every pixel.
QImage shrink(const QImage &image, const QSize &size)
{
    if (image.size() == size)
        return image;
    const QSize coarse = size * 4;
    if (image.width() >= coarse.width() * 2 && image.height() >= coarse.height() * 2) {
        return image.scaled(coarse, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Qt's reader over bytes in memory, held to the format the structure walk
// found: it neither guesses another from the content nor turns the pixels by
// an orientation tag. Usable only when open.
struct PinnedReader
{
    PinnedReader(const QByteArray &bytes, const QByteArray &format)
        : copy(bytes)
        , buffer(&copy)
        , open(buffer.open(QIODevice::ReadOnly))
        , reader(&buffer, format)
    {
        reader.setAutoDetectImageFormat(false);
        reader.setAutoTransform(false);
    }

    QByteArray copy; // shares, no deep copy
    QBuffer buffer;
    bool open;
    QImageReader reader;
};

// Reads at size (the natural size when empty): the reader scales while it
// decodes where it can, and a smooth scale finishes where it could not. Null
// when the reader fails.
QImage readAt(QImageReader &reader, const QSize &natural, const QSize &size)
{
    if (!size.isEmpty() && size != natural)
        reader.setScaledSize(size);
    QImage image = reader.read();
    if (!image.isNull() && !size.isEmpty() && image.size() != size)
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

// Decodes bytes at targetSize (the natural size when empty). Null on any failure.
// knownSize is the picture's natural size when known.
QImage decode(const QByteArray &bytes, const QByteArray &format, const QSize &targetSize,
              const QSize &knownSize = QSize())
{
    raiseAllocationLimitOnce();
    if (isJpeg(format) && knownSize.isValid()) {
        const QSize target = targetSize.isEmpty() ? knownSize : targetSize;
        JpegDecode jpeg = decodeJpeg(bytes, knownSize, target);
        if (jpeg.refused)
            return {};
        if (!jpeg.image.isNull())
            return shrink(jpeg.image, target);
    }
    PinnedReader source(bytes, format);
    if (!source.open)
        return {};
    const QSize natural = source.reader.size();
    if (natural.isValid() && tooManyPixels(natural))
        return {};
    return readAt(source.reader, natural, targetSize);
}

} // namespace

Picture::Picture(std::shared_ptr<Data> data)
    : d(std::move(data))
{
}

QSize Picture::panelSize()
{
    return QSize(85, 64);
}

Picture Picture::fromBytes(const QByteArray &bytes, const QSize &thumbnailSize)
{
    return decodeBytes(bytes, thumbnailSize, nullptr);
}

Picture Picture::fromBytesInFull(const QByteArray &bytes, const QSize &thumbnailSize,
                                 std::shared_ptr<const QImage> *full)
{
    std::shared_ptr<const QImage> unused;
    return decodeBytes(bytes, thumbnailSize, full ? full : &unused);
}

Picture Picture::decodeBytes(const QByteArray &bytes, const QSize &thumbnailSize,
                             std::shared_ptr<const QImage> *full)
{
    if (full)
        full->reset();
    // No decoder sees bytes whose structure has not been walked first.
    const PictureStructure::Result structure = PictureStructure::check(bytes);
    if (!structure.complete)
        return {};
    raiseAllocationLimitOnce();

    const QByteArray format = PictureStructure::readerFormat(structure.format);
    PinnedReader source(bytes, format);
    if (!source.open)
        return {};
    QImageReader &reader = source.reader;
    QSize natural = reader.size();
    if (natural.isValid() && (natural.isEmpty() || tooManyPixels(natural)))
        return {};

    auto data = std::make_shared<Data>();
    data->bytes = bytes;
    data->format = format;

    // A JPEG is judged by the decoder, and a colour one decoded by it too.
    QImage pixels;
    if (isJpeg(format)) {
        const QSize target = full || thumbnailSize.isEmpty() ? natural : thumbnailSize;
        JpegDecode jpeg = decodeJpeg(bytes, natural, target);
        if (jpeg.refused)
            return {};
        if (!jpeg.image.isNull() && !full) {
            data->naturalSize = natural;
            data->thumbnail = shrink(jpeg.image, target);
            return Picture(std::move(data));
        }
        pixels = std::move(jpeg.image);
    }

    if (natural.isValid() && !full && pixels.isNull()) {
        // Decoding the thumbnail is both the validation and the first paint's work.
        const QSize thumbSize = thumbnailSize.isEmpty() ? natural : thumbnailSize;
        QImage thumb = readAt(reader, natural, thumbSize);
        if (thumb.isNull())
            return {};
        data->naturalSize = natural;
        data->thumbnail = thumb;
        return Picture(std::move(data));
    }

    // One full decode: wanted in full, or a reader that cannot tell the size
    // up front (still bounded by the allocation limit).
    if (pixels.isNull())
        pixels = reader.read();
    auto whole = std::make_shared<const QImage>(std::move(pixels));
    if (whole->isNull() || tooManyPixels(whole->size()) ||
        (natural.isValid() && whole->size() != natural))
        return {};
    data->naturalSize = whole->size();
    data->thumbnail = thumbnailSize.isEmpty() ? *whole : shrink(*whole, thumbnailSize);
    if (full) {
        data->fullDecode = whole;
        *full = std::move(whole);
    }
    return Picture(std::move(data));
}

Picture Picture::fromBytesChecked(const QByteArray &bytes, const QSize &thumbnailSize)
{
    const PictureStructure::Result structure = PictureStructure::check(bytes);
    if (structure.format != PictureStructure::Format::Jpeg)
        return fromBytes(bytes, thumbnailSize);
    if (!structure.complete)
        return {};
    auto data = std::make_shared<Data>();
    data->bytes = bytes;
    data->format = QByteArrayLiteral("jpeg");
    data->naturalSize = structure.size;
    return Picture(std::move(data));
}

Picture Picture::fromEncoded(const QByteArray &bytes, const QByteArray &format,
                             const QSize &naturalSize, const QImage &thumbnail)
{
    if (bytes.isEmpty() || naturalSize.isEmpty())
        return {};
    auto data = std::make_shared<Data>();
    data->bytes = bytes;
    data->format = format.toLower();
    data->naturalSize = naturalSize;
    data->thumbnail = thumbnail;
    return Picture(std::move(data));
}

Picture Picture::fromImage(const QImage &image)
{
    if (image.isNull())
        return {};
    auto data = std::make_shared<Data>();
    data->naturalSize = image.size();
    data->drawn = std::make_shared<const QImage>(image);
    return Picture(std::move(data));
}

QSize Picture::size() const
{
    return d ? d->naturalSize : QSize();
}

QByteArray Picture::bytes() const
{
    return d ? d->bytes : QByteArray();
}

QByteArray Picture::format() const
{
    return d ? d->format : QByteArray();
}

QImage Picture::thumbnail(const QSize &size) const
{
    if (!d || size.isEmpty())
        return {};
    std::lock_guard lock(d->mutex);
    if (d->thumbnail.size() == size)
        return d->thumbnail;
    QImage made;
    if (d->drawn)
        made = d->drawn->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    else if (const auto held = d->fullDecode.lock(); held && !held->isNull())
        made = shrink(*held, size);
    else
        made = decode(d->bytes, d->format, size, d->naturalSize);
    if (!made.isNull())
        d->thumbnail = made;
    return made;
}

QImage Picture::cachedThumbnail() const
{
    if (!d)
        return {};
    std::lock_guard lock(d->mutex);
    return d->thumbnail;
}

std::shared_ptr<const QImage> Picture::full() const
{
    if (!d)
        return std::make_shared<const QImage>();
    if (d->drawn)
        return d->drawn;
    std::lock_guard lock(d->mutex);
    if (auto held = d->fullDecode.lock())
        return held;
    auto made =
        std::make_shared<const QImage>(decode(d->bytes, d->format, d->naturalSize, d->naturalSize));
    d->fullDecode = made;
    return made;
}

std::shared_ptr<const QImage> Picture::heldFull() const
{
    if (!d)
        return nullptr;
    if (d->drawn)
        return d->drawn;
    std::lock_guard lock(d->mutex);
    return d->fullDecode.lock();
}

QImage Picture::scaled(const QSize &size) const
{
    if (!d || size.isEmpty())
        return {};
    if (d->drawn)
        return d->drawn->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        std::lock_guard lock(d->mutex);
        if (d->thumbnail.size() == size)
            return d->thumbnail;
        // Scaling an existing full decode beats decoding the bytes again.
        if (auto held = d->fullDecode.lock())
            return held->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return decode(d->bytes, d->format, size, d->naturalSize);
}
