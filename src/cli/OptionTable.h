#pragma once
// zemconvert's options, each written once: its names, its argument, its help
// text, how it changes CliOptions and whether a process of a -j batch is given
// it. The parser, --help, the arguments of a batch's processes, the manual page
// and the shell completion are all made from this table.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "UserText.h"

namespace zem::cli {

struct CliOptions;

// A name an option's argument may take, and the value it stands for.
struct Choice {
    const char* name;
    int value;
};

// What an option's argument is, for the completion and the manual.
// Count: a number or "auto", which may also be left out ("-j" alone, "--jobs"):
// the next argument is taken as the count only when it is "auto" or starts
// with a digit or a minus sign.
enum class Argument { None, File, Folder, Choice, Time, Number, Count };

struct OptionSpec {
    const char* longName;            // without the leading "--"
    char shortName;                  // 0: none
    Argument argument;               // None: a switch
    const char* valueName;           // the argument in the help ("WxH"), nullptr for a switch
    const char* noun;                // the argument in an error: "needs a size", "unknown size" (a wording)
    const char* help;                // what the option does (a wording)
    std::span<const Choice> choices; // the names the argument takes; empty: free text
    const char* defaultName;         // the choice taken without the option, nullptr: none
    // Takes `value` (empty for a switch; one of `choices` when there are any)
    // into `options`; returns why the value is not usable, empty when it is.
    UserText (*apply)(CliOptions& options, const std::string& value);
    // The values to give a batch's process so it converts with the same
    // choices (one empty value for a switch that is on; none for the default).
    // nullptr: a process of a batch is not given this option.
    std::vector<std::string> (*forward)(const CliOptions& options);
    bool hidden; // passed between zemconvert processes only: in neither help nor manual
};

// Every option, in the order of the help.
std::span<const OptionSpec> Options();

// The option of this long name (without "--") or short letter; nullptr when none.
const OptionSpec* FindLongOption(std::string_view name);
const OptionSpec* FindShortOption(char letter);

// The value of the choice of this name (in any letter case); nullopt when none.
std::optional<int> ChoiceValue(std::span<const Choice> choices, std::string text);

// "96x64, 128x128, ...".
std::string ChoiceNames(std::span<const Choice> choices);

// The option's help with its choices and default, in the user's language:
// "picture size: 96x64, ... (default 320x240)".
std::string FullHelp(const OptionSpec& option);

// "-s, --size WxH" or "--keep-mp3".
std::string OptionSynopsis(const OptionSpec& option);

// The choices of the size, quality, rotation and subtitle size.
std::span<const Choice> SizeChoices();
std::span<const Choice> QualityChoices();
std::span<const Choice> RotationChoices();
std::span<const Choice> SubtitleSizeChoices();

} // namespace zem::cli
