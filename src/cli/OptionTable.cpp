#include "OptionTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "CliLanguage.h"
#include "CliOptions.h"
#include "OptionChoices.h"
#include "Subtitles.h"

namespace zem::cli {

namespace {

// The command line's names of an option's choices, each standing for the
// number the window stores for it.
template <const ChoiceOption& option>
constexpr auto CliChoices() {
    std::array<Choice, NamedChoices(option.choices)> names{};
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = {option.choices[i].cliName, option.choices[i].stored};
    return names;
}
constexpr auto kSizes = CliChoices<kSizeOption>();
constexpr auto kQualities = CliChoices<kQualityOption>();
constexpr auto kRotations = CliChoices<kRotationOption>();
constexpr auto kSubtitleSizes = CliChoices<kSubtitleSizeOption>();

std::string NameOf(std::span<const Choice> choices, int value) {
    for (const Choice& choice : choices)
        if (choice.value == value)
            return choice.name;
    return choices.front().name;
}

// Seconds to the 100 ns the engine counts in.
std::string TimeText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7f", seconds);
    return text;
}

using Values = std::vector<std::string>;

// An option whose argument is one of `choices`, stored in `field`.
template <const auto& choices, int CliOptions::*field>
UserText ApplyChoice(CliOptions& o, const std::string& v) {
    o.*field = ChoiceValue(choices, v).value_or(o.*field);
    return {};
}

template <const auto& choices, int CliOptions::*field>
Values ForwardChoice(const CliOptions& o) {
    return {NameOf(choices, o.*field)};
}

template <bool CliOptions::*field>
UserText ApplySwitch(CliOptions& o, const std::string&) {
    o.*field = true;
    return {};
}

template <bool CliOptions::*field>
Values ForwardSwitch(const CliOptions& o) {
    return o.*field ? Values{""} : Values{};
}

template <std::string CliOptions::*field>
UserText ApplyName(CliOptions& o, const std::string& v) {
    o.*field = v;
    return {};
}

template <double CliOptions::*field>
UserText ApplyTime(CliOptions& o, const std::string& v) {
    const auto t = ParseTime(v);
    if (!t)
        return UserText(kTextBadTime).With("value", v);
    o.*field = *t;
    return {};
}

template <double CliOptions::*field>
Values ForwardTime(const CliOptions& o) {
    return o.*field > 0 ? Values{TimeText(o.*field)} : Values{};
}

UserText ApplyJobs(CliOptions& o, const std::string& v) {
    if (v == kAutoJobsName) {
        o.jobs = kAutoJobs;
        return {};
    }
    char* end = nullptr;
    const long jobs = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || jobs < 1 || jobs > kMaxJobs)
        return UserText(kTextBadJobs).With("value", v).With("max", std::to_string(kMaxJobs));
    o.jobs = int(jobs);
    return {};
}

