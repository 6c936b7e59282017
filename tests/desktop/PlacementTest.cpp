// Where the window opens: whole on the screen, frame and title bar included;
// centred the first time, where it was left after that, at every start.

#include "AppTestSupport.h"
#include "WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <gtest/gtest.h>

using zem::app::WindowPlace;

TEST(Placement, CentredTheFirstTimeAndNeverAboveTheScreen) {
    // 1366x768 with a 32-pixel panel at the top; the window with its frame.
    const QRect free(0, 32, 1366, 736);
    EXPECT_EQ(WindowPlace(free, QSize(780, 700)), QPoint(292, 49));
    // Taller than the free area: the title bar stays on it.
    EXPECT_EQ(WindowPlace(free, QSize(780, 800)), QPoint(292, 32));
}

TEST(Placement, TheWindowKeepsItsPlaceAndSizeAcrossRestartsWithItsTitleBarOnTheScreen) {
    apptest::WindowFixture fixture;
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    QRect first;
    {
        auto window = fixture.MakeWindow();
        window->show();
        EXPECT_TRUE(free.contains(window->frameGeometry().topLeft()))
            << window->frameGeometry().x() << "," << window->frameGeometry().y() << " in " << free.width() << "x"
            << free.height();
        window->setGeometry(QRect(window->pos() + QPoint(7, 9), window->size() + QSize(40, 30)));
        first = window->geometry();
        window->close();
    }
    // Every start, not every other one.
    for (int start = 0; start < 2; ++start) {
        auto again = fixture.MakeWindow();
        again->show();
        EXPECT_EQ(again->geometry(), first) << start;
        again->close();
    }
    // Left with its title bar above the screen (a panel that moved): it comes
    // back with the title bar on the screen.
    {
        auto window = fixture.MakeWindow();
        window->show();
        window->move(window->x(), free.top() - 40);
        window->close();
    }
    auto again = fixture.MakeWindow();
    again->show();
    EXPECT_GE(again->frameGeometry().top(), free.top());
}
