// Where the window opens: whole on the screen, frame and title bar included;
// centred the first time, where it was left after that.

#include "AppTestSupport.h"
#include "WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <gtest/gtest.h>

using zem::app::WindowPlace;

TEST(Placement, CentredFirstThenWhereItWasAndNeverAboveTheScreen) {
    // 1366x768 with a 32-pixel panel at the top; the window with its frame.
    const QRect free(0, 32, 1366, 736);
    const QSize frame(780, 700);
    EXPECT_EQ(WindowPlace(free, frame, std::nullopt), QPoint(292, 49));
    // Where it was left, when it still fits there whole.
    EXPECT_EQ(WindowPlace(free, frame, QPoint(500, 40)), QPoint(500, 40));
    // Off the screen (a screen that went, a panel that moved): centred again.
    EXPECT_EQ(WindowPlace(free, frame, QPoint(500, 10)), QPoint(292, 49));
    EXPECT_EQ(WindowPlace(free, frame, QPoint(2000, 40)), QPoint(292, 49));
    // Taller than the free area: the title bar stays on it.
    EXPECT_EQ(WindowPlace(free, QSize(780, 800), std::nullopt), QPoint(292, 32));
}

TEST(Placement, TheWindowKeepsItsPlaceAcrossRestarts) {
    apptest::WindowFixture fixture;
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    QPoint first;
    {
        auto window = fixture.MakeWindow();
        window->show();
        const QRect frame = window->frameGeometry();
        EXPECT_GE(frame.top(), free.top());
        EXPECT_GE(frame.left(), free.left());
        first = window->pos();
        window->close();
    }
    QSettings stored(fixture.SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("ZemConverter/WindowX")).toInt(), first.x());
    EXPECT_EQ(stored.value(QStringLiteral("ZemConverter/WindowY")).toInt(), first.y());
    auto again = fixture.MakeWindow();
    again->show();
    EXPECT_EQ(again->pos(), first);
}
