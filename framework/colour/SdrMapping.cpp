#include "SdrMapping.h"

#include <algorithm>
#include <cmath>

namespace zem::colour {

namespace {

// Table sizes: enough that straight lines between entries stay well under
// one step of the 8-bit result.
constexpr int kCurveEntries = 16384;
constexpr int kEncodeEntries = 65536;

struct Luma {
    double kr, kb;
};
Luma LumaOf(Matrix matrix) {
    switch (matrix) {
    case Matrix::Bt709:
        return {0.2126, 0.0722};
    case Matrix::Bt2020:
        return {0.2627, 0.0593};
    case Matrix::Bt601:
        break;
    }
    return {0.299, 0.114};
}

// PQ (SMPTE ST 2084): code value <-> nits.
constexpr double kPqM1 = 2610.0 / 16384;
constexpr double kPqM2 = 2523.0 / 4096 * 128;
constexpr double kPqC1 = 3424.0 / 4096;
constexpr double kPqC2 = 2413.0 / 4096 * 32;
constexpr double kPqC3 = 2392.0 / 4096 * 32;

double PqToNits(double code) {
    const double p = std::pow(std::clamp(code, 0.0, 1.0), 1 / kPqM2);
    return kPqPeakNits * std::pow(std::max(p - kPqC1, 0.0) / (kPqC2 - kPqC3 * p), 1 / kPqM1);
}
double NitsToPq(double nits) {
    const double y = std::pow(std::clamp(nits / kPqPeakNits, 0.0, 1.0), kPqM1);
    return std::pow((kPqC1 + kPqC2 * y) / (1 + kPqC3 * y), kPqM2);
}

// HLG (BT.2100): code value -> scene light 0..1.
double HlgToScene(double code) {
    constexpr double a = 0.17883277, b = 1 - 4 * a;
    const double c = 0.5 - a * std::log(4 * a);
    code = std::clamp(code, 0.0, 1.0);
    return code <= 0.5 ? code * code / 3 : (std::exp((code - c) / a) + b) / 12;
}
// HLG's system gamma for its nominal peak.
constexpr double kHlgGamma = 1.2;

// sRGB's curve, both ways: what the device's SDR picture is shown with.
double SrgbToLight(double code) {
    return code <= 0.04045 ? code / 12.92 : std::pow((code + 0.055) / 1.055, 2.4);
}
double LightToSrgb(double light) {
    return light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
}

// BT.2390's EETF: source light up to `sourcePeak` nits into SDR white (the
// reference white's nits) with the knee it places, in PQ's code space.
double RollOff(double nits, double sourcePeak) {
    const double sourceTop = NitsToPq(sourcePeak);
    const double e1 = NitsToPq(nits) / sourceTop;
    const double maxLum = NitsToPq(kReferenceWhiteNits) / sourceTop;
    const double knee = 1.5 * maxLum - 0.5;
    double e2 = e1;
    if (e1 >= 1) {
        e2 = maxLum;
    } else if (e1 > knee) {
        const double t = (e1 - knee) / (1 - knee);
        const double t2 = t * t, t3 = t2 * t;
        e2 = (2 * t3 - 3 * t2 + 1) * knee + (t3 - 2 * t2 + t) * (1 - knee) + (-2 * t3 + 3 * t2) * maxLum;
    }
    return PqToNits(e2 * sourceTop);
}

using Matrix3d = std::array<double, 9>;

Matrix3d Multiply(const Matrix3d& a, const Matrix3d& b) {
    Matrix3d m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                m[r * 3 + c] += a[r * 3 + k] * b[k * 3 + c];
    return m;
}

Matrix3d Inverse(const Matrix3d& m) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    return {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
            (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
            (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
}

// Linear RGB of the given primaries (x, y of red, green, blue) and D65 white to XYZ.
Matrix3d RgbToXyz(const std::array<double, 6>& xy) {
    constexpr double wx = 0.3127, wy = 0.3290;
    Matrix3d p{};
    for (int k = 0; k < 3; ++k) {
        const double x = xy[k * 2], y = xy[k * 2 + 1];
        p[0 * 3 + k] = x / y;
        p[1 * 3 + k] = 1;
        p[2 * 3 + k] = (1 - x - y) / y;
    }
    const Matrix3d inv = Inverse(p);
    const double white[3] = {wx / wy, 1, (1 - wx - wy) / wy};
    for (int k = 0; k < 3; ++k) {
        const double s = inv[k * 3] * white[0] + inv[k * 3 + 1] * white[1] + inv[k * 3 + 2] * white[2];
        for (int r = 0; r < 3; ++r)
            p[r * 3 + k] *= s;
    }
    return p;
}

constexpr std::array<double, 6> kBt709Primaries = {0.640, 0.330, 0.300, 0.600, 0.150, 0.060};
constexpr std::array<double, 6> kBt2020Primaries = {0.708, 0.292, 0.170, 0.797, 0.131, 0.046};

// BT.709's luminance weights, for bringing colours inside its gamut.
constexpr float kLumR = 0.2126f, kLumG = 0.7152f, kLumB = 0.0722f;
// BT.2020's, for HLG's OOTF on the scene light.
constexpr float kSceneLumR = 0.2627f, kSceneLumG = 0.6780f, kSceneLumB = 0.0593f;

template <typename Table, typename Curve>
void Sample(Table& table, float top, Curve&& curve) {
    table.values.resize(kCurveEntries);
    for (int i = 0; i < kCurveEntries; ++i)
        table.values[i] = float(curve(double(top) * i / (kCurveEntries - 1)));
    table.scale = float(kCurveEntries - 1) / top;
}

inline uint8_t Byte(float v) {
    return uint8_t(std::clamp(v * 255.0f + 0.5f, 0.0f, 255.0f));
}

} // namespace

void SdrMapping::Prepare(const PictureColour& colour) {
    if (m_prepared && colour == m_colour)
        return;
    m_colour = colour;
    m_prepared = true;

    const double scale = std::ldexp(1.0, colour.bits - 8);
    if (colour.range == Range::Full) {
        const double top = std::ldexp(1.0, colour.bits) - 1;
        m_yOffset = 0;
        m_yScale = float(1 / top);
        m_cOffset = float(128 * scale);
        m_cScale = float(1 / top);
    } else {
        m_yOffset = float(16 * scale);
        m_yScale = float(1 / (219 * scale));
        m_cOffset = float(128 * scale);
        m_cScale = float(1 / (224 * scale));
    }
    const Luma luma = LumaOf(colour.matrix);
    const double kg = 1 - luma.kr - luma.kb;
    m_crToR = float(2 * (1 - luma.kr));
    m_cbToB = float(2 * (1 - luma.kb));
    m_cbToG = float(2 * luma.kb * (1 - luma.kb) / kg);
    m_crToG = float(2 * luma.kr * (1 - luma.kr) / kg);

    m_toBt709 = colour.primaries == Primaries::Bt2020;
    m_toneMap = colour.transfer != Transfer::Sdr;
    m_linearWork = m_toBt709 || m_toneMap;
    if (!m_linearWork)
        return;

    switch (colour.transfer) {
    case Transfer::Pq:
        Sample(m_linearise, 1, [](double code) { return PqToNits(code) / kReferenceWhiteNits; });
        break;
    case Transfer::Hlg:
        Sample(m_linearise, 1, HlgToScene);
        // The OOTF: display light = peak * Ys^(gamma - 1) * E, with the scene
        // luminance Ys looked up by its square root (steep near black).
        Sample(m_hlgSystemGain, 1,
               [](double root) { return kHlgPeakNits / kReferenceWhiteNits * std::pow(root * root, kHlgGamma - 1); });
        break;
    case Transfer::Sdr:
        // Only the primaries change: the light comes and goes on the same curve.
        Sample(m_linearise, 1, SrgbToLight);
        break;
    }
    if (m_toBt709) {
        const Matrix3d m = Multiply(Inverse(RgbToXyz(kBt709Primaries)), RgbToXyz(kBt2020Primaries));
        for (int k = 0; k < 9; ++k)
            m_primaries[k] = float(m[k]);
    }
    if (m_toneMap) {
        const double peak = SourcePeakNits(colour);
        m_toneTop = float(peak / kReferenceWhiteNits);
        Sample(m_tone, m_toneTop,
               [peak](double relative) { return RollOff(relative * kReferenceWhiteNits, peak) / kReferenceWhiteNits; });
    }
    m_encode.resize(kEncodeEntries);
    for (int i = 0; i < kEncodeEntries; ++i)
        m_encode[i] = Byte(float(LightToSrgb(double(i) / (kEncodeEntries - 1))));
}

void SdrMapping::Map(const float* y, const float* cb, const float* cr, uint32_t count, uint8_t* out,
                     int pixelBytes) const {
    const bool hlg = m_colour.transfer == Transfer::Hlg;
    for (uint32_t i = 0; i < count; ++i, out += pixelBytes) {
        const float yn = (y[i] - m_yOffset) * m_yScale;
        const float u = (cb[i] - m_cOffset) * m_cScale;
        const float v = (cr[i] - m_cOffset) * m_cScale;
        float r = yn + m_crToR * v;
        float g = yn - m_cbToG * u - m_crToG * v;
        float b = yn + m_cbToB * u;
        if (pixelBytes == 4)
            out[3] = 255;
        if (!m_linearWork) {
            out[0] = Byte(b);
            out[1] = Byte(g);
            out[2] = Byte(r);
            continue;
        }
        r = m_linearise.At(r);
        g = m_linearise.At(g);
        b = m_linearise.At(b);
        if (hlg) {
            const float scene = kSceneLumR * r + kSceneLumG * g + kSceneLumB * b;
            const float gain = m_hlgSystemGain.At(std::sqrt(std::max(scene, 0.0f)));
            r *= gain;
            g *= gain;
            b *= gain;
        }
        if (m_toBt709) {
            const auto& m = m_primaries;
            const float r709 = m[0] * r + m[1] * g + m[2] * b;
            const float g709 = m[3] * r + m[4] * g + m[5] * b;
            const float b709 = m[6] * r + m[7] * g + m[8] * b;
            r = r709;
            g = g709;
            b = b709;
        }
        // Outside BT.709: towards the grey of the same luminance, as far as
        // needed, so the hue stays.
        const float lum = std::max(kLumR * r + kLumG * g + kLumB * b, 0.0f);
        const float low = std::min({r, g, b});
        if (low < 0) {
            const float keep = lum / (lum - low);
            r = lum + keep * (r - lum);
            g = lum + keep * (g - lum);
            b = lum + keep * (b - lum);
        }
        float high = std::max({r, g, b});
        if (m_toneMap && high > 0) {
            // The brightest channel takes the roll-off; the others keep their
            // share of it.
            const float gain = (high >= m_toneTop ? 1.0f : m_tone.At(high)) / high;
            r *= gain;
            g *= gain;
            b *= gain;
            high *= gain;
        }
        if (high > 1 && lum < 1) {
            const float keep = (1 - lum) / (high - lum);
            r = lum + keep * (r - lum);
            g = lum + keep * (g - lum);
            b = lum + keep * (b - lum);
        }
        auto encode = [&](float light) {
            return m_encode[size_t(std::clamp(light, 0.0f, 1.0f) * (kEncodeEntries - 1) + 0.5f)];
        };
        out[0] = encode(b);
        out[1] = encode(g);
        out[2] = encode(r);
    }
}

} // namespace zem::colour
