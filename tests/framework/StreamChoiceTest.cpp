// Which streams of a file the source takes, on files shaped like those from
// phones and the web: a rotation in the track header, sound in a form no
// decoder knows, and a sound track whose sample description is missing.
#include "FilePatch.h"
#include "MediaTestRig.h"
#include "StreamChoice.h"
#include "TestClips.h"
#include "TestDirs.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>

using zem::test::DropSoundDescription;
using zem::test::ReplaceFirstCode;
using zem::test::RunCommand;
using zem::testclips::TempDir;
namespace media = zem::media;

namespace {

// A 320x240 H.264 film with AAC sound, one second long.
std::string MakeFilm(const TempDir& dir, const std::string& name) {
    const std::string path = (dir.path() / name).string();
    return RunCommand(
               "ffmpeg -v error -y -f lavfi -i testsrc=s=320x240:r=25:d=1 -f lavfi -i sine=d=1:sample_rate=48000 "
               "-c:v libx264 -pix_fmt yuv420p -c:a aac '" +
               path + "'")
               ? path
               : std::string();
}

struct Discovered {
    GstDiscovererInfo* info = nullptr;
    explicit Discovered(const std::string& path) {
        gst_init(nullptr, nullptr);
        GstDiscoverer* discoverer = gst_discoverer_new(20 * GST_SECOND, nullptr);
        gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
        info = gst_discoverer_discover_uri(discoverer, uri, nullptr);
        g_free(uri);
        g_object_unref(discoverer);
    }
    ~Discovered() {
        if (info)
            g_object_unref(info);
    }
};

} // namespace