// In the order of the help.
const std::array<OptionSpec, 19> kOptions{{
    {"output",
     'o',
     Argument::File,
     "FILE",
     "file name",
     "output file (one input only); default: the input name with its extension replaced by \"_ZM.avi\"",
     {},
     nullptr,
     ApplyName<&CliOptions::output>,
     nullptr,
     false},
    {"output-dir",
     'd',
     Argument::Folder,
     "DIR",
     "folder",
     "put the outputs, with their default names, in DIR",
     {},
     nullptr,
     ApplyName<&CliOptions::outputDir>,
     nullptr,
     false},
    {kSizeOption.cliLong, kSizeOption.cliShort, Argument::Choice, "WxH", "size", "picture size", kSizes,
     kSizeOption.Default().cliName, ApplyChoice<kSizes, &CliOptions::sizeIndex>,
     ForwardChoice<kSizes, &CliOptions::sizeIndex>, false},
    {kQualityOption.cliLong, kQualityOption.cliShort, Argument::Choice, "NAME", "quality", "picture quality",
     kQualities, kQualityOption.Default().cliName, ApplyChoice<kQualities, &CliOptions::qualityIndex>,
     ForwardChoice<kQualities, &CliOptions::qualityIndex>, false},
    {kRotationOption.cliLong, kRotationOption.cliShort, Argument::Choice, "NAME", "rotation",
     "turn the pictures a quarter to the left or right", kRotations, kRotationOption.Default().cliName,
     ApplyChoice<kRotations, &CliOptions::rotate>, ForwardChoice<kRotations, &CliOptions::rotate>, false},
    {kKeepProportionsOption.cliLong,
     0,
     Argument::None,
     nullptr,
     nullptr,
     "keep the pictures' proportions: scale them to fit inside the size, centred on black bars",
     {},
     nullptr,
     ApplySwitch<&CliOptions::keepProportions>,
     ForwardSwitch<&CliOptions::keepProportions>,
     false},
    {"start",
     0,
     Argument::Time,
     "T",
     "time",
     "convert from T (seconds, or mm:ss.mmm)",
     {},
     nullptr,
     ApplyTime<&CliOptions::start>,
     ForwardTime<&CliOptions::start>,
     false},
    {"end",
     0,
     Argument::Time,
     "T",
     "time",
     "convert up to T",
     {},
     nullptr,
     ApplyTime<&CliOptions::end>,
     ForwardTime<&CliOptions::end>,
     false},
    {kKeepMp3Option.cliLong,
     0,
     Argument::None,
     nullptr,
     nullptr,
     "keep the intermediate .mp3 beside the output",
     {},
     nullptr,
     ApplySwitch<&CliOptions::keepMp3>,
     ForwardSwitch<&CliOptions::keepMp3>,
     false},
    {"subtitles",
     0,
     Argument::File,
     "FILE",
     "file name",
     "draw the subtitles of FILE into the pictures; by default a file beside the input with its name and one of "
     "the endings {endings}, else the input's own text track",
     {},
     nullptr,
     ApplyName<&CliOptions::subtitlesFile>,
     [](const CliOptions& o) { return o.subtitlesFile.empty() ? Values{} : Values{o.subtitlesFile}; },
     false},
    {"no-subtitles",
     0,
     Argument::None,
     nullptr,
     nullptr,
     "draw no subtitles",
     {},
     nullptr,
     ApplySwitch<&CliOptions::noSubtitles>,
     ForwardSwitch<&CliOptions::noSubtitles>,
     false},
    {kSubtitleSizeOption.cliLong, kSubtitleSizeOption.cliShort, Argument::Choice, "S", "subtitle size",
     "size of the subtitles' letters", kSubtitleSizes, kSubtitleSizeOption.Default().cliName,
     ApplyChoice<kSubtitleSizes, &CliOptions::subtitleSize>, ForwardChoice<kSubtitleSizes, &CliOptions::subtitleSize>,
     false},
    {"files-from",
     0,
     Argument::File,
     "FILE",
     "file name",
     "convert the files named in FILE as well, one path a line (\"-\" reads standard input)",
     {},
     nullptr,
     ApplyName<&CliOptions::filesFrom>,
     nullptr,
     false},
    {"null",
     '0',
     Argument::None,
     nullptr,
     nullptr,
     "the paths of --files-from end with a NUL character instead of a line end (as find -print0 writes them)",
     {},
     nullptr,
     ApplySwitch<&CliOptions::nulSeparated>,
     nullptr,
     false},
    {"json",
     0,
     Argument::None,
     nullptr,
     nullptr,
     "report on standard output as one JSON object a line: each start, progress step, warning and result",
     {},
     nullptr,
     ApplySwitch<&CliOptions::json>,
     ForwardSwitch<&CliOptions::json>,
     false},
    {"jobs",
     'j',
     Argument::Count,
     "N|auto",
     "number",
     "convert up to N inputs at once, each in a process of its own (default 1); auto, or -j alone: as many as "
     "the cores and the free memory allow for the largest input's pictures",
     {},
     nullptr,
     ApplyJobs,
     nullptr,
     false},
    {"help",
     'h',
     Argument::None,
     nullptr,
     nullptr,
     "show this help",
     {},
     nullptr,
     ApplySwitch<&CliOptions::help>,
     nullptr,
     false},
    {"version",
     0,
     Argument::None,
     nullptr,
     nullptr,
     "show the version",
     {},
     nullptr,
     ApplySwitch<&CliOptions::version>,
     nullptr,
     false},
    // This process converts one input of a batch: its input, its output and
    // the batch's other inputs come on standard input (see SingleJobInput).
    {"batch-job",
     0,
     Argument::None,
     nullptr,
     nullptr,
     "",
     {},
     nullptr,
     ApplySwitch<&CliOptions::batchJob>,
     nullptr,
     true},
}};

} // namespace

std::span<const OptionSpec> Options() {
    return kOptions;
}

const OptionSpec* FindLongOption(std::string_view name) {
    for (const OptionSpec& option : kOptions)
        if (name == option.longName)
            return &option;
    return nullptr;
}

const OptionSpec* FindShortOption(char letter) {
    for (const OptionSpec& option : kOptions)
        if (letter != 0 && letter == option.shortName)
            return &option;
    return nullptr;
}

std::optional<int> ChoiceValue(std::span<const Choice> choices, std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const Choice& choice : choices)
        if (text == choice.name)
            return choice.value;
    return std::nullopt;
}

std::string ChoiceNames(std::span<const Choice> choices) {
    std::string out;
    for (const Choice& choice : choices)
        out += (out.empty() ? "" : ", ") + std::string(choice.name);
    return out;
}

std::string FullHelp(const OptionSpec& option) {
    // A help that names the subtitle endings has them from the table the choice of the file reads.
    UserText text = UserText(option.help).With("endings", media::SubtitleEndingsText());
    if (!option.choices.empty())
        text = UserText(kTextHelpChoices).With("help", std::move(text)).With("choices", ChoiceNames(option.choices));
    if (option.defaultName)
        text = UserText(kTextHelpDefault).With("help", std::move(text)).With("choice", option.defaultName);
    return Say(text);
}

std::string OptionSynopsis(const OptionSpec& option) {
    std::string text = option.shortName ? std::string("-") + option.shortName + ", " : std::string();
    text += "--" + std::string(option.longName);
    if (option.valueName)
        text += " " + std::string(option.valueName);
    return text;
}

std::span<const Choice> SizeChoices() {
    return kSizes;
}
std::span<const Choice> QualityChoices() {
    return kQualities;
}
std::span<const Choice> RotationChoices() {
    return kRotations;
}
std::span<const Choice> SubtitleSizeChoices() {
    return kSubtitleSizes;
}

} // namespace zem::cli
