// The manual pages and the bash completion as built: the manual lists what
// zemconvert --help lists, word for word, and renders without a warning; the
// completion offers the options, their choices and the files zemconvert reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "ConversionPaths.h"
#ifdef ZEM_HAVE_APP
#include "CompressorDlg.h"
#include "DlgConstants.h"
#endif
#include "OptionTable.h"
#include "PackagingSupport.h"
#include "TestClips.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

const std::string kFiles = ZEM_CLI_FILES_DIR;

// zemconvert --help's options: each line that starts an option, with its text.
std::map<std::string, std::string> HelpOptions(const std::string& help) {
    std::map<std::string, std::string> options;
    const std::regex longName("--([a-z0-9-]+)");
    std::istringstream in(help);
    std::string current;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        const bool starts = line.rfind("  -", 0) == 0 || line.rfind("      --", 0) == 0;
        if (starts && std::regex_search(line, match, longName)) {
            current = match[1];
            options[current] = line;
        } else if (!current.empty() && line.rfind("    ", 0) == 0) {
            options[current] += " " + line;
        } else {
            current.clear();
        }
    }
    return options;
}

} // namespace

TEST(Manual, ListsEveryOptionOfHelpWithTheSameWords) {
    if (!Have("groff"))
        GTEST_SKIP() << "groff is not installed (scripts/install-deps.sh installs groff-base)";
    const Ran help = RunProgram(QStringLiteral(ZEMCONVERT_PATH), {QStringLiteral("--help")});
    ASSERT_EQ(help.exitCode, 0);
    const auto options = HelpOptions(help.out);
    ASSERT_GE(options.size(), 15u) << help.out;

    const Ran page = Render(kFiles + "/zemconvert.1");
    ASSERT_EQ(page.exitCode, 0) << page.err;
    EXPECT_EQ(page.err, "") << "groff warns about the manual";
    const std::string text = Collapsed(page.out);
    for (const auto& [name, entry] : options)
        EXPECT_NE(text.find(Collapsed(entry)), std::string::npos) << "not in the manual as in --help: " << entry;

    // Nor does the manual have an option that --help lacks.
    const auto optionsAt = page.out.find("\nOPTIONS\n");
    const auto optionsEnd = page.out.find("\nJSON OUTPUT\n");
    ASSERT_NE(optionsAt, std::string::npos);
    ASSERT_NE(optionsEnd, std::string::npos);
    std::istringstream in(page.out.substr(optionsAt, optionsEnd - optionsAt));
    const std::regex tag("^ {7}(-[a-z0-9], )?--([a-z0-9-]+)");
    std::set<std::string> tags;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_search(line, match, tag))
            tags.insert(match[2]);
    }
    std::set<std::string> helpNames;
    for (const auto& [name, entry] : options)
        helpNames.insert(name);
    EXPECT_EQ(tags, helpNames);

    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "JSON OUTPUT", "EXIT STATUS",
                                "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"})
        EXPECT_NE(page.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
    const std::vector<std::string> phrases{
        "zemconvert - convert video files", "every input converted", ".ZemConverter-XXXXXX",
        "find videos/ -name '*.mp4' -print0 | zemconvert -0 --files-from - -j 2 -d out/",
        zem::AcceptedInputEndingsText()};
    for (const std::string& words : phrases)
        EXPECT_NE(text.find(words), std::string::npos) << words;
}

TEST(Manual, TheWindowsPageNamesItsFilesAndRendersCleanly) {
    if (!Have("groff"))
        GTEST_SKIP() << "groff is not installed (scripts/install-deps.sh installs groff-base)";
    const Ran page = Render(kFiles + "/zemconverter.1", "utf8");
    ASSERT_EQ(page.exitCode, 0) << page.err;
    EXPECT_EQ(page.err, "");
    for (const char* words : {"~/.config/ZemConverter/ZemConverter.ini", "~/.config/ZemConverter/FileList.json",
                              "nosplash", "zemconvert(1)", "LC_ALL"})
        EXPECT_NE(page.out.find(words), std::string::npos) << words << "\n" << page.out;
}

