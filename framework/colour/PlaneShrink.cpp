#include "PlaneShrink.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zem::colour {

namespace {

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define ZEM_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define ZEM_WIDE_VECTORS
#endif

// Adds `weight` times one source row into the column sums. One plain
// function per sample form, so each loop vectorises.
template <typename Sample, int Step>
inline __attribute__((always_inline)) void AddRowOf(const uint8_t* row, uint32_t width, float weight,
                                                    float* __restrict sums) {
    const Sample* samples = reinterpret_cast<const Sample*>(row);
    for (uint32_t x = 0; x < width; ++x)
        sums[x] += weight * float(samples[size_t(x) * Step]);
}

ZEM_WIDE_VECTORS
void AddBytes(const uint8_t* row, uint32_t width, float weight, float* sums) {
    AddRowOf<uint8_t, 1>(row, width, weight, sums);
}
ZEM_WIDE_VECTORS
void AddWords(const uint8_t* row, uint32_t width, float weight, float* sums) {
    AddRowOf<uint16_t, 1>(row, width, weight, sums);
}
ZEM_WIDE_VECTORS
void AddBytePairs(const uint8_t* row, uint32_t width, float weight, float* sums) {
    AddRowOf<uint8_t, 2>(row, width, weight, sums);
}
ZEM_WIDE_VECTORS
void AddWordPairs(const uint8_t* row, uint32_t width, float weight, float* sums) {
    AddRowOf<uint16_t, 2>(row, width, weight, sums);
}

using AddRowFn = void (*)(const uint8_t*, uint32_t, float, float*);

AddRowFn AddRowFor(const SamplePlane& plane) {
    if (plane.bytes == 2)
        return plane.step == 2 ? AddWordPairs : AddWords;
    return plane.step == 2 ? AddBytePairs : AddBytes;
}

} // namespace

void PlaneShrink::BuildSpans(uint32_t source, uint32_t target, std::vector<Span>& spans, std::vector<float>& weights) {
    spans.assign(target, Span{});
    weights.clear();
    // Target value i covers [i, i + 1) * scale of the source; each source
    // sample j covers [j, j + 1). Shares are the overlaps, summing to 1.
    const double scale = double(source) / target;
    for (uint32_t i = 0; i < target; ++i) {
        const double begin = i * scale;
        const double end = std::min(double(source), (i + 1) * scale);
        Span& span = spans[i];
        span.first = std::min(uint32_t(begin), source - 1);
        span.weights = uint32_t(weights.size());
        for (uint32_t j = span.first; j < source && j < end; ++j) {
            const double overlap = std::min(end, double(j) + 1) - std::max(begin, double(j));
            if (overlap <= 0)
                continue;
            weights.push_back(float(overlap / (end - begin)));
            ++span.count;
        }
    }
}

void PlaneShrink::Run(const SamplePlane& plane, uint32_t width, uint32_t height, float* out) {
    if (plane.width != m_sourceWidth || width != m_targetWidth) {
        BuildSpans(plane.width, width, m_columns, m_columnWeights);
        m_sourceWidth = plane.width;
        m_targetWidth = width;
    }
    if (plane.height != m_sourceHeight || height != m_targetHeight) {
        BuildSpans(plane.height, height, m_rows, m_rowWeights);
        m_sourceHeight = plane.height;
        m_targetHeight = height;
    }
    m_sums.resize(plane.width);
    const AddRowFn addRow = AddRowFor(plane);
    for (uint32_t ty = 0; ty < height; ++ty) {
        // Down the columns first: each source row is read once a target row
        // (twice where it straddles two), as it lies in memory.
        std::fill(m_sums.begin(), m_sums.end(), 0.0f);
        const Span& rows = m_rows[ty];
        for (uint32_t k = 0; k < rows.count; ++k)
            addRow(plane.data + ptrdiff_t(rows.first + k) * plane.stride, plane.width, m_rowWeights[rows.weights + k],
                   m_sums.data());
        float* target = out + size_t(ty) * width;
        for (uint32_t tx = 0; tx < width; ++tx) {
            const Span& columns = m_columns[tx];
            const float* sums = m_sums.data() + columns.first;
            const float* shares = m_columnWeights.data() + columns.weights;
            float value = 0;
            for (uint32_t k = 0; k < columns.count; ++k)
                value += shares[k] * sums[k];
            target[tx] = value;
        }
    }
}

} // namespace zem::colour
