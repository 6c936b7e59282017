#include "CliOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "AsxPlaylist.h"
#include "ConversionPaths.h"
#include "OptionTable.h"

namespace zem::cli {

namespace {

constexpr size_t kHelpColumn = 25; // where the help texts start in --help
constexpr size_t kHelpWidth = 79;

// `text` broken into lines of at most `width` characters at its spaces.
std::vector<std::string> Wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines{""};
    size_t pos = 0;
    while (pos < text.size()) {
        size_t space = text.find(' ', pos);
        if (space == std::string::npos)
            space = text.size();
        const std::string word = text.substr(pos, space - pos);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
            lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : " ") + word;
        pos = space + 1;
    }
    return lines;
}

} // namespace

std::optional<double> ParseTime(const std::string& text) {
    // A time is kept in 100 ns units: "inf", "nan" and figures past the
    // longest film anyone has are no time.
    const auto usable = [](double seconds) -> std::optional<double> {
        if (!std::isfinite(seconds) || seconds < 0 || seconds > kMaxTimeSeconds)
            return std::nullopt;
        return seconds;
    };
    if (text.empty())
        return std::nullopt;
    const auto colon = text.find(':');
    char* end = nullptr;
    if (colon == std::string::npos) {
        const double seconds = std::strtod(text.c_str(), &end);
        if (*end != '\0')
            return std::nullopt;
        return usable(seconds);
    }
    const std::string minutesText = text.substr(0, colon);
    const std::string secondsText = text.substr(colon + 1);
    if (minutesText.empty() || secondsText.empty() ||
        !std::all_of(minutesText.begin(), minutesText.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const double seconds = std::strtod(secondsText.c_str(), &end);
    if (*end != '\0' || !(seconds >= 0 && seconds < 60))
        return std::nullopt;
    return usable(std::strtod(minutesText.c_str(), nullptr) * 60 + seconds);
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
    std::string text = std::string("Usage: ") + kUsageLine + "\n" + kPurposeText + "\n\n";
    for (const OptionSpec& option : Options()) {
        if (option.hidden)
            continue;
        std::string line = (option.shortName ? "  " : "      ") + OptionSynopsis(option);
        const std::vector<std::string> help = Wrap(FullHelp(option), kHelpWidth - kHelpColumn);
        for (const std::string& part : help) {
            if (line.size() + 1 > kHelpColumn) {
                text += line + "\n";
                line.clear();
            }
            line.resize(kHelpColumn, ' ');
            text += line + part + "\n";
            line.clear();
        }
    }
    text += std::string("\n") + kInterruptText + "\n" + kExitStatusText + "\n";
    return text;
}

std::vector<std::string> SingleJobArguments(const CliOptions& options) {
    std::vector<std::string> args;
    for (const OptionSpec& option : Options()) {
        if (!option.forward)
            continue;
        for (const std::string& value : option.forward(options)) {
            args.push_back("--" + std::string(option.longName));
            if (option.argument != Argument::None)
                args.push_back(value);
        }
    }
    args.push_back("--batch-job");
    return args;
}

JobInputs::JobInputs(const std::vector<std::string>& inputs) : m_names(inputs.begin(), inputs.end()) {
    for (const std::string& input : inputs) {
        struct stat st {};
        if (::stat(input.c_str(), &st) == 0)
            m_byFile[{st.st_dev, st.st_ino}].push_back(input);
        if (media::IsAsxPath(input))
            m_lists.push_back(input);
    }
}

std::string JobInputs::Text(const std::string& input, const std::string& output) const {
    std::string text;
    for (const std::string* name : {&input, &output})
        text.append(*name).push_back('\0');
    std::set<std::string> others(m_lists.begin(), m_lists.end());
    if (m_names.count(output) != 0)
        others.insert(output);
    struct stat st {};
    if (::stat(output.c_str(), &st) == 0) {
        if (const auto same = m_byFile.find({st.st_dev, st.st_ino}); same != m_byFile.end())
            others.insert(same->second.begin(), same->second.end());
    }
    others.erase(input);
    for (const std::string& other : others)
        text.append(other).push_back('\0');
    return text;
}

std::string SingleJobInput(const CliOptions& options, const std::string& input, const std::string& output) {
    return JobInputs(options.inputs).Text(input, output);
}

std::string TakeSingleJob(CliOptions& options, const std::string& jobText) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < jobText.size()) {
        const size_t end = jobText.find('\0', start);
        if (end == std::string::npos)
            return "the job's list does not end with a NUL";
        names.push_back(jobText.substr(start, end - start));
        start = end + 1;
    }
    if (names.size() < 2 || names[0].empty() || names[1].empty())
        return "the job's list names no input and output";
    options.inputs = {names[0]};
    options.output = names[1];
    options.otherInputs.assign(names.begin() + 2, names.end());
    return {};
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
        const std::string& arg = args[i];
        if (onlyInputs || arg.size() < 2 || arg[0] != '-') {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyInputs = true;
            continue;
        }
        // "--name", "--name=value", "-x", "-xVALUE" or "-x VALUE".
        const OptionSpec* option = nullptr;
        std::string name = arg;
        std::optional<std::string> value;
        if (arg[1] == '-') {
            const auto eq = arg.find('=');
            name = arg.substr(0, eq);
            if (eq != std::string::npos)
                value = arg.substr(eq + 1);
            option = FindLongOption(std::string_view(name).substr(2));
        } else {
            name = arg.substr(0, 2);
            option = FindShortOption(arg[1]);
            if (arg.size() > 2)
                value = arg.substr(2);
        }
        if (!option || (option->argument == Argument::None && value && arg[1] != '-'))
            return fail("unknown option " + arg);
        if (option->argument == Argument::None) {
            if (value)
                return fail("option " + name + " takes no value");
        } else if (!value && option->argument == Argument::Count) {
            const bool countFollows = i + 1 < args.size() && !args[i + 1].empty() &&
                                      (args[i + 1] == kAutoJobsName || std::isdigit((unsigned char)args[i + 1][0]) ||
                                       (args[i + 1][0] == '-' && args[i + 1].size() > 1 &&
                                        std::isdigit((unsigned char)args[i + 1][1])));
            value = countFollows ? args[++i] : std::string(kAutoJobsName);
        } else if (!value) {
            if (i + 1 >= args.size())
                return fail("option " + name + " needs a " + option->noun);
            value = args[++i];
        }
        const bool namesAFile = option->argument == Argument::File || option->argument == Argument::Folder;
        if (namesAFile && value->empty())
            return fail("option " + name + " needs a " + option->noun);
        if (!option->choices.empty() && !ChoiceValue(option->choices, *value))
            return fail("unknown " + std::string(option->noun) + " \"" + *value + "\" (choose " +
                        ChoiceNames(option->choices) + ")");
        const std::string error = option->apply(options, value.value_or(std::string()));
        if (!error.empty())
            return fail(error);
    }
    if (!options.help && !options.version) {
        if (!options.output.empty() && !options.outputDir.empty())
            return fail("--output and --output-dir exclude each other");
        if (options.end > 0 && options.end <= options.start)
            return fail("--end must lie after --start");
        if (options.nulSeparated && options.filesFrom.empty())
            return fail("-0 reads the list of --files-from, and none is given");
        // The inputs of a list, or of a batch's job, are known only once it is read.
        if (options.filesFrom.empty() && !options.batchJob) {
            const std::string error = CheckInputs(options);
            if (!error.empty())
                return fail(error);
        }
    }
    result.options = options;
    return result;
}

std::string CheckInputs(const CliOptions& options) {
    if (options.inputs.empty())
        return "no input file given";
    if (!options.output.empty() && options.inputs.size() > 1)
        return "--output takes one input only; use --output-dir for several";
    return {};
}

} // namespace zem::cli