namespace {

// Completes the words (the last is the one under the cursor) in `folder`, as
// bash would on Tab: the offers, sorted.
std::vector<std::string> Complete(const std::vector<std::string>& words, const std::string& folder) {
    std::string script = "compopt() { :; }\nsource '" + kFiles + "/zemconvert.bash' || exit 9\ncd '" + folder +
                         "' || exit 8\nCOMP_WORDS=(";
    for (const std::string& word : words)
        script += " '" + word + "'";
    script += ")\nCOMP_CWORD=" + std::to_string(words.size() - 1) +
              "\nCOMPREPLY=()\n_zemconvert\nfor w in \"${COMPREPLY[@]}\"; do printf '%s\\0' \"$w\"; done\n";
    const Ran ran = RunBash(script);
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_EQ(ran.err, "");
    std::vector<std::string> offers;
    std::string current;
    for (char c : ran.out) {
        if (c == '\0') {
            offers.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    std::sort(offers.begin(), offers.end());
    return offers;
}

std::vector<std::string> Sorted(std::span<const zem::cli::Choice> choices) {
    std::vector<std::string> names;
    for (const auto& choice : choices)
        names.push_back(choice.name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

#ifdef ZEM_HAVE_APP
TEST(Manual, EachManualNamesEveryOptionAndEveryLabelOfTheWindow) {
    for (const auto& row : zem::app::kHelpFiles) {
        const std::string manual = std::string(ZEM_SOURCE_DIR) + "/Doc/" + row.helpFile;
        const std::string text = PageText(ReadWhole(manual));
        ASSERT_FALSE(text.empty()) << manual;
        // zemconvert's options, each by its long name.
        for (const zem::cli::OptionSpec& option : zem::cli::Options()) {
            if (option.hidden)
                continue;
            EXPECT_NE(text.find(std::string("--") + option.longName), std::string::npos)
                << row.helpFile << " does not name --" << option.longName;
        }
        // The window's labels as that language shows them.
        const auto values = LanguageValues(std::string(ZEM_SOURCE_DIR) + "/Lang/" + row.languageFile);
        for (const CCompressorDlg::ShownLabel& label : CCompressorDlg::VisibleLabels()) {
            std::string shown = label.text;
            if (const auto found = values.find(shown); label.translated && found != values.end())
                shown = found->second;
            EXPECT_NE(text.find(shown), std::string::npos) << row.helpFile << " does not name \"" << shown << "\"";
        }
    }
}
#endif

TEST(BashCompletion, OffersOptionsAndTheChoicesOfEach) {
    zem::testclips::TempDir dir;
    const std::string here = dir.path().string();
    using namespace zem::cli;
    EXPECT_EQ(Complete({"zemconvert", "-s", ""}, here), Sorted(SizeChoices()));
    EXPECT_EQ(Complete({"zemconvert", "a.mkv", "--quality", ""}, here), Sorted(QualityChoices()));
    EXPECT_EQ(Complete({"zemconvert", "-q", "high"}, here),
              (std::vector<std::string>{"high-definition", "high-frame"}));
    EXPECT_EQ(Complete({"zemconvert", "-r", ""}, here), Sorted(RotationChoices()));
    EXPECT_EQ(Complete({"zemconvert", "--subtitle-size", "="}, here), Sorted(SubtitleSizeChoices()));
    EXPECT_EQ(Complete({"zemconvert", "--subtitle-size", "=", "s"}, here), std::vector<std::string>{"small"});
    EXPECT_EQ(Complete({"zemconvert", "--sub"}, here), (std::vector<std::string>{"--subtitle-size", "--subtitles"}));
    EXPECT_TRUE(Complete({"zemconvert", "--start", ""}, here).empty());

    std::vector<std::string> every;
    for (const OptionSpec& option : Options())
        if (!option.hidden)
            every.push_back("--" + std::string(option.longName));
    std::sort(every.begin(), every.end());
    EXPECT_EQ(Complete({"zemconvert", "--"}, here), every);
}

TEST(BashCompletion, OffersFoldersAndTheFilesZemconvertReads) {
    zem::testclips::TempDir dir;
    const fs::path& here = dir.path();
    fs::create_directory(here / "clips");
    const std::vector<std::string> names{"a.mkv",    "B.MP4",  "c.txt", "d.mpeg", "xmpeg",      "e f.wmv",
                                         "film.srt", "g.RMVB", "h.mp3", "i.dat",  "notes.avi~", "j.vob"};
    for (const std::string& name : names)
        std::ofstream(here / name) << "x";
    std::vector<std::string> expected{"clips"};
    for (const std::string& name : names)
        if (zem::IsAcceptedInputPath(name))
            expected.push_back(name);
    std::sort(expected.begin(), expected.end());
    const std::vector<std::string> inputs = Complete({"zemconvert", "-s", "96x64", ""}, here.string());
    EXPECT_EQ(inputs, expected);
    // Whatever the ending list holds, these are in and those out.
    for (const char* in : {"a.mkv", "B.MP4", "e f.wmv", "xmpeg"})
        EXPECT_TRUE(std::count(inputs.begin(), inputs.end(), in)) << in;
    for (const char* out : {"c.txt", "film.srt", "h.mp3", "notes.avi~"})
        EXPECT_FALSE(std::count(inputs.begin(), inputs.end(), out)) << out;

    EXPECT_EQ(Complete({"zemconvert", "-d", ""}, here.string()), std::vector<std::string>{"clips"});
    const auto subtitles = Complete({"zemconvert", "--subtitles", "f"}, here.string());
    EXPECT_EQ(subtitles, std::vector<std::string>{"film.srt"});
    EXPECT_EQ(Complete({"zemconvert", "cl"}, here.string()), std::vector<std::string>{"clips"});
}

TEST(ZshCompletion, ReadsCleanlyAndItsPatternTakesTheFilesZemconvertReads) {
    if (!Have("zsh"))
        GTEST_SKIP() << "zsh is not installed (scripts/install-deps.sh installs it)";
    const std::string script = kFiles + "/_zemconvert";
    const Ran syntax = RunProgram(QStringLiteral("zsh"), {QStringLiteral("-n"), QString::fromStdString(script)});
    EXPECT_EQ(syntax.exitCode, 0) << syntax.err;

    std::ifstream in(script);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const zem::cli::OptionSpec& option : zem::cli::Options()) {
        const std::string name = "--" + std::string(option.longName);
        EXPECT_EQ(text.find(name) != std::string::npos, !option.hidden) << name;
        for (const zem::cli::Choice& choice : option.choices)
            EXPECT_NE(text.find(choice.name), std::string::npos) << choice.name;
    }

    // The inputs' pattern, run by zsh over a folder of names.
    std::smatch match;
    ASSERT_TRUE(std::regex_search(text, match, std::regex("_files -g \"([^\"]+)\""))) << text;
    zem::testclips::TempDir dir;
    const std::vector<std::string> names{"a.mkv",  "B.MP4", "c.txt", "d.mpeg",     "xmpeg", "e f.wmv",
                                         "g.RMVB", "h.mp3", "i.dat", "notes.avi~", "j.vob", "k.srt"};
    std::vector<std::string> expected;
    for (const std::string& name : names) {
        std::ofstream(dir.path() / name) << "x";
        if (zem::IsAcceptedInputPath(name))
            expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    const Ran glob =
        RunProgram(QStringLiteral("zsh"),
                   {QStringLiteral("-c"), QString::fromStdString("setopt extendedglob; cd '" + dir.path().string() +
                                                                 "' && print -rl -- " + match[1].str())});
    ASSERT_EQ(glob.exitCode, 0) << glob.err;
    std::vector<std::string> matched;
    std::istringstream lines(glob.out);
    for (std::string line; std::getline(lines, line);)
        matched.push_back(line);
    std::sort(matched.begin(), matched.end());
    EXPECT_EQ(matched, expected);
}
