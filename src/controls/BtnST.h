#pragma once
// Flat icon button of the preview's transport row: draws its icon (or its
// caption), shows a tooltip, and can act as a push-like check box (Mute).

#include <QPushButton>

class CButtonST : public QPushButton {
    Q_OBJECT
public:
    explicit CButtonST(QWidget* parent = nullptr);

    // One icon serves every state.
    void SetIcon(const QIcon& icon);
    void SetTooltipText(const QString& text, bool activate = true);
    // Check-box mode: each click toggles and the pressed look stays while checked.
    void SetCheckBox(bool checkBox);

protected:
    // A double click counts as a second press, not as a separate gesture.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // A flat face shows no focus of its own: a frame inside the edge does,
    // in every look.
    void DrawFocusFrame(QPainter& painter) const;
};
