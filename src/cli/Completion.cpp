#include "Completion.h"

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
std::string AcceptedTails() {
    std::string tails;
    for (const char* ending : kAcceptedInputEndings) {
        const std::string bare = std::string("x") + ending;
        tails +=
            std::string(tails.empty() ? "" : " ") + (IsAcceptedInputPath(bare) ? ending : "." + std::string(ending));
    }
    return tails;
}

} // namespace

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
           AcceptedTails() +
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
