#pragma once
// The files one conversion touches, all derived from the input and output paths.

#include <string>

namespace zem {

inline constexpr const char* kOutputSuffix = "_ZM.avi";
inline constexpr const char* kFramesExtension = ".tmp";
inline constexpr const char* kAudioExtension = ".mp3";
inline constexpr const char* kHeaderScratchExtension = ".hit";
inline constexpr const char* kIndexScratchExtension = ".idx";
inline constexpr const char* kChunkScratchExtension = ".zem";

struct ConversionPaths {
    std::string inputPath;
    std::string outputPath;
    std::string tmpPath;    // frames file
    std::string mp3Path;    // audio written by the decoding pipeline
    std::string headerPath; // header scratch
    std::string indexPath;  // index scratch
    std::string zemPath;    // movie data scratch
};

// Whether the program reads this path: its ending, in any case, is one of the
// video formats taken ("mpeg" and "rmvb" match without a dot before them).
bool IsAcceptedInputPath(const std::string& path);

// The path cut before the last "." of its file name (the whole path when the
// name has none; a dot in a folder name is never taken for an extension).
std::string PathMinusExtension(const std::string& path);

// The input path minus its extension + "_ZM.avi".
std::string DefaultOutputPath(const std::string& inputPath);

// Scratch files lie beside the output. The movie-data scratch lies beside the
// input where that folder is writable (as it always has), else beside the
// output, so inputs on read-only media convert too.
ConversionPaths DeriveConversionPaths(const std::string& inputPath, const std::string& outputPath);

// True when every derived path fits the platform's path limit.
bool PathsFitLimit(const ConversionPaths& paths);

std::string DirectoryOf(const std::string& path);
bool IsDirectoryWritable(const std::string& directory);

} // namespace zem
