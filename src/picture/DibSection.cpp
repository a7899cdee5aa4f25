#include "DibSection.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <random>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <QClipboard>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

#include "AppInfo.h"
#include "MessageBoxes.h"
#include "TessalyError.h"

namespace {

// The largest pixel buffer we agree to hold: its size must fit the signed
// 32-bit image-size field the bitmap header carries.
constexpr qint64 kMaxImageBytes = INT_MAX;

// Runtime errors carry the program's name as their source: that is where the
// user is told they came from.
QString runtimeErrorSource()
{
    if (QCoreApplication::instance()) {
        const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        if (!base.isEmpty())
            return base;
    }
    return AppInfo::productName();
}

[[noreturn]] void raiseOverflow()
{
    throw TessalyError(6, runtimeErrorSource(), QStringLiteral("Overflow"));
}

[[noreturn]] void raiseSubscriptOutOfRange()
{
    throw TessalyError(9, runtimeErrorSource(), QStringLiteral("Subscript out of range"));
}

// A draw in [0, 1) turned into a byte: nearest integer, ties to even (the
// default rounding mode), clamped so a stray value cannot wrap around.
uchar randomByte(float r)
{
    const float v = std::nearbyint(r * 255.0f);
    return static_cast<uchar>(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v));
}

// Bilinear blends are done in single precision on purpose: the results are
// pinned to the float arithmetic, ties going to the even neighbour. This file
// is built as ISO C++, where GCC does not fuse a * b + c into one rounding.
int blend(float weightA, float a, float weightB, float b)
{
    const float v = weightA * a + weightB * b;
    return static_cast<int>(std::nearbyint(v));
}

