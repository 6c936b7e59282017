#pragma once
// Integer-only resampling of 24-bit pictures (three bytes a pixel, rows padded
// to a multiple of four bytes). Weights are 12-bit fixed point: 4096 is one.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zem {

struct ResampleWeight {
    int32_t w0 = 0; // share of the current cell
    int32_t w1 = 0; // share of the next cell; -1 when the element ends exactly on a cell boundary
};

inline constexpr int32_t kWeightOne = 4096;

// Bytes one row of `width` 24-bit pixels occupies.
constexpr uint32_t PictureStride(uint32_t width) {
    return (width * 3u + 3u) & ~3u;
}

// Maps a line of n elements onto a line of m. With `shrink` the table is
// indexed by source position (n = source, m = target); otherwise by target
// position (n = target, m = source).
std::vector<ResampleWeight> BuildResampleWeights(uint32_t n, uint32_t m, bool shrink);

// Target not larger than the source in either direction: each target pixel is
// the (truncated) weighted mean of the source area that falls on it.
void ShrinkPicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                   uint16_t targetWidth, uint16_t targetHeight);

// Works on a source row (all its stored bytes) in place just before the row
// is first read, while it is in the cache anyway.
using RowFilter = void (*)(uint8_t* row, size_t length);

// ShrinkPicture that passes every source row it reads through `filter` first.
void ShrinkPictureFiltered(uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                           uint16_t targetWidth, uint16_t targetHeight, RowFilter filter);

// Target not smaller than the source in either direction: each target pixel
// blends up to four neighbouring source pixels.
void EnlargePicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                    uint16_t targetWidth, uint16_t targetHeight);

// Any size to any size: shrinks or enlarges each direction with the routine
// that fits it. Target larger in one direction and smaller in the other goes
// through an intermediate picture one direction at a time.
void ResamplePicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                     uint16_t targetWidth, uint16_t targetHeight);

} // namespace zem
