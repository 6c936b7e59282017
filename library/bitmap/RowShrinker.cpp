#include "RowShrinker.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zem {

namespace {

// The largest number of rows whose bytes a 16-bit sum holds for certain.
constexpr uint32_t kNarrowSumRows = 0xFFFFu / 0xFFu;
// The column sums are read four at a time for three; the last read ends one past them.
constexpr size_t kColumnSpare = 1;
// Column sums a pixel takes once planar sums are finished: B, G, R and one unused.
constexpr size_t kPlanarPixelSums = 4;
// Above this height a straddling row's next share can round to 0, and the
// shrink then carries on summing into the same cell.
constexpr uint32_t kExactShareHeight = uint32_t(kWeightOne);

// These loops run for every source row of every frame; the processor's widest
// vectors are worth a second copy of each. Not under ThreadSanitizer: the
// copies are chosen by a resolver that runs before its runtime is up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define ZEM_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define ZEM_WIDE_VECTORS
#endif

ZEM_WIDE_VECTORS
void AddPlainNarrow(uint16_t* __restrict sums, const uint8_t* __restrict row, size_t count) {
    for (size_t i = 0; i < count; ++i)
        sums[i] = uint16_t(sums[i] + row[i]);
}

ZEM_WIDE_VECTORS
void AddPlainWide(uint32_t* __restrict sums, const uint8_t* __restrict row, size_t count) {
    for (size_t i = 0; i < count; ++i)
        sums[i] += row[i];
}

ZEM_WIDE_VECTORS
void AddStraddling(uint32_t* __restrict weighted, uint32_t* __restrict next, const uint8_t* __restrict row, uint32_t w0,
                   uint32_t w1, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        weighted[i] += w0 * row[i];
        next[i] += w1 * row[i];
    }
}

ZEM_WIDE_VECTORS
void FinishNarrow(uint32_t* __restrict column, uint16_t* __restrict plain, const uint32_t* __restrict weighted,
                  uint32_t fullY, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        column[i] = fullY * plain[i] + weighted[i];
        plain[i] = 0;
    }
}

ZEM_WIDE_VECTORS
void FinishWide(uint32_t* __restrict column, uint32_t* __restrict plain, const uint32_t* __restrict weighted,
                uint32_t fullY, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        column[i] = fullY * plain[i] + weighted[i];
        plain[i] = 0;
    }
}

// The finished column sums of planar sums (B, G and R planes of `width`),
// written pixel by pixel, four values a pixel (the fourth unused), as the
// across step reads them.
template <typename Sum>
inline __attribute__((always_inline)) void FinishPlanar(uint32_t* __restrict column, Sum* __restrict plain,
                                                        const uint32_t* __restrict weighted, uint32_t fullY,
                                                        size_t width) {
    const Sum* __restrict pb = plain;
    const Sum* __restrict pg = plain + width;
    const Sum* __restrict pr = plain + 2 * width;
    const uint32_t* __restrict wb = weighted;
    const uint32_t* __restrict wg = weighted + width;
    const uint32_t* __restrict wr = weighted + 2 * width;
    for (size_t x = 0; x < width; ++x) {
        column[4 * x] = fullY * pb[x] + wb[x];
        column[4 * x + 1] = fullY * pg[x] + wg[x];
        column[4 * x + 2] = fullY * pr[x] + wr[x];
        column[4 * x + 3] = 0;
    }
    std::fill(plain, plain + 3 * width, Sum(0));
}

// One copy a sum width; the clones are plain functions (compilers clone no templates).
ZEM_WIDE_VECTORS
void FinishPlanarNarrow(uint32_t* column, uint16_t* plain, const uint32_t* weighted, uint32_t fullY, size_t width) {
    FinishPlanar(column, plain, weighted, fullY, width);
}

ZEM_WIDE_VECTORS
void FinishPlanarWide(uint32_t* column, uint32_t* plain, const uint32_t* weighted, uint32_t fullY, size_t width) {
    FinishPlanar(column, plain, weighted, fullY, width);
}

