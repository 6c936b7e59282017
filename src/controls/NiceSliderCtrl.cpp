#include "NiceSliderCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
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

void CNiceSliderCtrl::CancelGesture() {
    if (!m_pressed)
        return;
    m_pressed = false;
    m_movedWhilePressed = false;
    releaseMouse();
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

int CNiceSliderCtrl::KeyCode(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        return kLineUp;
    case Qt::Key_Right:
    case Qt::Key_Down:
        return kLineDown;
    case Qt::Key_PageUp:
        return kPageUp;
    case Qt::Key_PageDown:
        return kPageDown;
    case Qt::Key_Home:
        return kTop;
    case Qt::Key_End:
        return kBottom;
    default:
        return -1;
    }
}

void CNiceSliderCtrl::keyPressEvent(QKeyEvent* event) {
    const int before = value();
    QSlider::keyPressEvent(event);
    const int code = KeyCode(event->key());
    if (code >= 0 && value() != before)
        NotifyParent(code);
}

void CNiceSliderCtrl::keyReleaseEvent(QKeyEvent* event) {
    QSlider::keyReleaseEvent(event);
    // Like the track bar: letting go of a navigation key ends the gesture.
    if (!event->isAutoRepeat() && KeyCode(event->key()) >= 0)
        NotifyParent(kEndTrack);
}

void CNiceSliderCtrl::SetSelection(int start, int end) {
    m_selectionStart = qBound(minimum(), qMin(start, end), maximum());
    m_selectionEnd = qBound(minimum(), qMax(start, end), maximum());
    update();
}

void CNiceSliderCtrl::ClearSelection() {
    m_selectionStart = -1;
    m_selectionEnd = -1;
    update();
}

void CNiceSliderCtrl::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (!HasSelection() || maximum() <= minimum())
        return;
    // The range is drawn as a band beside the groove (the groove itself shows
    // the position), with a mark at each end, like the track bar's selection.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect channel = ChannelRect();
    const double span = maximum() - minimum();
    QPainter painter(this);
    const QColor band = palette().color(QPalette::Highlight);
    if (orientation() == Qt::Horizontal) {
        const int left = channel.left() + int((m_selectionStart - minimum()) * channel.width() / span);
        const int right = channel.left() + int((m_selectionEnd - minimum()) * channel.width() / span);
        const int top = qMin(groove.bottom() + kSelectionGap, height() - kSelectionBand);
        painter.fillRect(QRect(left, top, qMax(1, right - left), kSelectionBand), band);
        painter.fillRect(QRect(left, top - kSelectionMark, 1, kSelectionMark + kSelectionBand), band);
        painter.fillRect(QRect(right, top - kSelectionMark, 1, kSelectionMark + kSelectionBand), band);
    } else {
        const int top = channel.top() + int((m_selectionStart - minimum()) * channel.height() / span);
        const int bottom = channel.top() + int((m_selectionEnd - minimum()) * channel.height() / span);
        const int left = qMin(groove.right() + kSelectionGap, width() - kSelectionBand);
        painter.fillRect(QRect(left, top, kSelectionBand, qMax(1, bottom - top)), band);
        painter.fillRect(QRect(left - kSelectionMark, top, kSelectionMark + kSelectionBand, 1), band);
        painter.fillRect(QRect(left - kSelectionMark, bottom, kSelectionMark + kSelectionBand, 1), band);
    }
}
