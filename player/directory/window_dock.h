#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a window of `size` docks beside the window whose frame is `anchor`,
// inside `area` (the screen's available area): to the right of the anchor
// where it fits, else to its left, else as close to the right edge as fits;
// its top edge at the anchor's, moved only as far as it takes to stay
// inside the area. A window larger than the area keeps the area's
// top-left corner.
QPoint dockBeside(const QRect &anchor, const QSize &size, const QRect &area);
