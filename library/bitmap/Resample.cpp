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

namespace {

// Runs for every frame: the processor's widest vectors are worth a second copy
// (not under ThreadSanitizer, whose runtime is not up when the copy is chosen).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void ShrinkRows(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                uint16_t targetWidth, uint16_t targetHeight, RowFilter filter) {
    if (sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0)
        return;
    const auto xTable = BuildResampleWeights(sourceWidth, targetWidth, true);
    const auto yTable = BuildResampleWeights(sourceHeight, targetHeight, true);
    const uint32_t sourceStride = PictureStride(sourceWidth);
    const uint32_t targetStride = PictureStride(targetWidth);
    const size_t sourceValues = size_t(sourceWidth) * 3;
    const size_t targetValues = size_t(targetWidth) * 3;

    // A target value is the sum over its cell of w_x * w_y * p. Elements that
    // do not straddle a cell boundary all carry the same full weight, so rows
    // are first added up plainly down each source column (one addition per
    // source byte, which the compiler vectorises), straddling rows weighted,
    // and the weights across are applied once per finished target row. The
    // sums are exact modulo 2^32 and the true sum is below 2^32, so the result
    // is the same as weighting every source byte one by one.
    const uint32_t fullX = uint32_t(int32_t(targetWidth) * kWeightOne / int32_t(sourceWidth));
    const uint32_t fullY = uint32_t(int32_t(targetHeight) * kWeightOne / int32_t(sourceHeight));

    std::vector<uint32_t> columnPlain(sourceValues, 0u);    // full-weight rows of the current cell
    std::vector<uint32_t> columnWeighted(sourceValues, 0u); // straddling rows' shares in the current cell
    std::vector<uint32_t> columnNext(sourceValues, 0u);     // their shares in the next cell
    std::vector<uint32_t> cellPlain(targetValues + 3, 0u);  // one spare cell for a spill that never happens
    std::vector<uint32_t> cellWeighted(targetValues + 3, 0u);

    uint32_t rowsDone = 0;
    const uint8_t* sourceRow = source;
    for (uint32_t y = 0; y < sourceHeight && rowsDone < targetHeight; ++y, sourceRow += sourceStride) {
        if (filter != nullptr)
            filter(const_cast<uint8_t*>(sourceRow), sourceStride); // only the filtered entry point gets here
        const int32_t w1y = yTable[y].w1;
        uint32_t* plainColumns = columnPlain.data();
        if (w1y > 0) {
            const uint32_t w0y = uint32_t(yTable[y].w0);
            uint32_t* weighted = columnWeighted.data();
            uint32_t* next = columnNext.data();
            for (size_t i = 0; i < sourceValues; ++i) {
                weighted[i] += w0y * sourceRow[i];
                next[i] += uint32_t(w1y) * sourceRow[i];
            }
        } else {
            for (size_t i = 0; i < sourceValues; ++i)
                plainColumns[i] += sourceRow[i];
        }
        if (w1y == 0)
            continue;

        // The target row is complete: weigh across.
        for (size_t i = 0; i < sourceValues; ++i)
            columnPlain[i] = fullY * columnPlain[i] + columnWeighted[i];
        std::fill(cellPlain.begin(), cellPlain.end(), 0u);
        std::fill(cellWeighted.begin(), cellWeighted.end(), 0u);
        uint32_t* plain = cellPlain.data();
        uint32_t* weighted = cellWeighted.data();
        const uint32_t* plainEnd = plain + targetValues;
        const uint32_t* v = columnPlain.data();
        for (uint32_t x = 0; x < sourceWidth && plain < plainEnd; ++x, v += 3) {
            const int32_t w1x = xTable[x].w1;
            if (w1x > 0) {
                const uint32_t w0x = uint32_t(xTable[x].w0);
                weighted[0] += w0x * v[0];
                weighted[1] += w0x * v[1];
                weighted[2] += w0x * v[2];
                weighted[3] += uint32_t(w1x) * v[0];
                weighted[4] += uint32_t(w1x) * v[1];
                weighted[5] += uint32_t(w1x) * v[2];
                plain += 3;
                weighted += 3;
            } else {
                plain[0] += v[0];
                plain[1] += v[1];
                plain[2] += v[2];
                if (w1x != 0) {
                    plain += 3;
                    weighted += 3;
                }
            }
        }
        for (size_t i = 0; i < targetValues; ++i)
            target[i] = uint8_t((fullX * cellPlain[i] + cellWeighted[i]) >> 24);
        target += targetStride;
        ++rowsDone;

        std::fill(columnPlain.begin(), columnPlain.end(), 0u);
        columnWeighted.swap(columnNext);
        std::fill(columnNext.begin(), columnNext.end(), 0u);
    }
}

} // namespace

void ShrinkPicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                   uint16_t targetWidth, uint16_t targetHeight) {
    ShrinkRows(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight, nullptr);
}

void ShrinkPictureFiltered(uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                           uint16_t targetWidth, uint16_t targetHeight, RowFilter filter) {
    ShrinkRows(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight, filter);
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
