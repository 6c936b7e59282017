// The window after start: caption, size, places and visibility of the
// controls, the enable rule and the settings saved on every way out.

#include "AppTestSupport.h"
#include "BtnST.h"
#include "NiceSliderCtrl.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include "FileListModel.h"
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

using enum zem::app::ControlId;

using apptest::WindowFixture;

namespace {

struct Expected {
    int id;
    bool visible;
};

// Every identified control of the window and whether it shows after start.
constexpr Expected kExpectedControls[] = {
    {IDC_ADD, true},
    {IDC_CHANGE_OUTPUT, true},
    {IDC_DELETE, true},
    {IDC_DELETE_ALL, true},
    {IDC_HELP, true},
    {IDC_FILE_LIST, true},
    {IDC_FILES_LABEL, true},
    {IDC_FILE_COUNT, true},
    {IDC_ESTIMATE_LABEL, false},
    {IDC_ESTIMATE, false},
    {IDC_LANGUAGE_LABEL, false},
    {IDC_LANGUAGE_NAME, false},
    {IDC_VIDEO_AREA, true},
    {IDC_POSITION_SLIDER, true},
    {IDC_VIDEO_SIZE_TEXT, true},
    {IDC_FILE_SIZE_TEXT, true},
    {IDC_POSITION, true},
    {IDC_SLASH, true},
    {IDC_DURATION, true},
    {IDC_PLAY, true},
    {IDC_PAUSE, true},
    {IDC_STOP, true},
    {IDC_FRAME_STEP, true},
    {IDC_MUTE, true},
    {IDC_SELECTION_START, true},
    {IDC_SELECTION_END, true},
    {IDC_CLEAR_SELECTION, true},
    {IDC_QUALITY_BOX, true},
    {IDC_QUALITY_HD, true},
    {IDC_QUALITY_HIGH_FRAME, true},
    {IDC_QUALITY_STANDARD, true},
    {IDC_QUALITY_MIDDLE, true},
    {IDC_QUALITY_LOW, true},
    {IDC_FILES_TO_CONVERT_BOX, true},
    {IDC_SELECTED_FILE, true},
    {IDC_ALL_FILES, true},
    {IDC_MONITORING, true},
    {IDC_VIDEO_BOX, true},
    {IDC_SIZE_320, true},
    {IDC_SIZE_96, true},
    {IDC_SIZE_176, true},
    {IDC_SIZE_128, true},
    {IDC_SIZE_160, true},
    {IDC_SIZE_208, true},
    {IDC_ROTATE_BOX, true},
    {IDC_ROTATE_NONE, true},
    {IDC_ROTATE_LEFT, true},
    {IDC_ROTATE_RIGHT, true},
    {IDC_SUBTITLE_BOX, true},
    {IDC_SUBTITLE, true},
    {IDC_FONT_SIZE_BOX, true},
    {IDC_SUBTITLE_BIG, true},
    {IDC_SUBTITLE_MIDDLE, true},
    {IDC_SUBTITLE_SMALL, true},
    {IDC_MESSAGE, true},
    {IDC_PROGRESS, true},
    {IDC_CONVERT, true},
    {IDC_STOP_CONVERSION, true},
    {IDC_FRAME_RATE_BOX, false},
    {IDC_AUDIO_BOX, false},
    {IDC_EXTRA_FILES_BOX, false},
    {IDC_SAVE_MP3, false},
    {IDC_SAVE_FRAMES, false},
    {IDC_SIZE_176_HIDDEN, false},
};

// The controls a conversion leaves usable: its own Stop, and Help.
constexpr int kUsableWhileConverting[] = {IDC_STOP_CONVERSION, IDC_HELP};
// Never shown and never switched: the duplicate of a size button.
constexpr int kNeverSwitched = IDC_SIZE_176_HIDDEN;

// Every control of the window a user can operate (buttons of every kind, the
// slider, the list), found by walking the window, not by reading its lists.
std::set<int> OperableControls(const CCompressorDlg& window) {
    std::set<int> ids;
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        bool numbered = false;
        const int id = child->objectName().toInt(&numbered);
        if (numbered && (qobject_cast<QAbstractButton*>(child) || qobject_cast<QAbstractSlider*>(child) ||
                         qobject_cast<QAbstractItemView*>(child)))
            ids.insert(id);
    }
    return ids;
}

