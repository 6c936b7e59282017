#include "WidePicture.h"

namespace zem::colour {

namespace {

bool Readable(const SamplePlane& plane) {
    return plane.data && plane.width && plane.height && (plane.bytes == 1 || plane.bytes == 2) &&
           (plane.step == 1 || plane.step == 2);
}

} // namespace

bool WidePicture::Convert(const WidePlanes& planes, uint32_t width, uint32_t height, uint8_t* out, ptrdiff_t stride,
                          int pixelBytes, bool bottomUp) {
    if (!width || !height || !Readable(planes.y) || !Readable(planes.u) || !Readable(planes.v))
        return false;
    const size_t size = size_t(width) * height;
    m_y.resize(size);
    m_cb.resize(size);
    m_cr.resize(size);
    // Chroma planes of fewer samples are spread over the same target pixels.
    m_lumaShrink.Run(planes.y, width, height, m_y.data());
    m_cbShrink.Run(planes.u, width, height, m_cb.data());
    m_crShrink.Run(planes.v, width, height, m_cr.data());
    m_mapping.Prepare(planes.colour);
    for (uint32_t row = 0; row < height; ++row) {
        const size_t from = size_t(row) * width;
        uint8_t* line = out + ptrdiff_t(bottomUp ? height - 1 - row : row) * stride;
        m_mapping.Map(m_y.data() + from, m_cb.data() + from, m_cr.data() + from, width, line, pixelBytes);
    }
    return true;
}

} // namespace zem::colour