// One pixel from luma and its chroma terms to clamped B, G and R.
struct YuvPixelRule {
    uint16_t yScale;
    uint16_t yBias;
    uint16_t low;
    uint16_t high;
};

inline __attribute__((always_inline)) void YuvPixel(uint8_t y, uint16_t cb, uint16_t cg, uint16_t cr,
                                                    const YuvPixelRule& rule, uint16_t& b, uint16_t& g, uint16_t& r) {
    const uint16_t luma = YuvLumaPart(y, rule.yScale, rule.yBias);
    b = YuvChannel(uint16_t(luma + cb));
    g = YuvChannel(uint16_t(luma + cg));
    r = YuvChannel(uint16_t(luma + cr));
    const bool low = b < rule.low && g < rule.low && r < rule.low;
    const bool high = b > rule.high && g > rule.high && r > rule.high;
    b = low ? rule.low : high ? rule.high : b;
    g = low ? rule.low : high ? rule.high : g;
    r = low ? rule.low : high ? rule.high : r;
}

// The chroma terms of one row, and where its pixels' three sums go.
struct YuvRowIn {
    const uint8_t* __restrict luma;
    const uint16_t* __restrict cb;
    const uint16_t* __restrict cg;
    const uint16_t* __restrict cr;
};

ZEM_WIDE_VECTORS
void AddYuvNarrow(uint16_t* __restrict sb, uint16_t* __restrict sg, uint16_t* __restrict sr, YuvRowIn in,
                  YuvPixelRule rule, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint16_t b, g, r;
        YuvPixel(in.luma[i], in.cb[i], in.cg[i], in.cr[i], rule, b, g, r);
        sb[i] = uint16_t(sb[i] + b);
        sg[i] = uint16_t(sg[i] + g);
        sr[i] = uint16_t(sr[i] + r);
    }
}

ZEM_WIDE_VECTORS
void AddYuvWide(uint32_t* __restrict sb, uint32_t* __restrict sg, uint32_t* __restrict sr, YuvRowIn in,
                YuvPixelRule rule, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint16_t b, g, r;
        YuvPixel(in.luma[i], in.cb[i], in.cg[i], in.cr[i], rule, b, g, r);
        sb[i] += b;
        sg[i] += g;
        sr[i] += r;
    }
}

ZEM_WIDE_VECTORS
void AddYuvStraddling(uint32_t* __restrict weighted, uint32_t* __restrict next, YuvRowIn in, YuvPixelRule rule,
                      uint32_t w0, uint32_t w1, size_t count) {
    uint32_t* __restrict wb = weighted;
    uint32_t* __restrict wg = weighted + count;
    uint32_t* __restrict wr = weighted + 2 * count;
    uint32_t* __restrict nb = next;
    uint32_t* __restrict ng = next + count;
    uint32_t* __restrict nr = next + 2 * count;
    for (size_t i = 0; i < count; ++i) {
        uint16_t b, g, r;
        YuvPixel(in.luma[i], in.cb[i], in.cg[i], in.cr[i], rule, b, g, r);
        wb[i] += w0 * b;
        wg[i] += w0 * g;
        wr[i] += w0 * r;
        nb[i] += w1 * b;
        ng[i] += w1 * g;
        nr[i] += w1 * r;
    }
}

} // namespace

