#include "Resample.h"

#include <algorithm>
#include <cstring>

namespace zem {

std::vector<ResampleWeight> BuildResampleWeights(uint32_t n, uint32_t m, bool shrink) {
    std::vector<ResampleWeight> table(n);
    if (n == 0 || m == 0)
        return table;
    const int32_t sn = int32_t(n);
    const int32_t sm = int32_t(m);
    const int32_t full = shrink ? sm * kWeightOne / sn : kWeightOne;
    const int32_t divisor = shrink ? sn : sm;
    int32_t carry = 0;
    for (auto& entry : table) {
        const int32_t e = carry + sm;
        if (e > sn) {
            entry.w0 = (sn - carry) * kWeightOne / divisor;
            entry.w1 = (e - sn) * kWeightOne / divisor;
            carry = e - sn;
        } else {
            entry.w0 = full;
            if (e == sn) {
                entry.w1 = -1;
                carry = 0;
            } else {
                carry = e;
            }
        }
    }
    return table;
}

void ShrinkPicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                   uint16_t targetWidth, uint16_t targetHeight) {
    if (sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0)
        return;
    const auto xTable = BuildResampleWeights(sourceWidth, targetWidth, true);
    const auto yTable = BuildResampleWeights(sourceHeight, targetHeight, true);
    const uint32_t sourceStride = PictureStride(sourceWidth);
    const uint32_t targetStride = PictureStride(targetWidth);
    const size_t rowValues = size_t(targetWidth) * 3;

    // The weight of a source pixel is w_x * w_y; summing each source row
    // horizontally first and then weighting the row sum by w_y gives the same
    // exact integer sums with one multiplication per source byte. The extra
    // slot after the row takes a spill that the "column < width" rule never
    // lets through, so no bounds check is needed in the loop.
    std::vector<uint32_t> rowSum(rowValues + 3);
    std::vector<uint32_t> current(rowValues);
    std::vector<uint32_t> next(rowValues);

    uint32_t rowsDone = 0;
    const uint8_t* sourceRow = source;
    for (uint32_t y = 0; y < sourceHeight && rowsDone < targetHeight; ++y, sourceRow += sourceStride) {
        const int32_t w0y = yTable[y].w0;
        const int32_t w1y = yTable[y].w1;

        std::fill(rowSum.begin(), rowSum.end(), 0u);
        uint32_t column = 0;
        const uint8_t* p = sourceRow;
        for (uint32_t x = 0; x < sourceWidth && column < targetWidth; ++x, p += 3) {
            const int32_t w0x = xTable[x].w0;
            const int32_t w1x = xTable[x].w1;
            uint32_t* sum = &rowSum[size_t(column) * 3];
            sum[0] += uint32_t(w0x) * p[0];
            sum[1] += uint32_t(w0x) * p[1];
            sum[2] += uint32_t(w0x) * p[2];
            if (w1x > 0) {
                sum[3] += uint32_t(w1x) * p[0];
                sum[4] += uint32_t(w1x) * p[1];
                sum[5] += uint32_t(w1x) * p[2];
            }
            if (w1x != 0)
                ++column;
        }

        for (size_t i = 0; i < rowValues; ++i)
            current[i] += uint32_t(w0y) * rowSum[i];
        if (w1y > 0) {
            for (size_t i = 0; i < rowValues; ++i)
                next[i] += uint32_t(w1y) * rowSum[i];
        }
        if (w1y != 0) {
            for (size_t i = 0; i < rowValues; ++i)
                target[i] = uint8_t(current[i] >> 24);
            target += targetStride;
            std::fill(current.begin(), current.end(), 0u);
            std::swap(current, next);
            ++rowsDone;
        }
    }
}

void EnlargePicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                    uint16_t targetWidth, uint16_t targetHeight) {
    if (sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0)
        return;
    const auto xTable = BuildResampleWeights(targetWidth, sourceWidth, false);
    const auto yTable = BuildResampleWeights(targetHeight, sourceHeight, false);
    const uint32_t sourceStride = PictureStride(sourceWidth);
    const uint32_t targetStride = PictureStride(targetWidth);

    const uint8_t* rowA = source;
    uint32_t srcY = 0;
    for (size_t ty = 0; ty < yTable.size() && srcY < sourceHeight; ++ty, target += targetStride) {
        const int32_t w0y = yTable[ty].w0;
        const int32_t w1y = yTable[ty].w1;
        const uint8_t* upper = rowA;
        if (w1y != 0) {
            ++srcY;
            // The last entry ends on the last row's boundary (w1 = -1): the
            // row pointer moves past the picture but is never read.
            rowA += sourceStride;
        }
        const uint8_t* lower = rowA;

        uint8_t* out = target;
        uint32_t srcX = 0;
        const uint8_t* pA = upper;
        const uint8_t* pB = lower;
        for (size_t tx = 0; tx < xTable.size() && srcX < sourceWidth; ++tx, out += 3) {
            const int32_t w0x = xTable[tx].w0;
            const int32_t w1x = xTable[tx].w1;
            const uint8_t* a = pA;
            const uint8_t* b = pB;
            if (w1x != 0) {
                ++srcX;
                pA += 3;
                pB += 3;
            }
            for (int k = 0; k < 3; ++k) {
                uint32_t acc = uint32_t(w0x * w0y) * a[k];
                if (w1x > 0)
                    acc += uint32_t(w1x * w0y) * pA[k];
                if (w1y > 0) {
                    acc += uint32_t(w0x * w1y) * b[k];
                    if (w1x > 0)
                        acc += uint32_t(w1x * w1y) * pB[k];
                }
                out[k] = uint8_t(acc >> 24);
            }
        }
    }
}

void ResamplePicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                     uint16_t targetWidth, uint16_t targetHeight) {
    const bool widthShrinks = targetWidth <= sourceWidth;
    const bool heightShrinks = targetHeight <= sourceHeight;
    if (widthShrinks && heightShrinks) {
        ShrinkPicture(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
        return;
    }
    if (!widthShrinks && !heightShrinks) {
        EnlargePicture(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
        return;
    }
    // Mixed: first the width (height kept), then the height (width kept). A
    // direction of equal length passes through either routine unchanged.
    std::vector<uint8_t> middle(size_t(PictureStride(targetWidth)) * sourceHeight);
    if (widthShrinks) {
        ShrinkPicture(source, sourceWidth, sourceHeight, middle.data(), targetWidth, sourceHeight);
        EnlargePicture(middle.data(), targetWidth, sourceHeight, target, targetWidth, targetHeight);
    } else {
        EnlargePicture(source, sourceWidth, sourceHeight, middle.data(), targetWidth, sourceHeight);
        ShrinkPicture(middle.data(), targetWidth, sourceHeight, target, targetWidth, targetHeight);
    }
}

} // namespace zem
