#include "PictureStructure.h"

#include <algorithm>
#include <climits>

#include "JpegStructure.h"

namespace {

// Reads little- and big-endian words without ever reaching past the end: the
// callers check lengths first, and every read here is checked again.
class Bytes
{
public:
    explicit Bytes(QByteArrayView bytes)
        : m_data(reinterpret_cast<const unsigned char *>(bytes.data()))
        , m_size(bytes.size())
    {
    }

    qsizetype size() const { return m_size; }
    bool has(qsizetype at, qsizetype count) const
    {
        return at >= 0 && count >= 0 && at <= m_size && count <= m_size - at;
    }
    unsigned at(qsizetype i) const { return m_data[i]; }
    quint32 be32(qsizetype i) const
    {
        return (quint32(m_data[i]) << 24) | (quint32(m_data[i + 1]) << 16) |
               (quint32(m_data[i + 2]) << 8) | quint32(m_data[i + 3]);
    }
    quint16 le16(qsizetype i) const { return quint16(m_data[i] | (m_data[i + 1] << 8)); }
    quint32 le32(qsizetype i) const
    {
        return quint32(m_data[i]) | (quint32(m_data[i + 1]) << 8) | (quint32(m_data[i + 2]) << 16) |
               (quint32(m_data[i + 3]) << 24);
    }
    bool matches(qsizetype at, QByteArrayView what) const
    {
        return has(at, what.size()) &&
               QByteArrayView(reinterpret_cast<const char *>(m_data) + at, what.size()) == what;
    }

private:
    const unsigned char *m_data;
    qsizetype m_size;
};

constexpr QByteArrayView PngSignature("\x89PNG\r\n\x1A\n", 8);

bool isLetter(unsigned c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Bit depths a PNG colour type allows.
bool pngDepthFits(unsigned colourType, unsigned depth)
{
    switch (colourType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

// Skips GIF data sub-blocks (a length byte, that many bytes, until a zero
// length). Returns the position after the terminator, or -1 when they run off.
qsizetype skipSubBlocks(const Bytes &b, qsizetype pos)
{
    while (b.has(pos, 1)) {
        const unsigned length = b.at(pos);
        ++pos;
        if (length == 0)
            return pos;
        if (!b.has(pos, length))
            return -1;
        pos += length;
    }
    return -1;
}

} // namespace

bool PictureStructure::onlyPaddingFrom(QByteArrayView bytes, qsizetype from)
{
    for (qsizetype i = from; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\0' && c != '\r' && c != '\n' && c != ' ' && c != '\t')
            return false;
    }
    return true;
}

bool PictureStructure::tooManyPixels(qint64 width, qint64 height)
{
    return width <= 0 || height <= 0 || width * height > MaxPixels;
}

PictureStructure::Format PictureStructure::sniff(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xD8"))
        return Format::Jpeg;
    if (bytes.startsWith(PngSignature))
        return Format::Png;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return Format::Gif;
    if (bytes.startsWith("BM"))
        return Format::Bmp;
    return Format::Unknown;
}

QByteArray PictureStructure::readerFormat(Format format)
{
    switch (format) {
    case Format::Jpeg:
        return QByteArrayLiteral("jpeg");
    case Format::Png:
        return QByteArrayLiteral("png");
    case Format::Gif:
        return QByteArrayLiteral("gif");
    case Format::Bmp:
        return QByteArrayLiteral("bmp");
    case Format::Unknown:
        break;
    }
    return {};
}

PictureStructure::Result PictureStructure::check(QByteArrayView bytes)
{
    switch (sniff(bytes)) {
    case Format::Jpeg: {
        const JpegStructure::Result jpeg = JpegStructure::check(bytes);
        Result result;
        result.format = Format::Jpeg;
        result.size = jpeg.size;
        result.complete = jpeg.complete && !tooManyPixels(jpeg.size.width(), jpeg.size.height());
        return result;
    }
    case Format::Png:
        return checkPng(bytes);
    case Format::Gif:
        return checkGif(bytes);
    case Format::Bmp:
        return checkBmp(bytes);
    case Format::Unknown:
        break;
    }
    return {};
}

PictureStructure::Result PictureStructure::checkPng(QByteArrayView bytes)
{
    Result result;
    const Bytes b(bytes);
    if (!b.matches(0, PngSignature))
        return result;
    result.format = Format::Png;

    // Chunks: a 31-bit length, a four-letter type, the data, a CRC. The CRC is
    // left to libpng, which refuses a bad one on its own without allocating.
    qsizetype pos = PngSignature.size();
    bool headerSeen = false;
    bool paletteSeen = false;
    bool dataSeen = false;
    unsigned colourType = 0;
    while (true) {
        if (!b.has(pos, 8))
            return result;
        const quint32 length = b.be32(pos);
        if (length > 0x7FFF'FFFFu || !b.has(pos + 8, qsizetype(length) + 4))
            return result;
        for (int i = 4; i < 8; ++i) {
            if (!isLetter(b.at(pos + i)))
                return result;
        }
        const QByteArrayView type(bytes.data() + pos + 4, 4);
        const qsizetype data = pos + 8;
        pos = data + qsizetype(length) + 4;

        if (!headerSeen) {
            if (type != "IHDR" || length != 13)
                return result;
            const quint32 width = b.be32(data);
            const quint32 height = b.be32(data + 4);
            const unsigned depth = b.at(data + 8);
            colourType = b.at(data + 9);
            if (width > 0x7FFF'FFFFu || height > 0x7FFF'FFFFu)
                return result;
            result.size = QSize(int(width), int(height));
            if (tooManyPixels(width, height) || !pngDepthFits(colourType, depth) ||
                b.at(data + 10) != 0 || b.at(data + 11) != 0 || b.at(data + 12) > 1)
                return result;
            headerSeen = true;
            continue;
        }
        if (type == "IHDR")
            return result;
        if (type == "PLTE") {
            if (length == 0 || length % 3 != 0 || length > 3 * 256 || dataSeen)
                return result;
            paletteSeen = true;
        } else if (type == "IDAT") {
            dataSeen = true;
        } else if (type == "IEND") {
            if (length != 0 || !dataSeen || (colourType == 3 && !paletteSeen))
                return result;
            result.complete = onlyPaddingFrom(bytes, pos);
            return result;
        } else if (b.at(data - 4) >= 'A' && b.at(data - 4) <= 'Z') {
            // An unknown critical chunk: no decoder can show the picture right.
            return result;
        }
    }
}

PictureStructure::Result PictureStructure::checkGif(QByteArrayView bytes)
{
    Result result;
    const Bytes b(bytes);
    if (!b.matches(0, "GIF87a") && !b.matches(0, "GIF89a"))
        return result;
    result.format = Format::Gif;
    // The logical screen: width, height, flags, background, aspect.
    if (!b.has(6, 7))
        return result;
    const int screenWidth = b.le16(6);
    const int screenHeight = b.le16(8);
    result.size = QSize(screenWidth, screenHeight);
    if (tooManyPixels(screenWidth, screenHeight))
        return result;
    qsizetype pos = 13;
    const unsigned screenFlags = b.at(10);
    if (screenFlags & 0x80)
        pos += 3 * (qsizetype(2) << (screenFlags & 7));

    bool imageSeen = false;
    while (b.has(pos, 1)) {
        const unsigned introducer = b.at(pos++);
        if (introducer == 0x3B) {
            result.complete = imageSeen && onlyPaddingFrom(bytes, pos);
            return result;
        }
        if (introducer == 0x21) {
            if (!b.has(pos, 1))
                return result;
            pos = skipSubBlocks(b, pos + 1);
        } else if (introducer == 0x2C) {
            // Image descriptor: left, top, width, height, flags.
            if (!b.has(pos, 9))
                return result;
            const qint64 right = qint64(b.le16(pos)) + b.le16(pos + 4);
            const qint64 bottom = qint64(b.le16(pos + 2)) + b.le16(pos + 6);
            // A frame may reach past the logical screen; the decoder grows its
            // canvas to hold it, so the pixel limit applies to that canvas.
            if (tooManyPixels(std::max<qint64>(right, screenWidth),
                              std::max<qint64>(bottom, screenHeight)))
                return result;
            const unsigned flags = b.at(pos + 8);
            pos += 9;
            if (flags & 0x80)
                pos += 3 * (qsizetype(2) << (flags & 7));
            // The LZW minimum code size, then the compressed data.
            if (!b.has(pos, 1) || b.at(pos) < 1 || b.at(pos) > 11)
                return result;
            pos = skipSubBlocks(b, pos + 1);
            imageSeen = true;
        } else {
            return result;
        }
        if (pos < 0)
            return result;
    }
    return result; // no trailer: a torn body
}

PictureStructure::Result PictureStructure::checkBmp(QByteArrayView bytes)
{
    Result result;
    const Bytes b(bytes);
    if (!b.matches(0, "BM"))
        return result;
    result.format = Format::Bmp;
    // File header (14 bytes) and the size of the info header after it.
    if (!b.has(0, 18))
        return result;
    const quint32 pixelOffset = b.le32(10);
    const quint32 infoSize = b.le32(14);
    qint64 width = 0;
    qint64 height = 0;
    unsigned planes = 0;
    unsigned bitsPerPixel = 0;
    quint32 compression = 0;
    quint32 coloursUsed = 0;
    if (infoSize == 12) {
        // The old OS/2 header: 16-bit sizes.
        if (!b.has(14, 12))
            return result;
        width = b.le16(18);
        height = b.le16(20);
        planes = b.le16(22);
        bitsPerPixel = b.le16(24);
    } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 ||
               infoSize == 124) {
        if (!b.has(14, infoSize))
            return result;
        width = qint32(b.le32(18));
        height = qint32(b.le32(22));
        planes = b.le16(26);
        bitsPerPixel = b.le16(28);
        compression = b.le32(30);
        coloursUsed = b.le32(46);
    } else {
        return result;
    }
    // A negative height is a top-down picture.
    const qint64 rows = height < 0 ? -height : height;
    result.size =
        QSize(int(std::min<qint64>(width, INT_MAX)), int(std::min<qint64>(rows, INT_MAX)));
    if (tooManyPixels(width, rows) || planes != 1)
        return result;

    bool depthFits = false;
    switch (compression) {
    case 0: // uncompressed
        depthFits = bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ||
                    bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
        break;
    case 1: // run-length, 8 bits
        depthFits = bitsPerPixel == 8 && height > 0;
        break;
    case 2: // run-length, 4 bits
        depthFits = bitsPerPixel == 4 && height > 0;
        break;
    case 3: // bit fields
        depthFits = bitsPerPixel == 16 || bitsPerPixel == 32;
        break;
    default: // JPEG or PNG inside a bitmap, and the rest: not for us
        break;
    }
    if (!depthFits || coloursUsed > 256 || pixelOffset < 14 + infoSize ||
        pixelOffset >= quint32(b.size()))
        return result;
    if (compression == 0 || compression == 3) {
        const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
        if (rowBytes * rows > b.size() - qint64(pixelOffset))
            return result;
    }
    result.complete = true;
    return result;
}
