#pragma once
// The files one conversion touches, all derived from the input and output paths.

#include <array>
#include <string>
#include <vector>

#include "InputKinds.h"

namespace zem {

inline constexpr const char* kOutputSuffix = "_ZM.avi";
// Goes before the extension of a stopped run's output that is kept beside an earlier one.
inline constexpr const char* kStoppedMark = " (stopped)";
inline constexpr const char* kFramesExtension = ".tmp";
inline constexpr const char* kAudioExtension = ".mp3";
inline constexpr const char* kHeaderScratchExtension = ".hit";
inline constexpr const char* kIndexScratchExtension = ".idx";
inline constexpr const char* kChunkScratchExtension = ".zem";

// Names of the intermediate files inside a conversion's scratch folder.
inline constexpr const char* kScratchBaseName = "scratch";

struct ConversionPaths {
    std::string inputPath;
    std::string outputPath;
    std::string keptMp3Path; // where a kept ".mp3" goes: beside the output
    // In the scratch folder:
    std::string tmpPath;    // frames file
    std::string mp3Path;    // audio written by the decoding pipeline
    std::string headerPath; // header scratch
    std::string indexPath;  // index scratch
    std::string zemPath;    // movie data, renamed to the output when done
};

// Whether the program reads this path: its ending, in any case, is one of
// kAcceptedInputEndings (those marked `withoutDot` in kInputKinds match without
// a dot before them).
bool IsAcceptedInputPath(const std::string& path);
// The endings for a message: "avi, mpg, ..., mkv".
std::string AcceptedInputEndingsText();

// The path cut before the last "." of its file name (the whole path when the
// name has none; a dot in a folder name is never taken for an extension).
std::string PathMinusExtension(const std::string& path);

// The input path minus its extension + "_ZM.avi".
std::string DefaultOutputPath(const std::string& inputPath);

// The n-th name of an output whose name another output of the same run
// already has: "a(2)_ZM.avi" for "a_ZM.avi" (the number goes before the
// suffix, or before the extension of another name); n = 1 is the name itself.
std::string NumberedOutputPath(const std::string& outputPath, int n);

// Where the part converted before a stop goes when the output's own name
// holds an earlier output: "a_ZM (stopped).avi" beside "a_ZM.avi".
std::string StoppedOutputPath(const std::string& outputPath);

// The names of `outputs` made distinct where two would be one file (the same
// name in the same folder, whatever path leads there), by numbering the later
// ones; an output is never given a name that another in the list has.
std::vector<std::string> DistinctOutputPaths(const std::vector<std::string>& outputs);

// The intermediate files lie in `scratchFolder` (made in the output's folder,
// so the output appears by a rename); nothing is written beside the input.
ConversionPaths DeriveConversionPaths(const std::string& inputPath, const std::string& outputPath,
                                      const std::string& scratchFolder);

// True when every derived path fits the platform's path limit.
bool PathsFitLimit(const ConversionPaths& paths);

std::string DirectoryOf(const std::string& path);

} // namespace zem
