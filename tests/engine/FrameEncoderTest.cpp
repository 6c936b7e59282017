// The frame encoder: pacing to 16 frames per second, clamping, scaling,
// rotation and the frame records it writes.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "FrameEncoder.h"
#include "JpegProbe.h"
#include "OutputFormat.h"
#include "Resample.h"
#include "TestDirs.h"

using namespace zem;
using namespace zem::test;

namespace {

std::vector<uint8_t> SolidPicture(uint32_t w, uint32_t h, uint8_t b, uint8_t g, uint8_t r) {
    std::vector<uint8_t> pic(size_t(PictureStride(w)) * h, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &pic[size_t(y) * PictureStride(w) + x * 3];
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return pic;
}

std::vector<std::vector<uint8_t>> ReadRecords(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    std::vector<std::vector<uint8_t>> records;
    size_t at = 0;
    while (at + 4 <= bytes.size()) {
        const uint32_t n = avi::GetLe32(&bytes[at]);
        at += 4;
        records.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + n));
        at += n;
    }
    EXPECT_EQ(at, bytes.size()) << "frames file ends inside a record";
    return records;
}

struct Capture {
    TempDir dir;
    File frames;
    std::atomic<int64_t> position{0};
    FrameCaptureContext ctx;
    std::vector<int64_t> published;

    Capture(uint16_t sw, uint16_t sh, uint16_t tw = 320, uint16_t th = 240, int rotate = 0) {
        EXPECT_TRUE(frames.Open(dir.file("clip.tmp"), File::Mode::CreateWrite));
        ctx.sourceWidth = sw;
        ctx.sourceHeight = sh;
        ctx.targetWidth = tw;
        ctx.targetHeight = th;
        ctx.rotate = rotate;
        ctx.framesFile = &frames;
        ctx.positionOut = &position;
    }
    void Feed(double t, std::vector<uint8_t> picture) {
        ctx.OnFrameSample(t, picture.data(), picture.size());
        published.push_back(position.load());
    }
    std::vector<std::vector<uint8_t>> Records() {
        frames.Close();
        return ReadRecords(dir.file("clip.tmp"));
    }
};

} // namespace

TEST(FrameEncoderPacing, TwentyFivePicturesASecondBecomeSixteenFrames) {
    Capture c(64, 48);
    const auto pic = SolidPicture(64, 48, 10, 20, 30);
    std::vector<int64_t> frameTimes;
    for (int k = 1; k <= 50; ++k) {
        const uint64_t before = c.ctx.framesWritten();
        c.Feed(0.04 * k, pic);
        if (c.ctx.framesWritten() != before)
            frameTimes.push_back(c.position.load());
    }
    ASSERT_GE(frameTimes.size(), 3u);
    EXPECT_EQ(frameTimes[0], 400000);  // 0.04 s, the first picture
    EXPECT_EQ(frameTimes[1], 1025000); // 0.1025 s, taken with the picture at 0.12
    EXPECT_EQ(frameTimes[2], 1650000); // 0.165 s, with the picture at 0.2
    // Two seconds of pictures: 0.04 + 31 * 0.0625 = 1.9775 is the last frame time.
    EXPECT_EQ(c.ctx.framesWritten(), 32u);
    EXPECT_EQ(c.Records().size(), 32u);
}

TEST(FrameEncoderPacing, EightPicturesASecondRepeatThePictureOnScreen) {
    Capture c(64, 48);
    for (int k = 1; k <= 4; ++k)
        c.Feed(0.125 * k, SolidPicture(64, 48, uint8_t(40 * k), 100, 100));
    // Each picture starts at its own frame; the frame between two pictures
    // still shows the earlier one.
    auto frames = c.ctx.framesWritten();
    EXPECT_EQ(frames, 7u);
    EXPECT_EQ(c.published.back(), int64_t(0.125 * 4 * 1e7));
    // The last picture stays as long as the others did.
    c.ctx.FinishFrames();
    const auto records = c.Records();
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[0], records[1]); // the repeat copies the same bytes
    EXPECT_NE(records[1], records[2]);
    EXPECT_EQ(records[2], records[3]);
    EXPECT_NE(records[5], records[6]);
    EXPECT_EQ(records[6], records[7]);
}

