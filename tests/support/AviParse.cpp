#include "AviParse.h"

#include <cstring>

#include "TestDirs.h"

namespace zem::test {

namespace {
uint32_t Le32(const std::vector<uint8_t>& b, uint64_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, uint64_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
std::string Code(const std::vector<uint8_t>& b, uint64_t at) {
    return std::string(reinterpret_cast<const char*>(&b[at]), 4);
}
} // namespace

size_t AviFile::videoCount() const {
    size_t n = 0;
    for (const auto& c : chunks)
        n += c.code == "00dc";
    return n;
}

size_t AviFile::audioCount() const {
    size_t n = 0;
    for (const auto& c : chunks)
        n += c.code == "01wb";
    return n;
}

AviFile ParseAvi(const std::string& path) {
    AviFile avi;
    avi.bytes = ReadWholeFile(path);
    const auto& b = avi.bytes;
    auto problem = [&](const std::string& text) { avi.problems.push_back(text); };
    if (b.size() < 1024 + 8) {
        problem("file shorter than header + index head: " + std::to_string(b.size()));
        return avi;
    }
    if (Code(b, 0) != "RIFF" || Code(b, 8) != "AVI " || Code(b, 1012) != "LIST" || Code(b, 1020) != "movi")
        problem("RIFF/AVI/movi codes missing");
    avi.riffSize = Le32(b, 4);
    avi.microSecPerFrame = Le32(b, 32);
    avi.totalFrames = Le32(b, 48);
    avi.width = Le32(b, 64);
    avi.height = Le32(b, 68);
    avi.videoRate = Le32(b, 132);
    avi.videoLength = Le32(b, 140);
    avi.frameRight = Le16(b, 160);
    avi.frameBottom = Le16(b, 162);
    avi.bitmapWidth = Le32(b, 176);
    avi.bitmapHeight = Le32(b, 180);
    avi.audioLength = Le32(b, 532);
    avi.moviListSize = Le32(b, 1016);
    if (avi.riffSize != b.size() - 8)
        problem("RIFF size " + std::to_string(avi.riffSize) + " for file of " + std::to_string(b.size()));
    if (avi.moviListSize < 4) {
        problem("movi list size below 4");
        return avi;
    }
    avi.movieBytes = avi.moviListSize - 4;
    if (avi.movieBytes % 512 != 0)
        problem("movie data not a multiple of 512");
    const uint64_t indexAt = 1024 + avi.movieBytes;
    if (indexAt + 8 > b.size()) {
        problem("index beyond the end of the file");
        return avi;
    }

    uint64_t at = 1024;
    uint32_t expectedSequence = 1;
    while (at + 8 <= indexAt) {
        AviChunk chunk;
        chunk.code = Code(b, at);
        chunk.fileOffset = at;
        chunk.size = Le32(b, at + 4);
        if (at % 512 != 0)
            problem("chunk at " + std::to_string(at) + " not on a sector boundary");
        if (chunk.code == "01wb") {
            chunk.length = 512;
            if (chunk.size != 384)
                problem("audio chunk size field " + std::to_string(chunk.size));
            chunk.payload.assign(b.begin() + long(at + 8), b.begin() + long(at + 8 + 384));
            chunk.sequence =
                uint32_t(b[at + 508]) << 24 | uint32_t(b[at + 509]) << 16 | uint32_t(b[at + 510]) << 8 | b[at + 511];
            if (chunk.sequence != expectedSequence)
                problem("audio sequence " + std::to_string(chunk.sequence) + " where " +
                        std::to_string(expectedSequence) + " was due");
            ++expectedSequence;
        } else if (chunk.code == "00dc") {
            chunk.length = (uint64_t(chunk.size) + 8 + 511) / 512 * 512;
            if (at + chunk.length > indexAt) {
                problem("video chunk runs past the movie data");
                break;
            }
            chunk.payload.assign(b.begin() + long(at + 8), b.begin() + long(at + 8 + chunk.size));
            for (uint64_t i = at + 8 + chunk.size; i < at + chunk.length; ++i) {
                if (b[i] != 0) {
                    problem("non-zero padding in video chunk at " + std::to_string(at));
                    break;
                }
            }
        } else {
            problem("unknown chunk code at " + std::to_string(at));
            break;
        }
        at += chunk.length;
        avi.chunks.push_back(std::move(chunk));
    }
    if (at != indexAt)
        problem("chunks end at " + std::to_string(at) + ", index at " + std::to_string(indexAt));

    if (Code(b, indexAt) != "idx1")
        problem("no idx1 after the movie data");
    const uint32_t indexSize = Le32(b, indexAt + 4);
    if (indexAt + 8 + indexSize != b.size())
        problem("index size does not reach the end of the file");
    for (uint64_t r = indexAt + 8; r + 16 <= b.size(); r += 16)
        avi.index.push_back({Code(b, r), Le32(b, r + 4), Le32(b, r + 8), Le32(b, r + 12)});
    if (avi.index.size() != avi.chunks.size())
        problem("index holds " + std::to_string(avi.index.size()) + " records for " +
                std::to_string(avi.chunks.size()) + " chunks");
    for (size_t k = 0; k < std::min(avi.index.size(), avi.chunks.size()); ++k) {
        const auto& rec = avi.index[k];
        const auto& chunk = avi.chunks[k];
        if (rec.code != chunk.code || rec.flags != 1 || rec.position != chunk.fileOffset - 1020 ||
            rec.size != chunk.size)
            problem("index record " + std::to_string(k) + " does not match its chunk");
    }
    if (avi.totalFrames != avi.videoCount() || avi.videoLength != avi.videoCount())
        problem("frame counts in header do not match the video chunks");
    if (avi.audioLength != avi.audioCount())
        problem("audio length in header does not match the audio chunks");
    return avi;
}

} // namespace zem::test
