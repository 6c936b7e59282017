#include "AutoJobs.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include "CliOptions.h"
#include "PictureFootprint.h"

namespace zem::cli {

namespace {

// A conversion's peak memory grows with its pictures (measured on 2 cores):
// 100 MB at 720p, 133 MB for 1080p H.264, 407 MB for 4K HEVC Main 10 (25 MB
// pictures): about 80 MB and 13 decoded pictures.
constexpr double kJobBaseBytes = 80e6;
constexpr double kJobPictures = 13;
// Of the memory available, what the jobs may take: the desktop goes on.
constexpr double kUsableShare = 0.8;
// Inputs whose headers are read for their picture size; a batch of thousands
// is taken to be like its first ones.
constexpr size_t kProbedInputs = 200;
// What an input whose headers do not tell (an MPEG program stream) is taken for.
constexpr double kUnknownPictureBytes = 1920 * 1080 * 1.5;

double AvailableBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        std::istringstream fields(line);
        std::string name;
        double kilobytes = 0;
        if (fields >> name >> kilobytes && name == "MemAvailable:")
            return kilobytes * 1024;
    }
    return 0;
}

} // namespace

int AutoJobCount(unsigned cores, double availableBytes, double pictureBytes, size_t inputs) {
    const double perJob = kJobBaseBytes + kJobPictures * pictureBytes;
    const double byMemory = std::floor(availableBytes * kUsableShare / perJob);
    const double most = std::min<double>({double(std::max(cores, 1u)), byMemory, double(kMaxJobs), double(inputs)});
    return int(std::max(1.0, most));
}

int AutoJobCount(const std::vector<std::string>& inputs) {
    double largest = 0;
    const size_t probed = std::min(inputs.size(), kProbedInputs);
    for (size_t i = 0; i < probed; ++i) {
        const auto footprint = media::PictureFootprintOf(inputs[i]);
        largest = std::max(largest, footprint ? footprint->PictureBytes() : kUnknownPictureBytes);
    }
    return AutoJobCount(std::thread::hardware_concurrency(), AvailableBytes(), largest, inputs.size());
}

} // namespace zem::cli