TEST(FrameEncoderPacing, FirstPictureAtZeroIsAnOrdinaryFirstFrameAndNegativeTimesAreIgnored) {
    Capture c(64, 48);
    c.Feed(-0.5, SolidPicture(64, 48, 1, 1, 1));
    EXPECT_EQ(c.ctx.framesWritten(), 0u);
    c.Feed(0.0, SolidPicture(64, 48, 50, 50, 50));
    c.Feed(0.03, SolidPicture(64, 48, 90, 90, 90));
    c.Feed(0.06, SolidPicture(64, 48, 90, 90, 90));
    // The pictures at 0.03 and 0.06 fall before the second frame (0.0625).
    EXPECT_EQ(c.ctx.framesWritten(), 1u);
    EXPECT_EQ(c.position.load(), 0);
    c.Feed(0.09, SolidPicture(64, 48, 90, 90, 90));
    EXPECT_EQ(c.ctx.framesWritten(), 2u);
    EXPECT_EQ(c.position.load(), 625000);
    EXPECT_DOUBLE_EQ(c.ctx.firstFrameTime(), 0.0);
}

TEST(FrameEncoderPacing, ShortBuffersAreRefusedNotOverread) {
    Capture c(64, 48);
    std::vector<uint8_t> tooShort(64 * 3 * 10);
    c.ctx.OnFrameSample(0.1, tooShort.data(), tooShort.size());
    EXPECT_EQ(c.ctx.framesWritten(), 0u);
    EXPECT_EQ(c.ctx.picturesRejected(), 1u);
    // The refused picture did not count as a frame: the next one is the first.
    c.Feed(0.2, SolidPicture(64, 48, 9, 9, 9));
    EXPECT_EQ(c.position.load(), 2000000);
}

TEST(FrameEncoderPacing, AFullDiskIsReportedNotIgnored) {
    FrameCaptureContext ctx;
    File full;
    ASSERT_TRUE(full.Open("/dev/full", File::Mode::ReadWrite));
    ctx.sourceWidth = 32;
    ctx.sourceHeight = 32;
    ctx.targetWidth = 96;
    ctx.targetHeight = 64;
    ctx.framesFile = &full;
    auto pic = SolidPicture(32, 32, 100, 100, 100);
    ctx.OnFrameSample(0.1, pic.data(), pic.size());
    ctx.OnFrameSample(0.2, pic.data(), pic.size());
    EXPECT_TRUE(ctx.writeFailed());
    EXPECT_NE(ctx.writeError().find("No space"), std::string::npos) << ctx.writeError();
    EXPECT_EQ(ctx.framesWritten(), 0u);
}

TEST(FrameEncoderClamp, ExtremesArePulledInWholeGroupsOnly) {
    std::vector<uint8_t> px = {3, 2, 1, 3, 200, 1, 251, 255, 252, 251, 250, 255, 0, 0};
    ClampPixelExtremes(px.data(), px.size());
    EXPECT_EQ(px, (std::vector<uint8_t>{4, 4, 4, 3, 200, 1, 250, 250, 250, 251, 250, 255, 0, 0}));
}

