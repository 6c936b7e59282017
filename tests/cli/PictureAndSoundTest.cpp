// zemconvert on clips made to be measured: a white flash with a 1 kHz beep
// at the same instant (are they still together?), 5.1 sound with a tone in
// the centre or at full scale on every channel (is the dialogue level kept,
// and nothing clipped?), stereo sound (unchanged bytes) and a film without
// sound (converted with silence).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "AviParse.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr double kFrame = 1.0 / 16;
constexpr int kSampleRate = 48000;
constexpr int kFlashEvery = 2; // seconds between flashes (and beeps), the first at 1 s
constexpr double kBeepSeconds = 0.1;
constexpr int kProbeSide = 8; // pictures are read back as 8 x 8 grey
constexpr int kBrightGrey = 128;
constexpr int kBeepThreshold = 2000; // of 32768: the beep is at half scale
constexpr double kCentreSourceDb = -3.7;

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; its standard output, or nothing when it failed.
bool Capture(const std::string& command, std::vector<uint8_t>& out) {
    out.clear();
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    if (!pipe)
        return false;
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.insert(out.end(), buffer, buffer + n);
    return pclose(pipe.release()) == 0;
}

int Zemconvert(const std::vector<std::string>& args, std::string& output) {
    std::string command = Quote(ZEMCONVERT_PATH);
    for (const auto& a : args)
        command += " " + Quote(a);
    std::vector<uint8_t> out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), &pclose);
    if (!pipe)
        return -1;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe.release());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -v error -y " + arguments).c_str()) == 0;
}

// Black pictures with one white picture every two seconds from 1 s on, and a
// 1 kHz beep of 0.1 s starting with each white picture; H.264 and FLAC.
std::string MakeFlashBeepClip(const std::string& dir, int fps, double seconds) {
    const std::string path = dir + "/flash_" + std::to_string(fps) + ".mkv";
    const std::string f = std::to_string(fps);
    const std::string video = "color=c=black:s=160x128:r=" + f + ",format=yuv420p,geq=lum='if(eq(mod(N\\," +
                              std::to_string(kFlashEvery) + "*" + f + ")\\," + f + ")\\,235\\,16)':cb=128:cr=128";
    const std::string audio = "aevalsrc='if(gte(mod(t\\,2)\\,1)*lt(mod(t\\,2)\\,1+" + std::to_string(kBeepSeconds) +
                              ")\\,0.5*sin(2*PI*1000*t)\\,0)':s=" + std::to_string(kSampleRate);
    const bool made =
        Ffmpeg("-f lavfi -i " + Quote(video) + " -f lavfi -i " + Quote(audio) + " -t " + std::to_string(seconds) +
               " -ac 2 -c:v libx264 -preset ultrafast -g " + f + " -c:a flac " + Quote(path));
    return made ? path : std::string();
}

// The output's pictures, each as the mean grey of an 8 x 8 reduction.
std::vector<int> PictureGreys(const std::string& avi) {
    std::vector<uint8_t> raw;
    std::vector<int> greys;
    const int side = kProbeSide;
    if (!Capture("ffmpeg -nostdin -v error -i " + Quote(avi) + " -an -fps_mode passthrough -vf scale=" +
                     std::to_string(side) + ":" + std::to_string(side) + " -pix_fmt gray -f rawvideo -",
                 raw))
        return greys;
    for (size_t at = 0; at + side * side <= raw.size(); at += side * side) {
        int sum = 0;
        for (int i = 0; i < side * side; ++i)
            sum += raw[at + size_t(i)];
        greys.push_back(sum / (side * side));
    }
    return greys;
}

