// The grabber's own blend of attached subtitle pictures into BGR rows.
#include "OverlayBlend.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace zem::media {
namespace {

// A picture buffer carrying one overlay rectangle of `w` x `h` premultiplied
// BGRA pixels, all `bgra`, placed at (x, y).
GstBuffer* PictureWithOverlay(int x, int y, int w, int h, std::array<std::uint8_t, 4> bgra) {
    GstBuffer* pixels = gst_buffer_new_allocate(nullptr, static_cast<gsize>(w) * h * 4, nullptr);
    GstMapInfo map;
    gst_buffer_map(pixels, &map, GST_MAP_WRITE);
    for (int i = 0; i < w * h; ++i)
        std::memcpy(map.data + i * 4, bgra.data(), 4);
    gst_buffer_unmap(pixels, &map);
    gst_buffer_add_video_meta(pixels, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_OVERLAY_COMPOSITION_FORMAT_RGB, w, h);
    GstVideoOverlayRectangle* rectangle =
        gst_video_overlay_rectangle_new_raw(pixels, x, y, w, h, GST_VIDEO_OVERLAY_FORMAT_FLAG_PREMULTIPLIED_ALPHA);
    gst_buffer_unref(pixels);
    GstVideoOverlayComposition* composition = gst_video_overlay_composition_new(rectangle);
    gst_video_overlay_rectangle_unref(rectangle);
    GstBuffer* picture = gst_buffer_new();
    gst_buffer_add_video_overlay_composition_meta(picture, composition);
    gst_video_overlay_composition_unref(composition);
    return picture;
}

std::vector<std::uint8_t> Row(int width, std::uint8_t value) {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(width) * 3, value);
}

TEST(OverlayBlend, OpaqueReplacesClearKeepsAndHalfMixesOnlyUnderTheRectangle) {
    gst_init(nullptr, nullptr);
    const int width = 8;
    struct Case {
        std::array<std::uint8_t, 4> bgra; // premultiplied
        std::array<std::uint8_t, 3> expected;
    };
    // Picture row of grey 100 under pixels B=200 G=0 R=40.
    const Case cases[] = {
        {{200, 0, 40, 255}, {200, 0, 40}},
        {{0, 0, 0, 0}, {100, 100, 100}},
        // 128 of 255: 100 * 127 / 255 = 49.8 -> 50 kept of the picture.
        {{100, 0, 20, 128}, {150, 50, 70}},
    };
    for (const Case& c : cases) {
        GstBuffer* picture = PictureWithOverlay(2, 3, 4, 2, c.bgra);
        const PictureOverlay overlay(picture, width, 6);
        gst_buffer_unref(picture); // the overlay keeps what it needs
        ASSERT_FALSE(overlay.empty());
        for (int rowFromTop = 0; rowFromTop < 6; ++rowFromTop) {
            std::vector<std::uint8_t> row = Row(width, 100);
            overlay.BlendRow(rowFromTop, row.data());
            for (int x = 0; x < width; ++x) {
                const bool under = rowFromTop >= 3 && rowFromTop < 5 && x >= 2 && x < 6;
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_EQ(row[x * 3 + ch], under ? c.expected[ch] : 100)
                        << "row " << rowFromTop << " x " << x << " channel " << ch << " alpha " << int(c.bgra[3]);
            }
        }
    }
}

TEST(OverlayBlend, RectanglesReachingOutsideThePictureAreClipped) {
    gst_init(nullptr, nullptr);
    // 6 x 4 rectangle at (-2, -1) over a 3 x 2 picture: covers x 0..2 of both rows.
    GstBuffer* picture = PictureWithOverlay(-2, -1, 6, 4, {255, 255, 255, 255});
    const PictureOverlay overlay(picture, 3, 2);
    gst_buffer_unref(picture);
    for (int rowFromTop = -1; rowFromTop <= 2; ++rowFromTop) {
        std::vector<std::uint8_t> row = Row(3, 7);
        overlay.BlendRow(rowFromTop, row.data());
        const bool inside = rowFromTop >= 0 && rowFromTop < 2;
        EXPECT_EQ(row, Row(3, inside ? 255 : 7)) << "row " << rowFromTop;
    }
    // Wholly outside: nothing to blend.
    GstBuffer* outside = PictureWithOverlay(10, 10, 4, 4, {255, 255, 255, 255});
    EXPECT_TRUE(PictureOverlay(outside, 3, 2).empty());
    gst_buffer_unref(outside);
    GstBuffer* plain = gst_buffer_new();
    EXPECT_TRUE(PictureOverlay(plain, 3, 2).empty());
    gst_buffer_unref(plain);
}

TEST(OverlayBlend, AWholePictureStoredBottomUpGetsTheSameRows) {
    gst_init(nullptr, nullptr);
    const int width = 5, height = 4, stride = 16; // rows padded to 4 bytes
    GstBuffer* picture = PictureWithOverlay(1, 0, 2, 1, {9, 8, 7, 255});
    const PictureOverlay overlay(picture, width, height);
    gst_buffer_unref(picture);
    std::vector<std::uint8_t> whole(static_cast<std::size_t>(stride) * height, 50);
    overlay.BlendBottomUp(whole.data(), stride);
    for (int rowFromTop = 0; rowFromTop < height; ++rowFromTop) {
        std::vector<std::uint8_t> expected = Row(width, 50);
        overlay.BlendRow(rowFromTop, expected.data());
        const std::uint8_t* stored = whole.data() + static_cast<std::size_t>(height - 1 - rowFromTop) * stride;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), stored)) << "row " << rowFromTop;
        // The padding is never written.
        EXPECT_EQ(stored[width * 3], 50);
    }
    const std::uint8_t* top = whole.data() + static_cast<std::size_t>(height - 1) * stride;
    EXPECT_EQ(top[3], 9);
    EXPECT_EQ(top[5], 7);
}

} // namespace
} // namespace zem::media