TEST(FrameEncoderClamp, FastWalkMatchesThePlainOne) {
    std::mt19937 rng(7);
    // Values close to both limits so that whole and partial groups are common.
    const uint8_t choices[] = {0, 1, 2, 3, 4, 5, 128, 249, 250, 251, 252, 255};
    for (size_t length : {0u, 1u, 2u, 3u, 47u, 48u, 49u, 95u, 96u, 1000u, 4801u, 65537u}) {
        std::vector<uint8_t> a(length);
        for (auto& v : a)
            v = choices[rng() % std::size(choices)];
        std::vector<uint8_t> b = a;
        ClampPixelExtremes(a.data(), a.size());
        ClampPixelExtremesReference(b.data(), b.size());
        ASSERT_EQ(a, b) << "length " << length;
    }
    // Black and white areas with ragged edges between them and ordinary colour.
    std::vector<uint8_t> areas(30000);
    for (size_t i = 0; i < areas.size(); ++i) {
        const size_t band = (i + rng() % 7) / 500 % 4;
        areas[i] = band == 0 ? uint8_t(rng() % 4) : band == 1 ? uint8_t(251 + rng() % 5) : choices[rng() % 12];
    }
    std::vector<uint8_t> expected = areas;
    ClampPixelExtremes(areas.data(), areas.size());
    ClampPixelExtremesReference(expected.data(), expected.size());
    EXPECT_EQ(areas, expected);
    // Ordinary colour with a lone extreme group now and then: long spans with
    // nothing to do, ending at any offset.
    for (size_t spacing : {40u, 97u, 300u, 5000u}) {
        std::vector<uint8_t> sparse(20000);
        for (auto& v : sparse)
            v = uint8_t(4 + rng() % 247);
        for (size_t at = rng() % spacing; at + 3 <= sparse.size(); at += 1 + rng() % spacing)
            std::fill_n(sparse.begin() + long(at), 3, rng() % 2 ? uint8_t(rng() % 4) : uint8_t(251 + rng() % 5));
        std::vector<uint8_t> plain = sparse;
        ClampPixelExtremes(sparse.data(), sparse.size());
        ClampPixelExtremesReference(plain.data(), plain.size());
        EXPECT_EQ(sparse, plain) << "spacing " << spacing;
    }
}

TEST(FrameEncoderScale, ShrinksEnlargesAndPassesEqualSizesUnchanged) {
    std::mt19937 rng(3);
    auto random = [&](uint32_t w, uint32_t h) {
        std::vector<uint8_t> p(size_t(PictureStride(w)) * h);
        for (auto& v : p)
            v = uint8_t(rng());
        return p;
    };
    {
        const auto src = random(352, 288);
        std::vector<uint8_t> viaScale(320 * 240 * 3), direct(320 * 240 * 3);
        ScalePicture(src.data(), 352, 288, viaScale.data(), 320, 240);
        ShrinkPicture(src.data(), 352, 288, direct.data(), 320, 240);
        EXPECT_EQ(viaScale, direct);
    }
    {
        const auto src = random(160, 120);
        std::vector<uint8_t> viaScale(176 * 128 * 3), direct(176 * 128 * 3);
        ScalePicture(src.data(), 160, 120, viaScale.data(), 176, 128);
        EnlargePicture(src.data(), 160, 120, direct.data(), 176, 128);
        EXPECT_EQ(viaScale, direct);
    }
    {
        const auto src = random(208, 176);
        std::vector<uint8_t> out(208 * 176 * 3);
        ScalePicture(src.data(), 208, 176, out.data(), 208, 176);
        EXPECT_EQ(out, src);
    }
}

TEST(FrameEncoderRecords, EveryRecordIsAJpegOfTheTargetSize) {
    for (int rotate : {0, 1, 2}) {
        Capture c(176, 144, 208, 176, rotate);
        c.Feed(0.1, SolidPicture(176, 144, 30, 120, 200));
        c.Feed(0.2, SolidPicture(176, 144, 30, 120, 200));
        const auto records = c.Records();
        // 0.1, its repeat at 0.1625, then 0.225 (the frame nearest 0.2).
        ASSERT_EQ(records.size(), 3u);
        for (const auto& r : records) {
            const JpegInfo info = ProbeJpeg(r);
            ASSERT_TRUE(info.valid) << info.error;
            EXPECT_EQ(info.width, rotate ? 176u : 208u);
            EXPECT_EQ(info.height, rotate ? 208u : 176u);
            // Clamping does not touch these values; JPEG keeps them close.
            const auto rgb = DecodeJpegRgb(r);
            EXPECT_NEAR(rgb[0], 200, 4);
            EXPECT_NEAR(rgb[1], 120, 4);
            EXPECT_NEAR(rgb[2], 30, 4);
        }
    }
}

