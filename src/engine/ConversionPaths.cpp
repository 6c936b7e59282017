#include "ConversionPaths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <unistd.h>

namespace zem {

namespace {
// Accepted endings, compared on the last three or four characters in lower case.
constexpr std::array<const char*, 11> kAcceptedFour{".asf", ".avi", ".mpg", "mpeg", ".wmv", ".dat",
                                                     ".vob", ".mkv", "rmvb", ".mp4", ".asx"};
constexpr const char* kAcceptedThree = ".rm";
} // namespace

bool IsAcceptedInputPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (lower.size() >= 3 && lower.compare(lower.size() - 3, 3, kAcceptedThree) == 0)
        return true;
    if (lower.size() < 4)
        return false;
    const std::string tail = lower.substr(lower.size() - 4);
    return std::any_of(kAcceptedFour.begin(), kAcceptedFour.end(), [&](const char* e) { return tail == e; });
}

std::string PathMinusExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

std::string DefaultOutputPath(const std::string& inputPath) { return PathMinusExtension(inputPath) + kOutputSuffix; }

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool IsDirectoryWritable(const std::string& directory) { return ::access(directory.c_str(), W_OK | X_OK) == 0; }

ConversionPaths DeriveConversionPaths(const std::string& inputPath, const std::string& outputPath) {
    ConversionPaths paths;
    paths.inputPath = inputPath;
    paths.outputPath = outputPath;
    const std::string outputBase = PathMinusExtension(outputPath);
    paths.tmpPath = outputBase + kFramesExtension;
    paths.mp3Path = outputBase + kAudioExtension;
    paths.headerPath = outputBase + kHeaderScratchExtension;
    paths.indexPath = outputBase + kIndexScratchExtension;
    const std::string zemBase =
        IsDirectoryWritable(DirectoryOf(inputPath)) ? PathMinusExtension(inputPath) : outputBase;
    paths.zemPath = zemBase + kChunkScratchExtension;
    return paths;
}

bool PathsFitLimit(const ConversionPaths& paths) {
    for (const std::string* p : {&paths.inputPath, &paths.outputPath, &paths.tmpPath, &paths.mp3Path,
                                 &paths.headerPath, &paths.indexPath, &paths.zemPath}) {
        if (p->size() + 1 > PATH_MAX)
            return false;
    }
    return true;
}

} // namespace zem
