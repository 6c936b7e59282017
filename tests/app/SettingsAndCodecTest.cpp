// Stored settings across runs, the codec check and the subtitle renderer's
// settings in the registry store.

#include "AppTestSupport.h"
#include "RegistryStore.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSettings>
#include <QtEndian>
#include <gtest/gtest.h>
#include <span>
#include <vector>

using enum zem::app::ControlId;

using apptest::WindowFixture;
using zem::os::RegistryRoot;
using zem::os::RegistryStore;

namespace {
const QString kGeneral = QStringLiteral("Software\\Vexlin\\DVobSub\\General\\");
const QString kText = QStringLiteral("Software\\Vexlin\\DVobSub\\Text\\");

bool Checked(CCompressorDlg& window, int id) {
    return window.ControlAs<QAbstractButton>(id)->isChecked();
}
} // namespace

TEST(Settings, RoundTripKeepsSizeAndQuality) {
    WindowFixture fixture;
    {
        auto first = fixture.MakeWindow();
        // A first run: "320 x 240", no rotation, "All files", monitoring off, "Standard".
        EXPECT_TRUE(Checked(*first, IDC_SIZE_320));
        EXPECT_TRUE(Checked(*first, IDC_ROTATE_NONE));
        EXPECT_TRUE(Checked(*first, IDC_ALL_FILES));
        EXPECT_FALSE(Checked(*first, IDC_MONITORING));
        EXPECT_TRUE(Checked(*first, IDC_QUALITY_STANDARD));
        first->show();
        first->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();      // 160 x 128
        first->ControlAs<QAbstractButton>(IDC_QUALITY_LOW)->click();   // Low
        first->ControlAs<QAbstractButton>(IDC_ROTATE_RIGHT)->click();  // rotate right
        first->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click(); // selected file
        first->ControlAs<QAbstractButton>(IDC_MONITORING)->click();    // monitoring
        first->close();
    }
    QSettings stored(fixture.SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("ZemConverter/VideoSize").toInt(), 4);
    EXPECT_EQ(stored.value("ZemConverter/Rotate").toInt(), 2);
    EXPECT_EQ(stored.value("ZemConverter/AllFlag").toInt(), 0);
    EXPECT_EQ(stored.value("ZemConverter/Monitoring").toInt(), 1);
    EXPECT_EQ(stored.value("ZemConverter/SaveMp3").toInt(), 0);
    EXPECT_EQ(stored.value("ZemConverter/Quality").toInt(), 4);

    // The hidden MP3 box keeps a stored 1 through a run.
    stored.setValue("ZemConverter/SaveMp3", 1);
    stored.sync();
    {
        auto second = fixture.MakeWindow();
        EXPECT_TRUE(Checked(*second, IDC_SIZE_160));
        EXPECT_TRUE(Checked(*second, IDC_ROTATE_RIGHT));
        EXPECT_TRUE(Checked(*second, IDC_SELECTED_FILE));
        EXPECT_TRUE(Checked(*second, IDC_MONITORING));
        EXPECT_TRUE(Checked(*second, IDC_QUALITY_LOW)); // kept like the other choices
        EXPECT_EQ(second->m_saveMp3, 1);
        EXPECT_TRUE(Checked(*second, IDC_SAVE_MP3));
        EXPECT_EQ(second->m_saveFrames, 0);
    } // destroyed without a close request: saved all the same
    QSettings again(fixture.SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(again.value("ZemConverter/SaveMp3").toInt(), 1);
    EXPECT_EQ(again.value("ZemConverter/VideoSize").toInt(), 4);
}

TEST(Settings, StoredSizeOutsideTheTableLeavesNoSizeChecked) {
    WindowFixture fixture;
    {
        QSettings stored(fixture.SettingsFile(), QSettings::IniFormat);
        stored.setValue("ZemConverter/VideoSize", 9);
    }
    auto window = fixture.MakeWindow();
    for (int id :
         {IDC_SIZE_320, IDC_SIZE_96, IDC_SIZE_176, IDC_SIZE_128, IDC_SIZE_160, IDC_SIZE_208, IDC_SIZE_176_HIDDEN})
        EXPECT_FALSE(Checked(*window, id)) << id;
    window->UpdateData(true);
    EXPECT_EQ(window->m_videoSizeIndex, -1);
    // With no row selected Convert starts nothing and says nothing; the
    // numbers a job derives fall back to the first size rather than reading
    // past the table.
    window->OnConvertClicked();
    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QString());
    const zem::ConversionJob job = window->MakeJob("in.mp4", "out.avi");
    EXPECT_EQ(job.videoWidth, 320);
    EXPECT_EQ(job.jpegQuality, 80);
}

