#pragma once
// The sound of a film that has none: an ".mp3" of silent frames as long as
// its pictures, in the form the audio writer leaves (the 68-byte head, then
// the MPEG stream), so the muxer takes it like any other.

#include <cstdint>
#include <string>

namespace zem {

// Audio frames (24 ms each) that cover `frames` pictures at `frameRate`.
uint64_t SilentFramesFor(uint64_t frames, int32_t frameRate);

// Writes the head and `audioFrames` silent frames to a new file at `path`.
// False with the reason in `error` when it could not be written.
bool WriteSilentTrack(const std::string& path, uint64_t audioFrames, std::string& error);

} // namespace zem
