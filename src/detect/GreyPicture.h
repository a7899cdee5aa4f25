#pragma once

#include <QByteArray>
#include <QImage>

// The picture change detection looks at: a small grey image (one byte a
// pixel) and how colourful the picture was before it became grey.
//
// It is a QImage in Format_Grayscale8 because both roads a picture takes here
// already give one cheaply: the window's panel decode is a QImage, and the
// recorder's DCT-scaled decode writes its luma plane straight into one. A
// QImage knows its size and row pitch, is shared implicitly (handing it to
// another thread copies nothing) and can be painted on for an overlay. Grey
// alone loses one fact the detector needs: whether the camera has switched
// between colour and its grey night picture; colourfulness keeps it.
class GreyPicture
{
public:
    GreyPicture() = default;

    // Any QImage (the panel decode, a test picture): luma and colourfulness
    // are measured from its pixels. A Grayscale8 image counts as grey.
    static GreyPicture fromImage(const QImage &image);

    // A JPEG decoded at the smallest scale libjpeg offers in the DCT (an
    // eighth of each side), straight into its luma plane; the chroma planes
    // at that scale give the colourfulness. Null for bytes that are no
    // complete JPEG. Costs about what the panel-size decode costs.
    static GreyPicture fromJpeg(const QByteArray &jpeg);

    bool isNull() const { return m_image.isNull(); }
    const QImage &image() const { return m_image; }
    QSize size() const { return m_image.size(); }
    // Mean distance of the chroma from neutral, in grey levels: about 0 for a
    // grey picture, several for a colour one.
    double colourfulness() const { return m_colourfulness; }

private:
    GreyPicture(QImage image, double colourfulness);

    QImage m_image;
    double m_colourfulness = 0.0;
};