uchar clampToByte(int v)
{
    return static_cast<uchar>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels at a time: each 16-byte load of four pixels loses its alpha
// bytes in one shuffle, and four shuffled loads make three 16-byte stores.
// Returns how many pixels it wrote.
__attribute__((target("ssse3"))) int packBgrSsse3(const QRgb *in, uchar *out, int count)
{
    const __m128i dropAlpha = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 16 <= count; x += 16, out += 48) {
        const auto *from = reinterpret_cast<const __m128i *>(in + x);
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(from), dropAlpha);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(from + 1), dropAlpha);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(from + 2), dropAlpha);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(from + 3), dropAlpha);
        auto *to = reinterpret_cast<__m128i *>(out);
        _mm_storeu_si128(to, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(to + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(to + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return x;
}

bool hasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

// Writes count 0xAARRGGBB pixels as blue, green, red byte triples.
void packBgr(const QRgb *in, uchar *out, int count)
{
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (hasSsse3()) {
        x = packBgrSsse3(in, out, count);
        out += qint64(x) * 3;
    }
#endif
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // In memory a pixel already reads blue, green, red, alpha: four pixels
    // make three words without their alpha bytes.
    for (; x + 4 <= count; x += 4, out += 12) {
        const quint32 p0 = in[x], p1 = in[x + 1], p2 = in[x + 2], p3 = in[x + 3];
        // Three plain stores: through an array the words went via the stack.
        const quint32 w0 = (p0 & 0xFFFFFFu) | (p1 << 24);
        const quint32 w1 = ((p1 >> 8) & 0xFFFFu) | (p2 << 16);
        const quint32 w2 = ((p2 >> 16) & 0xFFu) | (p3 << 8);
        std::memcpy(out, &w0, 4);
        std::memcpy(out + 4, &w1, 4);
        std::memcpy(out + 8, &w2, 4);
    }
#endif
    for (; x < count; ++x, out += 3) {
        const QRgb pixel = in[x];
        out[0] = uchar(qBlue(pixel));
        out[1] = uchar(qGreen(pixel));
        out[2] = uchar(qRed(pixel));
    }
}

} // namespace

DibSection::~DibSection()
{
    ClearUp();
}

DibSection::DibSection(DibSection &&other) noexcept
    : m_width(std::exchange(other.m_width, 0))
    , m_height(std::exchange(other.m_height, 0))
    , m_bits(std::move(other.m_bits))
{
}

DibSection &DibSection::operator=(DibSection &&other) noexcept
{
    if (this != &other) {
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_bits = std::move(other.m_bits);
    }
    return *this;
}

int DibSection::BytesPerScanLineFor(int width)
{
    const qint64 sum = qint64(width) * 3 + 3;
    if (sum > INT_MAX || sum < INT_MIN)
        raiseOverflow();
    return static_cast<int>(sum & ~qint64(3));
}

int DibSection::BytesPerScanLine() const
{
    return BytesPerScanLineFor(m_width);
}

bool DibSection::Create(int lWidth, int lHeight)
{
    // Zeroed: a new bitmap is black, and the row padding holds no stale bytes.
    return allocate(lWidth, lHeight, true);
}

bool DibSection::allocate(int width, int height, bool zeroed)
{
    ClearUp();
    if (width <= 0 || height <= 0)
        return false;
    const qint64 size = qint64(BytesPerScanLineFor(width)) * height;
    if (size > kMaxImageBytes)
        return false;
    const auto bytes = static_cast<size_t>(size);
    m_bits.reset(zeroed ? new (std::nothrow) uchar[bytes]() : new (std::nothrow) uchar[bytes]);
    if (!m_bits)
        return false;
    m_width = width;
    m_height = height;
    return true;
}

void DibSection::CreateFromPicture(const QImage &picThis)
{
    if (picThis.format() != QImage::Format_RGB32 && picThis.format() != QImage::Format_ARGB32) {
        // A picture without pixels reads as 0 x 0, which Create refuses.
        if (Create(picThis.width(), picThis.height()))
            LoadPictureBlt(picThis, 0, 0, -1, -1, QPainter::CompositionMode_Source);
        return;
    }
    // What decoded JPEGs come as. Every pixel byte is written by the packer
    // below, so zero-filling the 6 MB of a 1080p picture first would only be
    // thrown away; the padding at each row's end is cleared by hand so the
    // bitmap still holds no stale memory.
    if (!allocate(picThis.width(), picThis.height(), false))
        return;
    const qint64 stride = BytesPerScanLine();
    const size_t rowBytes = size_t(m_width) * 3;
    const size_t padding = size_t(stride) - rowBytes;
    for (int row = 0; row < m_height; ++row) {
        uchar *out = m_bits.get() + (m_height - 1 - qint64(row)) * stride;
        packBgr(reinterpret_cast<const QRgb *>(picThis.constScanLine(row)), out, m_width);
        if (padding)
            std::memset(out + rowBytes, 0, padding);
    }
}

void DibSection::ClearUp()
{
    m_bits.reset();
    m_width = 0;
    m_height = 0;
}

QImage DibSection::bitsView() const
{
    const uchar *bits = m_bits.get();
    return QImage(bits, m_width, m_height, BytesPerScanLine(), QImage::Format_BGR888);
}

QImage DibSection::toImage() const
{
    if (isEmpty())
        return QImage();
    return bitsView().convertToFormat(QImage::Format_RGB32).mirrored();
}

void DibSection::LoadPictureBlt(const QImage &source, int lSrcLeft, int lSrcTop, int lSrcWidth,
                                int lSrcHeight, QPainter::CompositionMode eRop)
{
    if (isEmpty() || source.isNull())
        return;
    const int width = lSrcWidth < 0 ? m_width : lSrcWidth;
    const int height = lSrcHeight < 0 ? m_height : lSrcHeight;
    // What exists on both sides: inside the source, and inside this bitmap
    // once moved to (0, 0).
    QRect from = QRect(lSrcLeft, lSrcTop, width, height) & source.rect();
    QRect to = from.translated(-lSrcLeft, -lSrcTop) & QRect(0, 0, m_width, m_height);
    if (to.isEmpty())
        return;
    from = to.translated(lSrcLeft, lSrcTop);

    const qint64 stride = BytesPerScanLine();
    if (eRop == QPainter::CompositionMode_Source &&
        (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32)) {
        // What decoded JPEGs come as: one pass straight into the rows, without
        // the copy and the converted image the general way makes (a third of
        // a saved snapshot's time went there).
        for (int row = 0; row < to.height(); ++row) {
            const QRgb *in =
                reinterpret_cast<const QRgb *>(source.constScanLine(from.top() + row)) +
                from.left();
            uchar *out = m_bits.get() + (m_height - 1 - qint64(to.top() + row)) * stride +
                         qint64(to.left()) * 3;
            packBgr(in, out, to.width());
        }
        return;
    }

    QImage result;
    if (eRop == QPainter::CompositionMode_Source) {
        result = source.copy(from).convertToFormat(QImage::Format_BGR888);
    } else {
        // Any other operation combines with what is there: let QPainter do it
        // on an upright copy of that part, then store the result.
        QImage current = toImage().copy(to);
        QPainter painter(&current);
        painter.setCompositionMode(eRop);
        painter.drawImage(QPoint(0, 0), source, from);
        painter.end();
        result = current.convertToFormat(QImage::Format_BGR888);
    }
    if (result.isNull())
        return;

    const size_t rowBytes = size_t(to.width()) * 3;
    for (int row = 0; row < to.height(); ++row) {
        const qint64 memoryRow = m_height - 1 - (to.top() + row);
        std::memcpy(m_bits.get() + memoryRow * stride + qint64(to.left()) * 3,
                    result.constScanLine(row), rowBytes);
    }
}

void DibSection::PaintPicture(QPainter *target, int lDestLeft, int lDestTop, int lDestWidth,
                              int lDestHeight, int lSrcLeft, int lSrcTop,
                              QPainter::CompositionMode eRop) const
{
    if (!target || !target->isActive() || isEmpty())
        return;
    const int width = lDestWidth < 0 ? m_width : lDestWidth;
    const int height = lDestHeight < 0 ? m_height : lDestHeight;
    const QRect wanted(lSrcLeft, lSrcTop, width, height);
    const QRect from = wanted & QRect(0, 0, m_width, m_height);
    if (from.isEmpty())
        return;
    // Only the wanted rows are turned upright, not the whole picture.
    const QRect inMemory(from.left(), m_height - from.top() - from.height(), from.width(),
                         from.height());
    const QImage part = bitsView().copy(inMemory).mirrored();
    target->save();
    target->setCompositionMode(eRop);
    target->drawImage(QPoint(lDestLeft + from.left() - lSrcLeft, lDestTop + from.top() - lSrcTop),
                      part);
    target->restore();
}

bool DibSection::CopyToClipboard(bool bAsDIB)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    if (bAsDIB) {
        MessageBoxes::Request request;
        request.title = AppInfo::productName();
        request.text = QStringLiteral(
            "I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!");
        request.buttons = MessageBoxes::Ok;
        MessageBoxes::ask(nullptr, request);
        return false;
    }
    const QImage image = toImage();
    if (image.isNull())
        return false;
    clipboard->setImage(image);
    const QMimeData *data = clipboard->mimeData();
    return data && data->hasImage();
}

