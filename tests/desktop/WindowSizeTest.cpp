// The window on a 1024x600 screen in the language of the locale variables
// (LC_ALL is set by the test's registration; the fonts the desktop picks
// for a language are chosen once per process, so each language runs in a
// process of its own).

#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <cstdio>
#include <gtest/gtest.h>

using enum zem::app::ControlId;

using apptest::WindowFixture;

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 600;
// A title bar, which the offscreen platform does not draw.
constexpr int kTitleBarAllowance = 32;
// The offscreen platform's screen, as its configuration file gives it.
constexpr const char* kScreenConfig = R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1024,
    "height": 600, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";

} // namespace

TEST(WindowSize, FitsA1024x600ScreenAndEveryLabelFitsItsPlace) {
    WindowFixture fixture;
    CCompressorDlg::Environment environment = fixture.Environment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    CCompressorDlg window(environment);
    window.show();
    QApplication::processEvents();

    const QString language = qEnvironmentVariable("ZEM_EXPECTED_LANGUAGE");
    ASSERT_FALSE(language.isEmpty());
    EXPECT_TRUE(window.m_langFile.endsWith(QStringLiteral("/Lang/") + language + QStringLiteral(".ini")))
        << window.m_langFile.toStdString();
    std::printf("%s window %dx%d, font %s\n", language.toLatin1().constData(), window.width(), window.height(),
                QFontInfo(window.font()).family().toUtf8().constData());

    // The screen is the one configured, and the window's minimum and the
    // window itself fit it; so does every control it shows.
    const QRect screen = window.screen()->availableGeometry();
    ASSERT_EQ(screen, QRect(0, 0, kScreenWidth, kScreenHeight));
    EXPECT_LE(window.minimumSize().width(), kScreenWidth);
    EXPECT_LE(window.minimumSize().height() + kTitleBarAllowance, kScreenHeight);
    EXPECT_LE(window.frameGeometry().width(), kScreenWidth);
    EXPECT_LE(window.frameGeometry().height() + kTitleBarAllowance, kScreenHeight);
    int inside = 0;
    for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!control->isVisible())
            continue;
        const QRect global(control->mapToGlobal(QPoint(0, 0)), control->size());
        EXPECT_TRUE(screen.contains(global)) << control->objectName().toStdString();
        EXPECT_TRUE(window.rect().contains(control->geometry())) << control->objectName().toStdString();
        ++inside;
    }
    EXPECT_GT(inside, 40);

    // Every shown caption fits the place the layout gives it.
    int checked = 0;
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        ++checked;
        // A push button's size hint has a floor of its own; its text (without the
        // Alt letter's mark, which is not drawn) and margins are what must fit.
        const int needed =
            qobject_cast<QPushButton*>(button) != nullptr
                ? button->fontMetrics().horizontalAdvance(QString(button->text()).remove(QLatin1Char('&'))) +
                      2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin)
                : button->sizeHint().width();
        EXPECT_LE(needed, button->width()) << button->text().toStdString();
        EXPECT_LE(button->fontMetrics().height(), button->height()) << button->text().toStdString();
    }
    for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
        if (box->isVisible() && !box->title().isEmpty()) {
            EXPECT_LE(box->fontMetrics().horizontalAdvance(box->title()), box->width()) << box->title().toStdString();
        }
    }
    EXPECT_GT(checked, 20);

    // The Messages line holds the longest time-left text of a long run.
    auto* messages = window.ControlAs<QLabel>(IDC_MESSAGE);
    const QString longest = window.Translate(QString::fromLatin1(zem::app::kTextRunTimeLeft))
                                .replace(QLatin1String("{n}"), QStringLiteral("12"))
                                .replace(QLatin1String("{count}"), QStringLiteral("15"))
                                .replace(QLatin1String("{time}"), QStringLiteral("12:34"))
                                .replace(QLatin1String("{total}"), QStringLiteral("1:02:34"));
    EXPECT_FALSE(longest.contains(QLatin1Char('{'))) << longest.toStdString();
    const QRect needed = messages->fontMetrics().boundingRect(QRect(0, 0, messages->contentsRect().width(), 1 << 20),
                                                              Qt::TextWordWrap, longest);
    EXPECT_LE(needed.height(), messages->contentsRect().height()) << longest.toStdString();
    EXPECT_LE(needed.width(), messages->contentsRect().width()) << longest.toStdString();
}

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    const QString config = home.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(kScreenConfig) < 0)
        return 1;
    file.close();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
