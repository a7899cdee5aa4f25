#include "DemoCamJpegEncoder.h"

#include <turbojpeg.h>

#include <QSysInfo>

DemoCamJpegEncoder::DemoCamJpegEncoder()
    : m_handle(tjInitCompress())
{
    if (!m_handle)
        m_error = QString::fromLocal8Bit(tjGetErrorStr2(nullptr));
}

DemoCamJpegEncoder::~DemoCamJpegEncoder()
{
    if (m_handle)
        tjDestroy(m_handle);
}

QByteArray DemoCamJpegEncoder::encode(const QImage &image, int quality)
{
    if (!m_handle) {
        m_error = QStringLiteral("no JPEG compressor");
        return {};
    }
    if (image.isNull()) {
        m_error = QStringLiteral("empty picture");
        return {};
    }
    // RGB32 rows are 32-bit 0xffRRGGBB words; in memory that is B, G, R, X on a
    // little-endian machine and X, R, G, B on a big-endian one.
    const QImage rgb = image.format() == QImage::Format_RGB32
                           ? image
                           : image.convertToFormat(QImage::Format_RGB32);
    const int pixelFormat = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;

    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const int rc =
        tjCompress2(m_handle, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                    pixelFormat, &out, &outSize, TJSAMP_420, qBound(1, quality, 100), 0);
    QByteArray bytes;
    if (rc != 0) {
        m_error = QString::fromLocal8Bit(tjGetErrorStr2(m_handle));
    } else {
        bytes = QByteArray(reinterpret_cast<const char *>(out), qsizetype(outSize));
        m_error.clear();
    }
    tjFree(out);
    return bytes;
}
