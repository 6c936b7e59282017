// Pictures the output does not show stay undecoded, and the output keeps every
// byte: each clip kind is converted with skipping and with every picture
// decoded (ZEM_DECODE_ALL=1), and the two outputs are compared; and once more
// with every picture decoded on one decoder thread and converted through BGR
// rows, against the threaded decoder and the one-pass picture path. The run's
// graph log counts the pictures seen, left undecoded and left out wrongly.
// And an MPEG-2 program stream, whose muxer leaves many pictures without a
// time, shows each source picture at its own time.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <regex>
#include <vector>

#include "TestClips.h"

namespace fs = std::filesystem;
using zem::testclips::TempDir;

namespace {

struct ClipKind {
    const char* name;
    const char* rate;      // frames per second as ffmpeg takes it
    const char* encoder;   // ffmpeg's video options
    const char* extension; // the container
    bool skips;            // pictures no other picture refers to, at a rate the output thins
    const char* size = "320x240";
    const char* seconds = "4";
};

// Moving pictures, so a different picture shown changes the output's bytes.
const ClipKind kKinds[] = {
    {"H264_BPyramid_25", "25", "-c:v libx264 -preset veryfast -x264-params b-pyramid=2", "mp4", true},
    {"H264_BPyramid_29_97", "30000/1001", "-c:v libx264 -preset veryfast -x264-params b-pyramid=2", "mp4", true},
    {"H264_BPyramid_50", "50", "-c:v libx264 -preset veryfast -x264-params b-pyramid=2", "mkv", true},
    {"H264_BPyramid_60", "60", "-c:v libx264 -preset veryfast -x264-params b-pyramid=2", "mp4", true},
    {"H264_NoPyramid_30", "30", "-c:v libx264 -preset veryfast -x264-params b-pyramid=0", "mp4", true},
    {"H264_NoBFrames_60", "60", "-c:v libx264 -preset veryfast -bf 0", "mp4", false},
    {"H264_StartCodes_60", "60", "-c:v libx264 -preset veryfast", "ts", true},
    {"Hevc_BFrames_30", "30", "-c:v libx265 -preset ultrafast -x265-params log-level=none", "mp4", true},
    {"Hevc_BPyramid_60", "60", "-c:v libx265 -preset fast -x265-params log-level=none:b-pyramid=1", "mkv", true},
    // A phone's HDR film: 10-bit samples in BT.2020 with HLG, through the colour work.
    {"Hevc10_Hlg_30", "30",
     "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le "
     "-x265-params log-level=none:colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc",
     "mp4", true},
    // The same at 4K, whose pictures decode on slice threads (HEVC wavefronts).
    {"Hevc10_Hlg_2160_30", "30",
     "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le "
     "-x265-params log-level=none:colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc",
     "mp4", true, "3840x2160", "1"},
    {"Mpeg2_BFrames_25", "25", "-c:v mpeg2video -q:v 4 -bf 2 -g 12", "mpg", true},
    {"Mpeg2_Dvd_29_97", "30000/1001", "-c:v mpeg2video -b:v 3M -bf 2 -g 15 -f vob", "vob", true},
};

void PrintTo(const ClipKind& kind, std::ostream* os) {
    *os << kind.name;
}

struct PictureCounts {
    long seen = -1;
    long skipped = -1;
    long wrong = -1;
};

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The counters of the one graph log under `home`.
PictureCounts ReadCounts(const fs::path& home) {
    PictureCounts counts;
    const std::regex line(R"(Pictures: (\d+) seen, (\d+) left undecoded, (\d+) of them wrongly)");
    for (const auto& entry : fs::directory_iterator(home / "ZemConverter" / "Log")) {
        const std::string text = ReadBytes(entry.path());
        std::smatch m;
        if (std::regex_search(text, m, line)) {
            counts.seen = std::stol(m[1]);
            counts.skipped = std::stol(m[2]);
            counts.wrong = std::stol(m[3]);
        }
    }
    return counts;
}

class PictureSkipTest : public ::testing::TestWithParam<ClipKind> {
protected:
    // Converts `clip` with its own home folder (for its graph log) and `environment`
    // ("NAME=value ..."); returns the output's bytes.
    std::string Convert(const fs::path& clip, const std::string& label, const std::string& environment,
                        PictureCounts& counts) {
        const fs::path home = m_dir.path() / ("home-" + label);
        fs::create_directories(home / "ZemConverter" / "Log");
        const fs::path out = m_dir.path() / (label + ".avi");
        const std::string command = "HOME='" + home.string() + "' " + environment + " " + ZEMCONVERT_PATH +
                                    " -s 176x128 -o '" + out.string() + "' '" + clip.string() + "' > /dev/null 2>&1";
        EXPECT_TRUE(Shell(command)) << command;
        counts = ReadCounts(home);
        return ReadBytes(out);
    }

