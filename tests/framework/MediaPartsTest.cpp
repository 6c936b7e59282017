// Parts of the media layer checked on their own, without a pipeline: the WAV
// head, the .asx play list and the cutting of sound at a range's start.
#include "AsxPlaylist.h"
#include "SoundTrim.h"
#include "TestClips.h"
#include "WavHead.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using zem::testclips::TempDir;
namespace media = zem::media;

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& v, std::size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<std::uint32_t>(v[at + 3]) << 24);
}
std::uint16_t Le16(const std::vector<std::uint8_t>& v, std::size_t at) {
    return static_cast<std::uint16_t>(v[at] | (v[at + 1] << 8));
}
std::string Tag(const std::vector<std::uint8_t>& v, std::size_t at) {
    return std::string(v.begin() + at, v.begin() + at + 4);
}

// ---------------------------------------------------------------- WAV head

TEST(WavHeadTest, IsRiffWaveWithAnMpegLayer3BlockAndTheDataSize) {
    const auto head = media::BuildWavHead(3840);
    ASSERT_EQ(head.size(), 68u);
    ASSERT_EQ(static_cast<int>(head.size()), media::kWavHeadSize);
    EXPECT_EQ(Tag(head, 0), "RIFF");
    EXPECT_EQ(Le32(head, 4), 3840u + 68 - 8) << "RIFF size: the file after its first 8 bytes";
    EXPECT_EQ(Tag(head, 8), "WAVE");
    EXPECT_EQ(Tag(head, 12), "fmt ");
    EXPECT_EQ(Le32(head, 16), 40u) << "WAVEFORMATEX + MPEG-1 extension";
    EXPECT_EQ(Le16(head, 20), 0x0050) << "WAVE_FORMAT_MPEG";
    EXPECT_EQ(Le16(head, 22), 2) << "channels";
    EXPECT_EQ(Le32(head, 24), 48000u) << "sample rate";
    EXPECT_EQ(Le32(head, 28), 16000u) << "bytes a second at 128 kbit/s";
    EXPECT_EQ(Le16(head, 32), 384) << "block: one 384-byte frame";
    EXPECT_EQ(Le16(head, 34), 0) << "bits per sample";
    EXPECT_EQ(Le16(head, 36), 22) << "extension size";
    EXPECT_EQ(Le16(head, 38), 4) << "layer III";
    EXPECT_EQ(Le32(head, 40), 128000u) << "bit rate";
    EXPECT_EQ(Le16(head, 44), 2) << "joint stereo";
    EXPECT_EQ(Le16(head, 46), 0);
    EXPECT_EQ(Le16(head, 48), 1);
    EXPECT_EQ(Le16(head, 50), 0x10) << "MPEG-1";
    for (std::size_t i = 52; i < 60; ++i)
        EXPECT_EQ(head[i], 0) << "presentation time stamp byte " << i;
    EXPECT_EQ(Tag(head, 60), "data");
    EXPECT_EQ(Le32(head, 64), 3840u);
}

TEST(WavHeadTest, TheEmptyHeadWrittenFirstDiffersOnlyInTheTwoSizes) {
    const auto empty = media::BuildWavHead(0);
    const auto full = media::BuildWavHead(1000 * 384);
    EXPECT_EQ(Le32(empty, 4), 60u);
    EXPECT_EQ(Le32(empty, 64), 0u);
    EXPECT_EQ(Le32(full, 64), 384000u);
    for (std::size_t i = 0; i < empty.size(); ++i) {
        if ((i < 4 || i >= 8) && i < 64) {
            EXPECT_EQ(empty[i], full[i]) << "byte " << i;
        }
    }
}

// ---------------------------------------------------------------- .asx play list

void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

