#pragma once

#include <QByteArray>
#include <QSize>

// The small picture a grid tile shows: the camera's JPEG decoded at a reduced
// size in the DCT (libjpeg-turbo scales by 1/2, 1/4 or 1/8 while decoding, so
// a 1080p picture costs a fraction of a full decode) and encoded again. A
// phone showing 24 tiles then loads tens of kilobytes a second, not megabytes.
namespace GridPicture {

// Tiles are at most this wide; a picture already as small is served as it is.
// Wider tiles would look sharper on a phone, but the decode is what a tile
// costs, and at 24 cameras a second it must stay a small share of a core:
// 1080p becomes 240 x 135 (1/8), 720p 320 x 180 (1/4).
constexpr int MaxWidth = 320;
constexpr int Quality = 75;

// The grid JPEG of jpeg; empty when jpeg cannot be decoded.
QByteArray make(const QByteArray &jpeg);

// The size the decode gives for a picture of size: the largest DCT scale not
// over MaxWidth wide, or size itself when it is narrow enough.
QSize scaledSize(const QSize &size);

} // namespace GridPicture
