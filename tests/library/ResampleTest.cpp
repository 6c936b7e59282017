// Picture resampling: known weights, the reference cases, and the fast
// shrinking loop against a literal two-dimensional accumulation.

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "Resample.h"

using namespace zem;

namespace {

using Picture = std::vector<uint8_t>;

Picture Random(uint32_t w, uint32_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    Picture p(size_t(PictureStride(w)) * h);
    for (auto& v : p)
        v = uint8_t(rng());
    return p;
}

Picture Filled(uint32_t w, uint32_t h, uint8_t value) {
    Picture p(size_t(PictureStride(w)) * h, 0);
    for (uint32_t y = 0; y < h; ++y)
        std::fill_n(&p[size_t(y) * PictureStride(w)], w * 3, value);
    return p;
}

uint8_t At(const Picture& p, uint32_t w, uint32_t x, uint32_t y, int k) {
    return p[size_t(y) * PictureStride(w) + x * 3 + k];
}

// Shrinking written out the long way: every source byte adds w0x*w0y (and
// its neighbour shares) straight into two accumulator rows.
Picture LiteralShrink(const Picture& src, uint16_t sw, uint16_t sh, uint16_t tw, uint16_t th) {
    const auto xt = BuildResampleWeights(sw, tw, true);
    const auto yt = BuildResampleWeights(sh, th, true);
    Picture out(size_t(PictureStride(tw)) * th, 0xAA);
    std::vector<uint32_t> cur(size_t(tw) * 3 + 3), nxt(size_t(tw) * 3 + 3);
    uint32_t done = 0;
    for (uint32_t y = 0; y < sh && done < th; ++y) {
        uint32_t col = 0;
        for (uint32_t x = 0; x < sw && col < tw; ++x) {
            for (int k = 0; k < 3; ++k) {
                const uint32_t p = At(src, sw, x, y, k);
                cur[col * 3 + k] += uint32_t(xt[x].w0 * yt[y].w0) * p;
                if (xt[x].w1 > 0)
                    cur[(col + 1) * 3 + k] += uint32_t(xt[x].w1 * yt[y].w0) * p;
                if (yt[y].w1 > 0) {
                    nxt[col * 3 + k] += uint32_t(xt[x].w0 * yt[y].w1) * p;
                    if (xt[x].w1 > 0)
                        nxt[(col + 1) * 3 + k] += uint32_t(xt[x].w1 * yt[y].w1) * p;
                }
            }
            if (xt[x].w1 != 0)
                ++col;
        }
        if (yt[y].w1 != 0) {
            for (uint32_t i = 0; i < uint32_t(tw) * 3; ++i)
                out[size_t(done) * PictureStride(tw) + i] = uint8_t(cur[i] >> 24);
            std::fill(cur.begin(), cur.end(), 0);
            std::swap(cur, nxt);
            ++done;
        }
    }
    return out;
}

} // namespace

TEST(ResampleWeights, ThreeOntoTwoAndTwoOntoThree) {
    const auto shrink = BuildResampleWeights(3, 2, true);
    ASSERT_EQ(shrink.size(), 3u);
    EXPECT_EQ(shrink[0].w0, 2730);
    EXPECT_EQ(shrink[0].w1, 0);
    EXPECT_EQ(shrink[1].w0, 1365);
    EXPECT_EQ(shrink[1].w1, 1365);
    EXPECT_EQ(shrink[2].w0, 2730);
    EXPECT_EQ(shrink[2].w1, -1);

    const auto enlarge = BuildResampleWeights(3, 2, false);
    EXPECT_EQ(enlarge[0].w0, 4096);
    EXPECT_EQ(enlarge[0].w1, 0);
    EXPECT_EQ(enlarge[1].w0, 2048);
    EXPECT_EQ(enlarge[1].w1, 2048);
    EXPECT_EQ(enlarge[2].w0, 4096);
    EXPECT_EQ(enlarge[2].w1, -1);

    for (const auto& e : BuildResampleWeights(7, 7, true)) {
        EXPECT_EQ(e.w0, 4096);
        EXPECT_EQ(e.w1, -1);
    }
}

TEST(ResampleShrink, EqualSizesReproduceTheSource) {
    const Picture src = Random(13, 7, 1); // 39-byte rows padded to 40
    Picture out(src.size(), 0);
    ShrinkPicture(src.data(), 13, 7, out.data(), 13, 7);
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t i = 0; i < 39; ++i)
            ASSERT_EQ(out[y * 40 + i], src[y * 40 + i]);
}

TEST(ResampleShrink, HalvingAveragesTwoByTwoBlocksTruncated) {
    const Picture src = Random(320, 240, 2);
    Picture out(160 * 120 * 3);
    ShrinkPicture(src.data(), 320, 240, out.data(), 160, 120);
    for (uint32_t y = 0; y < 120; y += 7)
        for (uint32_t x = 0; x < 160; x += 5)
            for (int k = 0; k < 3; ++k) {
                const uint32_t sum = At(src, 320, 2 * x, 2 * y, k) + At(src, 320, 2 * x + 1, 2 * y, k) +
                                     At(src, 320, 2 * x, 2 * y + 1, k) + At(src, 320, 2 * x + 1, 2 * y + 1, k);
                ASSERT_EQ(At(out, 160, x, y, k), sum / 4) << x << "," << y;
            }
}

TEST(ResampleShrink, WhiteStaysWhiteWhenHalvedButLosesOneOnUnevenRatios) {
    const Picture white = Filled(320, 240, 255);
    Picture half(160 * 120 * 3);
    ShrinkPicture(white.data(), 320, 240, half.data(), 160, 120);
    EXPECT_EQ(half, Filled(160, 120, 255));
    Picture odd(208 * 176 * 3);
    ShrinkPicture(white.data(), 320, 240, odd.data(), 208, 176);
    EXPECT_EQ(odd, Filled(208, 176, 254));
}

