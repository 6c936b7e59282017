#pragma once
// The bytes of the output file the player reads, and of the frames file the
// frame encoder writes for the muxer.
//
// Output file: a 1024-byte header, the movie data (every chunk starts on a
// 512-byte boundary because the device reads whole sectors), then an "idx1"
// index with one 16-byte record per chunk. All integers are little-endian,
// except the big-endian sequence number that ends every audio chunk.
//
// Frames file: records of a 4-byte little-endian length followed by one
// complete JPEG picture.

#include <array>
#include <cstddef>
#include <cstdint>

#include "AudioFormat.h"

namespace zem::avi {

inline constexpr uint32_t kHeaderSize = 1024;
inline constexpr uint32_t kSectorSize = 512;
inline constexpr uint32_t kChunkHeadSize = 8;                      // code + size
inline constexpr uint32_t kAudioBlockSize = media::kMp3FrameBytes; // one MP3 frame a chunk
inline constexpr uint32_t kAudioBytesPerSecond = media::kMp3BytesPerSecond;
inline constexpr uint32_t kAudioSequenceOffset = 508; // last four bytes of the sector
// An audio chunk fills one sector: its head, one frame, zeros, the number.
static_assert(kChunkHeadSize + kAudioBlockSize <= kAudioSequenceOffset, "an audio block fits its 512-byte sector");
static_assert(kAudioSequenceOffset + 4 == kSectorSize, "the number ends the sector");
inline constexpr uint32_t kIndexRecordSize = 16;
inline constexpr uint32_t kIndexHeadSize = 8;
inline constexpr uint32_t kMoviListTypeOffset = 1020; // index positions count from "movi"
inline constexpr uint32_t kFirstChunkPosition = 4;
inline constexpr uint32_t kIndexFlagKeyFrame = 1;
inline constexpr uint32_t kFrameLengthSize = 4; // frames-file record head
inline constexpr uint32_t kMp3HeadSize = 68;    // head the audio writer puts before the stream

inline constexpr std::array<char, 4> kVideoChunkCode{'0', '0', 'd', 'c'};
inline constexpr std::array<char, 4> kAudioChunkCode{'0', '1', 'w', 'b'};
inline constexpr std::array<char, 4> kIndexCode{'i', 'd', 'x', '1'};

// Placeholder length written into a fresh index before the real one is known.
inline constexpr uint32_t kIndexLengthPlaceholder = 146240;

// Header offsets of the fields filled in once the movie data is complete.
namespace offset {
inline constexpr uint32_t kRiffSize = 4;
inline constexpr uint32_t kMicroSecPerFrame = 32;
inline constexpr uint32_t kTotalFrames = 48;
inline constexpr uint32_t kWidth = 64;
inline constexpr uint32_t kHeight = 68;
inline constexpr uint32_t kVideoRate = 132;
inline constexpr uint32_t kVideoLength = 140;
inline constexpr uint32_t kFrameRight = 160;
inline constexpr uint32_t kFrameBottom = 162;
inline constexpr uint32_t kBitmapWidth = 176;
inline constexpr uint32_t kBitmapHeight = 180;
inline constexpr uint32_t kAudioLength = 532;
inline constexpr uint32_t kMoviListSize = 1016;
} // namespace offset

using Header = std::array<uint8_t, kHeaderSize>;

// The header with its constant fields and the fixed placeholders in the
// fields that FinishHeader fills.
Header BuildHeaderTemplate();

struct HeaderEndFields {
    uint32_t movieBytes = 0;  // M, a multiple of 512
    uint32_t indexBytes = 8;  // X = 8 + 16 * N
    uint32_t videoChunks = 0; // Fv
    uint32_t audioChunks = 0; // Fa
    uint32_t frameRate = 16;  // F
    uint32_t width = 0;       // stored picture width (after any quarter turn)
    uint32_t height = 0;
};

void FinishHeader(uint8_t* header, const HeaderEndFields& fields);

// Zero bytes that bring a video chunk of an L-byte picture to a sector boundary.
constexpr uint32_t VideoChunkPadding(uint32_t pictureBytes) {
    return (kSectorSize - (pictureBytes + kChunkHeadSize) % kSectorSize) % kSectorSize;
}
constexpr uint64_t VideoChunkLength(uint32_t pictureBytes) {
    return uint64_t(pictureBytes) + kChunkHeadSize + VideoChunkPadding(pictureBytes);
}

// One 512-byte audio chunk: code, 384, the n (1..384) audio bytes, zeros, and
// the big-endian sequence number in the last four bytes.
void BuildAudioChunk(uint8_t* sector, const uint8_t* audio, uint32_t n, uint32_t sequence);

// The 8-byte head of a video chunk.
void BuildVideoChunkHead(uint8_t* head, uint32_t pictureBytes);

void BuildIndexRecord(uint8_t* record, const std::array<char, 4>& code, uint32_t position, uint32_t size);

// Little-endian and big-endian stores and loads.
inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetLe16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t GetBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

} // namespace zem::avi
