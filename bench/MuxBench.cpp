// Muxes one hour of output (57 600 frames of about 10 kB and 57.6 MB of
// audio) in a folder given on the command line (a memory-backed one such as
// /dev/shm measures the muxer, not the disk) and prints the throughput and
// the peak memory of the process.
//
//   mux_bench [FOLDER] [SECONDS]

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "ConversionPaths.h"
#include "FileIo.h"
#include "Muxer.h"
#include "OutputFormat.h"
#include "ScratchFolder.h"

using namespace zem;

namespace {

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool MakeInputs(const ConversionPaths& paths, int seconds) {
    std::mt19937 rng(5);
    File frames;
    if (!frames.Open(paths.tmpPath, File::Mode::CreateWrite))
        return false;
    BufferedWriter fw(frames, 1 << 20);
    std::vector<uint8_t> picture(16000);
    for (auto& b : picture)
        b = uint8_t(rng());
    for (int k = 0; k < seconds * 16; ++k) {
        const uint32_t length = 8000 + rng() % 4000;
        uint8_t head[4];
        avi::PutLe32(head, length);
        if (!fw.Write(head, 4) || !fw.Write(picture.data(), length))
            return false;
    }
    if (!fw.Flush() || !frames.Close())
        return false;
    File audio;
    if (!audio.Open(paths.mp3Path, File::Mode::CreateWrite))
        return false;
    BufferedWriter aw(audio, 1 << 20);
    std::vector<uint8_t> block(avi::kAudioBytesPerSecond, 0x5A);
    if (!aw.Write(block.data(), avi::kMp3HeadSize))
        return false;
    for (int s = 0; s < seconds; ++s)
        if (!aw.Write(block.data(), block.size()))
            return false;
    return aw.Flush() && audio.Close();
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/dev/shm";
    const int seconds = argc > 2 ? std::stoi(argv[2]) : 3600;
    const std::string base = folder + "/zem_mux_bench_" + std::to_string(getpid());
    ScratchFolder::Outcome outcome;
    zem::UserText error;
    const auto scratch = ScratchFolder::Create(base + "_ZM.avi", outcome, error);
    if (!scratch) {
        std::fprintf(stderr, "%s\n", error.English().c_str());
        return 1;
    }
    const ConversionPaths paths = DeriveConversionPaths(base + ".mp4", base + "_ZM.avi", scratch->Path());
    if (!MakeInputs(paths, seconds)) {
        std::fprintf(stderr, "cannot write the inputs in %s\n", folder.c_str());
        return 1;
    }
    const long rssBefore = PeakRssKb();
    uint64_t cycles = 0;
    const auto start = std::chrono::steady_clock::now();
    const MuxResult result = MuxOutputFile(paths, MuxSettings{}, [&](const MuxProgress&) {
        ++cycles;
        return true;
    });
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RemoveFile(paths.outputPath);
    if (!result.ok) {
        std::fprintf(stderr, "mux failed: %s\n", result.message.c_str());
        return 1;
    }
    std::printf("output %.1f MB (%u frames, %u audio chunks, %llu cycles) in %.2f s: %.0f MB/s\n",
                result.fileBytes / 1e6, result.videoChunks, result.audioChunks, (unsigned long long)cycles, elapsed,
                result.fileBytes / 1e6 / elapsed);
    std::printf("peak memory %.1f MB (before the mux %.1f MB)\n", PeakRssKb() / 1024.0, rssBefore / 1024.0);
    return 0;
}
