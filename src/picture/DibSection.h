#pragma once

#include <functional>
#include <memory>

#include <QImage>
#include <QPainter>

// One picture as a 24-bit bitmap in memory (cDIBSection): 3 bytes per pixel in
// the order blue, green, red, rows stored bottom-up (row 0 in memory is the
// bottom row of the picture), each row BytesPerScanLine() bytes long. The JPEG
// writer hands these rows to the encoder as they are, so the layout is the
// contract, not an implementation detail.
//
// The Windows original kept a memory drawing context beside the bits; here
// the bits are the whole state, and QImage / QPainter stand in for the
// contexts that pictures are copied from and painted to.
class DibSection
{
public:
    DibSection() = default;
    ~DibSection();
    DibSection(const DibSection &) = delete;
    DibSection &operator=(const DibSection &) = delete;
    DibSection(DibSection &&other) noexcept;
    DibSection &operator=(DibSection &&other) noexcept;

    // Row length for a picture of the given width: the largest multiple of 4
    // not above width * 3 + 3. Raises TessalyError 6 "Overflow" when that sum
    // leaves the 32-bit range.
    static int BytesPerScanLineFor(int width);

    // Replaces the content by a new black bitmap of that size. False (and the
    // object empty) when a side is not positive or the memory is refused.
    bool Create(int lWidth, int lHeight);
    // Replaces the content by an exact copy of the picture, whatever its
    // format (alpha is dropped). A null picture leaves the object empty.
    void CreateFromPicture(const QImage &picThis);
    // Releases the bits; the object is empty afterwards.
    void ClearUp();

    int BytesPerScanLine() const;
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The first byte of the bottom row; null when empty.
    uchar *DIBSectionBitsPtr() { return m_bits.get(); }
    const uchar *DIBSectionBitsPtr() const { return m_bits.get(); }
    bool isEmpty() const { return !m_bits; }

    // Copies a rectangle of source into this bitmap at (0, 0). A negative
    // width or height stands for this bitmap's own Width() or Height().
    // Whatever of the rectangle lies outside the source or this bitmap is
    // skipped; those pixels keep their bytes.
    // eRop is the raster operation; CompositionMode_Source is a plain copy.
    void LoadPictureBlt(const QImage &source, int lSrcLeft = 0, int lSrcTop = 0, int lSrcWidth = -1,
                        int lSrcHeight = -1,
                        QPainter::CompositionMode eRop = QPainter::CompositionMode_Source);
    // Copies a rectangle of this bitmap, from (lSrcLeft, lSrcTop) counted from
    // the top, to the target at (lDestLeft, lDestTop), unscaled. Negative sizes
    // stand for the bitmap's own.
    void PaintPicture(QPainter *target, int lDestLeft = 0, int lDestTop = 0, int lDestWidth = -1,
                      int lDestHeight = -1, int lSrcLeft = 0, int lSrcTop = 0,
                      QPainter::CompositionMode eRop = QPainter::CompositionMode_Source) const;

    // Puts a copy of the picture on the clipboard as an image. With bAsDIB the
    // user is told it cannot be done and nothing is copied. False when nothing
    // was copied (also when the object is empty or there is no clipboard).
    bool CopyToClipboard(bool bAsDIB);

    // Fills the picture with random pixels (gray: one value in all three
    // bytes; colour: blue 0, random green and red). The generator is seeded
    // from the clock; the second form takes the values in [0, 1) to use, so
    // the visiting order can be checked.
    void RandomiseBits(bool bGray);
    void RandomiseBits(bool bGray, const std::function<float()> &nextRandom);

    // A new bitmap holding the picture scaled to lNewWidth x lNewHeight (note:
    // height first) by bilinear interpolation, or null when the new bitmap
    // cannot be made. Same size: an exact copy. Raises TessalyError 9
    // "Subscript out of range" when the interpolation would read outside the
    // source, which is the case for a 1-pixel-wide or 1-pixel-high source.
    std::unique_ptr<DibSection> Resample(int lNewHeight, int lNewWidth) const;

    // An upright copy of the picture (Format_RGB32) for painting and checks;
    // a null image when empty.
    QImage toImage() const;

private:
    // Replaces the content by a bitmap of that size, zero-filled or with its
    // bytes left for the caller to write. False (and the object empty) as for
    // Create.
    bool allocate(int width, int height, bool zeroed);
    void ResampleInto(DibSection &target) const;
    // A QImage over the bits themselves, upside down (row 0 = bottom row).
    QImage bitsView() const;

    int m_width = 0;
    int m_height = 0;
    std::unique_ptr<uchar[]> m_bits;
};
