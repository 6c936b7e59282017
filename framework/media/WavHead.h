#pragma once
// The head WavDest puts in front of the MPEG audio stream.
#include <cstdint>
#include <vector>

namespace zem::media {

// The 68-byte head: RIFF/WAVE with an MPEG-1 layer III format block (48 kHz,
// stereo, 128 kbit/s) and the data chunk.
constexpr int kWavHeadSize = 68;
std::vector<std::uint8_t> BuildWavHead(std::uint64_t dataBytes);

} // namespace zem::media
