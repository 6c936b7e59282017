#include "YuvRows.h"

namespace zem {

namespace {

// libyuv's fixed-point coefficients (6 fractional bits for the chroma,
// 16 for the luma scale) of the three conversions.
struct YuvCoefficients {
    int32_t ub, ug, vg, vr, yScale, yBias;
};
constexpr YuvCoefficients kBt601 = {128, 25, 52, 102, 18997, -1160};
constexpr YuvCoefficients kBt709 = {128, 14, 34, 115, 18997, -1160};
constexpr YuvCoefficients kFullRange = {113, 22, 46, 90, 16320, 32};
constexpr int32_t kChromaZero = 128;

const YuvCoefficients& CoefficientsOf(YuvMatrix matrix) {
    switch (matrix) {
    case YuvMatrix::Bt709:
        return kBt709;
    case YuvMatrix::FullRange:
        return kFullRange;
    case YuvMatrix::Bt601:
        break;
    }
    return kBt601;
}

// The terms of `samples` chroma samples, each written for the `1 << Shift`
// pixels that share it; `Step` bytes from one sample to the next. Separate
// copies for each form, so each loop vectorises; every product fits 16 bits.
template <int Shift, int Step>
inline __attribute__((always_inline)) void FillTerms(const YuvCoefficients& c, const uint8_t* __restrict u,
                                                     const uint8_t* __restrict v, uint16_t* __restrict b,
                                                     uint16_t* __restrict g, uint16_t* __restrict r, size_t samples) {
    for (size_t s = 0; s < samples; ++s) {
        const int16_t ui = int16_t(u[s * Step] - kChromaZero);
        const int16_t vi = int16_t(v[s * Step] - kChromaZero);
        const uint16_t tb = uint16_t(int16_t(c.ub) * ui + kChromaTermOffset);
        const uint16_t tg = uint16_t(kChromaTermOffset - (int16_t(c.ug) * ui + int16_t(c.vg) * vi));
        const uint16_t tr = uint16_t(int16_t(c.vr) * vi + kChromaTermOffset);
        for (int k = 0; k < (1 << Shift); ++k) {
            b[(s << Shift) + k] = tb;
            g[(s << Shift) + k] = tg;
            r[(s << Shift) + k] = tr;
        }
    }
}

// One clone set a form (compilers clone no templates).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define ZEM_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define ZEM_WIDE_VECTORS
#endif
ZEM_WIDE_VECTORS
void FillFull(const YuvCoefficients& c, const uint8_t* u, const uint8_t* v, uint16_t* b, uint16_t* g, uint16_t* r,
              size_t samples) {
    FillTerms<0, 1>(c, u, v, b, g, r, samples);
}

ZEM_WIDE_VECTORS
void FillFullPaired(const YuvCoefficients& c, const uint8_t* u, const uint8_t* v, uint16_t* b, uint16_t* g, uint16_t* r,
                    size_t samples) {
    FillTerms<0, 2>(c, u, v, b, g, r, samples);
}

ZEM_WIDE_VECTORS
void FillHalf(const YuvCoefficients& c, const uint8_t* u, const uint8_t* v, uint16_t* b, uint16_t* g, uint16_t* r,
              size_t samples) {
    FillTerms<1, 1>(c, u, v, b, g, r, samples);
}

ZEM_WIDE_VECTORS
void FillHalfPaired(const YuvCoefficients& c, const uint8_t* u, const uint8_t* v, uint16_t* b, uint16_t* g, uint16_t* r,
                    size_t samples) {
    FillTerms<1, 2>(c, u, v, b, g, r, samples);
}

} // namespace

void YuvChromaTerms::Fill(const YuvPlanes& planes, uint32_t chromaRow, uint32_t width) {
    const YuvCoefficients& c = CoefficientsOf(planes.matrix);
    yScale = uint16_t(c.yScale);
    yBias = uint16_t(c.yBias + kLumaTermOffset);
    // Room for whole chroma samples: an odd width's last sample covers one pixel more.
    const int shift = planes.chromaShiftX;
    const size_t samples = (size_t(width) + (size_t(1) << shift) - 1) >> shift;
    b.resize(samples << shift);
    g.resize(samples << shift);
    r.resize(samples << shift);
    const uint8_t* u = planes.u + ptrdiff_t(chromaRow) * planes.uStride;
    const uint8_t* v = planes.v + ptrdiff_t(chromaRow) * planes.vStride;
    if (shift == 0 && planes.chromaStep == 1)
        FillFull(c, u, v, b.data(), g.data(), r.data(), samples);
    else if (shift == 0)
        FillFullPaired(c, u, v, b.data(), g.data(), r.data(), samples);
    else if (planes.chromaStep == 1)
        FillHalf(c, u, v, b.data(), g.data(), r.data(), samples);
    else
        FillHalfPaired(c, u, v, b.data(), g.data(), r.data(), samples);
}

} // namespace zem
