// The window's subtitle settings reach the renderer through the registry
// store: "LoadLevel" 2 converts without the subtitles lying beside the film.

#include "AppTestSupport.h"
#include "AviParse.h"
#include "RegistryStore.h"
#include "Subtitles.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;

using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

const QString kGeneralKey = QStringLiteral("Software\\Vexlin\\DVobSub\\General\\");

std::vector<std::vector<uint8_t>> Frames(const std::string& avi) {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& chunk : zem::test::ParseAvi(avi).chunks)
        if (chunk.code == "00dc")
            frames.push_back(chunk.payload);
    return frames;
}

} // namespace

TEST(SubtitleSettings, LoadLevelTwoConvertsWithoutTheSubtitles) {
    zem::testclips::TempDir clips;
    const fs::path film = clips.path() / "film.mp4";
    // A still picture: without text every frame is the same picture.
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=gray:s=320x240:r=25:d=4 -f lavfi -i sine=d=4 "
                           "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest '" +
                           film.string() + "'")
                              .c_str()),
              0);
    std::ofstream(clips.path() / "film.srt") << "1\n00:00:02,000 --> 00:00:03,500\nSubtitle text\n";

    WindowFixture fixture;
    ASSERT_TRUE(
        zem::os::RegistryStore(fixture.RegistryFolder()).CreateKey(zem::os::RegistryRoot::CurrentUser, kGeneralKey));
    auto window = fixture.MakeWindow();
    window->show();
    // Every start turns subtitles on.
    EXPECT_TRUE(zem::media::CurrentSubtitleOptions().enabled);
    window->AddFile(QString::fromStdString(film.string()));
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();

    const auto convert = [&] {
        window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
        EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
        const auto frames = Frames(window->CellText(0, kColOutput).toStdString());
        EXPECT_GT(frames.size(), 40u);
        return frames.size() > 40 ? frames[40] != frames[8] : false; // 2.5 s against 0.5 s
    };
    EXPECT_TRUE(convert()) << "no subtitle drawn with LoadLevel 0";

    auto* box = window->ControlAs<QAbstractButton>(IDC_SUBTITLE);
    ASSERT_TRUE(box->isChecked());
    box->click();
    const auto level = zem::os::RegistryStore(fixture.RegistryFolder())
                           .ReadNumber(zem::os::RegistryRoot::CurrentUser, kGeneralKey, QStringLiteral("LoadLevel"));
    ASSERT_TRUE(level.has_value());
    EXPECT_EQ(*level, 2u);
    EXPECT_FALSE(zem::media::CurrentSubtitleOptions().enabled);
    EXPECT_FALSE(convert()) << "a subtitle drawn with LoadLevel 2";
}