TEST(StreamChoiceTest, ARotatedTrackIsShownTurnedWithItsSizeSwapped) {
    TempDir dir;
    const std::string film = MakeFilm(dir, "film.mp4");
    ASSERT_FALSE(film.empty());
    const media::StreamChoice plain = media::ChooseStreams(Discovered(film).info);
    ASSERT_EQ(plain.videos.size(), 1u);
    EXPECT_EQ(plain.orientation, "");
    EXPECT_EQ(plain.videos[0].width, 320);
    EXPECT_EQ(plain.videos[0].height, 240);
    for (const int degrees : {90, 180, 270}) {
        SCOPED_TRACE(degrees);
        const std::string phone = (dir.path() / ("phone" + std::to_string(degrees) + ".mp4")).string();
        ASSERT_TRUE(RunCommand("ffmpeg -v error -y -i '" + film +
                               "' -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees) + " '" + phone + "'"));
        const media::StreamChoice turned = media::ChooseStreams(Discovered(phone).info);
        ASSERT_EQ(turned.videos.size(), 1u);
        ASSERT_EQ(turned.audios.size(), 1u);
        EXPECT_FALSE(turned.orientation.empty());
        const bool quarter = degrees != 180;
        EXPECT_EQ(media::OrientationTurnsQuarter(turned.orientation), quarter) << turned.orientation;
        EXPECT_EQ(turned.videos[0].width, quarter ? 240 : 320);
        EXPECT_EQ(turned.videos[0].height, quarter ? 320 : 240);
    }
    for (const char* mirrored : {"flip-rotate-90", "flip-rotate-270"})
        EXPECT_TRUE(media::OrientationTurnsQuarter(mirrored));
    for (const char* kept : {"flip-rotate-0", "flip-rotate-180", "rotate-180", ""})
        EXPECT_FALSE(media::OrientationTurnsQuarter(kept));
}

TEST(StreamChoiceTest, SoundNoDecoderTakesIsLeftOutAndNamed) {
    TempDir dir;
    const std::string film = MakeFilm(dir, "film.mp4");
    ASSERT_FALSE(film.empty());
    const std::string ipcm = (dir.path() / "ipcm.mp4").string();
    ASSERT_TRUE(ReplaceFirstCode(film, ipcm, "mp4a", "ipcm"));
    const media::StreamChoice choice = media::ChooseStreams(Discovered(ipcm).info);
    EXPECT_EQ(choice.videos.size(), 1u);
    EXPECT_TRUE(choice.audios.empty());
    ASSERT_EQ(choice.undecodedAudio.size(), 1u);
    EXPECT_NE(choice.undecodedAudio[0].find("ipcm"), std::string::npos) << choice.undecodedAudio[0];
}

TEST(StreamChoiceTest, AFileWhoseDemuxerReportsDamageShowsWhatItPlays) {
    TempDir dir;
    const std::string film = MakeFilm(dir, "film.mp4");
    ASSERT_FALSE(film.empty());
    const std::string damaged = (dir.path() / "damaged.mp4").string();
    ASSERT_TRUE(DropSoundDescription(film, damaged));
    gst_init(nullptr, nullptr);
    gchar* uri = gst_filename_to_uri(damaged.c_str(), nullptr);
    const media::PlayedStreams played = media::ProbeByPlaying(uri);
    g_free(uri);
    ASSERT_EQ(played.choice.videos.size(), 1u);
    EXPECT_EQ(played.choice.videos[0].width, 320);
    EXPECT_EQ(played.choice.videos[0].height, 240);
    EXPECT_NE(played.damage.find("corrupt"), std::string::npos) << played.damage;
    // A file that is no film at all plays nothing.
    ASSERT_TRUE(RunCommand("head -c 4096 /dev/zero | tr '\\0' x > '" + damaged + "'"));
    uri = gst_filename_to_uri(damaged.c_str(), nullptr);
    EXPECT_TRUE(media::ProbeByPlaying(uri).choice.videos.empty());
    g_free(uri);
}

TEST(StreamChoiceTest, ThePreviewShowsARotatedFilmUpright) {
    TempDir dir;
    // Left half red, right half blue: turned a quarter, red is on top or below.
    const std::string stored = (dir.path() / "stored.mp4").string();
    ASSERT_TRUE(
        RunCommand("ffmpeg -v error -y -f lavfi -i color=c=blue:s=320x240:r=25:d=1 -vf "
                   "'drawbox=0:0:160:240:red:t=fill' -c:v libx264 -pix_fmt yuv420p '" +
                   stored + "'"));
    const std::string phone = (dir.path() / "phone.mp4").string();
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -i '" + stored + "' -c copy -metadata:s:v:0 rotate=90 '" + phone + "'"));
    // As a player shows it (ffmpeg turns by the track's rotation): which
    // colour is on top.
    const std::string raw = (dir.path() / "shown.rgb").string();
    ASSERT_TRUE(
        RunCommand("ffmpeg -v error -i '" + phone + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -y '" + raw + "'"));
    const std::vector<uint8_t> shown = zem::test::ReadWholeFile(raw);
    ASSERT_EQ(shown.size(), 240u * 320 * 3);
    const bool redOnTop = shown[(10 * 240 + 120) * 3] > 128;

    zem::mediatest::Graph g;
    ASSERT_EQ(g.gb->RenderFile(phone, {}), S_OK);
    long w = 0, h = 0;
    ASSERT_EQ(g.bv->GetVideoSize(&w, &h), S_OK);
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 320);
    QWidget owner;
    owner.resize(240, 320);
    ASSERT_EQ(g.vw->put_Owner(&owner), S_OK);
    ASSERT_EQ(g.vw->SetWindowPosition(0, 0, 240, 320), S_OK);
    ASSERT_EQ(g.vw->put_Visible(true), S_OK);
    owner.show();
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    const QImage picture = g.vw->VideoWidget()->grab().toImage();
    ASSERT_FALSE(picture.isNull());
    const QRgb top = picture.pixel(picture.width() / 2, picture.height() / 8);
    const QRgb bottom = picture.pixel(picture.width() / 2, picture.height() * 7 / 8);
    EXPECT_EQ(qRed(top) > 128, redOnTop);
    EXPECT_EQ(qRed(bottom) > 128, !redOnTop);
    EXPECT_EQ(qBlue(top) > 128, !redOnTop);
}
