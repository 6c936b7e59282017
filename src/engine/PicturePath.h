#pragma once
// From a decoded picture to the target-sized picture the JPEG coder takes:
// colour conversion, clamping of the extremes and resampling, row by row where
// that gives the same bytes, so a full-size BGR copy is only made when it
// must be (enlarging, or rows that do not start on a whole pixel group). A YUV
// picture being shrunk goes from its planes into the shrink's sums in one
// pass, without BGR rows; one that needs the colour work (more than 8 bits,
// BT.2020, HDR) is shrunk from its own samples and then converted.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PictureColour.h"
#include "RowShrinker.h"
#include "WidePicture.h"
#include "YuvRows.h"

namespace zem {

// One decoded picture whose rows are turned into 24-bit BGR only when asked.
class PictureRowReader {
public:
    // Row `row` counted in the order of the BGR picture (bottom row first),
    // width * 3 bytes into `bgr`. False when the picture cannot be converted.
    virtual bool ReadRow(uint32_t row, uint8_t* bgr) = 0;
    // The picture's YUV planes, converted with the arithmetic ReadRow uses;
    // false when only ReadRow reads it.
    virtual bool Planes(YuvPlanes& /*planes*/) { return false; }
    // The planes of a picture that needs the colour work (more than 8 bits,
    // BT.2020, HDR); ReadRow and Planes do not read those.
    virtual bool WidePlanes(colour::WidePlanes& /*planes*/) { return false; }
    // Draws the picture's subtitles into the BGR picture made from it.
    virtual void DrawOverlay(uint8_t* /*bgr*/, ptrdiff_t /*stride*/, uint16_t /*width*/, uint16_t /*height*/) {}

protected:
    ~PictureRowReader() = default;
};

class PicturePath {
public:
    // Clamps and resamples the source to `target` (PictureStride(targetWidth)
    // bytes a row), with the bytes the clamp of the whole BGR picture and
    // ScalePicture give. False when a row could not be read.
    bool Scale(PictureRowReader& rows, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
               uint16_t targetWidth, uint16_t targetHeight);

private:
    bool ScaleByRows(PictureRowReader& rows, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                     uint16_t targetWidth, uint16_t targetHeight);
    void ScaleYuv(const YuvPlanes& planes, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                  uint16_t targetWidth, uint16_t targetHeight);
    void ScaleWide(PictureRowReader& rows, const colour::WidePlanes& planes, uint8_t* target, uint16_t targetWidth,
                   uint16_t targetHeight);
    bool ScaleWhole(PictureRowReader& rows, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                    uint16_t targetWidth, uint16_t targetHeight);

    colour::WidePicture m_wide;
    RowShrinker m_shrinker;
    YuvChromaTerms m_chroma;
    std::vector<uint8_t> m_row;
    // The whole BGR picture, for the cases that need one. Kept from picture to
    // picture like the grabber's buffer it replaces: the clamp's groups that
    // straddle rows also touch the padding, which then carries over.
    std::vector<uint8_t> m_picture;
};

} // namespace zem