TEST(Settings, EveryDeclaredChoiceHasItsButtonLabelAndStoredNumber) {
    // Each option with choices: its radio buttons in the declaration's order,
    // each showing the declared label, storing the declared number, and kept
    // in the settings file when the option is.
    struct Case {
        const zem::ChoiceOption& option;
        std::span<const int> buttons;
        int32_t zem::ConversionSettings::*member;
    };
    std::vector<int> sizeButtons;
    for (const zem::app::VideoSizeButton& button : zem::app::kVideoSizeButtons)
        sizeButtons.push_back(button.id);
    const Case cases[] = {
        {zem::kSizeOption, sizeButtons, &zem::ConversionSettings::m_videoSizeIndex},
        {zem::kQualityOption, zem::app::kQualityButtons, &zem::ConversionSettings::m_qualityIndex},
        {zem::kRotationOption, zem::app::kRotationButtons, &zem::ConversionSettings::m_rotate},
        {zem::kSubtitleSizeOption, zem::app::kSubtitleSizeList, &zem::ConversionSettings::m_subtitleSize},
    };
    WindowFixture fixture;
    for (const Case& c : cases) {
        ASSERT_EQ(c.buttons.size(), c.option.choices.size()) << c.option.cliLong;
        for (size_t i = 0; i < c.buttons.size(); ++i) {
            const zem::OptionChoice& choice = c.option.choices[i];
            SCOPED_TRACE(std::string(c.option.cliLong) + " " + std::to_string(choice.stored));
            {
                auto window = fixture.MakeWindow();
                auto* button = window->ControlAs<QAbstractButton>(c.buttons[i]);
                EXPECT_EQ(button->text(), QString::fromUtf8(choice.labelKey));
                button->click();
                window->UpdateData(true);
                EXPECT_EQ((*window).*c.member, choice.stored);
                window->close();
            }
            if (c.option.settingsKey == nullptr)
                continue;
            QSettings stored(fixture.SettingsFile(), QSettings::IniFormat);
            EXPECT_EQ(stored.value(QStringLiteral("ZemConverter/") + QLatin1String(c.option.settingsKey)).toInt(),
                      choice.stored);
            auto again = fixture.MakeWindow();
            EXPECT_TRUE(Checked(*again, c.buttons[i]));
        }
    }
}

TEST(CodecEnvironment, MissingElementsNameTheirPackages) {
    const auto missing = CCompressorDlg::MissingCodecPackages(
        [](const char* name) { return !QByteArray(name).startsWith("avdec_") && QByteArray(name) != "rmdemux"; });
    EXPECT_EQ(missing, (QStringList{"gstreamer1.0-libav", "gstreamer1.0-plugins-ugly"}));
    EXPECT_TRUE(CCompressorDlg::MissingCodecPackages([](const char*) { return true; }).isEmpty());
    // Against the real GStreamer registry.
    EXPECT_TRUE(CCompressorDlg::HasMediaElement("qtdemux"));
    EXPECT_FALSE(CCompressorDlg::HasMediaElement("no_such_element_zem"));
}