std::set<int> Ids(const QList<QWidget*>& widgets) {
    std::set<int> ids;
    for (const QWidget* widget : widgets)
        ids.insert(widget ? widget->objectName().toInt() : -1);
    return ids;
}

} // namespace

TEST(WindowLayout, CaptionSizeAndControlsAfterStart) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ZemConverter 4.10"));
    // Resizable down to a minimum; maximised on a small screen.
    EXPECT_LT(window->minimumSize().height(), window->DesignedSize().height());
    EXPECT_EQ(window->minimumSize().width(), window->DesignedSize().width());
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    window->show();
    window->resize(window->DesignedSize());

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
    const QRect list = window->Control(IDC_FILE_LIST)->geometry();
    EXPECT_NEAR(list.width(), 500 * xUnit, 1.5);
    EXPECT_NEAR(list.height(), 172 * yUnit, 1.5);
    EXPECT_NEAR(window->Control(IDC_HELP)->x(), 436 * xUnit, 1.5);
    EXPECT_NEAR(window->Control(IDC_CONVERT)->x(), 365 * xUnit, 1.5);
    EXPECT_NEAR(window->Control(IDC_CONVERT)->y(), 405 * yUnit, 1.5);
    EXPECT_NEAR(window->Control(IDC_SIZE_208)->x(), 369 * xUnit, 1.5); // "208 x 176"
    EXPECT_NEAR(window->Control(IDC_SIZE_208)->y(), 258 * yUnit, 1.5);
    EXPECT_EQ(window->ControlAs<QAbstractButton>(IDC_SIZE_208)->text(), QStringLiteral("208 x 176"));

    // Empty texts and zero times right after start.
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_COUNT)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_SIZE_TEXT)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_POSITION)->text(), QStringLiteral("00:00"));
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_DURATION)->text(), QStringLiteral("00:00"));

    // The list: seven columns, English headers without a language file.
    EXPECT_EQ(window->FileList()->model()->columnCount(), 7);
    EXPECT_EQ(window->FileList()->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("|<"));
    // The columns fill the list's width and no more: the Status column is
    // whole, no sideways scroll bar on an empty list, and long paths keep
    // the file's name by losing their middle.
    int columns = 0;
    for (int column = 0; column < 7; ++column)
        columns += window->FileList()->columnWidth(column);
    EXPECT_LE(columns, window->FileList()->viewport()->width());
    EXPECT_GE(columns, window->FileList()->viewport()->width() * 9 / 10);
    EXPECT_GT(window->FileList()->columnWidth(6), window->FileList()->columnWidth(5));
    EXPECT_FALSE(window->FileList()->horizontalScrollBar()->isVisible());
    EXPECT_EQ(window->FileList()->textElideMode(), Qt::ElideMiddle);

    // Transport buttons are named (here without a language file: English),
    // for a screen reader as in their tooltips.
    EXPECT_EQ(window->ControlAs<CButtonST>(IDC_FRAME_STEP)->toolTip(), QStringLiteral("Frame Step"));
    EXPECT_EQ(window->ControlAs<CButtonST>(IDC_FRAME_STEP)->accessibleName(), QStringLiteral("Frame Step"));
    EXPECT_EQ(window->ControlAs<CButtonST>(IDC_CLEAR_SELECTION)->accessibleName(), QStringLiteral("Clear Selection"));

    // A larger window gives its width to the list and the video area, its
    // height to both, half each; the conversion controls keep to the
    // bottom right, the options to the right of the video area.
    const QRect video = window->Control(IDC_VIDEO_AREA)->geometry();
    const QRect convert = window->Control(IDC_CONVERT)->geometry();
    const QRect quality = window->Control(IDC_QUALITY_BOX)->geometry();
    window->resize(window->DesignedSize() + QSize(200, 100));
    EXPECT_EQ(window->Control(IDC_FILE_LIST)->size(), list.size() + QSize(200, 50));
    EXPECT_EQ(window->Control(IDC_VIDEO_AREA)->geometry(), video.adjusted(0, 50, 200, 100));
    EXPECT_EQ(window->Control(IDC_CONVERT)->geometry(), convert.translated(200, 100));
    EXPECT_EQ(window->Control(IDC_QUALITY_BOX)->geometry(), quality.translated(200, 50));
    int columnsWide = 0;
    for (int column = 0; column < 7; ++column)
        columnsWide += window->FileList()->columnWidth(column);
    EXPECT_EQ(columnsWide, columns + 200);
    EXPECT_TRUE(window->ControlAs<CButtonST>(IDC_MUTE)->isCheckable());
    EXPECT_FALSE(window->ControlAs<CButtonST>(IDC_PLAY)->icon().isNull());
}

