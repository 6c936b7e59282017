#include "XPStyleButtonST.h"

#include "ThemeHelperST.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

CXPStyleButtonST::CXPStyleButtonST(QWidget* parent) : CButtonST(parent) {
    // Hover changes the themed look, so entering and leaving repaint.
    setAttribute(Qt::WA_Hover);
}

void CXPStyleButtonST::SetThemeHelper(const ThemeHelperST* helper) {
    m_themeHelper = helper;
    update();
}

int CXPStyleButtonST::ThemeState() const {
    if (!isEnabled())
        return ThemeHelperST::kDisabled;
    if (isDown() || (isCheckable() && isChecked()))
        return ThemeHelperST::kPressed;
    if (underMouse())
        return ThemeHelperST::kHot;
    if (isDefault())
        return ThemeHelperST::kDefaulted;
    return ThemeHelperST::kNormal;
}

void CXPStyleButtonST::paintEvent(QPaintEvent* event) {
    if (m_themeHelper == nullptr || !m_themeHelper->IsAppThemed(this)) {
        CButtonST::paintEvent(event);
        return;
    }
    QPainter painter(this);
    m_themeHelper->DrawThemeBackground(painter, this, ThemeState(), rect());
    QStyleOptionButton label;
    initStyleOption(&label);
    // A pressed face moves its icon by the style's shift, as push buttons do.
    if (ThemeState() == ThemeHelperST::kPressed)
        label.state |= QStyle::State_Sunken;
    style()->drawControl(QStyle::CE_PushButtonLabel, &label, &painter, this);
    DrawFocusFrame(painter);
}
