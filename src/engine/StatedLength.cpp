#include "StatedLength.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zem {

namespace {

// Matroska element ids (with their length markers) and sizes.
constexpr uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr uint32_t kSegmentId = 0x18538067;
constexpr uint32_t kInfoId = 0x1549A966;
constexpr uint32_t kClusterId = 0x1F43B675;
constexpr uint32_t kDurationId = 0x4489;
constexpr uint64_t kUnknownSize = ~uint64_t(0);
// The segment's head (seek head, information, tracks, tags) comes before its
// clusters; a file whose information is not found within this many elements
// is taken to state its length.
constexpr int kMaxTopElements = 64;
constexpr int kMaxInfoElements = 64;

// MP4 boxes.
constexpr int kMaxBoxes = 4096;
constexpr int kBoxHead = 8;
constexpr int kLargeSizeBytes = 8;

// Reads the file through one descriptor at given offsets.
class Reader {
public:
    explicit Reader(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Reader() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool Read(uint64_t at, void* to, std::size_t size) const {
        return m_fd >= 0 && ::pread(m_fd, to, size, off_t(at)) == ssize_t(size);
    }
    // A big-endian number of `size` bytes (at most 8).
    bool Number(uint64_t at, std::size_t size, uint64_t& value) const {
        std::array<uint8_t, 8> bytes{};
        if (size > bytes.size() || !Read(at, bytes.data(), size))
            return false;
        value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value = value << 8 | bytes[i];
        return true;
    }

private:
    int m_fd;
};

// One EBML variable-length number at `at`: its length in bytes and its value,
// the length marker kept (an id) or taken away (a size; all ones: unknown).
bool ReadVint(const Reader& file, uint64_t at, bool keepMarker, int& length, uint64_t& value) {
    uint8_t first = 0;
    if (!file.Read(at, &first, 1) || first == 0)
        return false;
    length = 1;
    while ((first & (0x80 >> (length - 1))) == 0)
        ++length;
    if (!file.Number(at, std::size_t(length), value))
        return false;
    if (keepMarker)
        return true;
    const uint64_t marker = uint64_t(1) << (7 * length);
    value &= marker - 1;
    if (value == marker - 1)
        value = kUnknownSize;
    return true;
}

struct Element {
    uint64_t id = 0;
    uint64_t data = 0; // where its content starts
    uint64_t size = 0;
};

bool ReadElement(const Reader& file, uint64_t at, Element& element) {
    int idLength = 0;
    int sizeLength = 0;
    if (!ReadVint(file, at, true, idLength, element.id) ||
        !ReadVint(file, at + uint64_t(idLength), false, sizeLength, element.size))
        return false;
    element.data = at + uint64_t(idLength) + uint64_t(sizeLength);
    return true;
}

// Whether a Matroska segment information element holds a duration above 0.
bool InfoStatesDuration(const Reader& file, const Element& info) {
    uint64_t at = info.data;
    for (int i = 0; i < kMaxInfoElements && at < info.data + info.size; ++i) {
        Element child;
        if (!ReadElement(file, at, child) || child.size == kUnknownSize)
            return true; // damaged: GStreamer's length stands
        if (child.id == kDurationId) {
            uint64_t bits = 0;
            if ((child.size != 4 && child.size != 8) || !file.Number(child.data, std::size_t(child.size), bits))
                return true;
            if (child.size == 4) {
                float seconds = 0;
                const auto narrow = uint32_t(bits);
                std::memcpy(&seconds, &narrow, sizeof seconds);
                return seconds > 0;
            }
            double seconds = 0;
            std::memcpy(&seconds, &bits, sizeof seconds);
            return seconds > 0;
        }
        at = child.data + child.size;
    }
    return false;
}

// nullopt-like: 1 stated, 0 not stated, -1 not a Matroska file.
int MatroskaStatesLength(const Reader& file) {
    Element head;
    if (!ReadElement(file, 0, head) || head.id != kEbmlHeaderId || head.size == kUnknownSize)
        return -1;
    Element segment;
    if (!ReadElement(file, head.data + head.size, segment) || segment.id != kSegmentId)
        return 1;
    uint64_t at = segment.data;
    for (int i = 0; i < kMaxTopElements; ++i) {
        Element element;
        if (!ReadElement(file, at, element) || element.id == kClusterId || element.size == kUnknownSize)
            return 1;
        if (element.id == kInfoId)
            return InfoStatesDuration(file, element) ? 1 : 0;
        at = element.data + element.size;
    }
    return 1;
}

struct Box {
    char type[5] = {};
    uint64_t data = 0;
    uint64_t end = 0;
};

// The box at `at` within `limit` (the end of its parent).
bool ReadBox(const Reader& file, uint64_t at, uint64_t limit, Box& box) {
    uint64_t size = 0;
    if (at + kBoxHead > limit || !file.Number(at, 4, size) || !file.Read(at + 4, box.type, 4))
        return false;
    box.data = at + kBoxHead;
    if (size == 1) {
        if (!file.Number(box.data, kLargeSizeBytes, size))
            return false;
        box.data += kLargeSizeBytes;
    } else if (size == 0) {
        size = limit - at; // to the end
    }
    box.end = at + size;
    return size >= box.data - at && box.end <= limit;
}

// A box's duration field after its version and flags: 32 bits in version 0,
// 64 in version 1, past `skip0` or `skip1` bytes of other fields.
bool BoxDuration(const Reader& file, const Box& box, int skip0, int skip1, uint64_t& duration) {
    uint8_t version = 0;
    if (!file.Read(box.data, &version, 1))
        return false;
    const uint64_t at = box.data + 4 + uint64_t(version == 1 ? skip1 : skip0);
    return file.Number(at, version == 1 ? 8 : 4, duration);
}

// 1 stated, 0 not stated, -1 not an MP4 file.
int Mp4StatesLength(const Reader& file) {
    constexpr uint64_t kWholeFile = ~uint64_t(0) >> 1;
    Box box;
    if (!ReadBox(file, 0, kWholeFile, box) ||
        (std::strcmp(box.type, "ftyp") != 0 && std::strcmp(box.type, "moov") != 0 &&
         std::strcmp(box.type, "styp") != 0))
        return -1;
    uint64_t at = 0;
    for (int i = 0; i < kMaxBoxes && ReadBox(file, at, kWholeFile, box); ++i) {
        if (std::strcmp(box.type, "moov") != 0) {
            at = box.end;
            continue;
        }
        uint64_t movie = 0;
        uint64_t fragments = 0;
        bool fragmented = false;
        Box child;
        for (uint64_t in = box.data; ReadBox(file, in, box.end, child); in = child.end) {
            if (std::strcmp(child.type, "mvhd") == 0 && !BoxDuration(file, child, 12, 20, movie))
                return 1;
            if (std::strcmp(child.type, "mvex") != 0)
                continue;
            fragmented = true;
            Box header;
            for (uint64_t sub = child.data; ReadBox(file, sub, child.end, header); sub = header.end) {
                if (std::strcmp(header.type, "mehd") == 0 && !BoxDuration(file, header, 0, 0, fragments))
                    return 1;
            }
        }
        return movie > 0 || fragments > 0 || !fragmented ? 1 : 0;
    }
    return 1;
}

} // namespace

bool FileStatesItsLength(const std::string& path) {
    const Reader file(path);
    const int matroska = MatroskaStatesLength(file);
    if (matroska >= 0)
        return matroska == 1;
    return Mp4StatesLength(file) != 0;
}

} // namespace zem
