#include "directory/window_dock.h"

#include <algorithm>

QPoint dockBeside(const QRect &anchor, const QSize &size, const QRect &area)
{
    // QRect::right() is the last pixel column, so the next one is right() + 1.
    const int lastX = area.x() + area.width() - size.width();
    const int lastY = area.y() + area.height() - size.height();
    int x;
    if (anchor.right() + 1 <= lastX)
        x = anchor.right() + 1;
    else if (anchor.left() - size.width() >= area.left())
        x = anchor.left() - size.width();
    else
        x = std::max(area.left(), lastX);
    const int y = std::max(area.top(), std::min(anchor.top(), lastY));
    return {x, y};
}
