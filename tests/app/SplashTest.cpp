// The start-up picture: size, place, and the presses and timer that close it.

#include "CompressorApp.h"
#include "Splash.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const QString kPicture = QStringLiteral(":/res/splash.png");

struct SplashOn {
    SplashOn() { EnableSplash(true); }
    ~SplashOn() {
        HideSplash();
        EnableSplash(false);
    }
};
} // namespace

TEST(Splash, CentredPictureClosedByAKeyThatReachesNoWindow) {
    SplashOn on;
    QWidget owner;
    auto* edit = new QLineEdit(&owner);
    owner.show();
    edit->setFocus();
    ShowSplash(&owner, kPicture);
    ASSERT_TRUE(g_splash);
    EXPECT_EQ(g_splash->size(), QSize(461, 257));
    EXPECT_TRUE(g_splash->windowFlags() & Qt::FramelessWindowHint);
    // The owner is on screen, so the splash sits over its middle.
    EXPECT_LE((g_splash->geometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);

    // Moving the mouse and releasing keys leave it in place.
    QTest::mouseMove(edit, QPoint(5, 5));
    QTest::keyRelease(edit, Qt::Key_A);
    EXPECT_TRUE(g_splash);

    QTest::keyClick(edit, Qt::Key_A);
    EXPECT_FALSE(g_splash);
    EXPECT_EQ(edit->text(), QString()); // the closing key was used up
    QTest::keyClick(edit, Qt::Key_B);
    EXPECT_EQ(edit->text(), QStringLiteral("b"));
}

TEST(Splash, MousePressClosesItWithoutClicking) {
    SplashOn on;
    QWidget owner;
    auto* button = new QPushButton(QStringLiteral("x"), &owner);
    owner.show();
    QSignalSpy clicks(button, &QPushButton::clicked);
    ShowSplash(nullptr, kPicture);
    ASSERT_TRUE(g_splash);
    // Without a visible owner it is centred on the screen's work area.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((g_splash->geometry().center() - area.center()).manhattanLength(), 2);
    QTest::mousePress(button, Qt::RightButton);
    EXPECT_FALSE(g_splash);
    QTest::mouseRelease(button, Qt::RightButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1); // only the click after the splash
}

TEST(Splash, ClosesAfterTwoSecondsAndNeedsItsPicture) {
    {
        SplashOn on;
        ShowSplash(nullptr, QStringLiteral("/nonexistent/splash.png"));
        EXPECT_FALSE(g_splash); // no picture, no splash, no message
    }
    ShowSplash(nullptr, kPicture);
    EXPECT_FALSE(g_splash); // switched off
    SplashOn on;
    QElapsedTimer clock;
    clock.start();
    ShowSplash(nullptr, kPicture);
    ASSERT_TRUE(g_splash);
    EXPECT_TRUE(QTest::qWaitFor([] { return g_splash.isNull(); }, 4000));
    EXPECT_GE(clock.elapsed(), 1900);

    EXPECT_TRUE(CCompressorApp::ShowSplashRequested({QStringLiteral("zemconverter")}));
    EXPECT_FALSE(CCompressorApp::ShowSplashRequested({QStringLiteral("zemconverter"), QStringLiteral("-nosplash")}));
}