TEST(ResampleShrink, FastLoopMatchesTheLiteralAccumulation) {
    const std::pair<uint16_t, uint16_t> cases[][2] = {{{640, 480}, {320, 240}}, {{352, 288}, {208, 176}},
                                                      {{720, 576}, {176, 128}}, {{1920, 1080}, {96, 64}},
                                                      {{101, 77}, {97, 13}},    {{17, 5}, {10, 5}}};
    uint32_t seed = 10;
    for (const auto& c : cases) {
        const auto [sw, sh] = c[0];
        const auto [tw, th] = c[1];
        const Picture src = Random(sw, sh, seed++);
        Picture fast(size_t(PictureStride(tw)) * th, 0xAA);
        ShrinkPicture(src.data(), sw, sh, fast.data(), tw, th);
        ASSERT_EQ(fast, LiteralShrink(src, sw, sh, tw, th)) << sw << "x" << sh << " -> " << tw << "x" << th;
    }
}

TEST(ResampleShrink, RowPaddingOfTheTargetIsLeftUntouched) {
    // 97 pixels: 291 bytes, stored in 292-byte rows.
    const Picture src = Random(200, 40, 5);
    Picture out(size_t(PictureStride(97)) * 13, 0xAA);
    ShrinkPicture(src.data(), 200, 40, out.data(), 97, 13);
    for (uint32_t y = 0; y < 13; ++y)
        EXPECT_EQ(out[size_t(y) * 292 + 291], 0xAA) << y;
}

TEST(ResampleEnlarge, DoublingCopiesEachPixelIntoABlock) {
    const Picture src = Random(30, 20, 6);
    Picture out(size_t(PictureStride(60)) * 40);
    EnlargePicture(src.data(), 30, 20, out.data(), 60, 40);
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 60; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(At(out, 60, x, y, k), At(src, 30, x / 2, y / 2, k)) << x << "," << y;
}

TEST(ResampleEnlarge, CopiesInsideOneSourcePixelAndBlendsAcrossBoundaries) {
    // 176 x 144 onto 208 x 176; X entries: 13 source pixels onto 11 target
    // ones repeat every 13 targets; target 0 lies inside source 0.
    const Picture src = Random(176, 144, 7);
    Picture out(size_t(PictureStride(208)) * 176);
    EnlargePicture(src.data(), 176, 144, out.data(), 208, 176);
    const auto xt = BuildResampleWeights(208, 176, false);
    const auto yt = BuildResampleWeights(176, 144, false);
    EXPECT_EQ(xt[0].w0, 4096);
    EXPECT_EQ(xt[0].w1, 0);
    EXPECT_EQ(At(out, 208, 0, 0, 0), At(src, 176, 0, 0, 0));
    // A target pixel that straddles: a weighted blend of its two neighbours,
    // so it lies between them.
    size_t straddles = 0;
    uint32_t srcX = 0;
    for (uint32_t tx = 0; tx < 208; ++tx) {
        if (xt[tx].w1 > 0 && yt[0].w1 == 0) {
            ++straddles;
            for (int k = 0; k < 3; ++k) {
                const int a = At(src, 176, srcX, 0, k), b = At(src, 176, srcX + 1, 0, k);
                const int v = At(out, 208, tx, 0, k);
                EXPECT_GE(v, std::min(a, b) - 1);
                EXPECT_LE(v, std::max(a, b));
            }
        }
        if (xt[tx].w1 != 0)
            ++srcX;
    }
    EXPECT_GT(straddles, 0u);
    // The uniform picture stays (almost) uniform: the weights of a blend add
    // up to one within truncation.
    const Picture grey = Filled(176, 144, 200);
    EnlargePicture(grey.data(), 176, 144, out.data(), 208, 176);
    for (uint32_t y = 0; y < 176; ++y)
        for (uint32_t i = 0; i < 208 * 3; ++i)
            ASSERT_GE(out[size_t(y) * PictureStride(208) + i], 198);
}

TEST(ResampleMixed, LargerOneWaySmallerTheOtherGivesTheTargetSize) {
    // 352 x 200 onto 320 x 240 and 160 x 120 onto 128 x 128: each direction
    // with its own routine. A uniform picture stays uniform within truncation;
    // exact-size buffers let a sanitiser catch any stray access.
    for (const auto& [sw, sh, tw, th] :
         std::vector<std::array<uint16_t, 4>>{{352, 200, 320, 240}, {160, 120, 128, 128}, {90, 300, 96, 64}}) {
        const Picture src = Filled(sw, sh, 120);
        Picture out(size_t(PictureStride(tw)) * th, 0);
        ResamplePicture(src.data(), sw, sh, out.data(), tw, th);
        for (uint32_t y = 0; y < th; ++y)
            for (uint32_t i = 0; i < uint32_t(tw) * 3; ++i) {
                const uint8_t v = out[size_t(y) * PictureStride(tw) + i];
                ASSERT_TRUE(v >= 117 && v <= 120) << sw << "x" << sh << " at " << i << "," << y << " = " << int(v);
            }
    }
    // Top and bottom halves stay apart when only the height grows.
    Picture halves = Filled(352, 200, 10);
    for (uint32_t y = 100; y < 200; ++y)
        std::fill_n(&halves[size_t(y) * PictureStride(352)], 352 * 3, 240);
    Picture out(320 * 240 * 3);
    ResamplePicture(halves.data(), 352, 200, out.data(), 320, 240);
    EXPECT_LE(At(out, 320, 100, 10, 1), 12);
    EXPECT_GE(At(out, 320, 100, 230, 1), 236);
}
