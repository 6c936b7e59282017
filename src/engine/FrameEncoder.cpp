#include "FrameEncoder.h"

#include <cmath>
#include <cstring>

#include "OutputFormat.h"
#include "Resample.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zem {

namespace {
constexpr double kTicksPerSecond = 1e7;

inline void ClampGroup(uint8_t* p) {
    // A group pulled up to 4 can never be above 250, so both passes fit in one.
    if (p[0] < kClampLowLimit && p[1] < kClampLowLimit && p[2] < kClampLowLimit) {
        p[0] = p[1] = p[2] = kClampLowLimit;
    } else if (p[0] > kClampHighLimit && p[1] > kClampHighLimit && p[2] > kClampHighLimit) {
        p[0] = p[1] = p[2] = kClampHighLimit;
    }
}

#if defined(__SSE2__)
#define ZEM_ALWAYS_INLINE inline __attribute__((always_inline))
// Bytes i+k of the 48-byte block held in three registers (zeros past the end).
ZEM_ALWAYS_INLINE void ShiftDown(const __m128i in[3], __m128i out[3], int k) {
    switch (k) {
    case 1:
        out[0] = _mm_or_si128(_mm_srli_si128(in[0], 1), _mm_slli_si128(in[1], 15));
        out[1] = _mm_or_si128(_mm_srli_si128(in[1], 1), _mm_slli_si128(in[2], 15));
        out[2] = _mm_srli_si128(in[2], 1);
        break;
    default:
        out[0] = _mm_or_si128(_mm_srli_si128(in[0], 2), _mm_slli_si128(in[1], 14));
        out[1] = _mm_or_si128(_mm_srli_si128(in[1], 2), _mm_slli_si128(in[2], 14));
        out[2] = _mm_srli_si128(in[2], 2);
        break;
    }
}

// Bytes i-k of the block (zeros before its start).
ZEM_ALWAYS_INLINE void ShiftUp(const __m128i in[3], __m128i out[3], int k) {
    switch (k) {
    case 1:
        out[0] = _mm_slli_si128(in[0], 1);
        out[1] = _mm_or_si128(_mm_slli_si128(in[1], 1), _mm_srli_si128(in[0], 15));
        out[2] = _mm_or_si128(_mm_slli_si128(in[2], 1), _mm_srli_si128(in[1], 15));
        break;
    default:
        out[0] = _mm_slli_si128(in[0], 2);
        out[1] = _mm_or_si128(_mm_slli_si128(in[1], 2), _mm_srli_si128(in[0], 14));
        out[2] = _mm_or_si128(_mm_slli_si128(in[2], 2), _mm_srli_si128(in[1], 14));
        break;
    }
}

// From a per-byte mask, the mask of the whole groups whose three bytes are all set.
ZEM_ALWAYS_INLINE void WholeGroups(const __m128i mask[3], const __m128i starts[3], __m128i out[3]) {
    __m128i next1[3], next2[3], head[3], up1[3], up2[3];
    ShiftDown(mask, next1, 1);
    ShiftDown(mask, next2, 2);
    for (int r = 0; r < 3; ++r)
        head[r] = _mm_and_si128(_mm_and_si128(mask[r], next1[r]), _mm_and_si128(next2[r], starts[r]));
    ShiftUp(head, up1, 1);
    ShiftUp(head, up2, 2);
    for (int r = 0; r < 3; ++r)
        out[r] = _mm_or_si128(head[r], _mm_or_si128(up1[r], up2[r]));
}
#endif
} // namespace

void ClampPixelExtremesReference(uint8_t* data, size_t length) {
    const size_t groups = length / 3;
    for (size_t g = 0; g < groups; ++g) {
        uint8_t* p = data + 3 * g;
        if (p[0] < kClampLowLimit && p[1] < kClampLowLimit && p[2] < kClampLowLimit)
            p[0] = p[1] = p[2] = kClampLowLimit;
    }
    for (size_t g = 0; g < groups; ++g) {
        uint8_t* p = data + 3 * g;
        if (p[0] > kClampHighLimit && p[1] > kClampHighLimit && p[2] > kClampHighLimit)
            p[0] = p[1] = p[2] = kClampHighLimit;
    }
}

