#pragma once
// Transport button that looks like the desktop's own push buttons when the
// application is themed (see ThemeHelperST), with hover and pressed looks, and
// keeps the flat look of CButtonST otherwise.

#include "BtnST.h"

class ThemeHelperST;

class CXPStyleButtonST : public CButtonST {
    Q_OBJECT
public:
    explicit CXPStyleButtonST(QWidget* parent = nullptr);

    // Not owned; the window's helper outlives its buttons.
    void SetThemeHelper(const ThemeHelperST* helper);
    const ThemeHelperST* ThemeHelper() const { return m_themeHelper; }
    // The state the themed background is drawn in now.
    int ThemeState() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ThemeHelperST* m_themeHelper = nullptr;
};