void DibSection::RandomiseBits(bool bGray)
{
    const auto seed = static_cast<std::mt19937::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937 generator(seed);
    // 24 random bits make a float in [0, 1) exactly, never 1.
    RandomiseBits(bGray, [&generator] { return float(generator() >> 8) * (1.0f / 16777216.0f); });
}

void DibSection::RandomiseBits(bool bGray, const std::function<float()> &nextRandom)
{
    if (isEmpty() || !nextRandom)
        return;
    const qint64 stride = BytesPerScanLine();
    uchar *bits = m_bits.get();
    if (bGray) {
        // Bottom row first, left to right.
        for (int y = 0; y < m_height; ++y) {
            uchar *row = bits + y * stride;
            for (int x = 0; x < m_width; ++x) {
                const uchar v = randomByte(nextRandom());
                row[x * 3] = v;
                row[x * 3 + 1] = v;
                row[x * 3 + 2] = v;
            }
        }
    } else {
        // Column by column, each from the bottom up; green drawn before red.
        for (int x = 0; x < m_width; ++x) {
            for (int y = 0; y < m_height; ++y) {
                uchar *pixel = bits + y * stride + qint64(x) * 3;
                pixel[0] = 0;
                pixel[1] = randomByte(nextRandom());
                pixel[2] = randomByte(nextRandom());
            }
        }
    }
}

std::unique_ptr<DibSection> DibSection::Resample(int lNewHeight, int lNewWidth) const
{
    auto result = std::make_unique<DibSection>();
    if (!result->Create(lNewWidth, lNewHeight))
        return nullptr;
    if (lNewWidth == m_width && lNewHeight == m_height) {
        const size_t size = size_t(BytesPerScanLine()) * size_t(m_height);
        std::memcpy(result->m_bits.get(), m_bits.get(), size);
        return result;
    }
    ResampleInto(*result);
    return result;
}

void DibSection::ResampleInto(DibSection &target) const
{
    const int srcWidth = m_width;
    const int srcHeight = m_height;
    const int newWidth = target.m_width;
    const int newHeight = target.m_height;
    const qint64 srcStride = BytesPerScanLine();
    const qint64 dstStride = target.BytesPerScanLine();

    // Scales are worked out in double and kept in single precision. Dividing
    // by the new size (not the new size - 1) makes the last row and column
    // sample just short of the source's last ones.
    const float xScale = static_cast<float>(double(srcWidth - 1) / newWidth);
    const float yScale = static_cast<float>(double(srcHeight - 1) / newHeight);

    for (int i = 0; i < newHeight; ++i) {
        const float sy = static_cast<float>(double(yScale) * i);
        const float y0f = std::floor(sy);
        const float fy = sy - y0f;
        const qint64 y0 = static_cast<qint64>(y0f);
        // Both rows read must exist: a 1-pixel-high source has no second row.
        if (y0 < 0 || y0 + 1 >= srcHeight)
            raiseSubscriptOutOfRange();
        const uchar *row0 = m_bits.get() + y0 * srcStride;
        const uchar *row1 = row0 + srcStride;
        uchar *out = target.m_bits.get() + qint64(i) * dstStride;

        for (int j = 0; j < newWidth; ++j) {
            const float sx = static_cast<float>(double(xScale) * j);
            const float x0f = std::floor(sx);
            const float fx = sx - x0f;
            const qint64 offset = static_cast<qint64>(x0f) * 3;
            // Six bytes of each row, bounded by the row length: a 1-pixel-wide
            // source has a 4-byte row and no second pixel.
            if (offset < 0 || offset + 5 >= srcStride)
                raiseSubscriptOutOfRange();

            int vertical[6];
            for (int c = 0; c < 6; ++c)
                vertical[c] = blend(1.0f - fy, row0[offset + c], fy, row1[offset + c]);
            for (int c = 0; c < 3; ++c) {
                const int v = blend(1.0f - fx, float(vertical[c]), fx, float(vertical[c + 3]));
                out[qint64(j) * 3 + c] = clampToByte(v);
            }
        }
    }
}
