#pragma once
// A picture that needs the colour work (more than 8 bits, BT.2020, HDR),
// made into the B, G, R picture of the size asked for: its planes shrunk in
// one pass from their own samples, then the colour work on the few pixels
// left. The output pictures and the preview both go through here, so they
// show the same colours.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PictureColour.h"
#include "PlaneShrink.h"
#include "SdrMapping.h"

namespace zem::colour {

class WidePicture {
public:
    // Writes width * height pixels of `pixelBytes` (3: B, G, R; 4: B, G, R,
    // 255) into `out`, rows `stride` bytes apart, the bottom row first when
    // `bottomUp`. False when the planes cannot be read (sizes of 0).
    bool Convert(const WidePlanes& planes, uint32_t width, uint32_t height, uint8_t* out, ptrdiff_t stride,
                 int pixelBytes, bool bottomUp);

private:
    PlaneShrink m_lumaShrink;
    PlaneShrink m_cbShrink;
    PlaneShrink m_crShrink;
    SdrMapping m_mapping;
    std::vector<float> m_y, m_cb, m_cr;
};

} // namespace zem::colour
