// The picture type: quarter turns and the JPEG it codes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "CxImage.h"
#include "JpegProbe.h"

using namespace zem;
using namespace zem::test;

namespace {

// A picture whose every pixel says where it is: blue = x, green = row from the
// top, red = 7. Stored bottom row first.
std::vector<uint8_t> Coordinates(uint32_t w, uint32_t h) {
    const uint32_t stride = (w * 3 + 3) & ~3u;
    std::vector<uint8_t> p(size_t(stride) * h, 0);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* px = &p[size_t(r) * stride + x * 3];
            px[0] = uint8_t(x);
            px[1] = uint8_t(h - 1 - r);
            px[2] = 7;
        }
    return p;
}

// Pixel (x, y counted from the top) of an image.
const uint8_t* Pixel(const CxImage& img, uint32_t x, uint32_t y) {
    return img.GetBits() + size_t(img.GetHeight() - 1 - y) * img.GetRowBytes() + x * 3;
}

} // namespace

TEST(CxImageRotation, LeftTurnPutsTheRightEdgeOnTop) {
    CxImage img;
    const auto src = Coordinates(5, 3);
    ASSERT_TRUE(img.CreateFromArray(src.data(), 5, 3, 16));
    img.RotateLeft();
    ASSERT_EQ(img.GetWidth(), 3u);
    ASSERT_EQ(img.GetHeight(), 5u);
    EXPECT_EQ(img.GetRowBytes(), 12u);
    // Top row of the turned picture: the old right column (x = 4), old top first.
    for (uint32_t x = 0; x < 3; ++x) {
        EXPECT_EQ(Pixel(img, x, 0)[0], 4);
        EXPECT_EQ(Pixel(img, x, 0)[1], x);
    }
    // Bottom-left: the old top-left corner.
    EXPECT_EQ(Pixel(img, 0, 4)[0], 0);
    EXPECT_EQ(Pixel(img, 0, 4)[1], 0);
}

TEST(CxImageRotation, RightTurnPutsTheLeftEdgeOnTopAndTurnsUndoEachOther) {
    CxImage img;
    const auto src = Coordinates(5, 3);
    ASSERT_TRUE(img.CreateFromArray(src.data(), 5, 3, 16));
    img.RotateRight();
    ASSERT_EQ(img.GetWidth(), 3u);
    // Top row: the old left column (x = 0), old bottom row first.
    for (uint32_t x = 0; x < 3; ++x) {
        EXPECT_EQ(Pixel(img, x, 0)[0], 0);
        EXPECT_EQ(Pixel(img, x, 0)[1], 2 - x);
    }
    img.RotateLeft();
    ASSERT_EQ(img.GetWidth(), 5u);
    for (uint32_t r = 0; r < 3; ++r)
        EXPECT_EQ(0, std::memcmp(img.GetBits() + r * 16, src.data() + r * 16, 15));
}

TEST(CxImageJpeg, MarkersCarryTheDeviceParameters) {
    CxImage img;
    const auto src = Coordinates(96, 64);
    ASSERT_TRUE(img.CreateFromArray(src.data(), 96, 64, 288));
    for (const auto& [quality, lumaDc, chromaDc] :
         std::vector<std::array<int, 3>>{{95, 2, 2}, {90, 3, 3}, {80, 6, 7}, {50, 16, 17}}) {
        std::vector<uint8_t> jpeg;
        ASSERT_TRUE(img.Encode(quality, jpeg));
        const JpegInfo info = ProbeJpeg(jpeg);
        ASSERT_TRUE(info.valid) << info.error;
        EXPECT_TRUE(info.baseline);
        EXPECT_FALSE(info.progressiveOrOther);
        EXPECT_EQ(info.width, 96u);
        EXPECT_EQ(info.height, 64u);
        EXPECT_EQ(info.sampling, (std::vector<uint8_t>{0x21, 0x11, 0x11}));
        EXPECT_TRUE(info.jfif);
        EXPECT_EQ(info.densityUnit, 1);
        EXPECT_EQ(info.xDensity, 96);
        EXPECT_EQ(info.yDensity, 96);
        // Standard tables scaled for the quality: DC steps 16 and 17 at 50.
        ASSERT_EQ(info.quantTables.size(), 2u);
        EXPECT_EQ(info.quantTables[0][0], lumaDc) << quality;
        EXPECT_EQ(info.quantTables[1][0], chromaDc) << quality;
    }
}

TEST(CxImageJpeg, DecodesBackToThePictureWithinJpegError) {
    // A smooth picture: colour runs left to right, brightness top to bottom.
    const uint32_t w = 160, h = 120, stride = 480;
    std::vector<uint8_t> src(size_t(stride) * h);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &src[size_t(r) * stride + x * 3];
            const uint32_t top = h - 1 - r;
            p[0] = uint8_t(40 + x);      // blue
            p[1] = uint8_t(30 + top);    // green
            p[2] = uint8_t(200 - x / 2); // red
        }
    CxImage img;
    ASSERT_TRUE(img.CreateFromArray(src.data(), w, h, stride));
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(img.Encode(80, jpeg));
    const auto rgb = DecodeJpegRgb(jpeg);
    ASSERT_EQ(rgb.size(), size_t(w) * h * 3);
    double error = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* s = &src[size_t(h - 1 - y) * stride + x * 3];
            const uint8_t* d = &rgb[(size_t(y) * w + x) * 3];
            error += std::abs(d[0] - s[2]) + std::abs(d[1] - s[1]) + std::abs(d[2] - s[0]);
        }
    EXPECT_LT(error / (w * h * 3), 2.5);
    // The same picture codes to the same bytes (repeated frames rely on it).
    std::vector<uint8_t> again;
    ASSERT_TRUE(img.Encode(80, again));
    EXPECT_EQ(again, jpeg);
}