TEST(FrameEncoderRecords, LeftTurnPutsTheSourceRightEdgeOnTop) {
    Capture c(320, 240, 320, 240, 1);
    // Left half blue, right half red (bytes are blue, green, red).
    std::vector<uint8_t> pic = SolidPicture(320, 240, 220, 20, 20);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 160; x < 320; ++x) {
            uint8_t* p = &pic[size_t(y) * 960 + x * 3];
            p[0] = 20;
            p[2] = 220;
        }
    c.Feed(0.5, pic);
    const auto records = c.Records();
    ASSERT_EQ(records.size(), 1u);
    const JpegInfo info = ProbeJpeg(records[0]);
    ASSERT_EQ(info.width, 240u);
    ASSERT_EQ(info.height, 320u);
    const auto rgb = DecodeJpegRgb(records[0]);
    auto at = [&](uint32_t x, uint32_t y, int k) { return int(rgb[(size_t(y) * 240 + x) * 3 + k]); };
    EXPECT_GT(at(120, 20, 0), 180); // top: red
    EXPECT_LT(at(120, 20, 2), 60);
    EXPECT_GT(at(120, 300, 2), 180); // bottom: blue
    EXPECT_LT(at(120, 300, 0), 60);
}

TEST(FrameEncoderPacing, NothingAtOrAfterTheStopTimeIsTaken) {
    // A selection one second long: the run stops a tick later, but the frames
    // end at the selection's end, fill copies included.
    Capture c(64, 48);
    c.ctx.stopTime = 1.0;
    EXPECT_FALSE(c.ctx.pastStop());
    for (int k = 1; k <= 8; ++k)
        c.Feed(0.25 * k - 0.2, SolidPicture(64, 48, 100, 100, 100)); // 0.05, 0.3, ... 1.8
    // Frames 0.05, 0.1125, ... 0.8 (13 of them) show pictures up to 0.8; the
    // picture at 1.05 is past the end.
    EXPECT_EQ(c.ctx.framesWritten(), 13u);
    EXPECT_EQ(c.position.load(), 8000000);
    EXPECT_TRUE(c.ctx.pastStop());
    EXPECT_FALSE(c.ctx.WillTakeSample(1.0));
    EXPECT_DOUBLE_EQ(c.ctx.firstFrameTime(), 0.05);
    // The picture at 0.8 stays on screen up to the end: 0.8625, 0.925, 0.9875.
    c.ctx.FinishFrames();
    EXPECT_EQ(c.ctx.framesWritten(), 16u);
    EXPECT_EQ(c.position.load(), 9875000);
}

TEST(FrameEncoderRecords, ClampingWhileShrinkingGivesTheSameBytesAsClampingFirst) {
    // Widths whose rows start on whole pixel groups take the combined path,
    // others clamp the whole buffer first; both must code what the plain
    // order (clamp all, then scale) codes.
    std::mt19937 rng(11);
    for (const auto& [w, h] : std::vector<std::pair<uint16_t, uint16_t>>{{640, 480}, {720, 576}, {170, 130}}) {
        std::vector<uint8_t> picture(size_t(PictureStride(w)) * h);
        for (size_t i = 0; i < picture.size(); ++i) {
            const size_t band = i / 997 % 3;
            picture[i] = band == 0 ? uint8_t(rng() % 5) : band == 1 ? uint8_t(250 + rng() % 6) : uint8_t(rng());
        }
        std::vector<uint8_t> expectedPicture = picture;
        ClampPixelExtremesReference(expectedPicture.data(), expectedPicture.size());
        std::vector<uint8_t> scaled(size_t(PictureStride(160)) * 120);
        ScalePicture(expectedPicture.data(), w, h, scaled.data(), 160, 120);
        CxImage image;
        std::vector<uint8_t> expected;
        ASSERT_TRUE(CodeFrameJpeg(scaled.data(), 160, 120, 0, 80, image, expected));

        Capture c(w, h, 160, 120);
        c.Feed(0.5, picture);
        const auto records = c.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0], expected) << w << "x" << h;
    }
}
