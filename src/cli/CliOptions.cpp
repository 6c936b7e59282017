#include "CliOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "AsxPlaylist.h"
#include "CliLanguage.h"
#include "ConversionPaths.h"
#include "OptionTable.h"

namespace zem::cli {

namespace {

constexpr size_t kHelpColumn = 25; // where the help texts start in --help
constexpr size_t kHelpWidth = 79;

// One character of UTF-8 text at `pos`: its code point and its length in
// bytes (a byte that starts no character counts as one of its own).
char32_t CodePointAt(const std::string& text, size_t pos, size_t& length) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    const size_t need = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 1;
    if (pos + need > text.size() || need == 1) {
        length = 1;
        return byte;
    }
    char32_t point = byte & (0x7F >> need);
    for (size_t i = 1; i < need; ++i)
        point = (point << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    length = need;
    return point;
}

// Korean, Chinese and full-width letters take two columns of a terminal.
bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

// Chinese text has no spaces: a line may end after any of its letters.
// Korean words are kept whole like English ones.
bool BreaksAfter(char32_t c) {
    return IsWide(c) && !(c >= 0xAC00 && c <= 0xD7A3) && !(c >= 0x1100 && c <= 0x115F);
}

// `text` broken into lines of at most `width` terminal columns at its spaces
// and after its Chinese letters.
std::vector<std::string> Wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines{""};
    size_t columns = 0;
    size_t pos = 0;
    bool spaceBefore = false;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            spaceBefore = true;
            ++pos;
            continue;
        }
        // The next piece: up to a space or a letter a line may end after.
        size_t end = pos;
        size_t pieceColumns = 0;
        while (end < text.size() && text[end] != ' ') {
            size_t length = 0;
            const char32_t c = CodePointAt(text, end, length);
            end += length;
            pieceColumns += IsWide(c) ? 2 : 1;
            if (BreaksAfter(c))
                break;
        }
        const size_t gap = spaceBefore && !lines.back().empty() ? 1 : 0;
        if (!lines.back().empty() && columns + gap + pieceColumns > width) {
            lines.emplace_back();
            columns = 0;
        } else if (gap) {
            lines.back() += ' ';
            ++columns;
        }
        lines.back().append(text, pos, end - pos);
        columns += pieceColumns;
        spaceBefore = false;
        pos = end;
    }
    return lines;
}

std::string Wrapped(const std::string& text) {
    std::string out;
    for (const std::string& line : Wrap(text, kHelpWidth))
        out += line + "\n";
    return out;
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
    std::string text = Say(UserText(kTextUsage).With("usage", kUsageLine)) + "\n" + Wrapped(Say(kTextPurpose)) + "\n";
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
    text += "\n" + Wrapped(Say(kTextInterrupt)) + Wrapped(Say(kTextExitStatus));
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

UserText TakeSingleJob(CliOptions& options, const std::string& jobText) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < jobText.size()) {
        const size_t end = jobText.find('\0', start);
        if (end == std::string::npos)
            return kTextJobListUnended;
        names.push_back(jobText.substr(start, end - start));
        start = end + 1;
    }
    if (names.size() < 2 || names[0].empty() || names[1].empty())
        return kTextJobListEmpty;
    options.inputs = {names[0]};
    options.output = names[1];
    options.otherInputs.assign(names.begin() + 2, names.end());
    return {};
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions options;
    ParseResult result;
    auto fail = [&](UserText message) {
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
            return fail(UserText(kTextUnknownOption).With("option", arg));
        if (option->argument == Argument::None) {
            if (value)
                return fail(UserText(kTextTakesNoValue).With("option", name));
        } else if (!value && option->argument == Argument::Count) {
            const bool countFollows =
                i + 1 < args.size() && !args[i + 1].empty() &&
                (args[i + 1] == kAutoJobsName || std::isdigit((unsigned char)args[i + 1][0]) ||
                 (args[i + 1][0] == '-' && args[i + 1].size() > 1 && std::isdigit((unsigned char)args[i + 1][1])));
            value = countFollows ? args[++i] : std::string(kAutoJobsName);
        } else if (!value) {
            if (i + 1 >= args.size())
                return fail(UserText(kTextNeedsValue).With("option", name).With("noun", UserText(option->noun)));
            value = args[++i];
        }
        const bool namesAFile = option->argument == Argument::File || option->argument == Argument::Folder;
        if (namesAFile && value->empty())
            return fail(UserText(kTextNeedsValue).With("option", name).With("noun", UserText(option->noun)));
        if (!option->choices.empty() && !ChoiceValue(option->choices, *value))
            return fail(UserText(kTextUnknownChoice)
                            .With("noun", UserText(option->noun))
                            .With("value", *value)
                            .With("choices", ChoiceNames(option->choices)));
        UserText error = option->apply(options, value.value_or(std::string()));
        if (!error.empty())
            return fail(error);
    }
    if (!options.help && !options.version) {
        if (!options.output.empty() && !options.outputDir.empty())
            return fail(kTextOutputOrDir);
        if (options.end > 0 && options.end <= options.start)
            return fail(kTextEndBeforeStart);
        if (options.nulSeparated && options.filesFrom.empty())
            return fail(kTextNulWithoutList);
        // The inputs of a list, or of a batch's job, are known only once it is read.
        if (options.filesFrom.empty() && !options.batchJob) {
            UserText error = CheckInputs(options);
            if (!error.empty())
                return fail(error);
        }
    }
    result.options = options;
    return result;
}

UserText CheckInputs(const CliOptions& options) {
    if (options.inputs.empty())
        return kTextNoInput;
    if (!options.output.empty() && options.inputs.size() > 1)
        return kTextOutputOneInput;
    return {};
}

} // namespace zem::cli
