#pragma once
// Where the window opens: where it was last time when it still fits there
// whole (frame included), else centred on the screen's free area. The title
// bar always stays on the screen, so the window can be moved and closed.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

namespace zem::app {

// Top-left corner of the frame of size `frame` inside `available`.
QPoint WindowPlace(const QRect& available, const QSize& frame, const std::optional<QPoint>& saved);

} // namespace zem::app