TEST(CodecEnvironment, StartWritesSubtitleSettingsIntoExistingKeys) {
    WindowFixture fixture;
    const RegistryStore registry(fixture.RegistryFolder());
    const QString classKey = QStringLiteral("CLSID\\{93A22E7A-5091-45EF-BA61-6DA26156A5D0}\\InprocServer32\\");
    ASSERT_TRUE(registry.CreateKey(RegistryRoot::CurrentUser, kGeneral));
    ASSERT_TRUE(registry.CreateKey(RegistryRoot::CurrentUser, kText));
    ASSERT_TRUE(registry.CreateKey(RegistryRoot::ClassesRoot, classKey));
    ASSERT_TRUE(registry.WriteNumber(RegistryRoot::CurrentUser, kGeneral, "LoadLevel", 2));
    QByteArray font(92, '\x5a');
    qToLittleEndian<int32_t>(-20, font.data());
    ASSERT_TRUE(registry.WriteBinary(RegistryRoot::CurrentUser, kText, "LOGFONT", font));

    auto window = fixture.MakeWindow();
    // This machine has every decoder: no message box.
    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->m_subtitle, 1);
    EXPECT_EQ(registry.ReadNumber(RegistryRoot::CurrentUser, kGeneral, "LoadLevel"), 0u);
    const auto after = registry.ReadBinary(RegistryRoot::CurrentUser, kText, "LOGFONT");
    ASSERT_TRUE(after.has_value());
    ASSERT_EQ(after->size(), 92);
    EXPECT_EQ(qFromLittleEndian<int32_t>(after->constData()), -36);
    EXPECT_EQ(after->mid(4), font.mid(4)); // the rest of the description untouched
    EXPECT_EQ(registry.ReadString(RegistryRoot::ClassesRoot, classKey, QString()), window->SubtitleFilterPath());
    // Class keys that do not exist are not created.
    EXPECT_FALSE(registry.KeyExists(RegistryRoot::ClassesRoot,
                                    QStringLiteral("CLSID\\{0180E49C-13BF-46DB-9AFD-9F52292E1C22}\\InprocServer32\\")));

    // The hidden subtitle handlers: off writes 2 and disables the sizes.
    window->ControlAs<QAbstractButton>(IDC_SUBTITLE)->click();
    EXPECT_EQ(window->m_subtitle, 0);
    EXPECT_EQ(registry.ReadNumber(RegistryRoot::CurrentUser, kGeneral, "LoadLevel"), 2u);
    EXPECT_FALSE(window->Control(IDC_SUBTITLE_BIG)->isEnabled());
    window->ControlAs<QAbstractButton>(IDC_SUBTITLE)->click();
    EXPECT_EQ(registry.ReadNumber(RegistryRoot::CurrentUser, kGeneral, "LoadLevel"), 0u);
    EXPECT_TRUE(window->Control(IDC_SUBTITLE_BIG)->isEnabled());
    window->ControlAs<QAbstractButton>(IDC_SUBTITLE_BIG)->click(); // Big
    EXPECT_EQ(qFromLittleEndian<int32_t>(registry.ReadBinary(RegistryRoot::CurrentUser, kText, "LOGFONT")->constData()),
              -48);
    EXPECT_EQ(window->m_subtitleSize, 0);
}

TEST(CodecEnvironment, FontHeightIsNotWrittenWithoutAWholeDescription) {
    WindowFixture fixture;
    const RegistryStore registry(fixture.RegistryFolder());
    auto window = fixture.MakeWindow();
    // No key at all: nothing appears.
    window->SetSubtitleFontHeight(-32);
    EXPECT_FALSE(registry.KeyExists(RegistryRoot::CurrentUser, kText));
    EXPECT_FALSE(registry.KeyExists(RegistryRoot::CurrentUser, kGeneral));
    // A short value is left exactly as it was.
    ASSERT_TRUE(registry.CreateKey(RegistryRoot::CurrentUser, kText));
    const QByteArray shortFont(50, '\x11');
    ASSERT_TRUE(registry.WriteBinary(RegistryRoot::CurrentUser, kText, "LOGFONT", shortFont));
    window->SetSubtitleFontHeight(-32);
    EXPECT_EQ(registry.ReadBinary(RegistryRoot::CurrentUser, kText, "LOGFONT"), shortFont);
}
