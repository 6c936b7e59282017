#pragma once
// What a decoded picture's samples mean: how Y'CbCr becomes R'G'B' (matrix and
// range), which primaries those are, which curve encodes the light, and for
// HDR films the light levels they were made for. The device shows BT.709
// primaries on an SDR curve, so a wide-gamut or HDR picture needs more than
// the matrix: taken as SDR BT.709 it comes out pale and turned in hue.

#include <cstddef>
#include <cstdint>

namespace zem::colour {

enum class Matrix { Bt601, Bt709, Bt2020 };
enum class Range { Limited, Full };
// BT.601's primaries lie close enough to BT.709's that SD pictures are shown
// as they are; only BT.2020's need converting.
enum class Primaries { Bt709, Bt2020 };
enum class Transfer { Sdr, Pq, Hlg };

// The film's own light levels in nits (cd/m²); 0 where it does not say.
struct LightLevels {
    double maxContent = 0;      // brightest pixel of the film (MaxCLL)
    double maxFrameAverage = 0; // brightest picture on average (MaxFALL)
    double masteringPeak = 0;   // the mastering display's peak

    bool operator==(const LightLevels&) const = default;
};

struct PictureColour {
    Matrix matrix = Matrix::Bt601;
    Range range = Range::Limited;
    Primaries primaries = Primaries::Bt709;
    Transfer transfer = Transfer::Sdr;
    // Significant bits of a sample; 16 for formats that keep fewer bits at the
    // top of 16-bit words (P010), whose codes then scale like 16-bit ones.
    int bits = 8;
    LightLevels light;

    bool operator==(const PictureColour&) const = default;
};

// HDR reference white: the level SDR white is placed at (BT.2408).
inline constexpr double kReferenceWhiteNits = 203.0;
// HLG's nominal display peak, for which its system gamma is 1.2.
inline constexpr double kHlgPeakNits = 1000.0;
// The brightest level PQ codes.
inline constexpr double kPqPeakNits = 10000.0;
// The peak assumed for a PQ film that does not give its light levels.
inline constexpr double kAssumedPqPeakNits = 1000.0;

// Whether the picture needs the colour work below: more than 8 bits, BT.2020
// primaries or an HDR curve. Everything else keeps the plain 8-bit path.
bool NeedsColourWork(const PictureColour& colour);

// The brightest level the tone curve has to fit below SDR white: the film's
// brightest pixel, else its mastering display's peak, else what its curve
// is made for.
double SourcePeakNits(const PictureColour& colour);

// A plane of samples in memory, top row first.
struct SamplePlane {
    const uint8_t* data = nullptr;
    ptrdiff_t stride = 0; // bytes from one row to the next
    uint32_t width = 0;   // samples a row
    uint32_t height = 0;
    uint8_t bytes = 1; // 1: bytes; 2: 16-bit words in the machine's order
    uint8_t step = 1;  // samples from one to the next (2: U and V interleaved)
};

// A decoded picture's three planes and what they mean.
struct WidePlanes {
    SamplePlane y;
    SamplePlane u;
    SamplePlane v;
    PictureColour colour;
};

} // namespace zem::colour
