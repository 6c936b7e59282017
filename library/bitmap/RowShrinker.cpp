#include "RowShrinker.h"

#include <algorithm>

namespace zem {

namespace {

// The largest number of rows whose bytes a 16-bit sum holds for certain.
constexpr uint32_t kNarrowSumRows = 0xFFFFu / 0xFFu;
// Above this height a straddling row's next share can round to 0, and the
// shrink then carries on summing into the same cell.
constexpr uint32_t kExactShareHeight = uint32_t(kWeightOne);

// These loops run for every source row of every frame; the processor's widest
// vectors are worth a second copy of each.
#if defined(__x86_64__) && defined(__GNUC__)
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
void AddStraddling(uint32_t* __restrict weighted, uint32_t* __restrict next, const uint8_t* __restrict row,
                   uint32_t w0, uint32_t w1, size_t count) {
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

} // namespace

void RowShrinker::Start(uint16_t sourceWidth, uint16_t sourceHeight, uint16_t targetWidth, uint16_t targetHeight) {
    const size_t values = size_t(sourceWidth) * 3;
    const bool sameSizes = sourceWidth == m_sourceWidth && sourceHeight == m_sourceHeight &&
                           targetWidth == m_targetWidth && targetHeight == m_targetHeight;
    m_sourceRow = 0;
    m_rowsDone = 0;
    if (!sameSizes) {
        m_sourceWidth = sourceWidth;
        m_sourceHeight = sourceHeight;
        m_targetWidth = targetWidth;
        m_targetHeight = targetHeight;
        m_fullX = uint32_t(int32_t(targetWidth) * kWeightOne / int32_t(sourceWidth));
        m_fullY = uint32_t(int32_t(targetHeight) * kWeightOne / int32_t(sourceHeight));
        m_yTable = BuildResampleWeights(sourceHeight, targetHeight, true);
        BuildSegments(BuildResampleWeights(sourceWidth, targetWidth, true));
        // A cell spans at most ceil(source / target) rows, one more with a straddling row.
        m_narrowSums = sourceHeight <= kExactShareHeight && sourceHeight / targetHeight + 2 <= kNarrowSumRows;
        m_plainNarrow.assign(m_narrowSums ? values : 0, 0);
        m_plainWide.assign(m_narrowSums ? 0 : values, 0u);
        m_weighted.assign(values, 0u);
        m_next.assign(values, 0u);
        m_column.assign(values, 0u);
        m_cellPlain.assign((size_t(targetWidth) + 1) * 3, 0u);
        m_cellWeighted.assign((size_t(targetWidth) + 1) * 3, 0u);
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

void RowShrinker::AddRow(const uint8_t* row, uint8_t* target) {
    if (Done())
        return;
    const size_t values = size_t(m_sourceWidth) * 3;
    const ResampleWeight weight = m_yTable[m_sourceRow++];
    if (weight.w1 > 0)
        AddStraddling(m_weighted.data(), m_next.data(), row, uint32_t(weight.w0), uint32_t(weight.w1), values);
    else if (m_narrowSums)
        AddPlainNarrow(m_plainNarrow.data(), row, values);
    else
        AddPlainWide(m_plainWide.data(), row, values);
    if (weight.w1 != 0)
        FinishTargetRow(target);
}

void RowShrinker::FinishTargetRow(uint8_t* target) {
    // Sums modulo 2^32 do not depend on their order, and the true sums stay
    // below 2^32, so adding down the columns first and across afterwards gives
    // the bytes of weighting every source byte one by one.
    const size_t values = size_t(m_sourceWidth) * 3;
    if (m_narrowSums)
        FinishNarrow(m_column.data(), m_plainNarrow.data(), m_weighted.data(), m_fullY, values);
    else
        FinishWide(m_column.data(), m_plainWide.data(), m_weighted.data(), m_fullY, values);

    std::fill(m_cellPlain.begin(), m_cellPlain.end(), 0u);
    std::fill(m_cellWeighted.begin(), m_cellWeighted.end(), 0u);
    const uint32_t* column = m_column.data();
    for (const Segment& s : m_segments) {
        uint32_t b = 0, g = 0, r = 0;
        for (const uint32_t* v = column + size_t(s.begin) * 3; v < column + size_t(s.end) * 3; v += 3) {
            b += v[0];
            g += v[1];
            r += v[2];
        }
        uint32_t* plain = &m_cellPlain[size_t(s.cell) * 3];
        plain[0] += b;
        plain[1] += g;
        plain[2] += r;
        if (s.w1 != 0) {
            const uint32_t* v = column + size_t(s.end) * 3;
            uint32_t* weighted = &m_cellWeighted[size_t(s.cell) * 3];
            for (int k = 0; k < 3; ++k) {
                weighted[k] += s.w0 * v[k];
                weighted[3 + k] += s.w1 * v[k];
            }
        }
    }
    uint8_t* out = target + size_t(m_rowsDone) * PictureStride(m_targetWidth);
    for (size_t i = 0; i < size_t(m_targetWidth) * 3; ++i)
        out[i] = uint8_t((m_fullX * m_cellPlain[i] + m_cellWeighted[i]) >> 24);
    ++m_rowsDone;

    m_weighted.swap(m_next);
    std::fill(m_next.begin(), m_next.end(), 0u);
}

} // namespace zem
