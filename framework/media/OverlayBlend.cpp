#include "OverlayBlend.h"

#include <algorithm>
#include <cstring>

namespace zem::media {

PictureOverlay::PictureOverlay(GstBuffer* buffer, int pictureWidth, int pictureHeight)
    : m_width(pictureWidth), m_height(pictureHeight) {
    GstVideoOverlayCompositionMeta* meta = buffer ? gst_buffer_get_video_overlay_composition_meta(buffer) : nullptr;
    if (!meta || !meta->overlay)
        return;
    const guint count = gst_video_overlay_composition_n_rectangles(meta->overlay);
    for (guint i = 0; i < count; ++i) {
        GstVideoOverlayRectangle* rectangle = gst_video_overlay_composition_get_rectangle(meta->overlay, i);
        gint x = 0, y = 0;
        guint width = 0, height = 0;
        if (!rectangle || !gst_video_overlay_rectangle_get_render_rectangle(rectangle, &x, &y, &width, &height))
            continue;
        // Scaled to the render size and with any global alpha applied to the
        // pixels; the rectangle keeps the result for the next pictures.
        GstBuffer* pixels =
            gst_video_overlay_rectangle_get_pixels_argb(rectangle, GST_VIDEO_OVERLAY_FORMAT_FLAG_PREMULTIPLIED_ALPHA);
        if (!pixels)
            continue;
        const GstVideoMeta* layout = gst_buffer_get_video_meta(pixels);
        // Overlay pixels are B, G, R, A in memory on this (little-endian) machine.
        if (layout && layout->format != GST_VIDEO_FORMAT_BGRA)
            continue;
        Rect r;
        r.stride = layout ? layout->stride[0] : static_cast<int>(width) * 4;
        const int left = std::max(0, x);
        const int top = std::max(0, y);
        const int right = std::min<int>(pictureWidth, x + static_cast<int>(width));
        const int bottom = std::min<int>(pictureHeight, y + static_cast<int>(height));
        if (right <= left || bottom <= top)
            continue;
        r.x = left;
        r.y = top;
        r.width = right - left;
        r.height = bottom - top;
        r.skipX = left - x;
        r.skipY = top - y;
        r.pixels = gst_buffer_ref(pixels);
        if (!gst_buffer_map(r.pixels, &r.map, GST_MAP_READ)) {
            gst_buffer_unref(r.pixels);
            continue;
        }
        if (static_cast<std::size_t>(r.skipY + r.height - 1) * r.stride +
                static_cast<std::size_t>(r.skipX + r.width) * 4 >
            r.map.size) {
            gst_buffer_unmap(r.pixels, &r.map);
            gst_buffer_unref(r.pixels);
            continue;
        }
        m_rects.push_back(r);
    }
}

PictureOverlay::~PictureOverlay() {
    for (Rect& r : m_rects) {
        gst_buffer_unmap(r.pixels, &r.map);
        gst_buffer_unref(r.pixels);
    }
}

namespace {

// dst = src + dst * (1 - alpha), src premultiplied.
inline void BlendSpan(const std::uint8_t* src, std::uint8_t* dst, int pixels) {
    // Text covers little of its rectangle: clear pixels are passed over four
    // at a time by their alpha bytes alone.
    constexpr std::uint64_t kAlphas = 0xFF000000FF000000ull;
    for (int i = 0; i < pixels; ++i, src += 4, dst += 3) {
        if ((i & 3) == 0 && i + 4 <= pixels) {
            std::uint64_t a, b;
            std::memcpy(&a, src, 8);
            std::memcpy(&b, src + 8, 8);
            if (((a | b) & kAlphas) == 0) {
                i += 3;
                src += 12;
                dst += 9;
                continue;
            }
        }
        const unsigned keep = 255u - src[3];
        for (int c = 0; c < 3; ++c) {
            // dst * keep / 255, rounded, without a division.
            const unsigned scaled = dst[c] * keep + 128;
            dst[c] = static_cast<std::uint8_t>(src[c] + ((scaled + (scaled >> 8)) >> 8));
        }
    }
}

} // namespace

void PictureOverlay::BlendRectRow(const Rect& r, int rowFromTop, std::uint8_t* bgr) {
    const std::uint8_t* src =
        r.map.data + static_cast<std::size_t>(r.skipY + rowFromTop - r.y) * r.stride + r.skipX * 4;
    BlendSpan(src, bgr + static_cast<std::size_t>(r.x) * 3, r.width);
}

void PictureOverlay::BlendRow(int rowFromTop, std::uint8_t* bgr) const {
    for (const Rect& r : m_rects) {
        if (rowFromTop >= r.y && rowFromTop < r.y + r.height)
            BlendRectRow(r, rowFromTop, bgr);
    }
}

void PictureOverlay::BlendBottomUp(std::uint8_t* bgr, int stride) const {
    for (const Rect& r : m_rects)
        for (int row = r.y; row < r.y + r.height; ++row)
            BlendRectRow(r, row, bgr + static_cast<std::size_t>(m_height - 1 - row) * stride);
}

void PictureOverlay::BlendScaledBottomUp(std::uint8_t* bgr, std::ptrdiff_t stride, int width, int height) const {
    if (width <= 0 || height <= 0)
        return;
    // The picture's pixels [edge(i), edge(i + 1)) make target pixel i.
    auto edge = [](int i, int source, int target) {
        return static_cast<int>(static_cast<std::int64_t>(i) * source / target);
    };
    for (const Rect& r : m_rects) {
        const int firstRow = static_cast<int>(static_cast<std::int64_t>(r.y) * height / m_height);
        const int firstColumn = static_cast<int>(static_cast<std::int64_t>(r.x) * width / m_width);
        for (int ty = firstRow; ty < height && edge(ty, m_height, height) < r.y + r.height; ++ty) {
            const int top = std::max(edge(ty, m_height, height), r.y);
            const int bottom = std::min(std::max(edge(ty + 1, m_height, height), top + 1), r.y + r.height);
            std::uint8_t* row = bgr + static_cast<std::ptrdiff_t>(height - 1 - ty) * stride;
            for (int tx = firstColumn; tx < width && edge(tx, m_width, width) < r.x + r.width; ++tx) {
                const int left = std::max(edge(tx, m_width, width), r.x);
                const int right = std::min(std::max(edge(tx + 1, m_width, width), left + 1), r.x + r.width);
                // The whole cell counts: text pixels outside the rectangle are clear.
                const int cell = std::max(1, (edge(ty + 1, m_height, height) - edge(ty, m_height, height))) *
                                 std::max(1, (edge(tx + 1, m_width, width) - edge(tx, m_width, width)));
                unsigned sums[4] = {0, 0, 0, 0};
                for (int y = top; y < bottom; ++y) {
                    const std::uint8_t* src =
                        r.map.data + static_cast<std::size_t>(r.skipY + y - r.y) * r.stride + (r.skipX + left - r.x) * 4;
                    for (int x = left; x < right; ++x, src += 4)
                        for (int c = 0; c < 4; ++c)
                            sums[c] += src[c];
                }
                std::uint8_t average[4];
                for (int c = 0; c < 4; ++c)
                    average[c] = static_cast<std::uint8_t>((sums[c] + cell / 2) / cell);
                BlendSpan(average, row + static_cast<std::ptrdiff_t>(tx) * 3, 1);
            }
        }
    }
}

namespace {

GstPadProbeReturn OnAllocationQuery(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (query && GST_QUERY_TYPE(query) == GST_QUERY_ALLOCATION &&
        !gst_query_find_allocation_meta(query, GST_VIDEO_OVERLAY_COMPOSITION_META_API_TYPE, nullptr))
        gst_query_add_allocation_meta(query, GST_VIDEO_OVERLAY_COMPOSITION_META_API_TYPE, nullptr);
    return GST_PAD_PROBE_OK;
}

} // namespace

void AcceptOverlayMeta(GstPad* pad) {
    // Both before the query goes on and after it comes back answered: the sink
    // at the end may answer nothing, and an answer may be rebuilt on the way.
    if (pad)
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM, &OnAllocationQuery, nullptr, nullptr);
}

} // namespace zem::media
