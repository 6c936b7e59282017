#pragma once
// The preview's position slider: a press anywhere on the track moves the thumb
// straight to the pressed point and the thumb follows the mouse until release.
// Every change is reported to the owner with a scroll code.

#include <QSlider>

class CNiceSliderCtrl : public QSlider {
    Q_OBJECT
public:
    // Scroll codes reported through positionScrolled.
    static constexpr int kThumbPosition = 4;
    static constexpr int kThumbTrack = 5;
    static constexpr int kEndTrack = 8;

    explicit CNiceSliderCtrl(QWidget* parent = nullptr);

    // True when the position changed.
    bool MoveThumbToPoint(const QPoint& point);

signals:
    // Emitted synchronously: the owner has handled it when the call returns.
    void positionScrolled(int code, int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect ChannelRect() const;
    void NotifyParent(int code);

    bool m_pressed = false;
    bool m_movedWhilePressed = false;
};
