#pragma once

#include <QImage>

// Pictures the main window draws itself rather than loads.
namespace StockPictures {

// Shown in a panel whose camera answered with something that is not a
// picture (an error page, a redirect, an empty reply): a clear sign, not a
// broken picture.
QImage notFound(QSize size = QSize(320, 240));

} // namespace StockPictures