void RowShrinker::Start(uint16_t sourceWidth, uint16_t sourceHeight, uint16_t targetWidth, uint16_t targetHeight,
                        RowForm form) {
    const size_t values = size_t(sourceWidth) * 3;
    const bool sameSizes = sourceWidth == m_sourceWidth && sourceHeight == m_sourceHeight &&
                           targetWidth == m_targetWidth && targetHeight == m_targetHeight;
    m_sourceRow = 0;
    m_rowsDone = 0;
    m_form = form;
    if (!sameSizes) {
        m_sourceWidth = sourceWidth;
        m_sourceHeight = sourceHeight;
        m_targetWidth = targetWidth;
        m_targetHeight = targetHeight;
        m_targetStride = PictureStride(targetWidth);
        m_fullX = uint32_t(int32_t(targetWidth) * kWeightOne / int32_t(sourceWidth));
        m_fullY = uint32_t(int32_t(targetHeight) * kWeightOne / int32_t(sourceHeight));
        m_yTable = BuildResampleWeights(sourceHeight, targetHeight, true);
        BuildSegments(BuildResampleWeights(sourceWidth, targetWidth, true));
        // A cell spans at most ceil(source / target) rows, one more with a straddling row.
        m_narrowSums = sourceHeight <= kExactShareHeight && uint32_t(sourceHeight / targetHeight) + 2 <= kNarrowSumRows;
        m_plainNarrow.assign(m_narrowSums ? values : 0, 0);
        m_plainWide.assign(m_narrowSums ? 0 : values, 0u);
        m_weighted.assign(values, 0u);
        m_next.assign(values, 0u);
        m_column.assign(std::max(values + kColumnSpare, size_t(sourceWidth) * kPlanarPixelSums), 0u);
        return;
    }
    // A picture left unfinished (a reader gave up) must not leak into the next.
    std::fill(m_plainNarrow.begin(), m_plainNarrow.end(), uint16_t(0));
    std::fill(m_plainWide.begin(), m_plainWide.end(), 0u);
    std::fill(m_weighted.begin(), m_weighted.end(), 0u);
    std::fill(m_next.begin(), m_next.end(), 0u);
}

void RowShrinker::BuildSegments(const std::vector<ResampleWeight>& xTable) {
    // Walks the table as the shrink's cell loop does: a pixel with a positive
    // next share straddles, any other non-zero next share ends the cell.
    m_segments.clear();
    uint32_t cell = 0;
    uint32_t begin = 0;
    for (uint32_t x = 0; x < m_sourceWidth && cell < m_targetWidth; ++x) {
        const int32_t w1 = xTable[x].w1;
        if (w1 > 0) {
            m_segments.push_back({cell, begin, x, uint32_t(xTable[x].w0), uint32_t(w1)});
        } else if (w1 != 0) {
            m_segments.push_back({cell, begin, x + 1, 0u, 0u});
        } else {
            continue;
        }
        ++cell;
        begin = x + 1;
    }
    if (cell < m_targetWidth && begin < m_sourceWidth)
        m_segments.push_back({cell, begin, m_sourceWidth, 0u, 0u});
}

bool RowShrinker::NextRowWeight(ResampleWeight& weight) {
    if (Done())
        return false;
    weight = m_yTable[m_sourceRow++];
    return true;
}

void RowShrinker::AddRow(const uint8_t* row, uint8_t* target) {
    ResampleWeight weight;
    if (!NextRowWeight(weight))
        return;
    const size_t values = size_t(m_sourceWidth) * 3;
    if (weight.w1 > 0)
        AddStraddling(m_weighted.data(), m_next.data(), row, uint32_t(weight.w0), uint32_t(weight.w1), values);
    else if (m_narrowSums)
        AddPlainNarrow(m_plainNarrow.data(), row, values);
    else
        AddPlainWide(m_plainWide.data(), row, values);
    if (weight.w1 != 0)
        FinishTargetRow(target);
}

void RowShrinker::AddYuvRow(const uint8_t* luma, const YuvChromaTerms& chroma, PixelClamp clamp, uint8_t* target) {
    ResampleWeight weight;
    if (!NextRowWeight(weight))
        return;
    const size_t width = m_sourceWidth;
    const YuvRowIn in{luma, chroma.b.data(), chroma.g.data(), chroma.r.data()};
    const YuvPixelRule rule{chroma.yScale, chroma.yBias, clamp.low, clamp.high};
    if (weight.w1 > 0) {
        AddYuvStraddling(m_weighted.data(), m_next.data(), in, rule, uint32_t(weight.w0), uint32_t(weight.w1), width);
    } else if (m_narrowSums) {
        uint16_t* sums = m_plainNarrow.data();
        AddYuvNarrow(sums, sums + width, sums + 2 * width, in, rule, width);
    } else {
        uint32_t* sums = m_plainWide.data();
        AddYuvWide(sums, sums + width, sums + 2 * width, in, rule, width);
    }
    if (weight.w1 != 0)
        FinishTargetRow(target);
}

