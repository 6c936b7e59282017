#pragma once
// The preview's position slider: a press anywhere on the track moves the thumb
// straight to the pressed point and the thumb follows the mouse until release.
// Every change is reported to the owner with a scroll code. The slider can
// also mark a range of its track (a file's selection).

#include <QSlider>

class CNiceSliderCtrl : public QSlider {
    Q_OBJECT
public:
    // Scroll codes reported through positionScrolled; the keyboard keeps the
    // track bar's own line, page and end codes.
    static constexpr int kLineUp = 0;
    static constexpr int kLineDown = 1;
    static constexpr int kPageUp = 2;
    static constexpr int kPageDown = 3;
    static constexpr int kThumbPosition = 4;
    static constexpr int kThumbTrack = 5;
    static constexpr int kTop = 6;
    static constexpr int kBottom = 7;
    static constexpr int kEndTrack = 8;

    explicit CNiceSliderCtrl(QWidget* parent = nullptr);

    // True when the position changed.
    bool MoveThumbToPoint(const QPoint& point);
    // Drops a press in progress: its release reports nothing. The owner calls
    // it when something else (the end of the stream) has moved the position.
    void CancelGesture();

    // The marked range, in slider positions; cleared: no range is drawn.
    void SetSelection(int start, int end);
    void ClearSelection();
    bool HasSelection() const { return m_selectionStart >= 0; }
    int SelectionStart() const { return m_selectionStart; }
    int SelectionEnd() const { return m_selectionEnd; }

signals:
    // Emitted synchronously: the owner has handled it when the call returns.
    void positionScrolled(int code, int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Look of the marked range: a band this many pixels thick, this far from
    // the groove, with end marks reaching this far towards it.
    static constexpr int kSelectionBand = 3;
    static constexpr int kSelectionGap = 3;
    static constexpr int kSelectionMark = 3;

    QRect ChannelRect() const;
    void NotifyParent(int code);
    // The scroll code of a navigation key, or -1 for any other key.
    static int KeyCode(int key);

    bool m_pressed = false;
    bool m_movedWhilePressed = false;
    int m_selectionStart = -1;
    int m_selectionEnd = -1;
};
