#include "ThemeHelperST.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

namespace {
// The style that stands for "no visual styles".
constexpr char kUnthemedStyle[] = "windows";
} // namespace

bool ThemeHelperST::IsAppThemed(const QWidget* widget) const {
    const QStyle* style = widget ? widget->style() : nullptr;
    return style && style->name().compare(QLatin1String(kUnthemedStyle), Qt::CaseInsensitive) != 0;
}

bool ThemeHelperST::DrawThemeBackground(QPainter& painter, const QWidget* widget, int state, const QRect& rect) const {
    if (!IsAppThemed(widget))
        return false;
    // A button draws over whatever its parent shows there.
    if (const QWidget* parent = widget->parentWidget())
        painter.fillRect(rect, parent->palette().brush(parent->backgroundRole()));
    QStyleOptionButton option;
    option.initFrom(widget);
    option.rect = rect;
    option.features = QStyleOptionButton::None;
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On | QStyle::State_HasFocus);
    option.state |= QStyle::State_Raised;
    switch (state) {
    case kDisabled:
        option.state &= ~QStyle::State_Enabled;
        break;
    case kPressed:
        option.state = (option.state & ~QStyle::State_Raised) | QStyle::State_Sunken;
        break;
    case kHot:
        option.state |= QStyle::State_MouseOver;
        break;
    case kDefaulted:
        option.features |= QStyleOptionButton::DefaultButton;
        break;
    default:
        break;
    }
    widget->style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, widget);
    return true;
}
