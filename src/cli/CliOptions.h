#pragma once
// Command-line options of zemconvert.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ConversionPaths.h"
#include "OptionChoices.h"
#include "UserText.h"

namespace zem::cli {

struct CliOptions {
    std::vector<std::string> inputs;
    std::string output;    // -o: one input only
    std::string outputDir; // -d: default names in another folder
    // The stored numbers of the options' choices (OptionChoices.h).
    int sizeIndex = kSizeOption.defaultStored;
    int qualityIndex = kQualityOption.defaultStored;
    int rotate = kRotationOption.defaultStored;
    double start = 0.0; // seconds; both 0: the whole file
    double end = 0.0;
    bool keepMp3 = kKeepMp3Option.defaultOn;
    bool keepProportions = kKeepProportionsOption.defaultOn;
    // Subtitles: the file beside each input by default.
    bool noSubtitles = false;
    std::string subtitlesFile; // --subtitles: this file instead
    int subtitleSize = kSubtitleSizeOption.defaultStored;
    int jobs = 1;              // -j: inputs converted at once, each in a process of its own; kAutoJobs: chosen
    std::string filesFrom;     // --files-from: more inputs, one a line ("-": standard input)
    bool nulSeparated = false; // -0: the list's paths end with NUL instead
    bool json = false;         // --json: JSON lines on standard output instead of text
    // Inputs of the whole command line that a job's process converts alone: no
    // output of it may replace one of them (given by -j to each such process).
    std::vector<std::string> otherInputs;
    // --batch-job: a process of a -j batch, told its job on standard input.
    bool batchJob = false;
    bool help = false;
    bool version = false;

    bool operator==(const CliOptions&) const = default;
};

struct ParseResult {
    std::optional<CliOptions> options;
    UserText error; // set when the command line is not usable
};

// Reads the options of OptionTable.h; the inputs of --files-from are not read
// yet (see ReadInputList).
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// What is wrong with the inputs once all are known (none, or several for one
// --output); empty when nothing is.
UserText CheckInputs(const CliOptions& options);

// The latest time --start and --end take: ten thousand hours.
inline constexpr double kMaxTimeSeconds = 36e6;

// "12.5", "75", "01:02.500" or "1:02" as seconds; nullopt when unreadable,
// not finite or past kMaxTimeSeconds.
std::optional<double> ParseTime(const std::string& text);

// Whether the file list would take this path (the rule the window uses too).
using zem::IsAcceptedInputPath;

// Where the output of `input` goes with these options.
std::string OutputPathFor(const CliOptions& options, const std::string& input);

// --help: the options of the table with their help texts, in the user's language.
std::string UsageText();

// The arguments that make a zemconvert process convert one input of a batch
// alone with the same choices (the options the table forwards); what it
// converts comes on its standard input, SingleJobInput. A name travels there
// byte for byte (no argument list re-codes it as text) and a batch of any
// length fits (no argument list runs out of room).
std::vector<std::string> SingleJobArguments(const CliOptions& options);
// What one process of a batch is told: its input, its output, and of the
// batch's other inputs only those its output could replace (the output's
// name or file, and the play lists, whose entries count as inputs), each
// ended by a NUL. The inputs are looked at once, for the whole batch.
class JobInputs {
public:
    explicit JobInputs(const std::vector<std::string>& inputs);
    std::string Text(const std::string& input, const std::string& output) const;

private:
    std::vector<std::string> m_lists;
    std::map<std::pair<dev_t, ino_t>, std::vector<std::string>> m_byFile;
    std::set<std::string> m_names;
};
std::string SingleJobInput(const CliOptions& options, const std::string& input, const std::string& output);
// Takes SingleJobInput's text into a --batch-job process's options; an
// error in words when it is not one.
UserText TakeSingleJob(CliOptions& options, const std::string& jobText);

// The most inputs -j converts at once.
inline constexpr int kMaxJobs = 64;
// -j auto: the count is chosen once the inputs are known (AutoJobs.h).
inline constexpr int kAutoJobs = 0;
inline constexpr const char* kAutoJobsName = "auto";
inline constexpr const char* kVersionText = "zemconvert (ZemConverter) 4.10";

// The texts --help and the manual page share; --help shows them in the
// user's language, wrapped to its width.
inline constexpr const char* kUsageLine = "zemconvert [OPTIONS] INPUT...";
inline constexpr const char* kTextPurpose =
    "Converts video files into the Motion-JPEG AVI files a portable player reads (16 frames per second, MP3 sound at "
    "48 kHz and 128 kbit/s).";
inline constexpr const char* kTextInterrupt =
    "Ctrl+C stops the current file (what was converted so far is written) and converts no further input; a second "
    "Ctrl+C gives up at once.";
inline constexpr const char* kTextExitStatus =
    "Exit status: 0 when every input converted, 1 when any did not, 2 for bad usage.";

} // namespace zem::cli
