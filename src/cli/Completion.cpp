#include "Completion.h"

#include <vector>

#include "CliOptions.h"
#include "ConversionPaths.h"
#include "OptionTable.h"

namespace zem::cli {

namespace {

// "-s|--size": the names of an option as a case pattern.
std::string CasePattern(const OptionSpec& option) {
    std::string pattern = "--" + std::string(option.longName);
    if (option.shortName)
        pattern = "-" + std::string(1, option.shortName) + "|" + pattern;
    return pattern;
}

// What a name ends with when the converter reads it: ".avi", or a four-letter
// ending alone ("mpeg"), found by asking the one rule rather than restating it.
std::vector<std::string> AcceptedTails() {
    std::vector<std::string> tails;
    for (const char* ending : kAcceptedInputEndings)
        tails.push_back(IsAcceptedInputPath(std::string("x") + ending) ? ending : "." + std::string(ending));
    return tails;
}

std::string Joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : separator) + word;
    return text;
}

// `text` inside a single-quoted zsh word, within an _arguments description.
std::string ZshQuoted(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '[' || c == ']' || c == ':' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out;
}

} // namespace

std::string ZshCompletion() {
    std::string entries;
    for (const OptionSpec& option : Options()) {
        if (option.hidden)
            continue;
        const std::string longName = "--" + std::string(option.longName);
        const std::string shortName = option.shortName ? "-" + std::string(1, option.shortName) : "";
        const bool takesValue = option.argument != Argument::None;
        std::string names;
        if (shortName.empty())
            names = "'" + longName + (takesValue ? "=" : "");
        else
            names = "'(" + shortName + " " + longName + ")'{" + shortName + (takesValue ? "+" : "") + "," + longName +
                    (takesValue ? "=" : "") + "}'";
        std::string entry = names + "[" + ZshQuoted(FullHelp(option)) + "]";
        switch (option.argument) {
        case Argument::None:
            break;
        case Argument::Choice: {
            std::string words;
            for (const Choice& choice : option.choices)
                words += (words.empty() ? "" : " ") + std::string(choice.name);
            entry += ":" + ZshQuoted(option.noun) + ":(" + words + ")";
            break;
        }
        case Argument::File:
            entry += ":" + ZshQuoted(option.noun) + ":_files";
            break;
        case Argument::Folder:
            entry += ":" + ZshQuoted(option.noun) + ":_files -/";
            break;
        case Argument::Time:
        case Argument::Number:
            entry += ":" + ZshQuoted(option.noun) + ": ";
            break;
        case Argument::Count:
            entry += ":" + ZshQuoted(option.noun) + ":(" + kAutoJobsName + ")";
            break;
        }
        entries += "  " + entry + "' \\\n";
    }
    return "#compdef zemconvert\n"
           "# zsh completion for zemconvert (made from its option table at build time)\n"
           "_arguments -s -S \\\n" +
           entries + "  '*:video file:_files -g \"*(#i)(" + Joined(AcceptedTails(), "|") + ")(-.)\"'\n";
}

std::string BashCompletion() {
    std::string names;
    std::string cases;
    for (const OptionSpec& option : Options()) {
        if (option.hidden)
            continue;
        names += (names.empty() ? "" : " ") + std::string("--") + option.longName;
        if (option.shortName)
            names += std::string(" -") + option.shortName;
        std::string reply;
        switch (option.argument) {
        case Argument::None:
            continue;
        case Argument::Choice: {
            std::string words;
            for (const Choice& choice : option.choices)
                words += (words.empty() ? "" : " ") + std::string(choice.name);
            reply = "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))";
            break;
        }
        case Argument::File:
            reply = "local IFS=$'\\n'; compopt -o filenames; COMPREPLY=($(compgen -f -- \"$cur\"))";
            break;
        case Argument::Folder:
            reply = "local IFS=$'\\n'; compopt -o filenames; COMPREPLY=($(compgen -d -- \"$cur\"))";
            break;
        case Argument::Time:
        case Argument::Number:
            reply = "COMPREPLY=()";
            break;
        case Argument::Count:
            reply = std::string("COMPREPLY=($(compgen -W \"") + kAutoJobsName + "\" -- \"$cur\"))";
            break;
        }
        cases += "    " + CasePattern(option) + ")\n        " + reply + "\n        return ;;\n";
    }
    return "# bash completion for zemconvert (made from its option table at build time)\n"
           "_zemconvert() {\n"
           "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"\"\n"
           "    ((COMP_CWORD > 0)) && prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
           "    # \"--size=1\" comes as \"--size\" \"=\" \"1\".\n"
           "    if [[ $cur == = ]]; then\n"
           "        cur=\"\"\n"
           "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
           "        prev=\"${COMP_WORDS[COMP_CWORD-2]}\"\n"
           "    fi\n"
           "    case \"$prev\" in\n" +
           cases +
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"" +
           names +
           "\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    # Inputs: folders, and the files whose ending the converter reads.\n"
           "    local IFS=$'\\n'\n"
           "    compopt -o filenames\n"
           "    local tails=(" +
           Joined(AcceptedTails(), " ") +
           ") f t\n"
           "    COMPREPLY=()\n"
           "    for f in $(compgen -f -- \"$cur\"); do\n"
           "        if [[ -d $f ]]; then\n"
           "            COMPREPLY+=(\"$f\")\n"
           "            continue\n"
           "        fi\n"
           "        for t in \"${tails[@]}\"; do\n"
           "            if [[ ${f,,} == *\"$t\" ]]; then\n"
           "                COMPREPLY+=(\"$f\")\n"
           "                break\n"
           "            fi\n"
           "        done\n"
           "    done\n"
           "}\n"
           "complete -F _zemconvert zemconvert\n";
}

} // namespace zem::cli