// The output's sound decoded to 48 kHz 16-bit, `channels` interleaved.
std::vector<int16_t> Samples(const std::string& file, int channels) {
    std::vector<uint8_t> raw;
    std::vector<int16_t> samples;
    if (!Capture("ffmpeg -nostdin -v error -i " + Quote(file) + " -vn -ac " + std::to_string(channels) + " -ar " +
                     std::to_string(kSampleRate) + " -f s16le -",
                 raw))
        return samples;
    samples.resize(raw.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(raw[2 * i] | raw[2 * i + 1] << 8);
    return samples;
}

// Seconds at which each run of white pictures starts.
std::vector<double> FlashTimes(const std::vector<int>& greys) {
    std::vector<double> times;
    for (size_t i = 0; i < greys.size(); ++i)
        if (greys[i] > kBrightGrey && (i == 0 || greys[i - 1] <= kBrightGrey))
            times.push_back(double(i) * kFrame);
    return times;
}

// Seconds at which each beep starts (mono samples): loud after a quiet spell.
std::vector<double> BeepTimes(const std::vector<int16_t>& mono) {
    std::vector<double> times;
    size_t quiet = kSampleRate;
    for (size_t i = 0; i < mono.size(); ++i) {
        if (std::abs(int(mono[i])) > kBeepThreshold) {
            if (quiet >= size_t(kSampleRate / 2))
                times.push_back(double(i) / kSampleRate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return times;
}

double PeakDb(const std::vector<int16_t>& samples, size_t from, size_t to, int channels, int channel) {
    int peak = 0;
    for (size_t i = from * size_t(channels); i + size_t(channels) <= to * size_t(channels) && i < samples.size();
         i += size_t(channels))
        peak = std::max(peak, std::abs(int(samples[i + size_t(channel)])));
    return 20 * std::log10(std::max(peak, 1) / 32768.0);
}

// Longest run of samples of one channel at the 16-bit limit.
int LongestClippedRun(const std::vector<int16_t>& samples, int channels) {
    int longest = 0;
    for (int c = 0; c < channels; ++c) {
        int run = 0;
        for (size_t i = size_t(c); i < samples.size(); i += size_t(channels)) {
            run = (samples[i] >= 32767 || samples[i] <= -32767) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}

class PictureAndSound : public ::testing::Test {
protected:
    TempDir dir;

    // Converts `input` into `name` in the folder; the file, checked whole.
    std::string Convert(const std::string& input, const std::string& name, std::vector<std::string> extra = {}) {
        const std::string output = dir.file(name);
        extra.insert(extra.end(), {"-o", output, input});
        std::string log;
        EXPECT_EQ(Zemconvert(extra, log), 0) << log;
        EXPECT_NE(log.find("Completed"), std::string::npos) << log;
        const AviFile avi = ParseAvi(output);
        EXPECT_TRUE(avi.problems.empty()) << name << ": " << (avi.problems.empty() ? "" : avi.problems[0]);
        return output;
    }

    // Each flash against the beep nearest to it, in seconds (negative: the
    // picture is early); the frame count beside it.
    void ExpectInStep(const std::string& avi, double seconds, size_t flashes, const std::string& what) {
        const auto greys = PictureGreys(avi);
        const auto beeps = BeepTimes(Samples(avi, 1));
        const auto flashTimes = FlashTimes(greys);
        EXPECT_NEAR(double(greys.size()), seconds * 16, 1.0) << what;
        ASSERT_EQ(flashTimes.size(), flashes) << what;
        ASSERT_EQ(beeps.size(), flashes) << what;
        for (size_t i = 0; i < flashes; ++i) {
            const double offset = flashTimes[i] - beeps[i];
            std::printf("%s: flash at %.3f s, beep at %.3f s, offset %+.3f s, %zu frames\n", what.c_str(),
                        flashTimes[i], beeps[i], offset, greys.size());
            EXPECT_LE(std::fabs(offset), 1.5 * kFrame) << what << ", flash " << i;
        }
    }
};

} // namespace

TEST_F(PictureAndSound, LowFrameRatesStayInStepWithTheirSound) {
    constexpr double kSeconds = 6.0;
    constexpr double kStart = 1.55; // between pictures of both rates
    for (const int fps : {5, 12}) {
        const std::string clip = MakeFlashBeepClip(dir.path(), fps, kSeconds);
        ASSERT_FALSE(clip.empty()) << fps;
        const std::string whole = Convert(clip, "whole_" + std::to_string(fps) + ".avi");
        ExpectInStep(whole, kSeconds, 3, std::to_string(fps) + " fps whole");
        const std::string part = Convert(clip, "part_" + std::to_string(fps) + ".avi", {"--start", "1.55"});
        ExpectInStep(part, kSeconds - kStart, 2, std::to_string(fps) + " fps from 1.55 s");
    }
}

TEST_F(PictureAndSound, TwentyFivePicturesASecondGiveEveryFrameANewPicture) {
    // The counter pattern steps its grey by one level a picture. From 25
    // pictures a second every frame shows the first picture at or after its
    // time, so each frame is a picture or two later than the one before;
    // a repeated frame would mean sparse pacing took over. The darkest
    // pictures are pulled up by the clamping, so the steps count from the
    // third frame.
    constexpr double kGreyStep = 4 * 255.0 / 219; // one counter step in full-range grey
    const fs::path clip = zem::testclips::MakeClip(dir.path(), "mp4", 2.0);
    ASSERT_FALSE(clip.empty());
    const std::string avi = Convert(clip.string(), "counter.avi");
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(Capture("ffmpeg -nostdin -v error -i " + Quote(avi) +
                            " -an -fps_mode passthrough -vf crop=iw:ih/2:0:ih/2,scale=1:1 -pix_fmt rgb24 -f rawvideo -",
                        rgb));
    const size_t frames = rgb.size() / 3;
    EXPECT_NEAR(double(frames), 32, 1.0);
    for (size_t k = 2; k + 1 < frames && (25 * (k + 1) + 15) / 16 < size_t(zem::testclips::kCounterCycle); ++k) {
        const double step = (rgb[3 * (k + 1) + 1] - rgb[3 * k + 1]) / kGreyStep;
        EXPECT_GT(step, 0.5) << "frame " << k + 1 << " repeats frame " << k;
        EXPECT_LT(step, 2.5) << "frame " << k + 1 << " skips pictures";
    }
}

TEST_F(PictureAndSound, SurroundSoundKeepsTheDialogueLevelAndNeverClips) {
    // A DVD-like 5.1 AC-3 track with a tone in the centre channel only.
    const std::string centre = dir.file("centre.mkv");
    const std::string amplitude = std::to_string(std::pow(10.0, kCentreSourceDb / 20));
    ASSERT_TRUE(Ffmpeg("-f lavfi -i color=c=black:s=160x128:r=25 -f lavfi -i " +
                       Quote("aevalsrc=0|0|" + amplitude + "*sin(2*PI*1000*t)|0|0|0:s=48000:c=5.1") +
                       " -t 3 -c:v libx264 -preset ultrafast -c:a ac3 -b:a 448k " + Quote(centre)));
    const auto source = Samples(centre, 6);
    const double sourceDb = PeakDb(source, kSampleRate, 2 * kSampleRate, 6, 2);
    const auto mixed = Samples(Convert(centre, "centre.avi"), 2);
    const double leftDb = PeakDb(mixed, kSampleRate, 2 * kSampleRate, 2, 0);
    const double rightDb = PeakDb(mixed, kSampleRate, 2 * kSampleRate, 2, 1);
    std::printf("centre tone: source %.2f dBFS, output left %.2f dBFS, right %.2f dBFS\n", sourceDb, leftDb, rightDb);
    EXPECT_NEAR(leftDb, sourceDb, 4.0);
    EXPECT_NEAR(rightDb, sourceDb, 4.0);

    // Every channel at full scale: the sum is far past it, and the limiter
    // brings it down without a run of clipped samples.
    const std::string loud = dir.file("loud.mkv");
    const std::string tone = "sin(2*PI*440*t)";
    std::string all = tone;
    for (int c = 1; c < 6; ++c)
        all += "|" + tone;
    ASSERT_TRUE(Ffmpeg("-f lavfi -i color=c=black:s=160x128:r=25 -f lavfi -i " +
                       Quote("aevalsrc=" + all + ":s=48000:c=5.1") + " -t 3 -c:v libx264 -preset ultrafast -c:a flac " +
                       Quote(loud)));
    const auto limited = Samples(Convert(loud, "loud.avi"), 2);
    ASSERT_GT(limited.size(), size_t(2 * kSampleRate));
    const int run = LongestClippedRun(limited, 2);
    const double loudDb = PeakDb(limited, kSampleRate, 2 * kSampleRate, 2, 0);
    std::printf("full-scale 5.1: longest run at the limit %d samples, output peak %.2f dBFS\n", run, loudDb);
    EXPECT_LT(run, 3);
    EXPECT_GT(loudDb, -3.0); // limited, not turned down as a whole
}

TEST_F(PictureAndSound, AFilmWithoutSoundGetsSilenceOfItsLength) {
    const fs::path clip = zem::testclips::MakeClip(dir.path(), "video-only", 3.0);
    ASSERT_FALSE(clip.empty());
    const std::string avi = Convert(clip.string(), "silent.avi", {"--keep-mp3"});
    const AviFile file = ParseAvi(avi);
    EXPECT_NEAR(double(file.videoCount()), 48, 1.0);
    // The sound lasts as long as the pictures, within one 24 ms block.
    EXPECT_NEAR(file.audioCount() * 0.024, file.videoCount() * kFrame, 0.024 + kFrame);
    // What a player decodes is silence.
    const auto samples = Samples(avi, 2);
    ASSERT_GT(samples.size(), size_t(2 * kSampleRate * 2));
    int loudest = 0;
    for (int16_t s : samples)
        loudest = std::max(loudest, std::abs(int(s)));
    EXPECT_EQ(loudest, 0);
    // The kept ".mp3" holds the same silence.
    const auto kept = ReadWholeFile(dir.file("silent.mp3"));
    EXPECT_GE(kept.size(), 68u + 384u * file.audioCount());
}

namespace {
// Where the picture lies in an output frame: the box of its bright pixels.
struct Box {
    int left = -1, top = -1, right = -1, bottom = -1; // inclusive; -1: no bright pixel
};

Box BrightBox(const std::string& avi, int width, int height) {
    std::vector<uint8_t> raw;
    Box box;
    if (!Capture("ffmpeg -nostdin -v error -i " + Quote(avi) + " -an -frames:v 1 -pix_fmt gray -f rawvideo -", raw) ||
        raw.size() < size_t(width) * size_t(height))
        return box;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (raw[size_t(y) * size_t(width) + size_t(x)] < kBrightGrey)
                continue;
            box.left = box.left < 0 ? x : std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = box.top < 0 ? y : box.top;
            box.bottom = y;
        }
    }
    return box;
}
} // namespace

TEST_F(PictureAndSound, KeptProportionsPutThePictureBetweenBlackBars) {
    // White pictures of each shape: stored square-pixelled, with wide pixels,
    // and as a phone stores an upright film (lying, with a turn in the container).
    struct Source {
        const char* name;
        const char* filter; // the lavfi source
        bool turned;
    };
    const Source sources[] = {
        {"wide", "color=c=white:s=320x180:r=16", false},
        {"four_three", "color=c=white:s=160x120:r=16", false},
        {"wide_pixels", "color=c=white:s=240x180:r=16,setsar=4/3", false},
        {"phone", "color=c=white:s=320x180:r=16", true},
    };
    struct Case {
        const char* source;
        const char* size;
        int width, height;
        Box picture; // where the picture must be, give or take the JPEG's blur at its edges
    };
    const Case cases[] = {
        {"wide", "320x240", 320, 240, {0, 30, 319, 209}},        {"wide", "128x128", 128, 128, {0, 28, 127, 99}},
        {"four_three", "320x240", 320, 240, {0, 0, 319, 239}},   {"four_three", "128x128", 128, 128, {0, 16, 127, 111}},
        {"wide_pixels", "320x240", 320, 240, {0, 30, 319, 209}}, {"wide_pixels", "128x128", 128, 128, {0, 28, 127, 99}},
        {"phone", "320x240", 320, 240, {92, 0, 226, 239}},       {"phone", "128x128", 128, 128, {28, 0, 99, 127}},
    };
    constexpr int kEdge = 2; // pixels of blur the JPEG coding may add or take at a bar's edge
    std::map<std::string, std::string> made;
    for (const Source& source : sources) {
        const std::string stored = dir.file(std::string(source.name) + "_stored.mp4");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i " + Quote(std::string(source.filter) + ",format=yuv420p") +
                           " -t 1 -c:v libx264 -preset ultrafast " + Quote(stored)));
        std::string input = stored;
        if (source.turned) {
            input = dir.file(std::string(source.name) + ".mp4");
            ASSERT_TRUE(Ffmpeg("-i " + Quote(stored) + " -c copy -metadata:s:v:0 rotate=90 " + Quote(input)));
        }
        made[source.name] = input;
    }
    for (const Case& c : cases) {
        const std::string what = std::string(c.source) + " at " + c.size;
        const std::string kept = Convert(made[c.source], what + "_kept.avi", {"-s", c.size, "--keep-proportions"});
        const Box box = BrightBox(kept, c.width, c.height);
        EXPECT_NEAR(box.left, c.picture.left, kEdge) << what;
        EXPECT_NEAR(box.top, c.picture.top, kEdge) << what;
        EXPECT_NEAR(box.right, c.picture.right, kEdge) << what;
        EXPECT_NEAR(box.bottom, c.picture.bottom, kEdge) << what;
        // Without the option the picture fills the frame.
        const std::string stretched = Convert(made[c.source], what + "_stretched.avi", {"-s", c.size});
        const Box full = BrightBox(stretched, c.width, c.height);
        EXPECT_EQ(full.left, 0) << what;
        EXPECT_EQ(full.top, 0) << what;
        EXPECT_EQ(full.right, c.width - 1) << what;
        EXPECT_EQ(full.bottom, c.height - 1) << what;
        // A picture already of the frame's shape is written byte for byte as without the option.
        if (c.picture.left == 0 && c.picture.top == 0 && c.picture.right == c.width - 1 &&
            c.picture.bottom == c.height - 1) {
            std::vector<uint8_t> a, b;
            ASSERT_TRUE(Capture("cat " + Quote(kept), a));
            ASSERT_TRUE(Capture("cat " + Quote(stretched), b));
            EXPECT_TRUE(a == b) << what;
        }
    }
}
