#include "BtnST.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPen>

CButtonST::CButtonST(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
}

void CButtonST::SetIcon(const QIcon& icon) {
    setIcon(icon);
    // Leave the margins the flat frame needs around the picture.
    const int side = qMax(8, qMin(width(), height()) - 4);
    setIconSize(QSize(side, side));
}

void CButtonST::SetTooltipText(const QString& text, bool activate) {
    setToolTip(activate ? text : QString());
}

void CButtonST::SetCheckBox(bool checkBox) {
    setCheckable(checkBox);
}

void CButtonST::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CButtonST::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    DrawFocusFrame(painter);
}

void CButtonST::DrawFocusFrame(QPainter& painter) const {
    if (!hasFocus())
        return;
    constexpr int kFrameWidth = 2;
    painter.setPen(QPen(palette().color(QPalette::Highlight), kFrameWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(kFrameWidth / 2, kFrameWidth / 2, -kFrameWidth / 2 - 1, -kFrameWidth / 2 - 1));
}