TEST(AsxPlaylistTest, LocalEntriesInOrderMadeAbsoluteAndStreamsLeftOut) {
    TempDir dir;
    const auto list = dir.path() / "list.asx";
    Write(list,
          "<ASX version=\"3.0\">\n"
          "  <Entry><Ref href=\"http://example.invalid/remote.wmv\"/></Entry>\n"
          "  <entry><REF HREF='first.mpg'/></entry>\n"
          "  <Entry><Ref   href = \"sub/second.wmv\" /></Entry>\n"
          "  <Entry><Ref href=\"mms://example.invalid/live\"/></Entry>\n"
          "  <Entry><Ref href=\"file:///tmp/third%20one.avi\"/></Entry>\n"
          "  <Entry><Ref href=\"/abs/fourth.mp4\"/></Entry>\n"
          "</ASX>\n");
    zem::UserText why(std::string("unchanged"));
    const auto entries = media::AsxLocalEntries(list.string(), &why);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], (dir.path() / "first.mpg").string());
    EXPECT_EQ(entries[1], (dir.path() / "sub/second.wmv").string());
    EXPECT_EQ(entries[2], "/tmp/third one.avi");
    EXPECT_EQ(entries[3], "/abs/fourth.mp4");
    EXPECT_EQ(why.English(), "unchanged") << "no reason given when the list reads";
}

TEST(AsxPlaylistTest, AListWithoutLocalEntriesOrThatCannotBeReadSaysWhy) {
    TempDir dir;
    const auto remote = dir.path() / "remote.asx";
    Write(remote, "<asx><entry><ref href=\"http://example.invalid/a.wmv\"/></entry></asx>");
    zem::UserText why;
    EXPECT_TRUE(media::AsxLocalEntries(remote.string(), &why).empty());
    EXPECT_EQ(why.English(), remote.string() + " names no local media file");

    const auto missing = dir.path() / "missing.asx";
    EXPECT_TRUE(media::AsxLocalEntries(missing.string(), &why).empty());
    EXPECT_EQ(why.English(), "Cannot open " + missing.string() + ": No such file or directory");

    EXPECT_TRUE(media::AsxLocalEntries(dir.path().string(), &why).empty());
    EXPECT_EQ(why.English(), dir.path().string() + " is not a regular file");

    const auto huge = dir.path() / "huge.asx";
    Write(huge, std::string((1 << 20) + 1, ' '));
    EXPECT_TRUE(media::AsxLocalEntries(huge.string(), &why).empty());
    EXPECT_EQ(why.English(), huge.string() + " is too large for a play list");
}

TEST(AsxPlaylistTest, TheFirstEntryThatIsAPlainFileIsPlayedAndOtherwiseTheFirstProblemTold) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.mpg");
    Write(dir.path() / "real.mpg", "x");
    const auto list = dir.path() / "list.ASX";
    Write(list,
          "<asx><entry><ref href=\"gone.mpg\"/></entry><entry><ref href=\"folder.mpg\"/></entry>"
          "<entry><ref href=\"real.mpg\"/></entry></asx>");
    EXPECT_TRUE(media::IsAsxPath(list.string()));
    EXPECT_FALSE(media::IsAsxPath((dir.path() / "real.mpg").string()));
    zem::UserText why;
    EXPECT_EQ(media::FirstPlaylistEntry(list.string(), &why), (dir.path() / "real.mpg").string());

    const auto broken = dir.path() / "broken.asx";
    Write(broken, "<asx><entry><ref href=\"gone.mpg\"/></entry><entry><ref href=\"folder.mpg\"/></entry></asx>");
    EXPECT_EQ(media::FirstPlaylistEntry(broken.string(), &why), "");
    EXPECT_EQ(why.English(), broken.string() + ": its entry " + (dir.path() / "gone.mpg").string() +
                                 " cannot be opened: No such file or directory");
    const auto folder = dir.path() / "folder.asx";
    Write(folder, "<asx><entry><ref href=\"folder.mpg\"/></entry></asx>");
    EXPECT_EQ(media::FirstPlaylistEntry(folder.string(), &why), "");
    EXPECT_EQ(why.English(), folder.string() + ": its entry " + (dir.path() / "folder.mpg").string() + " is a folder");
}

