#pragma once
// Turns Y'CbCr values of any picture the colour work takes into the 8-bit
// B, G, R the device shows: BT.709 primaries on the sRGB curve, SDR white at
// the top. HDR light is made linear (PQ's EOTF; HLG's inverse OETF and its
// OOTF), placed so reference white (203 nits) is SDR white, taken from
// BT.2020 to BT.709, brought inside BT.709 without turning its hue (towards
// the grey of the same luminance), and highlights above reference white are
// rolled off with BT.2390's EETF on the brightest channel, which keeps each
// colour's hue and saturation.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "PictureColour.h"

namespace zem::colour {

class SdrMapping {
public:
    // Makes the tables for pictures of this colour; cheap when it has not
    // changed since the last call.
    void Prepare(const PictureColour& colour);

    // `count` pixels from the Y, Cb and Cr values (codes as the planes hold
    // them) to B, G, R at `out`, `pixelBytes` (3 or 4) bytes apart; a fourth
    // byte is set to 255.
    void Map(const float* y, const float* cb, const float* cr, uint32_t count, uint8_t* out, int pixelBytes) const;

private:
    using Matrix3 = std::array<float, 9>;
    // A curve sampled evenly over [0, top], finely enough to be read at the
    // nearest sample; inline, as it runs several times a pixel.
    struct Table {
        std::vector<float> values; // samples at 0, 1/(n-1) * top, ..., top
        float scale = 0;           // (n - 1) / top
        float At(float x) const {
            const float position = std::clamp(x * scale, 0.0f, float(values.size() - 1));
            return values[size_t(position + 0.5f)];
        }
    };

    PictureColour m_colour;
    bool m_prepared = false;
    // Code to normalised Y' and C.
    float m_yOffset = 0, m_yScale = 1, m_cOffset = 0, m_cScale = 1;
    // Normalised Y'CbCr to R'G'B'.
    float m_crToR = 0, m_cbToG = 0, m_crToG = 0, m_cbToB = 0;
    // Plain SDR BT.709 with more bits: R'G'B' straight to bytes.
    bool m_linearWork = false;
    Table m_linearise;     // R' -> light relative to reference white (scene light for HLG)
    Table m_hlgSystemGain; // sqrt(scene luminance) -> OOTF gain relative to reference white
    bool m_toBt709 = false;
    Matrix3 m_primaries{}; // BT.2020 -> BT.709, linear
    bool m_toneMap = false;
    Table m_tone;                  // brightest channel -> that channel after the roll-off
    float m_toneTop = 1;           // the source's peak relative to reference white
    std::vector<uint8_t> m_encode; // light 0..1 in 65536 steps -> sRGB byte
};

} // namespace zem::colour
