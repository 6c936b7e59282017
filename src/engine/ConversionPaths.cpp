#include "ConversionPaths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace zem {

bool IsAcceptedInputPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return std::any_of(kInputKinds.begin(), kInputKinds.end(), [&](const InputKind& kind) {
        const std::string tail = kind.withoutDot ? std::string(kind.ending) : "." + std::string(kind.ending);
        return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    });
}

std::string AcceptedInputEndingsText() {
    std::string text;
    for (const char* ending : kAcceptedInputEndings)
        text += (text.empty() ? "" : ", ") + std::string(ending);
    return text;
}

std::string PathMinusExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

std::string DefaultOutputPath(const std::string& inputPath) {
    return PathMinusExtension(inputPath) + kOutputSuffix;
}

std::string NumberedOutputPath(const std::string& outputPath, int n) {
    if (n <= 1)
        return outputPath;
    const std::string number = "(" + std::to_string(n) + ")";
    const std::string suffix = kOutputSuffix;
    if (outputPath.size() > suffix.size() &&
        outputPath.compare(outputPath.size() - suffix.size(), suffix.size(), suffix) == 0)
        return outputPath.substr(0, outputPath.size() - suffix.size()) + number + suffix;
    const std::string base = PathMinusExtension(outputPath);
    return base + number + outputPath.substr(base.size());
}

std::string StoppedOutputPath(const std::string& outputPath) {
    const std::string base = PathMinusExtension(outputPath);
    return base + kStoppedMark + outputPath.substr(base.size());
}

namespace {
// One spelling for one file: the folder resolved (when it exists) plus the
// name. Each folder is resolved once: a batch names few folders.
class CanonicalOutputs {
public:
    std::string operator()(const std::string& path) {
        const std::string folder = DirectoryOf(path);
        const auto slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        auto [at, fresh] = m_folders.try_emplace(folder);
        if (fresh) {
            char resolved[PATH_MAX];
            at->second = ::realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : folder;
        }
        return at->second + "/" + name;
    }

private:
    std::unordered_map<std::string, std::string> m_folders;
};
} // namespace

std::vector<std::string> DistinctOutputPaths(const std::vector<std::string>& outputs) {
    // Sets, not lists, and each name's numbering goes on where it stopped: a
    // batch of 100,000 files of one name is looked through once a file.
    CanonicalOutputs canonicalOf;
    std::unordered_set<std::string> taken;
    for (const std::string& output : outputs)
        taken.insert(canonicalOf(output));
    std::vector<std::string> result;
    result.reserve(outputs.size());
    std::unordered_set<std::string> used;
    std::unordered_map<std::string, int> nextNumber; // by the name as first asked for
    for (const std::string& output : outputs) {
        const std::string first = canonicalOf(output);
        int& next = nextNumber[first];
        for (int n = std::max(next, 1);; ++n) {
            const std::string candidate = NumberedOutputPath(output, n);
            const std::string canonical = n == 1 ? first : canonicalOf(candidate);
            const bool clash = used.count(canonical) != 0 || (n > 1 && taken.count(canonical) != 0);
            if (!clash) {
                result.push_back(candidate);
                used.insert(canonical);
                next = n + 1;
                break;
            }
        }
    }
    return result;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

ConversionPaths DeriveConversionPaths(const std::string& inputPath, const std::string& outputPath,
                                      const std::string& scratchFolder) {
    ConversionPaths paths;
    paths.inputPath = inputPath;
    paths.outputPath = outputPath;
    paths.keptMp3Path = PathMinusExtension(outputPath) + kAudioExtension;
    if (paths.keptMp3Path == outputPath) // an output named "x.mp3" keeps its sound as "x.mp3.mp3"
        paths.keptMp3Path = outputPath + kAudioExtension;
    const std::string scratchBase = scratchFolder + "/" + kScratchBaseName;
    paths.tmpPath = scratchBase + kFramesExtension;
    paths.mp3Path = scratchBase + kAudioExtension;
    paths.headerPath = scratchBase + kHeaderScratchExtension;
    paths.indexPath = scratchBase + kIndexScratchExtension;
    paths.zemPath = scratchBase + kChunkScratchExtension;
    return paths;
}

bool PathsFitLimit(const ConversionPaths& paths) {
    for (const std::string* p : {&paths.inputPath, &paths.outputPath, &paths.keptMp3Path, &paths.tmpPath,
                                 &paths.mp3Path, &paths.headerPath, &paths.indexPath, &paths.zemPath}) {
        if (p->size() + 1 > PATH_MAX)
            return false;
    }
    return true;
}

} // namespace zem
