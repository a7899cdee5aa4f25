#include "ViewerZoom.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ViewerZoom {

namespace {
// Nearest whole number with ties to even, whatever the current rounding mode.
double roundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

// Setting a maximum below the current value pulls the value down to it.
void setMaximum(ScrollBarState &bar, std::int16_t maximum)
{
    bar.maximum = maximum;
    if (bar.value > maximum)
        bar.value = std::max<std::int16_t>(maximum, 0);
}
} // namespace

bool ToInt16(double value, std::int16_t &out)
{
    if (!std::isfinite(value))
        return false;
    const double rounded = roundHalfEven(value);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return false;
    out = static_cast<std::int16_t>(rounded);
    return true;
}

std::int32_t NaturalTwips(double pixels, double logicalDpi)
{
    if (logicalDpi <= 0 || !std::isfinite(pixels))
        return 0;
    const double twips = roundHalfEven(pixels * 1440.0 / logicalDpi);
    return static_cast<std::int32_t>(
        std::clamp<double>(twips, 0, std::numeric_limits<std::int32_t>::max()));
}

ZoomResult ApplyZoom(const ZoomInput &in)
{
    ZoomResult out;
    out.imageWidth = in.imageWidth;
    out.imageHeight = in.imageHeight;
    out.imageLeft = in.imageLeft;
    out.imageTop = in.imageTop;
    out.hscroll1 = in.hscroll1;
    out.vscroll2 = in.vscroll2;

    const int zoom = std::clamp(in.zoom, kMinZoom, kMaxZoom);
    const std::int64_t width = std::int64_t(zoom) * in.viewNaturalWidth;
    const std::int64_t height = std::int64_t(zoom) * in.viewNaturalHeight;
    constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
    if (width > kMax32 || width < kMin32 || height > kMax32 || height < kMin32) {
        out.overflowed = true;
        return out;
    }
    out.imageWidth = float(width);
    out.imageHeight = float(height);

    const float roomX = in.picture1Width - in.vscroll2Width;
    if (out.imageWidth > roomX) {
        std::int16_t maximum = 0;
        if (!ToInt16(out.imageWidth - roomX, maximum)) {
            out.overflowed = true;
            return out;
        }
        setMaximum(out.hscroll1, maximum);
        out.hscroll1.enabled = true;
        if (in.hscroll1.value != out.hscroll1.value)
            out.imageLeft = -float(out.hscroll1.value);
    } else {
        out.hscroll1.enabled = false;
        out.imageLeft = 0;
    }

    const float roomY = in.picture1Height - in.hscroll1Height;
    if (out.imageHeight > roomY) {
        std::int16_t maximum = 0;
        if (!ToInt16(out.imageHeight - roomY, maximum)) {
            out.overflowed = true;
            return out;
        }
        setMaximum(out.vscroll2, maximum);
        out.vscroll2.enabled = true;
        if (in.vscroll2.value != out.vscroll2.value)
            out.imageTop = -float(out.vscroll2.value);
    } else {
        out.vscroll2.enabled = false;
        out.imageTop = 0;
    }
    return out;
}

} // namespace ViewerZoom
