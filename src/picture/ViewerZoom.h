#pragma once

#include <cstdint>

// The viewer's zoom arithmetic, in twips. The main window keeps the picture's
// natural size, reads the viewport and scroll bars, and applies what comes back
// to imgMain, HScroll1 and VScroll2.
namespace ViewerZoom {

inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 5;
// HScroll1 and VScroll2 (minimum 0).
inline constexpr int kScrollSingleStep = 300;
inline constexpr int kScrollPageStep = 2000;

// What ApplyZoom reads and writes of one scroll bar. The maximum and the value
// are 16-bit like the bar's own.
struct ScrollBarState
{
    std::int16_t maximum = 0;
    std::int16_t value = 0;
    bool enabled = true;

    friend bool operator==(const ScrollBarState &, const ScrollBarState &) = default;
};

struct ZoomInput
{
    int zoom = 1; // Slider1, 1 to 5
    std::int32_t viewNaturalWidth = 0;
    std::int32_t viewNaturalHeight = 0;
    float picture1Width = 0; // the viewport
    float picture1Height = 0;
    float vscroll2Width = 0;
    float hscroll1Height = 0;
    ScrollBarState hscroll1;
    ScrollBarState vscroll2;
    // imgMain as it stands before the zoom.
    float imageLeft = 0;
    float imageTop = 0;
    float imageWidth = 0;
    float imageHeight = 0;
};

struct ZoomResult
{
    float imageWidth = 0;
    float imageHeight = 0;
    float imageLeft = 0;
    float imageTop = 0;
    ScrollBarState hscroll1;
    ScrollBarState vscroll2;
    // A conversion ran out of range, so the steps after it were skipped.
    bool overflowed = false;

    friend bool operator==(const ZoomResult &, const ZoomResult &) = default;
};

// Sizes imgMain to zoom times the natural size and sets up the scroll bars for
// the part that overhangs the viewport. A bar whose direction fits is disabled
// and the picture put back to that edge; a bar that stays enabled keeps its
// value and the picture its offset, so a zoom change keeps the view where it
// was. When a new maximum drops below a bar's value, the bar holds its value
// to the maximum and the picture follows (-value), as the bar itself does.
//
// An overhang beyond the 16-bit range (more than 32,767 twips) cannot become a
// bar maximum: the remaining steps are skipped, the picture keeps its new size
// and a bar not yet updated keeps its previous maximum and enabled state (the
// vertical step is skipped when the horizontal one overflows). A zoom times a
// natural size beyond 32 bits changes nothing at all.
ZoomResult ApplyZoom(const ZoomInput &input);

// The picture's natural size in twips for a size in pixels, converted to the
// nearest whole number (ties to even).
std::int32_t NaturalTwips(double pixels, double logicalDpi);

// Nearest 16-bit integer, ties to even; false when the value lies outside the
// 16-bit range (or is not a number).
bool ToInt16(double value, std::int16_t &out);

} // namespace ViewerZoom
