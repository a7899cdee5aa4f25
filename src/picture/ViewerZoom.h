#pragma once

// The viewer's zoom arithmetic, in pixels. The viewer keeps the picture's
// natural size, reads its viewport and scroll bars, and applies what comes
// back to the picture and the two bars. Ranges are whole pixels in int: a
// picture at the 50-megapixel limit, zoomed 5 times, still fits.
namespace ViewerZoom {

inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 5;
// One arrow click or arrow key on the viewer's bars, in pixels.
inline constexpr int kScrollSingleStep = 20;

struct Size
{
    int width = 0;
    int height = 0;
    friend bool operator==(const Size &, const Size &) = default;
};

struct Rect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect &, const Rect &) = default;
};

// What the zoom reads and writes of one scroll bar (minimum 0).
struct ScrollBarState
{
    int maximum = 0;
    int value = 0;
    bool enabled = false;

    friend bool operator==(const ScrollBarState &, const ScrollBarState &) = default;
};

struct ZoomInput
{
    // Fit shows the whole picture, aspect kept and centred; otherwise zoom
    // (1 to 5) times the natural size, scrolled by the bars.
    bool fit = false;
    int zoom = 1;
    Size natural; // the picture at zoom 1
    Size room;    // the viewport, the bars taken off
    // The bars' values are where the user wants the view; they are held to
    // the new range.
    ScrollBarState horizontal;
    ScrollBarState vertical;
};

struct ZoomResult
{
    Rect image; // the picture's place in the viewport
    ScrollBarState horizontal;
    ScrollBarState vertical;

    friend bool operator==(const ZoomResult &, const ZoomResult &) = default;
};

// Sizes the picture and sets up the bars for the part that overhangs the
// viewport. A direction that fits disables its bar and puts the picture at
// that edge (zoom) or in the middle (Fit); a bar that overhangs keeps its
// value, held to 0..overhang, and the picture sits at -value.
ZoomResult ApplyZoom(const ZoomInput &input);

// The whole picture in room, aspect kept, as large as room allows (smaller
// pictures grow too), centred. Empty for an empty picture or room.
Rect fitRect(Size natural, Size room);

// The scale Fit shows natural at in room (1 is natural size); 0 when either is empty.
double fitScale(Size natural, Size room);

// Zoom in (step > 0) or out from the current view: the nearest scale above
// or below the one shown, among the zooms 1 to 5 and Fit's own scale. Past
// either end the view stays as it is. Returns the zoom, or 0 for Fit.
int steppedZoom(bool fit, int zoom, double fitScale, int step);

// The bar value that keeps the picture point under anchor (a viewport
// position along one axis) under it when the picture, now at imagePos with
// length oldLength, is shown at newLength. Not held to the bar's range.
int anchoredValue(int imagePos, int oldLength, int newLength, int anchor);

} // namespace ViewerZoom
