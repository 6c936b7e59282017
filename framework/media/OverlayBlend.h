#pragma once
// Subtitles reach the sample grabber as an overlay composition attached to each
// picture instead of being blended into the full-size decoded picture by the
// subtitle renderer: that blend costs a full-picture copy and a format round
// trip on the decoder's thread. The grabber blends the few rows the text covers
// into the BGR rows it converts anyway, on its own thread.
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdint>
#include <vector>

namespace zem::media {

// The text rectangles of one picture, ready to blend into BGR rows.
class PictureOverlay {
public:
    // Reads the composition attached to buffer, if any, for a picture of the
    // given size; the buffer only needs to live during the constructor.
    PictureOverlay(GstBuffer* buffer, int pictureWidth, int pictureHeight);
    ~PictureOverlay();
    PictureOverlay(const PictureOverlay&) = delete;
    PictureOverlay& operator=(const PictureOverlay&) = delete;

    bool empty() const { return m_rects.empty(); }
    // Blends into one BGR row, `rowFromTop` counted from the picture's top.
    void BlendRow(int rowFromTop, std::uint8_t* bgr) const;
    // Blends into a whole BGR picture stored bottom row first.
    void BlendBottomUp(std::uint8_t* bgr, int stride) const;
    // Blends into a BGR picture made from this one at another size (bottom
    // row first): each of its pixels takes the average of the text pixels
    // its area of the picture holds.
    void BlendScaledBottomUp(std::uint8_t* bgr, std::ptrdiff_t stride, int width, int height) const;

private:
    struct Rect {
        GstBuffer* pixels = nullptr; // premultiplied BGRA, owned by the mapping below
        GstMapInfo map{};
        int stride = 0;
        int x = 0, y = 0, width = 0, height = 0; // in picture pixels, clipped to it
        int skipX = 0, skipY = 0;                // clipped-off pixels at the left and top
    };
    // One row of one rectangle into the BGR row of the same picture row.
    static void BlendRectRow(const Rect& r, int rowFromTop, std::uint8_t* bgr);

    int m_width;
    int m_height;
    std::vector<Rect> m_rects;
};

// Makes the allocation answer that reaches the subtitle renderer through `pad`
// say the composition meta is understood, so the renderer attaches it.
void AcceptOverlayMeta(GstPad* pad);

} // namespace zem::media