    TempDir m_dir;
};

TEST_P(PictureSkipTest, OutputIsTheSameWithAndWithoutSkipping) {
    const ClipKind& kind = GetParam();
    const fs::path clip = m_dir.path() / (std::string("clip.") + kind.extension);
    const std::string make = std::string("ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=") + kind.size +
                             ":rate=" + kind.rate + ":duration=" + kind.seconds +
                             " -f lavfi -i sine=f=440:duration=" + kind.seconds + " " + kind.encoder + " -c:a mp2 '" +
                             clip.string() + "'";
    ASSERT_TRUE(Shell(make)) << make;

    PictureCounts skipping;
    PictureCounts decodingAll;
    PictureCounts oneThreadByRows;
    const std::string withSkipping = Convert(clip, "skip", "", skipping);
    const std::string withAll = Convert(clip, "all", "ZEM_DECODE_ALL=1", decodingAll);
    const std::string withOneThread =
        Convert(clip, "rows", "ZEM_DECODE_ALL=1 ZEM_DECODE_THREADS=1 ZEM_PICTURE_ROWS=1", oneThreadByRows);
    ASSERT_GT(withAll.size(), 1024u);
    EXPECT_TRUE(withSkipping == withAll) << "outputs differ: " << withSkipping.size() << " and " << withAll.size()
                                         << " bytes";
    EXPECT_TRUE(withOneThread == withAll)
        << "one decoder thread and BGR rows differ: " << withOneThread.size() << " and " << withAll.size() << " bytes";
    EXPECT_EQ(oneThreadByRows.skipped, 0);

    EXPECT_EQ(skipping.wrong, 0);
    EXPECT_EQ(decodingAll.skipped, 0);
    EXPECT_EQ(skipping.seen, decodingAll.seen); // every picture reaches the pacing, decoded or not
    if (kind.skips)
        EXPECT_GT(skipping.skipped, 0) << "no picture was left undecoded";
    else
        EXPECT_EQ(skipping.skipped, 0);
}

// The frames of an AVI as RGB pictures of width x height, decoded by ffmpeg.
std::vector<std::vector<std::uint8_t>> DecodeAll(const fs::path& avi, int width, int height) {
    const std::string command = "ffmpeg -nostdin -v error -i '" + avi.string() + "' -f rawvideo -pix_fmt rgb24 -";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::vector<std::vector<std::uint8_t>> frames;
    const std::size_t size = static_cast<std::size_t>(width) * height * 3;
    while (pipe) {
        std::vector<std::uint8_t> frame(size);
        if (std::fread(frame.data(), 1, size, pipe.get()) != size)
            break;
        frames.push_back(std::move(frame));
    }
    return frames;
}

TEST(MpegPictureTimes, EachFrameShowsTheSourcePictureOfItsTime) {
    // Counting pictures code small, so the muxer puts
    // several in one packet and only the first gets a time; B pictures in
    // groups of 12, as on a DVD.
    const TempDir dir;
    const fs::path clip = dir.path() / "count.mpg";
    const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i \"" +
                             zem::testclips::CounterSource(160, 128, 25) +
                             "\" -t 20 -c:v mpeg2video -q:v 4 -bf 2 -g 12 -f mpeg '" + clip.string() + "'";
    ASSERT_TRUE(Shell(make)) << make;
    const fs::path out = dir.path() / "count.avi";
    const std::string convert =
        std::string(ZEMCONVERT_PATH) + " -s 160x128 -o '" + out.string() + "' '" + clip.string() + "' > /dev/null 2>&1";
    ASSERT_TRUE(Shell(convert)) << convert;
    const auto frames = DecodeAll(out, 160, 128);
    ASSERT_GE(frames.size(), 300u);
    int wrong = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        // Frame k (at k / 16 s) shows the first picture at or after its time:
        // picture n is at n / 25 s. Where the two meet exactly, the sums of
        // frame times may land on either side.
        const double exact = static_cast<double>(k) * 25.0 / 16.0;
        const int first = static_cast<int>(std::ceil(exact));
        const bool tie = k % 16 == 0;
        const int shown = zem::testclips::PictureNumber(frames[k].data(), 160, 128, 160 * 3);
        const auto matches = [&](int n) { return shown == n % zem::testclips::kCounterCycle; };
        if (!(matches(first) || (tie && matches(first + 1)))) {
            ADD_FAILURE() << "frame " << k << " shows picture " << shown << " (mod 50), not " << first % 50;
            if (++wrong == 5)
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ClipKinds, PictureSkipTest, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<ClipKind>& info) { return std::string(info.param.name); });

} // namespace
