#pragma once
// Box shrinking fed one source row at a time, so a caller can make each row
// (colour conversion, clamping) just before it is added and never store the
// whole source picture. Gives the same bytes as ShrinkPicture. A YUV row can
// also go straight into the sums: converted, clamped and added pixel by pixel.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Resample.h"
#include "YuvRows.h"

namespace zem {

// Groups of three bytes (one pixel) all below `low` become `low`, all above
// `high` become `high`: what the frame encoder's clamp does to each BGR pixel.
struct PixelClamp {
    uint8_t low = 0;
    uint8_t high = 255;
};

class RowShrinker {
public:
    // How the rows of one picture come: BGR (AddRow) or YUV (AddYuvRow).
    enum class RowForm { Bgr, Yuv };

    // Prepares for one picture. Requires a target no larger than the source in
    // either direction and no size 0. Tables and buffers are kept from the last
    // picture while the sizes and the row form stay the same.
    void Start(uint16_t sourceWidth, uint16_t sourceHeight, uint16_t targetWidth, uint16_t targetHeight,
               RowForm form = RowForm::Bgr);

    // All target rows are written: later source rows are not needed.
    bool Done() const { return m_rowsDone >= m_targetHeight || m_sourceRow >= m_sourceHeight; }

    // The next source row (sourceWidth * 3 bytes), rows in memory order. A target
    // row it completes is written into `target`, which holds the whole target
    // picture (PictureStride(targetWidth) bytes a row).
    void AddRow(const uint8_t* row, uint8_t* target);

    // The same for a row still in YUV: `luma` holds sourceWidth luma values,
    // `chroma` the chroma terms of its pixels. Each pixel becomes B, G and R as
    // libyuv's conversion makes it, is clamped by `clamp` and added.
    void AddYuvRow(const uint8_t* luma, const YuvChromaTerms& chroma, PixelClamp clamp, uint8_t* target);

private:
    // A run of full-weight source pixels of one target cell, and the pixel after
    // it when that one straddles the cell's end.
    struct Segment {
        uint32_t cell = 0;
        uint32_t begin = 0;
        uint32_t end = 0;
        uint32_t w0 = 0; // the straddling pixel's share in this cell
        uint32_t w1 = 0; // its share in the next cell; 0: no straddling pixel
    };

    void BuildSegments(const std::vector<ResampleWeight>& xTable);
    // The row weight of the next source row; false when no row is wanted.
    bool NextRowWeight(ResampleWeight& weight);
    void FinishTargetRow(uint8_t* target);
    // Sums the finished column sums across into one target row.
    template <size_t Step>
    void SumAcross(uint8_t* out);

    uint16_t m_sourceWidth = 0;
    uint16_t m_sourceHeight = 0;
    uint16_t m_targetWidth = 0;
    uint16_t m_targetHeight = 0;
    // Bytes from one target row to the next.
    uint32_t m_targetStride = 0;
    // Bgr: the sums of a pixel's B, G and R lie side by side; Yuv: in three
    // planes of sourceWidth sums each (B, then G, then R) until a target row
    // is finished, when they are laid side by side for the across step.
    RowForm m_form = RowForm::Bgr;
    uint32_t m_fullX = 0;
    uint32_t m_fullY = 0;
    // Plain column sums fit 16 bits while a cell spans at most 255 source rows.
    bool m_narrowSums = true;
    std::vector<ResampleWeight> m_yTable;
    std::vector<Segment> m_segments;

    // Per picture.
    uint32_t m_sourceRow = 0;
    uint32_t m_rowsDone = 0;
    std::vector<uint16_t> m_plainNarrow; // full-weight rows of the current cell, summed down each column
    std::vector<uint32_t> m_plainWide;   // the same when 16 bits could overflow
    std::vector<uint32_t> m_weighted;    // straddling rows' shares in the current cell
    std::vector<uint32_t> m_next;        // their shares in the next cell
    std::vector<uint32_t> m_column;      // finished column sums of one target row
};

} // namespace zem
