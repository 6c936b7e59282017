#pragma once
// What the conversion's sound chain makes: 48 kHz stereo, coded as 128 kbit/s MP3.

namespace zem::media {

constexpr int kMp3BitrateKbps = 128;
constexpr int kOutputSampleRate = 48000;
constexpr int kOutputChannels = 2;

} // namespace zem::media
