#include "PictureFit.h"

#include "Resample.h"

#include <algorithm>
#include <cstring>

namespace zem {

PictureRect FitInside(uint16_t sourceWidth, uint16_t sourceHeight, uint32_t pixelAspectN, uint32_t pixelAspectD,
                      uint16_t frameWidth, uint16_t frameHeight) {
    PictureRect whole{0, 0, frameWidth, frameHeight};
    if (sourceWidth == 0 || sourceHeight == 0 || frameWidth == 0 || frameHeight == 0 || pixelAspectN == 0 ||
        pixelAspectD == 0)
        return whole;
    // The display shape is (sourceWidth * N) : (sourceHeight * D).
    const uint64_t shownWide = uint64_t(sourceWidth) * pixelAspectN;
    const uint64_t shownHigh = uint64_t(sourceHeight) * pixelAspectD;
    PictureRect rect = whole;
    if (shownWide * frameHeight > shownHigh * frameWidth) {
        // Wider than the frame: full width, bars above and below.
        rect.height =
            uint16_t(std::clamp<uint64_t>((frameWidth * shownHigh + shownWide / 2) / shownWide, 1, frameHeight));
        rect.y = uint16_t((frameHeight - rect.height) / 2);
    } else {
        rect.width =
            uint16_t(std::clamp<uint64_t>((frameHeight * shownWide + shownHigh / 2) / shownHigh, 1, frameWidth));
        rect.x = uint16_t((frameWidth - rect.width) / 2);
    }
    return rect;
}

void PlaceInside(const uint8_t* inner, const PictureRect& rect, uint8_t* frame, uint16_t frameWidth,
                 uint16_t frameHeight, uint8_t black) {
    const uint32_t frameStride = PictureStride(frameWidth);
    const uint32_t innerStride = PictureStride(rect.width);
    std::memset(frame, black, size_t(frameStride) * frameHeight);
    // Rows are stored bottom first: the rectangle's lowest row comes first.
    const uint32_t firstRow = uint32_t(frameHeight) - rect.y - rect.height;
    for (uint32_t row = 0; row < rect.height; ++row)
        std::memcpy(frame + size_t(firstRow + row) * frameStride + size_t(rect.x) * 3,
                    inner + size_t(row) * innerStride, size_t(rect.width) * 3);
}

} // namespace zem
