#pragma once
// Resamples one plane of 8- or 16-bit samples to another size in a single
// pass, each target value the average of the source area it covers, kept as
// a float: a 4K picture of 10-bit samples goes straight to the few thousand
// values the device's picture needs, with no full-size copy in between.

#include <cstdint>
#include <vector>

#include "PictureColour.h"

namespace zem::colour {

class PlaneShrink {
public:
    // Writes width * height values, top row first, into `out`. The target may
    // also be larger than the plane (each value then the share of the one or
    // two samples under it).
    void Run(const SamplePlane& plane, uint32_t width, uint32_t height, float* out);

private:
    // The source samples one target value covers and their shares.
    struct Span {
        uint32_t first = 0;
        uint32_t count = 0;
        uint32_t weights = 0; // index of the first share in m_*Weights
    };
    static void BuildSpans(uint32_t source, uint32_t target, std::vector<Span>& spans, std::vector<float>& weights);

    uint32_t m_sourceWidth = 0, m_targetWidth = 0;
    uint32_t m_sourceHeight = 0, m_targetHeight = 0;
    std::vector<Span> m_columns, m_rows;
    std::vector<float> m_columnWeights, m_rowWeights;
    std::vector<float> m_sums; // one target row's column sums, a value for each source column
};

} // namespace zem::colour
