#pragma once
// A decoded YUV picture read as 24-bit BGR without making the BGR rows: the
// per-pixel shares of the two chroma values, worked out once a chroma row, and
// the fixed-point arithmetic of libyuv's conversion, so a consumer (the row
// shrinker) turns luma into B, G and R where it needs them and gets libyuv's
// bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zem {

// The conversions decoded pictures use: studio range with the SD or HD
// matrix, or full range (JPEG's).
enum class YuvMatrix { Bt601, Bt709, FullRange };

// A picture's planes in memory, top row first. U and V interleave (NV12,
// NV21) when chromaStep is 2; then u and v point one byte apart.
struct YuvPlanes {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    ptrdiff_t yStride = 0;
    ptrdiff_t uStride = 0;
    ptrdiff_t vStride = 0;
    int chromaStep = 1;
    int chromaShiftX = 0; // 1: two pixels side by side share a chroma sample
    int chromaShiftY = 0; // 1: two rows share a chroma row
    YuvMatrix matrix = YuvMatrix::Bt601;
};

// libyuv works out a channel as (luma part + chroma part) / 64, rounded
// down and saturated to 0..255, with a luma part from -1160 to 17836 and chroma
// parts from -16384 to 16383. Both parts are kept here with offsets that make
// them and their sum fit 16 unsigned bits (so 16 pixels go in one 256-bit
// register); the sum's offset is a whole number of 64s, taken out after the
// division.
inline constexpr uint16_t kChromaTermOffset = 16384;
inline constexpr uint16_t kChannelOffset = 282; // in 1/64: 18048
inline constexpr uint16_t kLumaTermOffset = kChannelOffset * 64 - kChromaTermOffset;

// The chroma's parts of B, G and R for each pixel of a row (plus
// kChromaTermOffset), and the luma's scale and offset.
class YuvChromaTerms {
public:
    // Works out the terms for chroma row `chromaRow` of `planes`, `width` pixels.
    void Fill(const YuvPlanes& planes, uint32_t chromaRow, uint32_t width);

    uint16_t yScale = 0;
    uint16_t yBias = 0; // the conversion's own luma offset plus kLumaTermOffset
    std::vector<uint16_t> b;
    std::vector<uint16_t> g;
    std::vector<uint16_t> r;
};

// One pixel's luma part (plus kLumaTermOffset): what the chroma terms are added to.
inline uint16_t YuvLumaPart(uint8_t y, uint16_t yScale, uint16_t yBias) {
    // Written as the high half of a 16 by 16 bit product, which vectorises as one.
    const uint16_t wide = uint16_t(y * 0x0101u);
    return uint16_t(uint16_t((uint32_t(wide) * yScale) >> 16) + yBias);
}

// A channel from the sum of the two parts: libyuv's shift and saturation.
inline uint16_t YuvChannel(uint16_t sum) {
    const uint16_t v = uint16_t(sum >> 6);
    const uint16_t low = v < kChannelOffset ? kChannelOffset : v;
    return uint16_t((low > kChannelOffset + 255 ? kChannelOffset + 255 : low) - kChannelOffset);
}

} // namespace zem
