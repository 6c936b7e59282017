#include "BtnST.h"

#include <QMouseEvent>

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
