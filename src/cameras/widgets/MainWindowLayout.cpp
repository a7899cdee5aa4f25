#include "MainWindowLayout.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {
// Every step is evaluated in single precision on purpose: the layout rules are
// defined in single precision, and the sizes must come out exactly as they say.
float absf(float value)
{
    return std::fabs(value);
}
} // namespace

MainWindowGeometry LayoutMainWindow(float outerHeight, float outerWidth, float statusBarHeight,
                                    const MainWindowGeometry &current)
{
    const float H = outerHeight;
    const float W = outerWidth;
    const float S = statusBarHeight;
    // Title bar, menu bar and borders.
    constexpr float kFrameReserve = 800;

    MainWindowGeometry g = current;
    // Each step reads what the steps before it have just set.
    g.Frame1.height = absf(H - S - g.Frame1.top - kFrameReserve);
    g.frmCams.height = absf(H - S - g.frmCams.top - kFrameReserve);
    g.frmMain.height = absf(H - S - g.frmMain.top - kFrameReserve);
    g.frmMain.width = absf(W - g.frmMain.left);
    // The list follows the height of frmCams, and the panel area follows the
    // list's bottom edge, so the two columns end on the same line.
    g.List1.height = absf(g.frmCams.height - g.List1.top - 20);
    g.picWindowOuter.height = absf(g.List1.top + g.List1.height - 280);
    g.VScroll1.height = absf(g.picWindowOuter.height);
    g.Picture1.height = absf(g.frmMain.height - g.frmDetails.height - S);
    g.Picture1.width = absf(g.frmMain.width - 400);
    g.frmDetails.top = absf(g.Picture1.top + g.Picture1.height);
    g.frmDetails.width = absf(g.Picture1.width);
    g.VScroll2.height = absf(g.Picture1.height - g.Command1.height - 60);
    g.VScroll2.left = absf(g.Picture1.width - g.VScroll2.width - 60);
    g.HScroll1.width = absf(g.Picture1.width - g.Command1.width - 60);
    g.HScroll1.top = absf(g.Picture1.height - g.HScroll1.height - 60);
    g.Command1.top = absf(g.HScroll1.top);
    g.Command1.left = absf(g.VScroll2.left);
    return g;
}

float PanelAreaTop(int scrollValue)
{
    const int value = std::clamp(scrollValue, kPanelScroll.minimum, kPanelScroll.maximum);
    return float(-value - 30);
}

namespace PanelGrid {

TwipsRect frameRect(int index)
{
    if (index < 0 || index >= kPanelCount)
        throw std::out_of_range("no camera panel with index " + std::to_string(index));
    const bool rightColumn = index % 2 != 0;
    const int row = index / 2;
    // The last four rows were laid out 60 twips further left.
    const float left = index < 16 ? (rightColumn ? 1740 : 60) : (rightColumn ? 1680 : 0);
    const float top = 60 + 1980 * float(row);
    return TwipsRect{left, top, kFrameWidth, kFrameHeight};
}

} // namespace PanelGrid
