#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Encodes pictures with TurboJPEG, the same library the viewer decodes with.
// One compressor handle is kept for the life of the encoder and reused.
class DemoCamJpegEncoder
{
public:
    DemoCamJpegEncoder();
    ~DemoCamJpegEncoder();
    DemoCamJpegEncoder(const DemoCamJpegEncoder &) = delete;
    DemoCamJpegEncoder &operator=(const DemoCamJpegEncoder &) = delete;

    // A baseline 4:2:0 JPEG of the image, or empty bytes when encoding failed
    // (errorString() then says why).
    QByteArray encode(const QImage &image, int quality);
    QString errorString() const { return m_error; }

private:
    void *m_handle = nullptr;
    QString m_error;
};
