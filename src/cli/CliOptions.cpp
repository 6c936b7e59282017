#include "CliOptions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "ConversionPaths.h"
#include "ConversionSettings.h"

namespace zem::cli {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

struct Named {
    const char* name;
    int value;
};

// Command-line names of the size, quality and rotation choices.
constexpr auto kSizes = [] {
    std::array<Named, kNamedVideoSizes> sizes{};
    for (size_t i = 0; i < sizes.size(); ++i)
        sizes[i] = {kVideoSizeTable[i].cliName, int(i)};
    return sizes;
}();
constexpr std::array<Named, 5> kQualities{
    {{"high-definition", 0}, {"high-frame", 1}, {"standard", 2}, {"middle", 3}, {"low", 4}}};
constexpr std::array<Named, 3> kRotations{{{"none", 0}, {"left", 1}, {"right", 2}}};
constexpr std::array<Named, 3> kSubtitleSizes{{{"big", 0}, {"middle", 1}, {"small", 2}}};

template <size_t N>
std::optional<int> Lookup(const std::array<Named, N>& table, const std::string& text) {
    const std::string wanted = Lower(text);
    for (const Named& n : table)
        if (wanted == n.name)
            return n.value;
    return std::nullopt;
}

template <size_t N>
std::string NameOf(const std::array<Named, N>& table, int value) {
    for (const Named& n : table)
        if (n.value == value)
            return n.name;
    return table[0].name;
}

// Seconds to the 100 ns the engine counts in.
std::string TimeText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7f", seconds);
    return text;
}

template <size_t N>
std::string Names(const std::array<Named, N>& table) {
    std::string out;
    for (const Named& n : table)
        out += (out.empty() ? "" : ", ") + std::string(n.name);
    return out;
}

} // namespace

