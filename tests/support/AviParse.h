#pragma once
// Reads a finished output file back and checks every rule the player relies
// on: header sizes, 512-byte alignment, audio sequence numbers, the index.

#include <cstdint>
#include <string>
#include <vector>

namespace zem::test {

struct AviChunk {
    std::string code; // "00dc" or "01wb"
    uint64_t fileOffset = 0;
    uint32_t size = 0;            // the size field
    uint64_t length = 0;          // bytes the chunk occupies, padding included
    std::vector<uint8_t> payload; // the picture, or the 384 announced audio bytes
    uint32_t sequence = 0;        // audio chunks: the big-endian number in bytes 508..511
};

struct AviIndexRecord {
    std::string code;
    uint32_t flags = 0;
    uint32_t position = 0;
    uint32_t size = 0;
};

struct AviFile {
    std::vector<uint8_t> bytes;
    uint32_t riffSize = 0, moviListSize = 0, microSecPerFrame = 0, totalFrames = 0;
    uint32_t width = 0, height = 0, videoRate = 0, videoLength = 0, audioLength = 0;
    uint32_t bitmapWidth = 0, bitmapHeight = 0, frameRight = 0, frameBottom = 0;
    uint64_t movieBytes = 0; // M
    std::vector<AviChunk> chunks;
    std::vector<AviIndexRecord> index;
    std::vector<std::string> problems; // empty for a well-formed file

    size_t videoCount() const;
    size_t audioCount() const;
};

// Parses and checks `path`; every broken rule is listed in `problems`.
AviFile ParseAvi(const std::string& path);

} // namespace zem::test