TEST(WindowLayout, EnableRuleFollowsSubtitleFlag) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    const std::set<int> sizes{IDC_SUBTITLE_BIG, IDC_SUBTITLE_MIDDLE, IDC_SUBTITLE_SMALL};
    std::set<int> switched = OperableControls(*window);
    ASSERT_TRUE(switched.count(IDC_CONVERT) && switched.count(IDC_POSITION_SLIDER) && switched.count(IDC_FILE_LIST))
        << "the walk found too little";
    for (int id : kUsableWhileConverting)
        switched.erase(id);
    switched.erase(kNeverSwitched);
    std::set<int> withoutSizes = switched;
    for (int id : sizes)
        withoutSizes.erase(id);

    ASSERT_EQ(window->m_subtitle, 1); // set by the codec check at start
    EXPECT_EQ(Ids(window->EnableControlList()), switched);
    // The sizes come last, after every other control.
    const QList<QWidget*> list = window->EnableControlList();
    ASSERT_GE(list.size(), 3);
    EXPECT_EQ(Ids(list.mid(list.size() - 3)), sizes);
    window->EnableControls(false);
    for (int id : switched)
        EXPECT_FALSE(window->Control(id)->isEnabled()) << id;
    for (int id : kUsableWhileConverting)
        EXPECT_TRUE(window->Control(id)->isEnabled()) << id;

    window->m_subtitle = 0;
    EXPECT_EQ(Ids(window->EnableControlList()), withoutSizes);
    window->EnableControls(true);
    EXPECT_TRUE(window->Control(IDC_ADD)->isEnabled());
    EXPECT_FALSE(window->Control(IDC_SUBTITLE_MIDDLE)->isEnabled()); // left alone with subtitles off
    // Enabling never shows a hidden control.
    EXPECT_TRUE(window->Control(IDC_SAVE_MP3)->isEnabled());
    EXPECT_FALSE(window->Control(IDC_SAVE_MP3)->isVisible());
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
        {"close button", [](CCompressorDlg& w) { w.close(); }, IDC_SIZE_96, 1},
        {"Escape", [](CCompressorDlg& w) { QTest::keyClick(&w, Qt::Key_Escape); }, IDC_SIZE_128, 3},
        {"Enter",
         [](CCompressorDlg& w) {
             w.Control(IDC_FILE_LIST)->setFocus();
             QTest::keyClick(&w, Qt::Key_Return);
         },
         IDC_SIZE_208, 5},
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
    auto* slider = window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    ASSERT_NE(slider, nullptr);
    // The control itself; the window keeps it disabled until a file is open.
    EXPECT_FALSE(slider->isEnabled());
    slider->setEnabled(true);
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