std::optional<double> ParseTime(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const auto colon = text.find(':');
    char* end = nullptr;
    if (colon == std::string::npos) {
        const double seconds = std::strtod(text.c_str(), &end);
        if (*end != '\0' || seconds < 0)
            return std::nullopt;
        return seconds;
    }
    const std::string minutesText = text.substr(0, colon);
    const std::string secondsText = text.substr(colon + 1);
    if (minutesText.empty() || secondsText.empty() ||
        !std::all_of(minutesText.begin(), minutesText.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const double seconds = std::strtod(secondsText.c_str(), &end);
    if (*end != '\0' || seconds < 0 || seconds >= 60)
        return std::nullopt;
    return std::stod(minutesText) * 60 + seconds;
}

std::string OutputPathFor(const CliOptions& options, const std::string& input) {
    if (!options.output.empty())
        return options.output;
    const std::string name = DefaultOutputPath(input);
    if (options.outputDir.empty())
        return name;
    const auto slash = name.find_last_of('/');
    const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string dir = options.outputDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir + "/" + file;
}

std::string UsageText() {
    return "Usage: zemconvert [OPTIONS] INPUT...\n"
           "Converts video files into the Motion-JPEG AVI files a portable player reads\n"
           "(16 frames per second, MP3 sound at 48 kHz and 128 kbit/s).\n"
           "\n"
           "  -o, --output FILE      output file (one input only); default: the input\n"
           "                         name with its extension replaced by \"_ZM.avi\"\n"
           "  -d, --output-dir DIR   put the outputs, with their default names, in DIR\n"
           "  -s, --size WxH         picture size: " +
           Names(kSizes) +
           " (default 320x240)\n"
           "  -q, --quality NAME     " +
           Names(kQualities) +
           " (default standard)\n"
           "  -r, --rotate NAME      " +
           Names(kRotations) +
           " (default none)\n"
           "      --start T          convert from T (seconds, or mm:ss.mmm)\n"
           "      --end T            convert up to T\n"
           "      --keep-mp3         keep the intermediate .mp3 beside the output\n"
           "      --subtitles FILE   draw the subtitles of FILE into the pictures; by default\n"
           "                         a file beside the input with its name and the ending\n"
           "                         .smi, .ass, .ssa, .srt or .sub, else the input's own\n"
           "                         text track\n"
           "      --no-subtitles     draw no subtitles\n"
           "      --subtitle-size S  " +
           Names(kSubtitleSizes) +
           " (default middle)\n"
           "  -j, --jobs N           convert up to N inputs at once (default 1)\n"
           "  -h, --help             show this help\n"
           "      --version          show the version\n"
           "\n"
           "Ctrl+C stops the current file (what was converted so far is written) and\n"
           "converts no further input; a second Ctrl+C gives up at once.\n"
           "Exit status: 0 when every input converted, 1 when any did not, 2 for bad usage.\n";
}

std::vector<std::string> SingleJobArguments(const CliOptions& options, const std::string& input,
                                            const std::string& output) {
    std::vector<std::string> args{"-s", NameOf(kSizes, options.sizeIndex),
                                  "-q", NameOf(kQualities, options.qualityIndex),
                                  "-r", NameOf(kRotations, options.rotate)};
    if (options.start > 0)
        args.insert(args.end(), {"--start", TimeText(options.start)});
    if (options.end > 0)
        args.insert(args.end(), {"--end", TimeText(options.end)});
    if (options.keepMp3)
        args.emplace_back("--keep-mp3");
    if (options.noSubtitles)
        args.emplace_back("--no-subtitles");
    if (!options.subtitlesFile.empty())
        args.insert(args.end(), {"--subtitles", options.subtitlesFile});
    args.insert(args.end(), {"--subtitle-size", NameOf(kSubtitleSizes, options.subtitleSize)});
    for (const std::string& other : options.inputs)
        if (other != input)
            args.insert(args.end(), {"--other-input", other});
    args.insert(args.end(), {"-o", output, "--", input});
    return args;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions options;
    ParseResult result;
    auto fail = [&](const std::string& message) {
        result.error = message;
        return result;
    };
    bool onlyInputs = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyInputs || arg.empty() || arg[0] != '-' || arg == "-") {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyInputs = true;
            continue;
        }
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        auto takeValue = [&](std::string& out) -> bool {
            if (hasInlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--keep-mp3") {
            options.keepMp3 = true;
        } else if (arg == "--no-subtitles") {
            options.noSubtitles = true;
        } else if (arg == "--subtitles") {
            if (!takeValue(v) || v.empty())
                return fail("option " + arg + " needs a file name");
            options.subtitlesFile = v;
        } else if (arg == "--subtitle-size") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a size");
            const auto size = Lookup(kSubtitleSizes, v);
            if (!size)
                return fail("unknown subtitle size \"" + v + "\" (choose " + Names(kSubtitleSizes) + ")");
            options.subtitleSize = *size;
        } else if (arg == "-o" || arg == "--output") {
            if (!takeValue(v) || v.empty())
                return fail("option " + arg + " needs a file name");
            options.output = v;
        } else if (arg == "-d" || arg == "--output-dir") {
            if (!takeValue(v) || v.empty())
                return fail("option " + arg + " needs a folder");
            options.outputDir = v;
        } else if (arg == "-s" || arg == "--size") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a size");
            const auto size = Lookup(kSizes, v);
            if (!size)
                return fail("unknown size \"" + v + "\" (choose " + Names(kSizes) + ")");
            options.sizeIndex = *size;
        } else if (arg == "-q" || arg == "--quality") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a quality");
            const auto quality = Lookup(kQualities, v);
            if (!quality)
                return fail("unknown quality \"" + v + "\" (choose " + Names(kQualities) + ")");
            options.qualityIndex = *quality;
        } else if (arg == "-r" || arg == "--rotate") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a direction");
            const auto rotate = Lookup(kRotations, v);
            if (!rotate)
                return fail("unknown rotation \"" + v + "\" (choose " + Names(kRotations) + ")");
            options.rotate = *rotate;
        } else if (arg == "-j" || arg == "--jobs") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a number");
            char* end = nullptr;
            const long jobs = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || jobs < 1 || jobs > kMaxJobs)
                return fail("cannot read the number of jobs \"" + v + "\" (1 to " + std::to_string(kMaxJobs) + ")");
            options.jobs = int(jobs);
        } else if (arg == "--other-input") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a file name");
            options.otherInputs.push_back(v);
        } else if (arg == "--start" || arg == "--end") {
            if (!takeValue(v))
                return fail("option " + arg + " needs a time");
            const auto t = ParseTime(v);
            if (!t)
                return fail("cannot read the time \"" + v + "\" (seconds, or mm:ss.mmm)");
            (arg == "--start" ? options.start : options.end) = *t;
        } else {
            return fail("unknown option " + arg);
        }
    }
    if (options.help || options.version) {
        result.options = options;
        return result;
    }
    if (options.inputs.empty())
        return fail("no input file given");
    if (!options.output.empty() && options.inputs.size() > 1)
        return fail("--output takes one input only; use --output-dir for several");
    if (!options.output.empty() && !options.outputDir.empty())
        return fail("--output and --output-dir exclude each other");
    if (options.end > 0 && options.end <= options.start)
        return fail("--end must lie after --start");
    result.options = options;
    return result;
}

} // namespace zem::cli
