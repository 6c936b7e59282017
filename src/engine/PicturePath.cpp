#include "PicturePath.h"

#include "FrameEncoder.h"
#include "Resample.h"

namespace zem {

bool PicturePath::Scale(PictureRowReader& rows, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                        uint16_t targetWidth, uint16_t targetHeight) {
    if (sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0)
        return false;
    colour::WidePlanes wide;
    if (rows.WidePlanes(wide)) {
        ScaleWide(rows, wide, target, targetWidth, targetHeight);
        return true;
    }
    const bool shrinking = targetWidth <= sourceWidth && targetHeight <= sourceHeight;
    // With a row length of whole pixel groups, the clamp's groups never cross
    // from one row into the next, so a row can be clamped on its own.
    if (shrinking && PictureStride(sourceWidth) % 3 == 0) {
        YuvPlanes planes;
        if (rows.Planes(planes)) {
            ScaleYuv(planes, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
            return true;
        }
        return ScaleByRows(rows, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
    }
    return ScaleWhole(rows, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
}

bool PicturePath::ScaleByRows(PictureRowReader& rows, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                              uint16_t targetWidth, uint16_t targetHeight) {
    const size_t rowBytes = size_t(sourceWidth) * 3;
    m_row.resize(rowBytes);
    m_shrinker.Start(sourceWidth, sourceHeight, targetWidth, targetHeight);
    for (uint32_t y = 0; !m_shrinker.Done(); ++y) {
        if (!rows.ReadRow(y, m_row.data()))
            return false;
        ClampPixelExtremes(m_row.data(), rowBytes);
        m_shrinker.AddRow(m_row.data(), target);
    }
    return true;
}

void PicturePath::ScaleYuv(const YuvPlanes& planes, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                           uint16_t targetWidth, uint16_t targetHeight) {
    m_shrinker.Start(sourceWidth, sourceHeight, targetWidth, targetHeight, RowShrinker::RowForm::Yuv);
    constexpr PixelClamp kClamp{kClampLowLimit, kClampHighLimit};
    uint32_t chromaRow = UINT32_MAX;
    for (uint32_t y = 0; !m_shrinker.Done(); ++y) {
        // The BGR picture is bottom row first; the planes are top row first.
        const uint32_t row = uint32_t(sourceHeight) - 1 - y;
        if (row >> planes.chromaShiftY != chromaRow) {
            chromaRow = row >> planes.chromaShiftY;
            m_chroma.Fill(planes, chromaRow, sourceWidth);
        }
        m_shrinker.AddYuvRow(planes.y + ptrdiff_t(row) * planes.yStride, m_chroma, kClamp, target);
    }
}

void PicturePath::ScaleWide(PictureRowReader& rows, const colour::WidePlanes& planes, uint8_t* target,
                            uint16_t targetWidth, uint16_t targetHeight) {
    const uint32_t stride = PictureStride(targetWidth);
    m_wide.Convert(planes, targetWidth, targetHeight, target, stride, 3, true);
    rows.DrawOverlay(target, stride, targetWidth, targetHeight);
    // Row by row: the padding between rows is no pixel.
    for (uint32_t y = 0; y < targetHeight; ++y)
        ClampPixelExtremes(target + size_t(y) * stride, size_t(targetWidth) * 3);
}

bool PicturePath::ScaleWhole(PictureRowReader& rows, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                             uint16_t targetWidth, uint16_t targetHeight) {
    const uint32_t stride = PictureStride(sourceWidth);
    const size_t size = size_t(stride) * sourceHeight;
    if (m_picture.size() != size)
        m_picture.assign(size, 0);
    for (uint32_t y = 0; y < sourceHeight; ++y)
        if (!rows.ReadRow(y, m_picture.data() + size_t(y) * stride))
            return false;
    ClampPixelExtremes(m_picture.data(), size);
    ScalePicture(m_picture.data(), sourceWidth, sourceHeight, target, targetWidth, targetHeight);
    return true;
}

} // namespace zem
