// The window converts a film without sound: the row completes, and the
// output carries silence as long as its pictures. A file of sound alone is
// told in its row, never in a box.

#include "AppTestSupport.h"
#include "AviParse.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;

using apptest::WindowFixture;
namespace fs = std::filesystem;

TEST(Conversion, AFilmWithoutSoundCompletesWithSilence) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "video-only", 2.0));
    auto& window = w.window;
    window->SelectRow(0);
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    // Returns once the job is finished.
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();

    EXPECT_TRUE(w.fixture.m_messages.empty());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    const zem::test::AviFile avi = zem::test::ParseAvi(window->CellText(0, 1).toStdString());
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_NEAR(double(avi.videoCount()), 32, 1.0);
    EXPECT_NEAR(avi.audioCount() * 0.024, avi.videoCount() / 16.0, 0.024 + 1.0 / 16);
    // Every sound chunk is the silent frame: no coded samples after its header.
    for (const auto& chunk : avi.chunks) {
        if (chunk.code != "01wb")
            continue;
        ASSERT_EQ(chunk.payload.size(), 384u);
        EXPECT_EQ(chunk.payload[0], 0xFF);
        EXPECT_EQ(chunk.payload[1], 0xFB);
        EXPECT_TRUE(std::all_of(chunk.payload.begin() + 4, chunk.payload.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST(Conversion, SoundAloneIsToldInItsRowAndNeverInABox) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "audio-only-mp4", 2.0));
    auto& window = w.window;
    window->SelectRow(0);
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Sound only"));
    EXPECT_EQ(window->CellToolTip(0, kColStatus),
              QStringLiteral("The preview cannot show pictures: the film plays with its sound only"));
    // Converting it fails in its row, with the reason there too.
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    EXPECT_TRUE(window->CellText(0, kColStatus).startsWith(QStringLiteral("ERROR(")))
        << window->CellText(0, kColStatus).toStdString();
    EXPECT_TRUE(window->CellToolTip(0, kColStatus).contains(QStringLiteral("no picture")))
        << window->CellToolTip(0, kColStatus).toStdString();
    EXPECT_TRUE(w.fixture.m_messages.empty());
}
