#include "OutputFormat.h"

#include <cstring>
#include <string_view>

namespace zem::avi {

namespace {

// Writes the header fields in file order and checks that each lands where the
// player expects it.
class HeaderWriter {
public:
    explicit HeaderWriter(Header& header) : m_header(header) {}

    HeaderWriter& Code(std::string_view fourcc) {
        std::memcpy(&m_header[m_pos], fourcc.data(), 4);
        m_pos += 4;
        return *this;
    }
    HeaderWriter& U32(uint32_t v) {
        PutLe32(&m_header[m_pos], v);
        m_pos += 4;
        return *this;
    }
    HeaderWriter& U16(uint16_t v) {
        PutLe16(&m_header[m_pos], v);
        m_pos += 2;
        return *this;
    }
    HeaderWriter& Zeros(uint32_t n) {
        std::memset(&m_header[m_pos], 0, n);
        m_pos += n;
        return *this;
    }
    uint32_t Position() const { return m_pos; }

private:
    Header& m_header;
    uint32_t m_pos = 0;
};

// Constant stream description: these numbers stay the same whatever picture
// size or audio the file carries.
constexpr uint32_t kMaxBytesPerSecond = 136000;
constexpr uint32_t kAviFlags = 0x00010010; // has index, was capture file
constexpr uint32_t kStreamCount = 2;
constexpr uint32_t kSuggestedBufferFile = 192000;
constexpr uint32_t kSuggestedBufferVideo = 0x100000;
constexpr uint32_t kSuggestedBufferAudio = 0x3000;
constexpr uint32_t kStreamQuality = 10000;
constexpr uint32_t kBitmapImageSize = 921600;
constexpr uint32_t kAudioScale = 3;
constexpr uint32_t kAudioRate = 125; // 125 / 3 chunks a second, 24 ms each
constexpr uint16_t kWaveFormatMp3 = 0x0055;
constexpr uint16_t kAudioChannels = 2;
constexpr uint32_t kAudioSampleRate = 48000;
constexpr uint16_t kMp3BlockAlign = 1152;
constexpr uint16_t kMp3ExtraBytes = 12;
constexpr uint16_t kMp3Id = 1;
constexpr uint32_t kMp3FlagsPaddingOff = 2;
constexpr uint16_t kMp3FramesPerBlock = 1;
constexpr uint16_t kMp3CodecDelay = 1393;

// Placeholders the header carries until the movie data is complete.
constexpr uint32_t kPlaceholderRiffSize = 0x01884490;
constexpr uint32_t kPlaceholderMicroSec = 62500;
constexpr uint32_t kPlaceholderFrames = 660;
constexpr uint32_t kPlaceholderWidth = 320;
constexpr uint32_t kPlaceholderHeight = 240;
constexpr uint32_t kPlaceholderRate = 16;
constexpr uint32_t kPlaceholderAudioLength = 6583;
constexpr uint32_t kPlaceholderMoviSize = 0x27A2;

} // namespace

Header BuildHeaderTemplate() {
    Header header{};
    HeaderWriter w(header);
    w.Code("RIFF").U32(kPlaceholderRiffSize).Code("AVI ");
    w.Code("LIST").U32(992).Code("hdrl");
    w.Code("avih").U32(56);
    w.U32(kPlaceholderMicroSec).U32(kMaxBytesPerSecond).U32(0).U32(kAviFlags);
    w.U32(kPlaceholderFrames).U32(0).U32(kStreamCount).U32(kSuggestedBufferFile);
    w.U32(kPlaceholderWidth).U32(kPlaceholderHeight).Zeros(16);

    // Video stream list (offsets 88..479).
    w.Code("LIST").U32(384).Code("strl");
    w.Code("strh").U32(56).Code("vids").Code("mjpg").U32(0).U16(0).U16(0).U32(0);
    w.U32(1).U32(kPlaceholderRate).U32(0).U32(kPlaceholderFrames);
    w.U32(kSuggestedBufferVideo).U32(kStreamQuality).U32(0);
    w.U16(0).U16(0).U16(0).U16(0); // frame rectangle: filled in at the end
    w.Code("strf").U32(40).U32(40).U32(kPlaceholderWidth).U32(kPlaceholderHeight);
    w.U16(1).U16(24).Code("MJPG").U32(kBitmapImageSize).Zeros(16);
    w.Code("JUNK").U32(260).Zeros(260);

    // Audio stream list (offsets 480..1011).
    w.Code("LIST").U32(524).Code("strl");
    w.Code("strh").U32(56).Code("auds").U32(1).U32(0).U16(0).U16(0).U32(0);
    w.U32(kAudioScale).U32(kAudioRate).U32(0).U32(kPlaceholderAudioLength);
    w.U32(kSuggestedBufferAudio).U32(kStreamQuality).U32(0).Zeros(8);
    w.Code("strf").U32(30);
    w.U16(kWaveFormatMp3).U16(kAudioChannels).U32(kAudioSampleRate).U32(kAudioBytesPerSecond);
    w.U16(kMp3BlockAlign).U16(0).U16(kMp3ExtraBytes);
    w.U16(kMp3Id).U32(kMp3FlagsPaddingOff).U16(kMp3BlockAlign).U16(kMp3FramesPerBlock).U16(kMp3CodecDelay);
    w.Code("JUNK").U32(244).Zeros(244);
    w.Code("JUNK").U32(158).Zeros(158);

    w.Code("LIST").U32(kPlaceholderMoviSize).Code("movi");
    return header;
}

void FinishHeader(uint8_t* header, const HeaderEndFields& f) {
    PutLe32(header + offset::kRiffSize, f.movieBytes + f.indexBytes + (kHeaderSize - 8));
    PutLe32(header + offset::kMicroSecPerFrame, f.frameRate ? 1000000 / f.frameRate : 0);
    PutLe32(header + offset::kVideoRate, f.frameRate);
    PutLe32(header + offset::kTotalFrames, f.videoChunks);
    PutLe32(header + offset::kWidth, f.width);
    PutLe32(header + offset::kHeight, f.height);
    PutLe32(header + offset::kVideoLength, f.videoChunks);
    PutLe16(header + offset::kFrameRight, uint16_t(f.width));
    PutLe16(header + offset::kFrameBottom, uint16_t(f.height));
    PutLe32(header + offset::kBitmapWidth, f.width);
    PutLe32(header + offset::kBitmapHeight, f.height);
    PutLe32(header + offset::kAudioLength, f.audioChunks);
    PutLe32(header + offset::kMoviListSize, f.movieBytes + 4);
}

void BuildAudioChunk(uint8_t* sector, const uint8_t* audio, uint32_t n, uint32_t sequence) {
    std::memcpy(sector, kAudioChunkCode.data(), 4);
    PutLe32(sector + 4, kAudioBlockSize);
    std::memcpy(sector + kChunkHeadSize, audio, n);
    std::memset(sector + kChunkHeadSize + n, 0, kAudioSequenceOffset - kChunkHeadSize - n);
    PutBe32(sector + kAudioSequenceOffset, sequence);
}

void BuildVideoChunkHead(uint8_t* head, uint32_t pictureBytes) {
    std::memcpy(head, kVideoChunkCode.data(), 4);
    PutLe32(head + 4, pictureBytes);
}

void BuildIndexRecord(uint8_t* record, const std::array<char, 4>& code, uint32_t position, uint32_t size) {
    std::memcpy(record, code.data(), 4);
    PutLe32(record + 4, kIndexFlagKeyFrame);
    PutLe32(record + 8, position);
    PutLe32(record + 12, size);
}

} // namespace zem::avi
