#pragma once

#include "Twips.h"

// Geometry of the main window's controls in twips, relative to each control's
// container, and the arithmetic that fits them to the window on every resize.
// Nothing here touches a widget: the main window feeds in its current numbers,
// gets new ones back and converts them to pixels once, where it applies them.

// Every control the resize arithmetic reads or writes, plus the fixed ones of
// the same columns. The defaults are the design-time values.
struct MainWindowGeometry
{
    // The three columns (containers: the window).
    TwipsRect Frame1{0, 0, 2535, 10815};
    TwipsRect frmCams{2640, 0, 3915, 10815};
    TwipsRect frmMain{6600, 0, 8655, 10815};

    // Inside Frame1.
    TwipsRect cmdAdd{60, 240, 750, 800};
    TwipsRect cmdRemove{870, 240, 750, 800};
    TwipsRect cmdEdit{1680, 240, 750, 800};
    TwipsRect cmdStartCam{60, 1080, 1155, 800};
    TwipsRect cmdStopAll{1260, 1080, 1155, 800};
    TwipsRect chkSave{60, 2700, 2355, 315};
    TwipsRect Label1{60, 3060, 2355, 195};
    TwipsRect List1{60, 3300, 2355, 7080};

    // Inside frmCams; picWindowInner sits inside picWindowOuter and only its
    // Top moves (by scrolling).
    TwipsRect picWindowOuter{120, 240, 3495, 10450};
    TwipsRect picWindowInner{0, 0, 3555, 24060};
    TwipsRect VScroll1{3600, 240, 255, 10455};

    // Inside frmMain; imgMain, VScroll2, HScroll1 and Command1 sit inside Picture1.
    TwipsRect Picture1{120, 240, 8415, 6915};
    TwipsRect imgMain{0, 0, 915, 855};
    TwipsRect VScroll2{8160, 0, 195, 7380};
    TwipsRect HScroll1{0, 5940, 8175, 195};
    TwipsRect Command1{8160, 7380, 195, 195};
    TwipsRect frmDetails{120, 7200, 8475, 3555};

    friend bool operator==(const MainWindowGeometry &, const MainWindowGeometry &) = default;
};

// Design-time height of StatusBar1, docked at the window's bottom edge.
inline constexpr float kStatusBarHeight = 375;

// Fits the columns to a window of the given outer size (border, title and menu
// bar included; 800 twips are reserved for them) above a status bar of the
// given height. Reads the controls' current values from `current` and returns
// them with the heights, widths and positions that follow the window replaced.
// Each result is the absolute value of its expression in single precision, so
// a window shorter than its own furniture still gets no negative size.
MainWindowGeometry LayoutMainWindow(float outerHeight, float outerWidth, float statusBarHeight,
                                    const MainWindowGeometry &current = {});

// The panel area's scroll bar VScroll1.
struct PanelScrollRange
{
    int minimum = 0;
    int maximum = 18000;
    int singleStep = 600; // arrow click
    int pageStep = 2000;  // click in the track
};
inline constexpr PanelScrollRange kPanelScroll{};

// Top of picWindowInner inside picWindowOuter for a VScroll1 value (twips):
// -value - 30, so the first row of panels shows 30 twips below the edge at 0.
// Values outside the bar's range are held to it.
float PanelAreaTop(int scrollValue);

// The camera panel grid inside picWindowInner: 24 frames in two columns of
// twelve rows.
namespace PanelGrid {

inline constexpr int kPanelCount = 24;
inline constexpr float kFrameWidth = 1635;
inline constexpr float kFrameHeight = 1935;

// Position and size of the panel frame Frame(index), index 0 to 23. The rows
// from index 16 on sit 60 twips further left than the ones above them.
// Throws std::out_of_range for any other index.
TwipsRect frameRect(int index);

// The controls of one panel, relative to the panel frame (imgCam and Picture3
// relative to Picture2); the same for every index.
struct PanelControls
{
    TwipsRect Picture2{180, 300, 1275, 915};
    TwipsRect imgCam{-10, -10, 1275, 960};
    TwipsRect Picture3{1080, 720, 1215, 855}; // not visible
    TwipsRect imgRefresh{660, 660, 315, 255};
    TwipsRect prgCam{180, 1200, 1275, 135};
    TwipsRect cmdRefresh{180, 1380, 495, 435}; // "@"
    TwipsRect cmdStop{960, 1380, 495, 435};    // "X"
    TwipsRect picTemp{720, 1500, 195, 195};    // not visible
};
inline constexpr PanelControls kPanelControls{};

} // namespace PanelGrid