void RowShrinker::FinishTargetRow(uint8_t* target) {
    // Sums modulo 2^32 do not depend on their order, and the true sums stay
    // below 2^32, so adding down the columns first and across afterwards gives
    // the bytes of weighting every source byte one by one.
    const size_t values = size_t(m_sourceWidth) * 3;
    if (m_form == RowForm::Yuv && m_narrowSums)
        FinishPlanarNarrow(m_column.data(), m_plainNarrow.data(), m_weighted.data(), m_fullY, m_sourceWidth);
    else if (m_form == RowForm::Yuv)
        FinishPlanarWide(m_column.data(), m_plainWide.data(), m_weighted.data(), m_fullY, m_sourceWidth);
    else if (m_narrowSums)
        FinishNarrow(m_column.data(), m_plainNarrow.data(), m_weighted.data(), m_fullY, values);
    else
        FinishWide(m_column.data(), m_plainWide.data(), m_weighted.data(), m_fullY, values);
    uint8_t* out = target + size_t(m_rowsDone) * m_targetStride;
    if (m_form == RowForm::Yuv)
        SumAcross<kPlanarPixelSums>(out);
    else
        SumAcross<3>(out);
    ++m_rowsDone;

    m_weighted.swap(m_next);
    std::fill(m_next.begin(), m_next.end(), 0u);
}

// Across: each cell is one run of full-weight columns plus the shares of the
// columns straddling its two ends; the share of the cell after is carried along.
// A pixel's sums lie `Step` values apart.
template <size_t Step>
void RowShrinker::SumAcross(uint8_t* out) {
    const uint32_t* column = m_column.data();
    const uint32_t fullX = m_fullX;
    uint32_t carry[3] = {0, 0, 0};
    uint32_t cellsDone = 0;
    for (const Segment s : m_segments) {
        uint32_t plain[4] = {0, 0, 0, 0};
#if defined(__SSE2__)
        // A pixel's three sums and the next one's first in one register: one
        // load and one addition a pixel (the fourth lane is not used).
        __m128i sums = _mm_setzero_si128();
        for (const uint32_t* v = column + size_t(s.begin) * Step; v < column + size_t(s.end) * Step; v += Step)
            sums = _mm_add_epi32(sums, _mm_loadu_si128(reinterpret_cast<const __m128i*>(v)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plain), sums);
#else
        for (const uint32_t* v = column + size_t(s.begin) * Step; v < column + size_t(s.end) * Step; v += Step) {
            plain[0] += v[0];
            plain[1] += v[1];
            plain[2] += v[2];
        }
#endif
        const uint32_t* edge = column + size_t(s.end) * Step;
        uint8_t* cell = out + size_t(s.cell) * 3;
        for (int k = 0; k < 3; ++k) {
            uint32_t weighted = carry[k];
            carry[k] = 0;
            if (s.w1 != 0) {
                weighted += s.w0 * edge[k];
                carry[k] = s.w1 * edge[k];
            }
            cell[k] = uint8_t((fullX * plain[k] + weighted) >> 24);
        }
        cellsDone = s.cell + 1;
    }
    // Cells no column reached: the last straddle's share, then nothing.
    for (uint32_t c = cellsDone; c < m_targetWidth; ++c)
        for (int k = 0; k < 3; ++k) {
            out[size_t(c) * 3 + k] = uint8_t(carry[k] >> 24);
            carry[k] = 0;
        }
}

} // namespace zem
