#pragma once
// Command-line options of zemconvert.

#include <optional>
#include <string>
#include <vector>

#include "ConversionPaths.h"

namespace zem::cli {

struct CliOptions {
    std::vector<std::string> inputs;
    std::string output;    // -o: one input only
    std::string outputDir; // -d: default names in another folder
    int sizeIndex = 0;     // row of the size table
    int qualityIndex = 2;  // "standard"
    int rotate = 0;
    double start = 0.0; // seconds; both 0: the whole file
    double end = 0.0;
    bool keepMp3 = false;
    // Subtitles: the file beside each input by default.
    bool noSubtitles = false;
    std::string subtitlesFile; // --subtitles: this file instead
    int subtitleSize = 1;      // 0 big, 1 middle, 2 small
    int jobs = 1;              // -j: inputs converted at once, each in a process of its own
    // Inputs of the whole command line that a job's process converts alone: no
    // output of it may replace one of them (given by -j to each such process).
    std::vector<std::string> otherInputs;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    std::optional<CliOptions> options;
    std::string error; // set when the command line is not usable
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// "12.5", "75", "01:02.500" or "1:02" as seconds; nullopt when unreadable.
std::optional<double> ParseTime(const std::string& text);

// Whether the file list would take this path (the rule the window uses too).
using zem::IsAcceptedInputPath;

// Where the output of `input` goes with these options.
std::string OutputPathFor(const CliOptions& options, const std::string& input);

std::string UsageText();

// The arguments that make a zemconvert process convert `input` into `output`
// alone with the same choices, knowing the other inputs of the batch.
std::vector<std::string> SingleJobArguments(const CliOptions& options, const std::string& input,
                                            const std::string& output);

// The most inputs -j converts at once.
inline constexpr int kMaxJobs = 64;
inline constexpr const char* kVersionText = "zemconvert (ZemConverter) 4.10";

} // namespace zem::cli
