#pragma once
// The window's one link to the desktop's look. "Themed" means the application's
// Qt style draws push buttons in the platform's look; Qt's plain "Windows" style
// (chosen with -style windows or QT_STYLE_OVERRIDE=windows) stands for visual
// styles switched off, and the buttons then keep their flat look. Asked at
// every paint, so a style change shows at the next repaint.

#include <QRect>

class QPainter;
class QWidget;

class ThemeHelperST {
public:
    // Push-button states, as the themed background draws them.
    enum State { kNormal = 1, kHot = 2, kPressed = 3, kDisabled = 4, kDefaulted = 5 };

    bool IsAppThemed(const QWidget* widget) const;
    // Paints the parent's background under the button, then the push-button
    // face in `state` over rect. False when the application is not themed.
    bool DrawThemeBackground(QPainter& painter, const QWidget* widget, int state, const QRect& rect) const;
};
