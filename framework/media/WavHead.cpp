#include "WavHead.h"

#include "AudioFormat.h"

#include <cstring>

namespace zem::media {

namespace {

void PutLe16(std::vector<std::uint8_t>& v, std::size_t at, std::uint16_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void PutLe32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

} // namespace

std::vector<std::uint8_t> BuildWavHead(std::uint64_t dataBytes) {
    constexpr std::uint32_t kFormatBlockSize = 40; // WAVEFORMATEX + the MPEG-1 extension
    constexpr std::uint16_t kWaveFormatMpeg = 0x0050;
    constexpr std::uint16_t kMpegLayer3 = 4;
    constexpr std::uint16_t kMpegJointStereo = 2;
    constexpr std::uint16_t kMpegId1 = 0x10;
    constexpr std::uint16_t kMpegExtraSize = 22;
    std::vector<std::uint8_t> head(kWavHeadSize, 0);
    const auto data = static_cast<std::uint32_t>(dataBytes);
    std::memcpy(&head[0], "RIFF", 4);
    PutLe32(head, 4, data + kWavHeadSize - 8);
    std::memcpy(&head[8], "WAVE", 4);
    std::memcpy(&head[12], "fmt ", 4);
    PutLe32(head, 16, kFormatBlockSize);
    PutLe16(head, 20, kWaveFormatMpeg);
    PutLe16(head, 22, kOutputChannels);
    PutLe32(head, 24, kOutputSampleRate);
    PutLe32(head, 28, kMp3BytesPerSecond);
    PutLe16(head, 32, kMp3FrameBytes);
    PutLe16(head, 34, 0);
    PutLe16(head, 36, kMpegExtraSize);
    PutLe16(head, 38, kMpegLayer3);
    PutLe32(head, 40, kMp3BitrateKbps * 1000);
    PutLe16(head, 44, kMpegJointStereo);
    PutLe16(head, 46, 0);
    PutLe16(head, 48, 1);
    PutLe16(head, 50, kMpegId1);
    // 52..59: presentation time stamp, zero
    std::memcpy(&head[60], "data", 4);
    PutLe32(head, 64, data);
    return head;
}

} // namespace zem::media
