#pragma once

#include <memory>

#include <QByteArray>
#include <QImage>
#include <QMetaType>
#include <QSize>

#include "PictureStructure.h"

// The picture a camera panel, the viewer or the picture window shows.
//
// A Picture is a cheap, implicitly shared handle: copying one gives "the same
// picture, not a copy". A picture made from received bytes keeps those bytes
// and its natural size, and decodes only when someone asks, at the size asked
// for (libjpeg scales in the DCT, so a panel thumbnail of a 1080p snapshot
// costs a fraction of a full decode). The thumbnail is cached; the full-size
// decode is shared only while an asker holds it, so two dozen panels never keep
// two dozen full-size bitmaps alive.
//
// A default-constructed Picture is the empty ("blank") picture.
class Picture
{
public:
    // Pictures larger than this many pixels are refused as decompression bombs.
    static constexpr qint64 MaxPixels = PictureStructure::MaxPixels;
    // Memory the image reader may allocate for one decode, in MiB.
    static constexpr int AllocationLimitMiB = 256;

    Picture() = default;

    // The picture encoded in bytes (JPEG, PNG, GIF or BMP), validated by its
    // structure (PictureStructure) and then by decoding it once at
    // thumbnailSize, which is cached. Returns a null Picture when the bytes
    // cannot be decoded completely: another format, a structure that does not
    // hold (a torn body, a length that reaches past the end, more than
    // MaxPixels pixels, too many scans), or a reader error.
    static Picture fromBytes(const QByteArray &bytes, const QSize &thumbnailSize = panelSize());

    // Like fromBytes, for a picture whose full size is wanted at once (a new
    // picture about to be saved): decodes once at the natural size, makes the
    // thumbnail from those pixels, and hands the decode to *full. It is the
    // picture's full() for as long as anyone holds it, so the save that follows
    // costs no second decode. *full is reset when the bytes are refused.
    static Picture fromBytesInFull(const QByteArray &bytes, const QSize &thumbnailSize,
                                   std::shared_ptr<const QImage> *full);

    // Like fromBytes, for a picture that may never be looked at (recording
    // without saving): a JPEG is only checked for completeness, without
    // decoding (markers, frame size, scans, end marker), and its thumbnail is
    // decoded when first asked for. Torn JPEGs are refused as by fromBytes;
    // other formats are decoded as fromBytes does.
    static Picture fromBytesChecked(const QByteArray &bytes,
                                    const QSize &thumbnailSize = panelSize());

    // A picture from bytes this program has just encoded itself from pixels of
    // a known size (a saved snapshot): nothing is decoded or checked again.
    // thumbnail, when not null, becomes the cached thumbnail, so a picture
    // re-encoded from one already on screen costs no decode to show.
    static Picture fromEncoded(const QByteArray &bytes, const QByteArray &format,
                               const QSize &naturalSize, const QImage &thumbnail);

    // A picture we draw ourselves (the not-found picture, a test pattern).
    static Picture fromImage(const QImage &image);

    // The size of a panel's picture control imgCam: 1275 x 960 twips, which is
    // 85 x 64 pixels at 96 dpi.
    static QSize panelSize();

    bool isNull() const { return !d; }
    // Natural size in pixels; empty for the null picture.
    QSize size() const;
    // The received bytes; empty for a drawn or null picture.
    QByteArray bytes() const;
    // Lower-case format name as the image reader reports it ("jpeg", "png"),
    // empty for a drawn or null picture.
    QByteArray format() const;

    // The picture stretched to exactly size (the panel's image control stretches
    // its snapshot, ignoring the aspect ratio). The last size asked for is cached,
    // so repeated paints cost nothing. Made from the full-size decode while one
    // is held, which costs less than decoding again. A null image for the null
    // picture.
    QImage thumbnail(const QSize &size = panelSize()) const;

    // The thumbnail last made, at whatever size it was asked for; null when
    // none is cached. Never decodes.
    QImage cachedThumbnail() const;

    // The picture at its natural size. Decoded once and shared for as long as
    // any caller keeps the returned pointer; once every holder has let go, the
    // memory is freed and the next call decodes again. Never returns nullptr
    // (the null picture gives a null image).
    std::shared_ptr<const QImage> full() const;

    // The full-size decode while somebody holds it; null otherwise. Never decodes.
    std::shared_ptr<const QImage> heldFull() const;

    // A fresh decode stretched to exactly size, not cached: for one-off uses
    // such as a zoomed viewer that wants a size other than the natural one.
    QImage scaled(const QSize &size) const;

    // True when both handles refer to the same picture (or both are null).
    bool isSameAs(const Picture &other) const { return d == other.d; }
    friend bool operator==(const Picture &a, const Picture &b) { return a.isSameAs(b); }

private:
    struct Data;
    explicit Picture(std::shared_ptr<Data> data);
    static Picture decodeBytes(const QByteArray &bytes, const QSize &thumbnailSize,
                               std::shared_ptr<const QImage> *full);

    std::shared_ptr<Data> d;
};

Q_DECLARE_METATYPE(Picture)
