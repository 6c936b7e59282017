#include "FilePatch.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace zem::test {

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return bool(out);
}

// A box of an MP4: where it starts and how long it is, its size field included.
struct Box {
    size_t at = 0;
    size_t size = 0;
};

uint32_t ReadBe32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

void WriteBe32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = char(value >> (24 - 8 * i));
}

// The boxes of type `type` among those from `begin` to `end`.
std::vector<Box> BoxesIn(const std::string& bytes, size_t begin, size_t end, const std::string& type) {
    std::vector<Box> found;
    for (size_t at = begin; at + 8 <= end;) {
        const size_t size = ReadBe32(bytes, at);
        if (size < 8 || at + size > end)
            break;
        if (bytes.compare(at + 4, 4, type) == 0)
            found.push_back({at, size});
        at += size;
    }
    return found;
}

std::vector<Box> Children(const std::string& bytes, Box parent, const std::string& type) {
    return BoxesIn(bytes, parent.at + 8, parent.at + parent.size, type);
}

// The chain moov, trak, mdia, minf, stbl, stsd of the first track whose
// handler is `handler` ("vide", "soun"); empty when there is none, or when
// the header is not after the media data (chunk offsets would move).
std::vector<Box> TrackChain(const std::string& bytes, const std::string& handler) {
    const auto moov = BoxesIn(bytes, 0, bytes.size(), "moov");
    const auto mdat = BoxesIn(bytes, 0, bytes.size(), "mdat");
    if (moov.size() != 1 || mdat.empty() || moov[0].at < mdat[0].at)
        return {};
    for (const Box& trak : Children(bytes, moov[0], "trak")) {
        std::vector<Box> chain{moov[0], trak};
        for (const char* type : {"mdia", "minf", "stbl", "stsd"}) {
            const auto next = Children(bytes, chain.back(), type);
            if (next.empty())
                break;
            chain.push_back(next[0]);
        }
        const auto hdlr = chain.size() > 2 ? Children(bytes, chain[2], "hdlr") : std::vector<Box>{};
        if (chain.size() == 6 && !hdlr.empty() && bytes.compare(hdlr[0].at + 16, 4, handler) == 0)
            return chain;
    }
    return {};
}

} // namespace

bool RunCommand(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool ReplaceFirstCode(const std::string& from, const std::string& to, const std::string& code,
                      const std::string& replacement) {
    std::string bytes = ReadBytes(from);
    const auto at = bytes.find(code);
    if (at == std::string::npos || replacement.size() != code.size())
        return false;
    bytes.replace(at, code.size(), replacement);
    return WriteBytes(to, bytes);
}

bool DropSoundDescription(const std::string& from, const std::string& to) {
    // size, "stsd", version and flags, entry count, then the entry: its size and "mp4a".
    std::string bytes = ReadBytes(from);
    const auto entry = bytes.find("mp4a");
    if (entry == std::string::npos || entry < 16 || bytes.compare(entry - 16, 4, "stsd") != 0)
        return false;
    bytes.replace(entry - 8, 4, std::string(4, '\0'));
    return WriteBytes(to, bytes);
}

bool HideSoundDescription(const std::string& from, const std::string& to) {
    std::string bytes = ReadBytes(from);
    const std::vector<Box> chain = TrackChain(bytes, "soun");
    if (chain.empty())
        return false;
    bytes.replace(chain.back().at + 4, 4, "free");
    return WriteBytes(to, bytes);
}

bool AddDolbyVisionBox(const std::string& from, const std::string& to, const std::string& box, int profile,
                       int compatibility, const std::string& entry) {
    // The first sample entry follows the description's size, type, version,
    // flags and count; the new box goes after the entry's own boxes.
    std::string bytes = ReadBytes(from);
    std::vector<Box> chain = TrackChain(bytes, "vide");
    if (chain.empty() || box.size() != 4 || (!entry.empty() && entry.size() != 4))
        return false;
    const Box stsd = chain.back();
    const size_t entryAt = stsd.at + 16;
    const Box sampleEntry{entryAt, ReadBe32(bytes, entryAt)};
    chain.push_back(sampleEntry);
    // Version 1.0; profile, level 1, RPU and base layer present; the base
    // layer's compatibility id; reserved.
    const unsigned fields = unsigned(profile) << 9 | 1u << 3 | 1u << 2 | 1u;
    std::string config{char(1), char(0), char(fields >> 8), char(fields & 0xFF), char(compatibility << 4)};
    config.resize(24, '\0');
    std::string added(4, '\0');
    WriteBe32(added, 0, uint32_t(8 + config.size()));
    added += box + config;
    bytes.insert(sampleEntry.at + sampleEntry.size, added);
    for (const Box& parent : chain)
        WriteBe32(bytes, parent.at, uint32_t(parent.size + added.size()));
    if (!entry.empty())
        bytes.replace(sampleEntry.at + 4, 4, entry);
    return WriteBytes(to, bytes);
}

} // namespace zem::test
