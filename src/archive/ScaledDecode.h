#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// A saved picture decoded for the size it is shown at. libjpeg-turbo scales
// in the DCT by any of n/8: a 4K picture shown at 1200 pixels is decoded at
// 3/8 or 1/4 of its size, never in full and then scaled down, which is what
// makes scrubbing through a day of them feel instant.
class ScaledDecode
{
public:
    // The picture at the largest DCT scale that fits box (its own size when
    // it fits already); not a JPEG: Qt's reader, scaled to fit. Null when the
    // file cannot be read or decoded.
    static QImage toFit(const QString &path, const QSize &box);
};
