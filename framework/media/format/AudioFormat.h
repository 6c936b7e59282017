#pragma once
// What the conversion's sound chain makes: 48 kHz stereo, coded as 128 kbit/s
// MPEG-1 layer III. The bitrate is the one number; the frame's size, the
// bytes a second and the frame header all follow from it.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zem::media {

constexpr int kMp3BitrateKbps = 128;
constexpr int kOutputSampleRate = 48000;
constexpr int kOutputChannels = 2;

// MPEG-1 layer III: every frame carries 1152 samples a channel.
constexpr int kMp3SamplesPerFrame = 1152;
constexpr int kMp3BytesPerSecond = kMp3BitrateKbps * 1000 / 8;
// At 48 kHz no frame needs a padding byte: each is exactly this long (384).
constexpr int kMp3FrameBytes = kMp3SamplesPerFrame / 8 * kMp3BitrateKbps * 1000 / kOutputSampleRate;
static_assert(kMp3SamplesPerFrame / 8 * kMp3BitrateKbps * 1000 % kOutputSampleRate == 0,
              "every frame the same size: no padding bytes at this bitrate and rate");

namespace mpeg1 {
// The bitrates (kbit/s) and sample rates a layer III header can name, at the index it names them by.
constexpr std::array<int, 15> kLayer3Bitrates{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 3> kSampleRates{44100, 48000, 32000};

template <std::size_t N>
constexpr int IndexOf(const std::array<int, N>& table, int value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i] == value)
            return int(i);
    }
    return -1;
}
constexpr int kBitrateIndex = IndexOf(kLayer3Bitrates, kMp3BitrateKbps);
constexpr int kSampleRateIndex = IndexOf(kSampleRates, kOutputSampleRate);
static_assert(kBitrateIndex > 0, "a bitrate MPEG-1 layer III has");
static_assert(kSampleRateIndex >= 0, "a sample rate MPEG-1 has");
} // namespace mpeg1

// The four header bytes of every frame: sync, MPEG-1, layer III, no CRC;
// bitrate and rate by index, no padding; stereo.
constexpr std::array<uint8_t, 4> kMp3FrameHeader{
    0xFF, 0xFB, uint8_t(mpeg1::kBitrateIndex << 4 | mpeg1::kSampleRateIndex << 2), 0x00};

} // namespace zem::media
