#pragma once
// Keeping a picture's proportions in a frame of another shape: the largest
// centred rectangle of the frame with the picture's display aspect ratio, and
// the scaled picture placed in it on black.

#include <cstdint>

namespace zem {

struct PictureRect {
    uint16_t x = 0; // from the left
    uint16_t y = 0; // from the top
    uint16_t width = 0;
    uint16_t height = 0;
};

// Where a picture of `sourceWidth` x `sourceHeight` pixels, each
// `pixelAspectN`:`pixelAspectD` wide to high, goes in a frame of
// `frameWidth` x `frameHeight`: the whole frame when the shapes agree to the
// pixel, else a centred rectangle touching two opposite sides.
PictureRect FitInside(uint16_t sourceWidth, uint16_t sourceHeight, uint32_t pixelAspectN, uint32_t pixelAspectD,
                      uint16_t frameWidth, uint16_t frameHeight);

// Fills the frame (24-bit, rows of PictureStride(frameWidth) bytes, bottom row
// first) with `black` and copies `inner` (a picture of rect's size, same
// layout) into `rect`.
void PlaceInside(const uint8_t* inner, const PictureRect& rect, uint8_t* frame, uint16_t frameWidth,
                 uint16_t frameHeight, uint8_t black);

} // namespace zem
