// The window after start: caption, size, places and visibility of the
// controls, the enable rule and the settings saved on every way out.

#include "AppTestSupport.h"
#include "BtnST.h"
#include "NiceSliderCtrl.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using apptest::WindowFixture;

namespace {

struct Expected {
    int id;
    bool visible;
};

// Every identified control of the window and whether it shows after start.
constexpr Expected kExpectedControls[] = {
    {1009, true}, {1020, true}, {1015, true}, {1019, true}, {1070, true}, {1041, true}, {1058, true},
    {1064, true}, {1059, false}, {1057, false}, {1055, false}, {1056, false}, {1013, true}, {1022, true},
    {1046, true}, {1047, true}, {1037, true}, {1036, true}, {1034, true}, {1011, true}, {1012, true},
    {1014, true}, {1023, true}, {1021, true}, {1030, true}, {1029, true}, {1048, true}, {1060, true},
    {1065, true}, {1077, true}, {1066, true}, {1067, true}, {1072, true}, {1054, true}, {1035, true},
    {1045, true}, {1031, true}, {1050, true}, {1016, true}, {1044, true}, {1017, true}, {1018, true},
    {1042, true}, {1043, true}, {1069, true}, {1025, true}, {1049, true}, {1068, true}, {1078, false},
    {1079, false}, {1083, false}, {1080, false}, {1081, false}, {1082, false}, {1010, true}, {1004, true},
    {1007, true}, {1026, true}, {1051, false}, {1052, false}, {1053, false}, {1003, false}, {1008, false},
    {1071, false},
};

constexpr int kEnableOrder[] = {1009, 1020, 1015, 1019, 1041, 1022, 1011, 1012, 1014, 1023, 1021, 1030,
                                1029, 1048, 1016, 1044, 1017, 1018, 1042, 1043, 1025, 1049, 1068, 1065,
                                1077, 1066, 1067, 1072, 1003, 1035, 1045, 1031, 1007, 1008, 1079};

QStringList Names(const QList<QWidget*>& widgets) {
    QStringList names;
    for (const QWidget* widget : widgets)
        names.append(widget ? widget->objectName() : QStringLiteral("(missing)"));
    return names;
}

} // namespace

TEST(WindowLayout, CaptionSizeAndControlsAfterStart) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ZemConverter 4.10"));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // fixed size
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    window->show();

    for (const Expected& expected : kExpectedControls) {
        QWidget* control = window->Control(expected.id);
        ASSERT_NE(control, nullptr) << expected.id;
        EXPECT_EQ(control->isVisible(), expected.visible) << expected.id;
    }
    EXPECT_FALSE(window->findChild<QWidget*>(QStringLiteral("ConversionFrame"))->isVisible());

    // Places in dialog units scale with the window: the list spans 500 of 511
    // units, the Help button starts at 436, the Convert button at 365 x 405.
    const double xUnit = window->width() / 511.0;
    const double yUnit = window->height() / 439.0;
    const QRect list = window->Control(1041)->geometry();
    EXPECT_NEAR(list.width(), 500 * xUnit, 1.5);
    EXPECT_NEAR(list.height(), 172 * yUnit, 1.5);
    EXPECT_NEAR(window->Control(1070)->x(), 436 * xUnit, 1.5);
    EXPECT_NEAR(window->Control(1007)->x(), 365 * xUnit, 1.5);
    EXPECT_NEAR(window->Control(1007)->y(), 405 * yUnit, 1.5);
    EXPECT_NEAR(window->Control(1043)->x(), 369 * xUnit, 1.5); // "208 x 176"
    EXPECT_NEAR(window->Control(1043)->y(), 258 * yUnit, 1.5);
    EXPECT_EQ(window->ControlAs<QAbstractButton>(1043)->text(), QStringLiteral("208 x 176"));

    // Empty texts and zero times right after start.
    EXPECT_EQ(window->ControlAs<QLabel>(1064)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(1046)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(1047)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(1010)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(1037)->text(), QStringLiteral("00:00"));
    EXPECT_EQ(window->ControlAs<QLabel>(1034)->text(), QStringLiteral("00:00"));

    // The list: seven columns, English headers without a language file.
    EXPECT_EQ(window->FileList()->columnCount(), 7);
    EXPECT_EQ(window->FileList()->horizontalHeaderItem(2)->text(), QStringLiteral("|<"));
    EXPECT_EQ(window->FileList()->columnWidth(6), 130);

    // Transport tooltips stay English.
    EXPECT_EQ(window->ControlAs<CButtonST>(1023)->toolTip(), QStringLiteral("Frame Step"));
    EXPECT_EQ(window->ControlAs<CButtonST>(1048)->toolTip(), QStringLiteral("Clear Selection"));
    EXPECT_TRUE(window->ControlAs<CButtonST>(1021)->isCheckable());
    EXPECT_FALSE(window->ControlAs<CButtonST>(1011)->icon().isNull());
}

