#pragma once
// A 24-bit picture with the few operations the frame encoder needs: creation
// from a pixel array, quarter turns and JPEG coding into memory.
//
// Pixels are stored as the decoder hands them over: blue, green, red, bottom
// row first, rows padded to a multiple of four bytes.

#include <cstdint>
#include <vector>

namespace zem {

class CxImage {
public:
    // Copies `height` rows of `width` pixels from `pixels`, each row
    // `rowBytes` long, keeping their storage order (bottom row first).
    bool CreateFromArray(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t rowBytes);

    // Quarter turn counter-clockwise: the right edge becomes the top edge.
    void RotateLeft() { QuarterTurn(true); }
    // Quarter turn clockwise: the left edge becomes the top edge.
    void RotateRight() { QuarterTurn(false); }

    // Codes the picture as one baseline JFIF file (96 dpi, luminance sampled
    // 2x1, standard tables scaled for `quality`, 1 to 100) into `out`,
    // replacing its content. The buffer's capacity is reused from call to call.
    bool Encode(int quality, std::vector<uint8_t>& out) const;

    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    uint32_t GetRowBytes() const { return m_rowBytes; }
    const uint8_t* GetBits() const { return m_bits.data(); }
    bool IsValid() const { return m_width != 0 && m_height != 0; }

private:
    void QuarterTurn(bool left);

    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint32_t m_rowBytes = 0;
    std::vector<uint8_t> m_bits;
    mutable std::vector<uint8_t> m_scratch; // the turned picture during a rotation
};

} // namespace zem
