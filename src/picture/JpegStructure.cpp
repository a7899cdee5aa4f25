#include "JpegStructure.h"

#include <cstring>

namespace {

constexpr unsigned char Marker = 0xFF;
constexpr unsigned char SOI = 0xD8;
constexpr unsigned char EOI = 0xD9;
constexpr unsigned char SOS = 0xDA;
constexpr unsigned char TEM = 0x01;

bool isRestart(unsigned char m)
{
    return m >= 0xD0 && m <= 0xD7;
}

// Start-of-frame markers: C0-CF except DHT (C4), JPG (C8) and DAC (CC).
bool isFrame(unsigned char m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

bool isProgressive(unsigned char m)
{
    return m == 0xC2 || m == 0xC6 || m == 0xCA || m == 0xCE;
}

class Reader
{
public:
    explicit Reader(QByteArrayView bytes)
        : m_data(reinterpret_cast<const unsigned char *>(bytes.data()))
        , m_size(bytes.size())
    {
    }

    qsizetype size() const { return m_size; }
    unsigned char at(qsizetype i) const { return m_data[i]; }
    int word(qsizetype i) const { return (m_data[i] << 8) | m_data[i + 1]; }

    // The position of the next marker at or after from inside entropy-coded
    // data: an 0xFF followed by neither a stuffed zero nor a restart marker
    // (fill bytes 0xFF are skipped). -1 when the bytes end first.
    qsizetype nextMarkerInScan(qsizetype from) const
    {
        qsizetype i = from;
        while (i < m_size) {
            const void *hit = std::memchr(m_data + i, Marker, size_t(m_size - i));
            if (!hit)
                return -1;
            i = static_cast<const unsigned char *>(hit) - m_data;
            qsizetype next = i + 1;
            while (next < m_size && m_data[next] == Marker)
                ++next;
            if (next >= m_size)
                return -1;
            const unsigned char m = m_data[next];
            if (m != 0x00 && !isRestart(m))
                return next - 1;
            i = next + 1;
        }
        return -1;
    }

private:
    const unsigned char *m_data;
    qsizetype m_size;
};

} // namespace

JpegStructure::Result JpegStructure::check(QByteArrayView bytes)
{
    Result result;
    const Reader r(bytes);
    if (r.size() < 4 || r.at(0) != Marker || r.at(1) != SOI)
        return result;

    bool frameSeen = false;
    bool scanSeen = false;
    int frameComponents = 0;
    qsizetype pos = 2;
    while (true) {
        // A marker: one or more 0xFF, then its code.
        if (pos >= r.size() || r.at(pos) != Marker)
            return result;
        while (pos < r.size() && r.at(pos) == Marker)
            ++pos;
        if (pos >= r.size())
            return result;
        const unsigned char m = r.at(pos++);

        if (m == EOI) {
            if (!frameSeen || !scanSeen)
                return result;
            // Whatever follows the end of the picture is not ours to judge:
            // some cameras append a few bytes of their own.
            result.complete = true;
            return result;
        }
        if (m == SOI || m == 0x00)
            return result;
        if (m == TEM || isRestart(m))
            continue;

        // Every other marker starts a segment with its own length.
        if (pos + 2 > r.size())
            return result;
        const int length = r.word(pos);
        if (length < 2 || pos + length > r.size())
            return result;

        if (isFrame(m)) {
            if (frameSeen || length < 8)
                return result;
            const int height = r.word(pos + 3);
            const int width = r.word(pos + 5);
            const int components = r.at(pos + 7);
            if (width == 0 || height == 0 || components < 1 || components > 4 ||
                length < 8 + 3 * components)
                return result;
            frameSeen = true;
            frameComponents = components;
            result.size = QSize(width, height);
            result.progressive = isProgressive(m);
        } else if (m == SOS) {
            if (!frameSeen || length < 6)
                return result;
            const int components = r.at(pos + 2);
            if (components < 1 || components > 4 || length != 6 + 2 * components)
                return result;
            scanSeen = true;
            ++result.scans;
            if (result.progressive
                    ? result.scans > MaxScans ||
                          result.scans * qint64(result.size.width()) * result.size.height() >
                              MaxScanWork
                    : result.scans > frameComponents)
                return result;
            const qsizetype next = r.nextMarkerInScan(pos + length);
            if (next < 0)
                return result; // the scan runs off the end: a torn body
            pos = next;
            continue;
        }
        pos += length;
    }
}