TEST(WindowLayout, EnableRuleFollowsSubtitleFlag) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    QStringList expected;
    for (int id : kEnableOrder)
        expected.append(QString::number(id));

    ASSERT_EQ(window->m_subtitle, 1); // set by the codec check at start
    EXPECT_EQ(Names(window->EnableControlList()), (expected + QStringList{"1080", "1081", "1082"}));
    window->EnableControls(false);
    for (int id : kEnableOrder)
        EXPECT_FALSE(window->Control(id)->isEnabled()) << id;
    EXPECT_FALSE(window->Control(1081)->isEnabled());
    EXPECT_TRUE(window->Control(1026)->isEnabled()); // conversion Stop
    EXPECT_TRUE(window->Control(1070)->isEnabled()); // Help

    window->m_subtitle = 0;
    EXPECT_EQ(Names(window->EnableControlList()), expected);
    window->EnableControls(true);
    EXPECT_TRUE(window->Control(1009)->isEnabled());
    EXPECT_FALSE(window->Control(1081)->isEnabled()); // left alone with subtitles off
    // Enabling never shows a hidden control.
    EXPECT_TRUE(window->Control(1003)->isEnabled());
    EXPECT_FALSE(window->Control(1003)->isVisible());
    EXPECT_FALSE(window->Control(1079)->isVisible());
}

TEST(WindowLayout, SettingsSavedOnEveryWayOut) {
    const auto storedSize = [](const QString& file) {
        return QSettings(file, QSettings::IniFormat).value(QStringLiteral("ZemConverter/VideoSize"), -1).toInt();
    };
    struct Way {
        const char* name;
        std::function<void(CCompressorDlg&)> end;
        int sizeId;
        int sizeIndex;
    };
    const Way ways[] = {
        {"close button", [](CCompressorDlg& w) { w.close(); }, 1044, 1},
        {"Escape", [](CCompressorDlg& w) { QTest::keyClick(&w, Qt::Key_Escape); }, 1018, 3},
        {"Enter", [](CCompressorDlg& w) {
             w.Control(1041)->setFocus();
             QTest::keyClick(&w, Qt::Key_Return);
         }, 1043, 5},
    };
    for (const Way& way : ways) {
        WindowFixture fixture;
        auto window = fixture.MakeWindow();
        window->show();
        window->ControlAs<QAbstractButton>(way.sizeId)->click();
        way.end(*window);
        EXPECT_FALSE(window->isVisible()) << way.name;
        EXPECT_EQ(storedSize(fixture.SettingsFile()), way.sizeIndex) << way.name;
    }
}

TEST(WindowLayout, PositionSliderJumpsToThePressedPoint) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    auto* slider = window->ControlAs<CNiceSliderCtrl>(1022);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->maximum(), 100);
    EXPECT_EQ(slider->pageStep(), 5);
    std::vector<std::pair<int, int>> notes;
    QObject::connect(slider, &CNiceSliderCtrl::positionScrolled,
                     [&notes](int code, int position) { notes.emplace_back(code, position); });

    // A click far right: thumb track on the press, thumb position on release.
    const QPoint right(slider->width() - 1, slider->height() / 2);
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, right);
    EXPECT_EQ(slider->value(), 100);
    EXPECT_EQ(notes, (std::vector<std::pair<int, int>>{{5, 100}, {4, 100}}));
    // The same point again: nothing moves, nothing is reported.
    notes.clear();
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, right);
    EXPECT_TRUE(notes.empty());
    // Near the middle.
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() / 2, slider->height() / 2));
    EXPECT_NEAR(slider->value(), 50, 3);
}
