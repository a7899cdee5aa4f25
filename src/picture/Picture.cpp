#include "Picture.h"

#include <mutex>

#include <QBuffer>
#include <QImageReader>

#include "JpegStructure.h"

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

bool isPadding(char c)
{
    return c == '\0' || c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

// The bytes without the blanks, line ends and NULs some servers append.
QByteArrayView withoutTrailingPadding(const QByteArray &bytes)
{
    qsizetype end = bytes.size();
    while (end > 0 && isPadding(bytes.at(end - 1)))
        --end;
    return QByteArrayView(bytes.constData(), end);
}

// A body cut short still decodes in Qt's readers, with the missing part filled
// in; only the format's own end mark tells a complete picture from a torn one.
bool hasEndMark(const QByteArray &bytes, const QByteArray &format)
{
    const QByteArrayView body = withoutTrailingPadding(bytes);
    if (format == "jpeg" || format == "jpg")
        return body.size() >= 4 && body.endsWith("\xFF\xD9");
    if (format == "png")
        return body.size() >= 12 && body.last(12).startsWith(QByteArrayView("\0\0\0\0IEND", 8));
    if (format == "gif")
        return !body.isEmpty() && body.back() == ';';
    return true;
}

bool tooManyPixels(const QSize &size)
{
    return qint64(size.width()) * qint64(size.height()) > Picture::MaxPixels;
}

// Decodes bytes at targetSize (the natural size when empty). Null on any failure.
QImage decode(const QByteArray &bytes, const QByteArray &format, const QSize &targetSize)
{
    raiseAllocationLimitOnce();
    QByteArray copy = bytes; // shares, no deep copy
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(false);
    const QSize natural = reader.size();
    if (natural.isValid() && tooManyPixels(natural))
        return {};
    if (!targetSize.isEmpty() && targetSize != natural)
        reader.setScaledSize(targetSize);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (!targetSize.isEmpty() && image.size() != targetSize)
        image = image.scaled(targetSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
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
    if (bytes.isEmpty())
        return {};
    raiseAllocationLimitOnce();

    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QByteArray format = reader.format().toLower();
    if (format.isEmpty() || !hasEndMark(bytes, format))
        return {};
    QSize natural = reader.size();
    if (natural.isValid() && (natural.isEmpty() || tooManyPixels(natural)))
        return {};

    auto data = std::make_shared<Data>();
    data->bytes = bytes;
    data->format = format;

    if (natural.isValid() && !full) {
        // Decoding the thumbnail is both the validation and the first paint's work.
        const QSize thumbSize = thumbnailSize.isEmpty() ? natural : thumbnailSize;
        if (thumbSize != natural)
            reader.setScaledSize(thumbSize);
        QImage thumb = reader.read();
        if (thumb.isNull())
            return {};
        if (thumb.size() != thumbSize)
            thumb = thumb.scaled(thumbSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        data->naturalSize = natural;
        data->thumbnail = thumb;
        return Picture(std::move(data));
    }

    // One full decode: wanted in full, or a reader that cannot tell the size
    // up front (still bounded by the allocation limit).
    auto whole = std::make_shared<const QImage>(reader.read());
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
    if (!bytes.startsWith("\xFF\xD8"))
        return fromBytes(bytes, thumbnailSize);
    const JpegStructure::Result jpeg = JpegStructure::check(bytes);
    if (!jpeg.complete || tooManyPixels(jpeg.size))
        return {};
    auto data = std::make_shared<Data>();
    data->bytes = bytes;
    data->format = QByteArrayLiteral("jpeg");
    data->naturalSize = jpeg.size;
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
    else
        made = decode(d->bytes, d->format, size);
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
    auto made = std::make_shared<const QImage>(decode(d->bytes, d->format, d->naturalSize));
    d->fullDecode = made;
    return made;
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
    return decode(d->bytes, d->format, size);
}