TEST(WindowLayout, RangeCellsFocusRadioStopsAndTheOpenDialog) {
    for (const char* locale : {"en_US.UTF-8", "ko_KR.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        SCOPED_TRACE(locale);
        apptest::ScopedEnv scoped("LC_ALL", locale);
        WindowFixture fixture;
        CCompressorDlg::Environment environment = fixture.Environment();
        environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
        CCompressorDlg window(environment);
        window.resize(window.size()); // fixed size: what a 1366 x 768 screen shows whole
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_LE(window.frameGeometry().width(), 1366);
        ASSERT_LE(window.frameGeometry().height(), 768);

        // A range cell and its header show whole: nothing is elided.
        QTableView* list = window.FileList();
        const QString time = QStringLiteral("00:03.355");
        zem::app::FileRow row;
        row.input = QStringLiteral("/v/a.avi");
        row.start = zem::app::RangeEdgeFromText(time, false);
        row.end = zem::app::RangeEdgeFromText(time, true);
        window.Rows().Append({row});
        const QFontMetrics metrics = list->fontMetrics();
        const int textMargin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
        for (int column : {2, 3}) {
            const int room = list->visualRect(list->model()->index(0, column)).width() - textMargin;
            EXPECT_GE(room, metrics.horizontalAdvance(time)) << "column " << column;
            EXPECT_GE(list->columnWidth(column), metrics.horizontalAdvance(list->model()->headerData(column, Qt::Horizontal).toString()))
                << "header of column " << column;
        }

        // Focus shows on the transport buttons: the focused face differs.
        for (int id : {IDC_PLAY, IDC_STOP, IDC_MUTE, IDC_SELECTION_START, IDC_CLEAR_SELECTION}) {
            QWidget* button = window.Control(id);
            button->setEnabled(true);
            window.Control(IDC_CONVERT)->setFocus(Qt::TabFocusReason);
            const QImage plain = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(QTest::qWaitFor([&] { return button->hasFocus(); }, 5000)) << id;
            EXPECT_NE(button->grab().toImage(), plain) << "no focus shown on control " << id;
        }

        // Each radio group is one Tab stop: its checked button.
        window.ControlAs<QAbstractButton>(IDC_QUALITY_MIDDLE)->click();
        window.ControlAs<QAbstractButton>(IDC_SIZE_176)->click();
        for (int id : {IDC_QUALITY_HD, IDC_QUALITY_HIGH_FRAME, IDC_QUALITY_STANDARD, IDC_QUALITY_MIDDLE,
                       IDC_QUALITY_LOW, IDC_SIZE_96, IDC_SIZE_176, IDC_SIZE_320}) {
            const auto* radio = window.ControlAs<QAbstractButton>(id);
            EXPECT_EQ(bool(radio->focusPolicy() & Qt::TabFocus), radio->isChecked()) << "radio " << id;
        }
        // Tab enters a group at its checked button, not at its first.
        window.Control(IDC_CLEAR_SELECTION)->setEnabled(true);
        window.Control(IDC_CLEAR_SELECTION)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), window.Control(IDC_QUALITY_MIDDLE));
        window.ControlAs<QAbstractButton>(IDC_ALL_FILES)->click();
        window.Control(IDC_MONITORING)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        EXPECT_EQ(QApplication::focusWidget(), window.Control(IDC_ALL_FILES));

        // The open dialog: large enough, and in the folder files came from last.
        fixture.m_fileDialogAnswer = {QStringLiteral("/v/films/a.mp4")};
        window.ControlAs<QAbstractButton>(IDC_ADD)->click();
        fixture.m_fileDialogAnswer.clear();
        window.ControlAs<QAbstractButton>(IDC_ADD)->click();
        ASSERT_EQ(fixture.m_fileDialogs.size(), 2u);
        EXPECT_GE(fixture.m_fileDialogs[0].minimumSize.width(), 900);
        EXPECT_GE(fixture.m_fileDialogs[0].minimumSize.height(), 560);
        EXPECT_EQ(fixture.m_fileDialogs[1].initialFolder, QStringLiteral("/v/films"));
        window.close();
    }
}