// ---------------------------------------------------------------- sound cut at a range's start

constexpr int kRate = 48000;
constexpr int kFrameBytes = 4; // 16-bit stereo

// A buffer of `frames` stereo frames whose frame i holds the value i in both channels.
GstBuffer* CountingSound(int frames, GstClockTime pts) {
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, static_cast<gsize>(frames) * kFrameBytes, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    auto* samples = reinterpret_cast<std::int16_t*>(map.data);
    for (int i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<std::int16_t>(i);
    gst_buffer_unmap(buffer, &map);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(frames, GST_SECOND, kRate);
    return buffer;
}

std::int16_t FirstSample(GstBuffer* buffer) {
    std::int16_t value = -1;
    gst_buffer_extract(buffer, 0, &value, sizeof value);
    return value;
}

class SoundTrimTest : public testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_F(SoundTrimTest, SoundIsCutAtTheSampleWhereTheRangeBegins) {
    // 1024 frames from stream time 2 s (pts 5 s); the range begins 2 ms (96 frames) in.
    const GstClockTime pts = 5 * GST_SECOND;
    const gint64 streamTime = 2 * GST_SECOND;
    const gint64 until = streamTime + 2 * GST_MSECOND;
    GstBuffer* buffer = CountingSound(1024, pts);
    GstBuffer* cut = media::TrimSoundBefore(buffer, pts, streamTime, until, kRate, kFrameBytes);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(gst_buffer_get_size(cut), static_cast<gsize>(928 * kFrameBytes));
    EXPECT_EQ(FirstSample(cut), 96) << "the first sample kept is the one at the range's start";
    EXPECT_EQ(GST_BUFFER_PTS(cut), pts + 2 * GST_MSECOND);
    EXPECT_EQ(GST_BUFFER_DURATION(cut), gst_util_uint64_scale(928, GST_SECOND, kRate));
    gst_buffer_unref(cut);
}

TEST_F(SoundTrimTest, NothingIsCutWhenTheRangeBeginsAtOrBeforeTheBufferOrAfterIt) {
    const GstClockTime pts = GST_SECOND;
    const gint64 streamTime = GST_SECOND;
    GstBuffer* buffer = CountingSound(480, pts); // 10 ms
    EXPECT_EQ(media::TrimSoundBefore(buffer, pts, streamTime, streamTime, kRate, kFrameBytes), nullptr);
    EXPECT_EQ(media::TrimSoundBefore(buffer, pts, streamTime, streamTime - GST_MSECOND, kRate, kFrameBytes), nullptr);
    EXPECT_EQ(media::TrimSoundBefore(buffer, pts, streamTime, streamTime + 10 * GST_MSECOND, kRate, kFrameBytes),
              nullptr)
        << "a range that begins after the last sample leaves nothing to cut";
    EXPECT_EQ(media::TrimSoundBefore(buffer, pts, streamTime, streamTime + GST_MSECOND, 0, kFrameBytes), nullptr)
        << "without a known rate nothing is cut";
    EXPECT_EQ(gst_buffer_get_size(buffer), static_cast<gsize>(480 * kFrameBytes)) << "the buffer is left alone";
    EXPECT_EQ(FirstSample(buffer), 0);
    gst_buffer_unref(buffer);
}

TEST_F(SoundTrimTest, ARangeBeginningWithinTheFirstSampleCutsNothing) {
    // Less than one sample into the buffer: the cut rounds down to no frame at all.
    const GstClockTime pts = 0;
    GstBuffer* buffer = CountingSound(480, pts);
    EXPECT_EQ(media::TrimSoundBefore(buffer, pts, 0, 10 * GST_USECOND, kRate, kFrameBytes), nullptr);
    gst_buffer_unref(buffer);
}

} // namespace
