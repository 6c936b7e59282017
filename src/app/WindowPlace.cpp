#include "WindowPlace.h"

#include <algorithm>

namespace zem::app {

QPoint WindowPlace(const QRect& available, const QSize& frame) {
    QPoint place = available.center() - QPoint(frame.width() / 2, frame.height() / 2);
    // A window larger than the free area keeps its top-left corner on it.
    place.setX(std::max(place.x(), available.left()));
    place.setY(std::max(place.y(), available.top()));
    return place;
}

} // namespace zem::app