void ClampPixelExtremes(uint8_t* data, size_t length) {
    const size_t usable = length / 3 * 3;
    size_t i = 0;
#if defined(__SSE2__)
    constexpr size_t kBlock = 48; // 16 groups in three registers
    alignas(16) uint8_t startBytes[kBlock];
    for (size_t b = 0; b < kBlock; ++b)
        startBytes[b] = b % 3 == 0 ? 0xFF : 0x00;
    const __m128i starts[3] = {_mm_load_si128(reinterpret_cast<const __m128i*>(startBytes)),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(startBytes + 16)),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(startBytes + 32))};
    const __m128i lowTop = _mm_set1_epi8(char(kClampLowLimit - 1));
    const __m128i highBottom = _mm_set1_epi8(char(kClampHighLimit + 1));
    const __m128i lowValue = _mm_set1_epi8(char(kClampLowLimit));
    const __m128i highValue = _mm_set1_epi8(char(kClampHighLimit));
    const __m128i ones = _mm_set1_epi8(char(0xFF));
    for (; i + kBlock <= usable; i += kBlock) {
        __m128i v[3], low[3], high[3], lowGroups[3], highGroups[3];
        for (int r = 0; r < 3; ++r) {
            v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16 * r));
            low[r] = _mm_cmpeq_epi8(_mm_min_epu8(v[r], lowTop), v[r]);      // byte <= 3
            high[r] = _mm_cmpeq_epi8(_mm_max_epu8(v[r], highBottom), v[r]); // byte >= 251
        }
        const __m128i anyMask = _mm_or_si128(_mm_or_si128(_mm_or_si128(low[0], low[1]), _mm_or_si128(low[2], high[0])),
                                             _mm_or_si128(high[1], high[2]));
        if (_mm_movemask_epi8(anyMask) == 0)
            continue; // the usual case: nothing near the extremes
        WholeGroups(low, starts, lowGroups);
        WholeGroups(high, starts, highGroups);
        for (int r = 0; r < 3; ++r) {
            __m128i out = _mm_max_epu8(v[r], _mm_and_si128(lowGroups[r], lowValue));
            out = _mm_min_epu8(out, _mm_or_si128(_mm_andnot_si128(highGroups[r], ones), highValue));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i + 16 * r), out);
        }
    }
#endif
    for (; i < usable; i += 3)
        ClampGroup(data + i);
}

void ScalePicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                  uint16_t targetWidth, uint16_t targetHeight) {
    ResamplePicture(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
}

bool CodeFrameJpeg(const uint8_t* picture, uint32_t width, uint32_t height, int32_t rotation, int32_t quality,
                   CxImage& image, std::vector<uint8_t>& jpeg) {
    jpeg.clear();
    if (!image.CreateFromArray(picture, width, height, PictureStride(width)))
        return false;
    image.SetJpegQuality(uint8_t(quality & 0xFF));
    if (rotation == 1)
        image.RotateLeft();
    else if (rotation == 2)
        image.RotateRight();
    return image.Encode(jpeg);
}

bool EncodeFrameJpeg(File& file, const uint8_t* picture, uint32_t width, uint32_t height, bool withLength,
                     int32_t rotation, int32_t quality) {
    CxImage image;
    std::vector<uint8_t> jpeg;
    CodeFrameJpeg(picture, width, height, rotation, quality, image, jpeg);
    if (withLength) {
        uint8_t length[avi::kFrameLengthSize];
        avi::PutLe32(length, uint32_t(jpeg.size()));
        if (!file.Write(length, sizeof length))
            return false;
    }
    return jpeg.empty() || file.Write(jpeg.data(), jpeg.size());
}

void FrameCaptureContext::Publish(double seconds) {
    if (positionOut != nullptr)
        positionOut->store(int64_t(seconds * kTicksPerSecond), std::memory_order_release);
}

bool FrameCaptureContext::WriteRecord() {
    if (m_writeFailed || framesFile == nullptr)
        return false;
    if (!framesFile->Write(m_record.data(), m_record.size())) {
        m_writeFailed = true;
        m_writeError = framesFile->Error();
        return false;
    }
    ++m_framesWritten;
    return true;
}

int FrameCaptureContext::OnFrameSample(double sampleTime, uint8_t* data, size_t length) {
    ClampPixelExtremes(data, length);
    if (!WillTakeSample(sampleTime))
        return 0;
    // A picture smaller than the negotiated size would be read past its end.
    const size_t needed = size_t(PictureStride(sourceWidth)) * sourceHeight;
    if (data == nullptr || sourceWidth == 0 || sourceHeight == 0 || length < needed || targetWidth == 0 ||
        targetHeight == 0) {
        ++m_picturesRejected;
        return 0;
    }

    double frameTime = lastSampleTime == 0.0 ? sampleTime : lastSampleTime + frameInterval;
    lastSampleTime = frameTime;
    if (m_firstFrameTime < 0)
        m_firstFrameTime = frameTime;
    Publish(frameTime);

    m_workArea.resize(size_t(PictureStride(targetWidth)) * targetHeight);
    ScalePicture(data, sourceWidth, sourceHeight, m_workArea.data(), targetWidth, targetHeight);
    CodeFrameJpeg(m_workArea.data(), targetWidth, targetHeight, rotate, jpegQuality, m_image, m_jpeg);
    m_record.resize(avi::kFrameLengthSize + m_jpeg.size());
    avi::PutLe32(m_record.data(), uint32_t(m_jpeg.size()));
    if (!m_jpeg.empty())
        std::memcpy(m_record.data() + avi::kFrameLengthSize, m_jpeg.data(), m_jpeg.size());
    WriteRecord();

    // Fewer pictures than frames: repeat this one until the next frame time
    // is ahead of it.
    while (sampleTime - lastSampleTime >= frameInterval && (stopTime < 0 || lastSampleTime + frameInterval < stopTime)) {
        lastSampleTime += frameInterval;
        Publish(lastSampleTime);
        WriteRecord();
    }
    return 0;
}

} // namespace zem
