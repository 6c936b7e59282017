#include "SilentTrack.h"

#include <vector>

#include "FileIo.h"
#include "Muxer.h"
#include "OutputFormat.h"
#include "WavHead.h"

namespace zem {

namespace {
// Silent frames gathered into one write.
constexpr uint64_t kFramesPerWrite = 256;
} // namespace

uint64_t SilentFramesFor(uint64_t frames, int32_t frameRate) {
    if (frameRate <= 0)
        return 0;
    // Both clocks in audio bytes: the sound must reach the start of the last
    // picture's time and cover it, as the muxer interleaves by these clocks.
    const uint64_t bytes = frames * avi::kAudioBytesPerSecond;
    const uint64_t perFrame = uint64_t(frameRate) * avi::kAudioBlockSize;
    return (bytes + perFrame - 1) / perFrame;
}

bool WriteSilentTrack(const std::string& path, uint64_t audioFrames, std::string& error) {
    File file;
    if (!file.Open(path, File::Mode::CreateExclusive)) {
        error = file.Error();
        return false;
    }
    const auto head = media::BuildWavHead(audioFrames * avi::kAudioBlockSize);
    std::vector<uint8_t> block;
    block.reserve(kFramesPerWrite * avi::kAudioBlockSize);
    for (uint64_t i = 0; i < kFramesPerWrite; ++i)
        block.insert(block.end(), SilentAudioFrame(), SilentAudioFrame() + avi::kAudioBlockSize);
    bool ok = file.Write(head.data(), head.size());
    for (uint64_t left = audioFrames; ok && left > 0;) {
        const uint64_t now = left < kFramesPerWrite ? left : kFramesPerWrite;
        ok = file.Write(block.data(), size_t(now * avi::kAudioBlockSize));
        left -= now;
    }
    ok = file.Close() && ok;
    if (!ok)
        error = file.Error();
    return ok;
}

} // namespace zem
