#include "NiceSliderCtrl.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

CNiceSliderCtrl::CNiceSliderCtrl(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
}

QRect CNiceSliderCtrl::ChannelRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // The thumb's centre travels the groove less half a thumb at each end.
    if (orientation() == Qt::Horizontal)
        return groove.adjusted(handle.width() / 2, 0, -(handle.width() / 2), 0);
    return groove.adjusted(0, handle.height() / 2, 0, -(handle.height() / 2));
}

bool CNiceSliderCtrl::MoveThumbToPoint(const QPoint& point) {
    const QRect channel = ChannelRect();
    double r = 0.0;
    if (orientation() == Qt::Horizontal) {
        const int span = channel.right() - channel.left();
        r = span > 0 ? double(point.x() - channel.left()) / span : 0.0;
    } else {
        const int span = channel.bottom() - channel.top();
        r = span > 0 ? double(point.y() - channel.top()) / span : 0.0;
    }
    const int lo = minimum();
    const int hi = maximum();
    // Rounds half up on the channel; truncation toward zero off its ends.
    const int pos = int(lo + (hi + 1 - lo) * r + ((1.0 - r) * 0.5 - 0.5 * r));
    const int clamped = qBound(lo, pos, hi);
    if (clamped == value())
        return false;
    setValue(clamped);
    return true;
}

void CNiceSliderCtrl::NotifyParent(int code) {
    emit positionScrolled(code, value());
}

void CNiceSliderCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_movedWhilePressed = false;
    grabMouse();
    setFocus(Qt::MouseFocusReason);
    if (MoveThumbToPoint(event->position().toPoint())) {
        m_movedWhilePressed = true;
        NotifyParent(kThumbTrack);
    }
}

void CNiceSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    if (MoveThumbToPoint(event->position().toPoint())) {
        m_movedWhilePressed = true;
        NotifyParent(kThumbTrack);
    }
}

void CNiceSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressed || event->button() != Qt::LeftButton) {
        QSlider::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    releaseMouse();
    if (MoveThumbToPoint(event->position().toPoint())) {
        NotifyParent(kEndTrack);
        m_movedWhilePressed = true;
    }
    if (m_movedWhilePressed) {
        NotifyParent(kThumbPosition);
        m_movedWhilePressed = false;
    }
}
