#include "WallGrid.h"

#include <algorithm>
#include <iterator>

namespace WallGrid {

namespace {
constexpr double kDefaultAspect = 16.0 / 9.0;

// The area of a picture of aspect fitted into one tile of grid.
double pictureArea(Grid grid, ViewerZoom::Size area, double aspect)
{
    const double tileWidth = double(area.width) / grid.columns;
    const double tileHeight = double(area.height) / grid.rows;
    const double width = std::min(tileWidth, tileHeight * aspect);
    return width * (width / aspect);
}
} // namespace

Grid choose(int count, ViewerZoom::Size area, double pictureAspect)
{
    const double aspect = pictureAspect > 0 ? pictureAspect : kDefaultAspect;
    Grid best = kGrids[std::size(kGrids) - 1];
    if (count <= 1)
        return kGrids[0];
    double bestArea = -1;
    for (const Grid listed : kGrids) {
        for (const Grid grid : {listed, Grid{listed.rows, listed.columns}}) {
            if (grid.cells() < count)
                continue;
            const double shown = pictureArea(grid, area, aspect);
            // A hair's difference is no reason to leave more cells empty.
            const double tolerance = 1e-6 * std::max(shown, bestArea);
            const bool better = shown > bestArea + tolerance ||
                                (shown >= bestArea - tolerance &&
                                 (grid.cells() < best.cells() ||
                                  (grid.cells() == best.cells() && grid.columns > best.columns)));
            if (better) {
                best = grid;
                bestArea = shown;
            }
        }
    }
    return best;
}

ViewerZoom::Rect tileRect(Grid grid, ViewerZoom::Size area, int index)
{
    const int columns = std::max(grid.columns, 1);
    const int rows = std::max(grid.rows, 1);
    const int column = index % columns;
    const int row = index / columns;
    const auto edge = [](int length, int parts, int at) {
        return int((long long)length * at / parts);
    };
    const int left = edge(area.width, columns, column);
    const int top = edge(area.height, rows, row);
    return {left, top, edge(area.width, columns, column + 1) - left,
            edge(area.height, rows, row + 1) - top};
}

} // namespace WallGrid
