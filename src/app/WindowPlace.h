#pragma once
// Where the window opens the first time: centred on the screen's free area,
// its title bar on it even when the window is taller than the free area.
// Later starts go back to where it was left (Qt's saved geometry).

#include <QPoint>
#include <QRect>
#include <QSize>

namespace zem::app {

// Top-left corner of the frame of size `frame` inside `available`.
QPoint WindowPlace(const QRect& available, const QSize& frame);

} // namespace zem::app
