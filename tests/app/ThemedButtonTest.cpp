// The transport buttons' desktop look (hover, pressed, disabled, flat
// fallback) and the minimised window's icon.
#include "AppTestSupport.h"
#include "ThemeHelperST.h"
#include "XPStyleButtonST.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct Buttons {
    QWidget parent;
    CXPStyleButtonST* button = nullptr;
    ThemeHelperST helper;

    explicit Buttons(const char* styleName) : m_style(QStyleFactory::create(QString::fromLatin1(styleName))) {
        parent.resize(80, 40);
        parent.setStyle(m_style.get());
        button = new CXPStyleButtonST(&parent);
        button->setStyle(m_style.get());
        button->setGeometry(4, 4, 40, 28);
        QPixmap picture(16, 16);
        picture.fill(Qt::darkBlue);
        button->SetIcon(QIcon(picture));
        button->SetThemeHelper(&helper);
    }
    QImage Look() const { return button->grab().toImage(); }

private:
    std::unique_ptr<QStyle> m_style;
};

TEST(ThemedButton, HoverPressedAndDisabledEachHaveTheirOwnLookWhenThemed) {
    Buttons fusion("Fusion");
    ASSERT_TRUE(fusion.helper.IsAppThemed(fusion.button));
    CXPStyleButtonST& button = *fusion.button;

    EXPECT_EQ(button.ThemeState(), ThemeHelperST::kNormal);
    const QImage normal = fusion.Look();
    button.setAttribute(Qt::WA_UnderMouse, true);
    EXPECT_EQ(button.ThemeState(), ThemeHelperST::kHot);
    const QImage hot = fusion.Look();
    button.setDown(true);
    EXPECT_EQ(button.ThemeState(), ThemeHelperST::kPressed);
    const QImage pressed = fusion.Look();
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_EQ(button.ThemeState(), ThemeHelperST::kDisabled);
    const QImage disabledHovered = fusion.Look();
    button.setAttribute(Qt::WA_UnderMouse, false);
    const QImage disabled = fusion.Look();

    EXPECT_NE(normal, hot);
    EXPECT_NE(normal, pressed);
    EXPECT_NE(hot, pressed);
    EXPECT_NE(normal, disabled);
    // A disabled button does not react to the mouse.
    EXPECT_EQ(disabledHovered, disabled);
}

TEST(ThemedButton, MuteKeepsItsPressedLookWhileCheckedAlsoWhenTheMouseLeaves) {
    Buttons fusion("Fusion");
    CXPStyleButtonST& mute = *fusion.button;
    mute.SetCheckBox(true);
    mute.setDown(true);
    const QImage down = fusion.Look();
    mute.setDown(false);
    mute.setChecked(true);
    EXPECT_EQ(mute.ThemeState(), ThemeHelperST::kPressed);
    mute.setAttribute(Qt::WA_UnderMouse, true);
    EXPECT_EQ(mute.ThemeState(), ThemeHelperST::kPressed);
    mute.setAttribute(Qt::WA_UnderMouse, false);
    EXPECT_EQ(fusion.Look(), down);
    mute.setChecked(false);
    EXPECT_NE(fusion.Look(), down);
}

TEST(ThemedButton, WithoutVisualStylesOrAHelperTheButtonKeepsTheFlatLook) {
    Buttons classic("Windows");
    EXPECT_FALSE(classic.helper.IsAppThemed(classic.button));
    // The same button drawn by its flat base class.
    CButtonST flat(&classic.parent);
    flat.setStyle(classic.button->style());
    flat.setGeometry(classic.button->geometry());
    flat.SetIcon(classic.button->icon());
    EXPECT_EQ(classic.Look(), flat.grab().toImage());

    Buttons fusion("Fusion");
    const QImage themed = fusion.Look();
    fusion.button->SetThemeHelper(nullptr);
    CButtonST fusionFlat(&fusion.parent);
    fusionFlat.setStyle(fusion.button->style());
    fusionFlat.setGeometry(fusion.button->geometry());
    fusionFlat.SetIcon(fusion.button->icon());
    EXPECT_EQ(fusion.Look(), fusionFlat.grab().toImage());
    EXPECT_NE(themed, fusion.Look());
}

TEST(ThemedButton, TheWindowsTransportButtonsShareItsHelper) {
    apptest::WindowFixture fixture;
    auto window = fixture.MakeWindow();
    using namespace zem::app;
    const ThemeHelperST* shared = window->ControlAs<CXPStyleButtonST>(IDC_PLAY)->ThemeHelper();
    ASSERT_NE(shared, nullptr);
    for (const int id : {IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_FRAME_STEP, IDC_MUTE}) {
        auto* button = window->ControlAs<CXPStyleButtonST>(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->ThemeHelper(), shared) << id;
        // Without a file only Mute has something to do.
        EXPECT_EQ(button->ThemeState(), id == IDC_MUTE ? ThemeHelperST::kNormal : ThemeHelperST::kDisabled) << id;
    }
}

TEST(MinimisedWindow, ShowsItsIconCentredInsteadOfItsFace) {
    apptest::WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->resize(400, 300);
    const auto ownFace = [&] {
        QImage image(window->size(), QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        // The window's own painting only, without its controls on top.
        window->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        return image;
    };
    const QImage normal = ownFace();
    window->setWindowState(Qt::WindowMinimized);
    const QImage minimised = ownFace();

    const int side = window->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, window.get());
    QRect place(0, 0, side, side);
    place.moveCenter(window->rect().center());
    QImage icon(place.size(), QImage::Format_ARGB32);
    icon.fill(normal.pixelColor(place.center()));
    {
        QPainter painter(&icon);
        window->windowIcon().paint(&painter, icon.rect());
    }
    EXPECT_EQ(minimised.copy(place), icon);
    EXPECT_NE(normal.copy(place), minimised.copy(place));
    // Outside the icon the face stays as it was.
    EXPECT_EQ(minimised.pixelColor(5, 5), normal.pixelColor(5, 5));
}

} // namespace
