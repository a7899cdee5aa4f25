#pragma once

#include <QByteArrayView>
#include <QSize>

// A look at a JPEG's structure without decoding a pixel: markers in order,
// segment lengths inside the bytes, a frame header with a size, at least one
// scan, and the end-of-image marker after the last scan's data. It costs a
// scan through the bytes for 0xFF, not the entropy decoding, so a recorder
// that shows nothing can still refuse a torn or mangled body for the price of
// a memchr.
//
// It vouches for the structure only: entropy-coded data that is corrupt inside
// a well-formed frame passes here, as it does in the image reader, which fills
// such a picture with what it can.
class JpegStructure
{
public:
    struct Result
    {
        bool complete = false; // every check passed
        QSize size;            // the frame header's width and height, when one was read
        bool progressive = false;
        int scans = 0; // scans read, up to the first one over the limit
    };

    // Every scan of a progressive picture is another pass over all its
    // coefficients: a few hundred bytes of crafted scans cost a decoder seconds
    // (a 1080p picture with 240 repeated scans, half a second of CPU even for a
    // panel-size decode). Encoders write about ten. So a progressive picture
    // may have at most MaxScans scans (libjpeg-turbo's suggestion for input
    // from strangers), and its scans times its pixels may not exceed
    // MaxScanWork: ten scans of a 20-megapixel picture, about 0.2 s of CPU at
    // worst. Larger progressive pictures than that are refused; no camera
    // sends one. A sequential picture has at most one scan per component.
    static constexpr int MaxScans = 500;
    static constexpr qint64 MaxScanWork = 10 * qint64(20'000'000);

    // Bytes after the end-of-image marker are allowed, whatever they are.
    static Result check(QByteArrayView bytes);
};
