#include "FrameEncoder.h"

#include <cstdlib>

#include <cmath>
#include <cstring>

#include "ConversionJob.h"
#include "OutputFormat.h"
#include "PictureFit.h"
#include "Resample.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZEM_CLAMP_SKIPS_WIDE 1
#endif

namespace zem {

namespace {
// Pictures further apart than a frame by more than this are a source with
// fewer pictures than frames. The slack keeps 16-picture sources whose
// container rounds times to the millisecond on the dense side.
constexpr double kSparseSlack = 0.002;

inline void ClampGroup(uint8_t* p) {
    // A group pulled up to 4 can never be above 250, so both passes fit in one.
    if (p[0] < kClampLowLimit && p[1] < kClampLowLimit && p[2] < kClampLowLimit) {
        p[0] = p[1] = p[2] = kClampLowLimit;
    } else if (p[0] > kClampHighLimit && p[1] > kClampHighLimit && p[2] > kClampHighLimit) {
        p[0] = p[1] = p[2] = kClampHighLimit;
    }
}

#if defined(__SSE2__)
// Bit i set for each byte i of the 48-byte block held in three registers.
inline uint64_t ByteMask(__m128i a, __m128i b, __m128i c) {
    return uint64_t(uint32_t(_mm_movemask_epi8(a))) | uint64_t(uint32_t(_mm_movemask_epi8(b))) << 16 |
           uint64_t(uint32_t(_mm_movemask_epi8(c))) << 32;
}

constexpr uint64_t kBlockBytes = 0xFFFFFFFFFFFFull;  // 48 bits
constexpr uint64_t kGroupStarts = 0x249249249249ull; // every third bit: 0, 3, ... 45
#endif

#if defined(ZEM_CLAMP_SKIPS_WIDE)
constexpr size_t kWideSpan = 96; // three 32-byte registers, whole groups

// The first offset from `i` (in steps of whole groups) whose next 96 bytes hold
// a byte at or below 3 or at or above 251. Most of a picture has none, and
// finding that 32 bytes a step is cheaper than the 16-byte block walk.
__attribute__((target("avx2"))) size_t SkipPlainSpans(const uint8_t* data, size_t i, size_t usable) {
    const __m256i lowTop = _mm256_set1_epi8(char(kClampLowLimit - 1));
    const __m256i highBottom = _mm256_set1_epi8(char(kClampHighLimit + 1));
    for (; i + kWideSpan <= usable; i += kWideSpan) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 32));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 64));
        const __m256i low = _mm256_min_epu8(_mm256_min_epu8(a, b), c);
        const __m256i high = _mm256_max_epu8(_mm256_max_epu8(a, b), c);
        const __m256i extreme = _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(low, lowTop), low),
                                                _mm256_cmpeq_epi8(_mm256_max_epu8(high, highBottom), high));
        if (!_mm256_testz_si256(extreme, extreme))
            break;
    }
    return i;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
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
    const __m128i lowTop = _mm_set1_epi8(char(kClampLowLimit - 1));
    const __m128i highBottom = _mm_set1_epi8(char(kClampHighLimit + 1));
    const __m128i lowValue = _mm_set1_epi8(char(kClampLowLimit));
    const __m128i highValue = _mm_set1_epi8(char(kClampHighLimit));
    for (; i + kBlock <= usable; i += kBlock) {
#if defined(ZEM_CLAMP_SKIPS_WIDE)
        if (kHasAvx2) {
            i = SkipPlainSpans(data, i, usable);
            if (i + kBlock > usable)
                break;
        }
#endif
        __m128i v[3];
        for (int r = 0; r < 3; ++r)
            v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16 * r));
        // Bit masks of the bytes at or below 3 and at or above 251.
        const uint64_t low =
            ByteMask(_mm_cmpeq_epi8(_mm_min_epu8(v[0], lowTop), v[0]), _mm_cmpeq_epi8(_mm_min_epu8(v[1], lowTop), v[1]),
                     _mm_cmpeq_epi8(_mm_min_epu8(v[2], lowTop), v[2]));
        const uint64_t high = ByteMask(_mm_cmpeq_epi8(_mm_max_epu8(v[0], highBottom), v[0]),
                                       _mm_cmpeq_epi8(_mm_max_epu8(v[1], highBottom), v[1]),
                                       _mm_cmpeq_epi8(_mm_max_epu8(v[2], highBottom), v[2]));
        if ((low | high) == 0)
            continue; // the usual case: nothing near the extremes
        if (low == kBlockBytes || high == kBlockBytes) {
            // A black or white area: every group of the block moves.
            for (int r = 0; r < 3; ++r) {
                const __m128i out = low == kBlockBytes ? _mm_max_epu8(v[r], lowValue) : _mm_min_epu8(v[r], highValue);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i + 16 * r), out);
            }
            continue;
        }
        // Whole groups only: a group start whose own byte and the next two qualify.
        uint64_t lowGroups = low & (low >> 1) & (low >> 2) & kGroupStarts;
        uint64_t highGroups = high & (high >> 1) & (high >> 2) & kGroupStarts;
        while (lowGroups != 0) {
            uint8_t* p = data + i + __builtin_ctzll(lowGroups);
            p[0] = p[1] = p[2] = kClampLowLimit;
            lowGroups &= lowGroups - 1;
        }
        while (highGroups != 0) {
            uint8_t* p = data + i + __builtin_ctzll(highGroups);
            p[0] = p[1] = p[2] = kClampHighLimit;
            highGroups &= highGroups - 1;
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

bool CodeFrameJpeg(const uint8_t* picture, uint32_t width, uint32_t height, int32_t rotation, int quality,
                   CxImage& image, std::vector<uint8_t>& jpeg) {
    jpeg.clear();
    if (!image.CreateFromArray(picture, width, height, PictureStride(width)))
        return false;
    if (rotation == 1)
        image.RotateLeft();
    else if (rotation == 2)
        image.RotateRight();
    return image.Encode(quality, jpeg);
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

bool FrameCaptureContext::SparseStep(double sampleTime) const {
    return m_lastPictureTime >= 0 && sampleTime - m_lastPictureTime > frameInterval + kSparseSlack;
}

void FrameCaptureContext::NotePicture(double sampleTime) {
    m_lastPictureSpan = m_lastPictureTime >= 0 ? sampleTime - m_lastPictureTime : 0.0;
    m_lastPictureTime = sampleTime;
}

bool FrameCaptureContext::WillTakeSample(double sampleTime) {
    std::lock_guard lock(m_lock);
    ++m_skipCounts.seen;
    return TakesSample(sampleTime);
}

bool FrameCaptureContext::SkipGrid(double& first, double& interval) const {
    std::lock_guard lock(m_lock);
    if (!skipAllowed || stopTime >= 0)
        return false;
    first = frameTaken ? m_firstFrameTime : -1.0;
    interval = frameInterval;
    return true;
}

bool DecodeAllAsked() {
    const char* value = std::getenv(kDecodeAllVariable);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

bool PictureRowsAsked() {
    static const bool asked = [] {
        const char* value = std::getenv(kPictureRowsVariable);
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return asked;
}

std::string SkipCountsText(const FrameCaptureContext::SkipCounts& counts) {
    return "Pictures: " + std::to_string(counts.seen) + " seen, " + std::to_string(counts.skipped) +
           " left undecoded, " + std::to_string(counts.wronglySkipped) + " of them wrongly";
}

void FrameCaptureContext::OnSkippedSample(double sampleTime) {
    std::lock_guard lock(m_lock);
    ++m_skipCounts.seen;
    ++m_skipCounts.skipped;
    if (TakesSample(sampleTime))
        ++m_skipCounts.wronglySkipped;
}

FrameCaptureContext::SkipCounts FrameCaptureContext::skipCounts() const {
    std::lock_guard lock(m_lock);
    return m_skipCounts;
}

bool FrameCaptureContext::TakesSample(double sampleTime) {
    if (!BeforeStop(sampleTime)) {
        m_pastStop.store(true, std::memory_order_release);
        return false;
    }
    if (sampleTime < 0)
        return false;
    // A picture that comes more than a frame after the last one always starts
    // a frame of its own; denser pictures are taken once a frame is due.
    if (!frameTaken || SparseStep(sampleTime) || sampleTime - lastSampleTime >= frameInterval)
        return true;
    NotePicture(sampleTime);
    return false;
}

bool FrameCaptureContext::SizesUsable() const {
    return sourceWidth != 0 && sourceHeight != 0 && targetWidth != 0 && targetHeight != 0;
}

int FrameCaptureContext::OnFrameSample(double sampleTime, uint8_t* data, size_t length) {
    std::lock_guard lock(m_lock);
    if (!TakesSample(sampleTime))
        return 0; // nothing reads a refused picture, clamped or not
    // A picture smaller than the negotiated size would be read past its end.
    const size_t needed = size_t(PictureStride(sourceWidth)) * sourceHeight;
    if (data == nullptr || !SizesUsable() || length < needed) {
        ++m_picturesRejected;
        return 0;
    }
    TakePicture(sampleTime, [&](uint8_t* into, uint16_t intoWidth, uint16_t intoHeight) {
        const uint32_t sourceStride = PictureStride(sourceWidth);
        const bool shrinking = intoWidth <= sourceWidth && intoHeight <= sourceHeight;
        if (shrinking && sourceStride % 3 == 0) {
            // Rows start on whole pixel groups, so clamping row by row as the
            // shrink reads them gives the same bytes as clamping first, without a
            // second trip through memory. Bytes past the picture are never read.
            ShrinkPictureFiltered(data, sourceWidth, sourceHeight, into, intoWidth, intoHeight, ClampPixelExtremes);
        } else {
            ClampPixelExtremes(data, length);
            ScalePicture(data, sourceWidth, sourceHeight, into, intoWidth, intoHeight);
        }
        return true;
    });
    return 0;
}

int FrameCaptureContext::OnFrameRows(double sampleTime, PictureRowReader& rows) {
    std::lock_guard lock(m_lock);
    if (!TakesSample(sampleTime))
        return 0;
    if (!SizesUsable()) {
        ++m_picturesRejected;
        return 0;
    }
    TakePicture(sampleTime, [&](uint8_t* into, uint16_t intoWidth, uint16_t intoHeight) {
        return m_picturePath.Scale(rows, sourceWidth, sourceHeight, into, intoWidth, intoHeight);
    });
    return 0;
}

template <typename ScaleInto>
void FrameCaptureContext::TakePicture(double sampleTime, ScaleInto&& scale) {
    const bool sparse = SparseStep(sampleTime);
    NotePicture(sampleTime);
    double frameTime = sampleTime;
    if (frameTaken && sparse) {
        // The frames more than half a frame before this picture still show
        // the one before it; this one starts at the frame nearest its time.
        while (lastSampleTime + frameInterval < sampleTime - frameInterval / 2 &&
               BeforeStop(lastSampleTime + frameInterval)) {
            lastSampleTime += frameInterval;
            Publish(lastSampleTime);
            WriteRecord();
        }
        frameTime = lastSampleTime + frameInterval;
        if (!BeforeStop(frameTime))
            return;
    } else if (frameTaken) {
        frameTime = lastSampleTime + frameInterval;
    }
    frameTaken = true;
    lastSampleTime = frameTime;
    if (m_firstFrameTime < 0)
        m_firstFrameTime = frameTime;
    Publish(frameTime);

    m_workArea.resize(size_t(PictureStride(targetWidth)) * targetHeight);
    // Kept proportions: the picture is scaled into a centred part of the
    // frame and the rest is black; otherwise into the whole frame.
    const PictureRect inner =
        keepProportions ? FitInside(sourceWidth, sourceHeight, pixelAspectN, pixelAspectD, targetWidth, targetHeight)
                        : PictureRect{0, 0, targetWidth, targetHeight};
    const bool bars = inner.width != targetWidth || inner.height != targetHeight;
    if (bars)
        m_innerArea.resize(size_t(PictureStride(inner.width)) * inner.height);
    if (!scale(bars ? m_innerArea.data() : m_workArea.data(), inner.width, inner.height)) {
        // Rows that cannot be read leave the work area as it was; the frame
        // still counts so the frame times stay. The grabber only hands over
        // formats whose rows it converts, so this is a safeguard.
        ++m_picturesRejected;
    } else if (bars) {
        // The bars are the darkest value a clamped picture holds.
        PlaceInside(m_innerArea.data(), inner, m_workArea.data(), targetWidth, targetHeight, kClampLowLimit);
    }
    CodeFrameJpeg(m_workArea.data(), targetWidth, targetHeight, rotate, jpegQuality, m_image, m_jpeg);
    m_record.resize(avi::kFrameLengthSize + m_jpeg.size());
    avi::PutLe32(m_record.data(), uint32_t(m_jpeg.size()));
    if (!m_jpeg.empty())
        std::memcpy(m_record.data() + avi::kFrameLengthSize, m_jpeg.data(), m_jpeg.size());
    WriteRecord();

    // A picture later than the next frame time (a gap in dense pictures):
    // repeat it until the next frame time is ahead of it.
    while (sampleTime - lastSampleTime >= frameInterval && BeforeStop(lastSampleTime + frameInterval)) {
        lastSampleTime += frameInterval;
        Publish(lastSampleTime);
        WriteRecord();
    }
}

void FrameCaptureContext::FinishFrames() {
    std::lock_guard lock(m_lock);
    if (!frameTaken || m_record.empty() || m_lastPictureSpan <= frameInterval + kSparseSlack)
        return;
    // The last picture counts as on screen until the time a next one would
    // have come; frames nearer that time than half a frame belong to it.
    const double end = m_lastPictureTime + m_lastPictureSpan;
    while (lastSampleTime + frameInterval < end - frameInterval / 2 && BeforeStop(lastSampleTime + frameInterval)) {
        lastSampleTime += frameInterval;
        Publish(lastSampleTime);
        WriteRecord();
    }
}

uint64_t FrameCaptureContext::framesWritten() const {
    std::lock_guard lock(m_lock);
    return m_framesWritten;
}

double FrameCaptureContext::firstFrameTime() const {
    std::lock_guard lock(m_lock);
    return m_firstFrameTime;
}

uint64_t FrameCaptureContext::picturesRejected() const {
    std::lock_guard lock(m_lock);
    return m_picturesRejected;
}

bool FrameCaptureContext::writeFailed() const {
    std::lock_guard lock(m_lock);
    return m_writeFailed;
}

std::string FrameCaptureContext::writeError() const {
    std::lock_guard lock(m_lock);
    return m_writeError;
}

} // namespace zem
