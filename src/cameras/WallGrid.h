#pragma once

#include "ViewerZoom.h"

// The wall of all open cameras: how many columns and rows its tiles take.
// A grid is picked from a short list, in either orientation, so that the
// pictures come out as large as the window and their shape allow.
namespace WallGrid {

struct Grid
{
    int columns = 1;
    int rows = 1;
    int cells() const { return columns * rows; }
    friend bool operator==(const Grid &, const Grid &) = default;
};

// The grids on offer, columns x rows; each may also be turned (rows x columns).
inline constexpr Grid kGrids[] = {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3},
                                  {4, 3}, {4, 4}, {5, 4}, {5, 5}, {6, 4}};

// The grid for count tiles in area, pictures width:height pictureAspect
// (16:9 when not known, 0 or less): the one with room for all of them whose
// tiles show a picture of that shape, fitted, at the largest area. Among
// equals the one with fewer cells, then the one with more columns. One tile
// for none; the last of the list when count exceeds every grid.
Grid choose(int count, ViewerZoom::Size area, double pictureAspect);

// Tile index (row by row) of grid in area: the area split evenly, the
// remainder pixels spread so the tiles meet without gaps.
ViewerZoom::Rect tileRect(Grid grid, ViewerZoom::Size area, int index);

} // namespace WallGrid
