#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>

// The gate every received body passes before a decoder sees it.
//
// Decoders trust the sizes written inside a file: a PNG whose chunk length is
// forged made libpng allocate 1.8 GB for a 428-byte body, before Qt ever saw a
// picture size to refuse. So the bytes are walked here first, cheaply and
// without decoding: the container's lengths must fit inside the body, the
// header must be sane, the picture must be within the pixel limit, and the
// format's own end mark must be there (a torn body still "decodes" in Qt's
// readers, with the missing part filled in).
//
// Only the formats a camera sends are accepted: JPEG, and the GIF and Windows
// bitmap that picture loaders have always read, plus PNG. Anything else is
// refused outright instead of being handed to whichever image plugin happens
// to be installed.
class PictureStructure
{
public:
    enum class Format { Unknown, Jpeg, Png, Gif, Bmp };

    struct Result
    {
        Format format = Format::Unknown; // what the leading bytes say, even when refused
        bool complete = false;           // every check passed: a decoder may have it
        QSize size;                      // the picture's size, when a header was read
    };

    // Pictures larger than this many pixels are refused as decompression bombs.
    static constexpr qint64 MaxPixels = 50'000'000;

    static Result check(QByteArrayView bytes);

    // The format from the leading bytes alone.
    static Format sniff(QByteArrayView bytes);
    // The image reader's name for a format ("jpeg", "png", "gif", "bmp"); empty
    // for Unknown.
    static QByteArray readerFormat(Format format);

    // The individual checks, for callers that already know the format.
    static Result checkPng(QByteArrayView bytes);
    static Result checkGif(QByteArrayView bytes);
    static Result checkBmp(QByteArrayView bytes);

    // NUL, blank, tab, CR and LF: what some servers append after a picture.
    static bool onlyPaddingFrom(QByteArrayView bytes, qsizetype from);
    static bool tooManyPixels(qint64 width, qint64 height);
};
