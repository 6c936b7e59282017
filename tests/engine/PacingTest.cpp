// Frame pacing against the pictures' own times: which picture each frame
// shows, for sources denser and sparser than the output's 16 frames a second.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <vector>

#include "FrameEncoder.h"
#include "OutputFormat.h"
#include "Resample.h"
#include "TestDirs.h"

using namespace zem;
using namespace zem::test;

namespace {

constexpr uint16_t kSourceWidth = 32;
constexpr uint16_t kSourceHeight = 24;
constexpr uint16_t kTargetWidth = 32;
constexpr uint16_t kTargetHeight = 24;
constexpr double kFrame = 1.0 / 16;
// Grey levels 20, 23, ... stay clear of the clamped extremes and code to
// different JPEG bytes, so a record names the picture it shows.
constexpr int kLevels = 70;

std::vector<uint8_t> GreyPicture(int n) {
    const uint8_t level = uint8_t(20 + 3 * (n % kLevels));
    return std::vector<uint8_t>(size_t(PictureStride(kSourceWidth)) * kSourceHeight, level);
}

// The record the encoder writes for picture n.
std::vector<uint8_t> RecordOf(int n) {
    CxImage image;
    std::vector<uint8_t> jpeg;
    const auto picture = GreyPicture(n);
    CodeFrameJpeg(picture.data(), kTargetWidth, kTargetHeight, 0, 80, image, jpeg);
    std::vector<uint8_t> record(avi::kFrameLengthSize);
    avi::PutLe32(record.data(), uint32_t(jpeg.size()));
    record.insert(record.end(), jpeg.begin(), jpeg.end());
    return record;
}

struct Paced {
    std::vector<int> shown;     // picture number of each frame, in order
    std::vector<int64_t> times; // each frame's published time, 100 ns
    double firstFrameTime = -1;
    bool readable = true; // every record is one of the pictures'
};

// Feeds pictures at `times` through a frame encoder writing into a real
// frames file, then reads back which picture each frame shows.
Paced Pace(const std::vector<double>& times, double stopTime = -1.0) {
    TempDir dir;
    File frames;
    EXPECT_TRUE(frames.Open(dir.file("pace.tmp"), File::Mode::CreateWrite));
    std::atomic<int64_t> position{0};
    FrameCaptureContext ctx;
    ctx.sourceWidth = kSourceWidth;
    ctx.sourceHeight = kSourceHeight;
    ctx.targetWidth = kTargetWidth;
    ctx.targetHeight = kTargetHeight;
    ctx.framesFile = &frames;
    ctx.positionOut = &position;
    ctx.stopTime = stopTime;

    Paced result;
    for (size_t n = 0; n < times.size(); ++n) {
        const uint64_t before = ctx.framesWritten();
        auto picture = GreyPicture(int(n));
        ctx.OnFrameSample(times[n], picture.data(), picture.size());
        if (ctx.framesWritten() != before)
            result.times.push_back(position.load());
    }
    ctx.FinishFrames();
    result.firstFrameTime = ctx.firstFrameTime();
    frames.Close();

    std::map<std::vector<uint8_t>, int> names;
    for (int n = 0; n < kLevels && n < int(times.size()); ++n)
        names.emplace(RecordOf(n), n);
    EXPECT_EQ(names.size(), std::min<size_t>(kLevels, times.size())) << "two pictures code alike";
    const auto bytes = ReadWholeFile(dir.file("pace.tmp"));
    size_t at = 0;
    while (at + avi::kFrameLengthSize <= bytes.size()) {
        const size_t length = avi::kFrameLengthSize + avi::GetLe32(&bytes[at]);
        const std::vector<uint8_t> record(bytes.begin() + long(at), bytes.begin() + long(at + length));
        const auto found = names.find(record);
        result.readable = result.readable && found != names.end();
        result.shown.push_back(found == names.end() ? -1 : found->second);
        at += length;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(result.shown.size(), ctx.framesWritten());
    return result;
}

std::vector<double> Stamps(double fps, double first, int count) {
    std::vector<double> times;
    for (int n = 0; n < count; ++n)
        times.push_back(first + n / fps);
    return times;
}

// How each frame was chosen before pictures sparser than frames were paced
// by their screen time: frames at the first picture's time and every 1/16 s
// on; each shows the first picture at or after its time.
std::vector<int> FirstAtOrAfter(const std::vector<double>& times) {
    std::vector<int> shown;
    double frame = times.front();
    for (size_t n = 0; n < times.size(); ++n) {
        if (n > 0 && times[n] - frame < kFrame)
            continue;
        if (n > 0)
            frame += kFrame;
        shown.push_back(int(n));
        while (times[n] - frame >= kFrame) {
            frame += kFrame;
            shown.push_back(int(n));
        }
    }
    return shown;
}

} // namespace

TEST(FramePacing, SourcesOfSixteenPicturesASecondOrMoreKeepTheirFrames) {
    // Starting later than 0: the frames are the ones made before, picture for
    // picture and byte for byte.
    for (const double fps : {16.0, 24.0, 25.0, 29.97, 30.0, 50.0}) {
        for (const double first : {0.04, 0.013, 0.5}) {
            const int count = std::min(kLevels, int(fps * 2));
            const auto times = Stamps(fps, first, count);
            const Paced paced = Pace(times);
            EXPECT_TRUE(paced.readable);
            EXPECT_EQ(paced.shown, FirstAtOrAfter(times)) << fps << " fps from " << first;
            EXPECT_DOUBLE_EQ(paced.firstFrameTime, first);
        }
    }
}

TEST(FramePacing, AFirstPictureAtZeroStartsTheFramesOnce) {
    const auto times = Stamps(25, 0.0, 50);
    const Paced paced = Pace(times);
    ASSERT_GE(paced.times.size(), 3u);
    EXPECT_EQ(paced.times[0], 0);
    EXPECT_EQ(paced.times[1], 625000); // not 0.04: the picture at 0 was a frame
    EXPECT_EQ(paced.shown[0], 0);
    EXPECT_EQ(paced.shown[1], 2); // the picture at 0.08, first at or after 0.0625
    EXPECT_DOUBLE_EQ(paced.firstFrameTime, 0.0);
    EXPECT_EQ(paced.shown.size(), 32u); // two seconds
}

TEST(FramePacing, SparsePicturesShowWithinHalfAFrameOfTheirTime) {
    for (const double fps : {5.0, 8.0, 10.0, 12.0, 15.0}) {
        for (const double first : {0.0, 0.013, 0.1}) {
            const int count = std::min(kLevels, int(fps * 5));
            const auto times = Stamps(fps, first, count);
            const double end = first + count / fps;
            const Paced paced = Pace(times);
            ASSERT_TRUE(paced.readable);
            ASSERT_FALSE(paced.shown.empty());
            const std::string where = std::to_string(fps) + " fps from " + std::to_string(first);
            // Sixteen frames a second of input, from the first picture on.
            EXPECT_NEAR(double(paced.shown.size()), (end - first) * 16, 1.0) << where;
            int last = -1;
            for (size_t k = 0; k < paced.shown.size(); ++k) {
                const int n = paced.shown[k];
                const double frame = first + double(k) * kFrame;
                const double from = times[size_t(n)];
                const double until = size_t(n) + 1 < times.size() ? times[size_t(n) + 1] : end;
                // The picture is on screen at the frame's time, give or take half a frame.
                EXPECT_GE(frame, from - kFrame / 2 - 1e-9) << where << ", frame " << k;
                EXPECT_LT(frame, until + kFrame / 2 - 1e-9) << where << ", frame " << k;
                EXPECT_GE(n, last) << where << ", frame " << k;
                EXPECT_LE(n, last + 1) << where << ": a picture was left out before frame " << k;
                last = n;
            }
            EXPECT_EQ(last, count - 1) << where;
        }
    }
}

TEST(FramePacing, SparsePicturesEndAtTheStopTime) {
    // Five pictures a second, stop after 1.5 s: 24 frames, the last one
    // showing the picture at 1.4, nothing from 1.5 on.
    const auto times = Stamps(5, 0.0, 10);
    const Paced paced = Pace(times, 1.5);
    EXPECT_EQ(paced.shown.size(), 24u);
    ASSERT_FALSE(paced.shown.empty());
    EXPECT_EQ(paced.shown.back(), 7);
    EXPECT_LT(paced.times.back(), 15000000);
}

namespace {

// Paces 25 pictures a second through the grabber's calls; the pictures whose
// numbers are in `skipped` are handed over as left undecoded. Returns the
// published time of each frame.
std::vector<int64_t> PaceWithSkips(const std::vector<int>& skipped, FrameCaptureContext::SkipCounts& counts,
                                   std::vector<int>* refused = nullptr) {
    TempDir dir;
    File frames;
    EXPECT_TRUE(frames.Open(dir.file("skip.tmp"), File::Mode::CreateWrite));
    std::atomic<int64_t> position{0};
    FrameCaptureContext ctx;
    ctx.sourceWidth = kSourceWidth;
    ctx.sourceHeight = kSourceHeight;
    ctx.targetWidth = kTargetWidth;
    ctx.targetHeight = kTargetHeight;
    ctx.framesFile = &frames;
    ctx.positionOut = &position;
    std::vector<int64_t> times;
    for (int n = 0; n < 100; ++n) {
        const double t = 0.04 * (n + 1);
        const uint64_t before = ctx.framesWritten();
        if (std::find(skipped.begin(), skipped.end(), n) != skipped.end()) {
            ctx.OnSkippedSample(t);
        } else if (ctx.WillTakeSample(t)) {
            auto picture = GreyPicture(n);
            ctx.OnFrameSample(t, picture.data(), picture.size());
        } else if (refused) {
            refused->push_back(n);
        }
        if (ctx.framesWritten() != before)
            times.push_back(position.load());
    }
    ctx.FinishFrames();
    counts = ctx.skipCounts();
    return times;
}

TEST(Pacing, PicturesLeftUndecodedArePacedAsRefusedOnes) {
    FrameCaptureContext::SkipCounts all;
    std::vector<int> refused;
    const auto decodedAll = PaceWithSkips({}, all, &refused);
    ASSERT_GT(refused.size(), 20u);
    EXPECT_EQ(all.seen, 100u);
    EXPECT_EQ(all.skipped, 0u);

    // Every refused picture left undecoded: the same frames at the same times,
    // although the decoded pictures now come more than a frame apart.
    FrameCaptureContext::SkipCounts counts;
    EXPECT_EQ(PaceWithSkips(refused, counts), decodedAll);
    EXPECT_EQ(counts.seen, 100u);
    EXPECT_EQ(counts.skipped, refused.size());
    EXPECT_EQ(counts.wronglySkipped, 0u);

    // A picture a frame was due at, left undecoded, counts as a wrong skip.
    std::vector<int> wrong = refused;
    int taken = refused.front() + 1;
    while (std::find(refused.begin(), refused.end(), taken) != refused.end())
        ++taken;
    wrong.push_back(taken);
    PaceWithSkips(wrong, counts);
    EXPECT_GE(counts.wronglySkipped, 1u); // the frames after it shift too
}

} // namespace
