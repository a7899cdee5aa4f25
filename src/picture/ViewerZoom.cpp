#include "ViewerZoom.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ViewerZoom {

namespace {
constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();

int clampToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, 0, kIntMax));
}

// One direction: the picture's place along it and its bar.
void place(int length, int room, bool centre, ScrollBarState &bar, int &pos)
{
    if (length > room) {
        bar.maximum = length - room;
        bar.value = std::clamp(bar.value, 0, bar.maximum);
        bar.enabled = true;
        pos = -bar.value;
    } else {
        bar = {0, 0, false};
        pos = centre ? (room - length) / 2 : 0;
    }
}
} // namespace

double fitScale(Size natural, Size room)
{
    if (natural.width <= 0 || natural.height <= 0 || room.width <= 0 || room.height <= 0)
        return 0;
    return std::min(double(room.width) / natural.width, double(room.height) / natural.height);
}

Rect fitRect(Size natural, Size room)
{
    const double scale = fitScale(natural, room);
    if (scale <= 0)
        return {};
    // The side that limits takes the room exactly; the other is rounded.
    const bool widthLimits =
        double(room.width) / natural.width <= double(room.height) / natural.height;
    const int width =
        widthLimits ? room.width : std::max(1, int(std::lround(natural.width * scale)));
    const int height =
        widthLimits ? std::max(1, int(std::lround(natural.height * scale))) : room.height;
    return {(room.width - width) / 2, (room.height - height) / 2, width, height};
}

ZoomResult ApplyZoom(const ZoomInput &in)
{
    ZoomResult out;
    out.horizontal = in.horizontal;
    out.vertical = in.vertical;
    const int roomWidth = std::max(in.room.width, 0);
    const int roomHeight = std::max(in.room.height, 0);
    if (in.fit) {
        out.image = fitRect(in.natural, {roomWidth, roomHeight});
        out.horizontal = {0, 0, false};
        out.vertical = {0, 0, false};
        return out;
    }
    const int zoom = std::clamp(in.zoom, kMinZoom, kMaxZoom);
    out.image.width = clampToInt(std::int64_t(zoom) * in.natural.width);
    out.image.height = clampToInt(std::int64_t(zoom) * in.natural.height);
    place(out.image.width, roomWidth, false, out.horizontal, out.image.left);
    place(out.image.height, roomHeight, false, out.vertical, out.image.top);
    return out;
}

int steppedZoom(bool fit, int zoom, double fitScale, int step)
{
    // The scales on offer: the whole zooms and, when it is known, Fit's.
    const double shown = fit ? fitScale : double(std::clamp(zoom, kMinZoom, kMaxZoom));
    int best = fit ? 0 : std::clamp(zoom, kMinZoom, kMaxZoom);
    double bestScale = step > 0 ? std::numeric_limits<double>::max() : 0;
    const auto consider = [&](int candidate, double scale) {
        const bool nearer = step > 0 ? scale > shown + 1e-9 && scale < bestScale
                                     : scale < shown - 1e-9 && scale > bestScale;
        if (nearer) {
            best = candidate;
            bestScale = scale;
        }
    };
    for (int z = kMinZoom; z <= kMaxZoom; ++z)
        consider(z, z);
    if (fitScale > 0)
        consider(0, fitScale);
    return best;
}

int anchoredValue(int imagePos, int oldLength, int newLength, int anchor)
{
    if (oldLength <= 0)
        return 0;
    const double fraction = double(anchor - imagePos) / oldLength;
    const double value = fraction * newLength - anchor;
    return int(std::clamp<double>(std::lround(value), std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max()));
}

} // namespace ViewerZoom
