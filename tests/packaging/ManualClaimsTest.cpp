// What the user's guides, the README and the manual pages claim, checked
// against the program's own tables: the failure codes and their meanings, the
// subtitle endings, the keys of the window and zemconvert's options with
// their choices. A document that names a code, ending, key or option the
// program does not have fails here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "FailureCodes.h"
#include "InputKinds.h"
#include "KeyTable.h"
#include "OptionTable.h"
#include "PackagingSupport.h"
#include "Subtitles.h"

using namespace zem::test;

namespace {

// The program's own files, which the documents name besides the inputs and subtitles.
constexpr const char* kOwnEndings[] = {"avi", "mp3", "ini", "json", "html", "png", "desktop", "deb", "jsonl"};
// The failure codes a job can end with lie below this.
constexpr int kCodesTried = 100;

struct Document {
    std::string name;
    std::string text;         // as a reader sees it
    std::string html;         // the page itself (the guides only)
    std::string languageFile; // the language its reader reads
    bool guide = false;
};

std::vector<Document> Documents() {
    std::vector<Document> documents;
    for (const auto& row : zem::app::kHelpFiles) {
        Document guide{
            row.helpFile, {}, ReadWhole(std::string(ZEM_SOURCE_DIR) + "/Doc/" + row.helpFile), row.languageFile, true};
        // The page's style sheet is no text a reader sees.
        guide.text = PageText(std::regex_replace(guide.html, std::regex(R"(<style>[\s\S]*?</style>)"), ""));
        documents.push_back(guide);
    }
    documents.push_back({"README.md", Collapsed(ReadWhole(ZEM_SOURCE_DIR "/README.md")), {}, "ENG.ini", false});
    if (Have("groff")) {
        for (const char* page : {"zemconvert.1", "zemconverter.1"}) {
            const Ran rendered = Render(std::string(ZEM_CLI_FILES_DIR) + "/" + page, "utf8");
            EXPECT_EQ(rendered.exitCode, 0) << page;
            documents.push_back({page, Collapsed(rendered.out), {}, "ENG.ini", false});
        }
    }
    for (const Document& document : documents)
        EXPECT_GT(document.text.size(), 1000u) << document.name;
    return documents;
}

std::string Translated(const std::map<std::string, std::string>& values, const std::string& english) {
    const auto found = values.find(english);
    return found == values.end() ? english : found->second;
}

// Every match of group 1 of `pattern` in `text`.
std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

} // namespace

TEST(ManualClaims, ErrorCodesAndTheirMeaningsAreTheFailureTables) {
    const std::string unknown = zem::FailureCodeText(static_cast<zem::FailureCode>(-1));
    // Each meaning the table gives, with the first and last code that has it.
    std::map<std::string, std::pair<int, int>> meanings;
    for (int code = 0; code < kCodesTried; ++code) {
        const std::string meaning = zem::FailureCodeText(static_cast<zem::FailureCode>(code));
        if (meaning == unknown)
            continue;
        auto [it, added] = meanings.try_emplace(meaning, code, code);
        it->second.second = code;
    }
    ASSERT_GE(meanings.size(), 10u);
    for (const Document& document : Documents()) {
        SCOPED_TRACE(document.name);
        for (const std::string& number : Matches(document.text, R"(ERROR\((\d+)\))"))
            EXPECT_NE(zem::FailureCodeText(static_cast<zem::FailureCode>(std::stoi(number))), unknown) << "no failure has the code " << number;
        if (!document.guide)
            continue;
        // A guide's table gives each meaning in its reader's words, with its codes.
        const auto values = LanguageValues(std::string(ZEM_SOURCE_DIR) + "/Lang/" + document.languageFile);
        for (const auto& [meaning, codes] : meanings) {
            EXPECT_NE(document.text.find(Translated(values, meaning)), std::string::npos)
                << "does not give the meaning \"" << Translated(values, meaning) << "\"";
            for (const int code : {codes.first, codes.second})
                EXPECT_NE(document.text.find("ERROR(" + std::to_string(code) + ")"), std::string::npos)
                    << "does not name ERROR(" << code << ") (" << meaning << ")";
        }
    }
}

TEST(ManualClaims, SubtitleEndingsAreTheTablesAndNoOtherEndingIsClaimed) {
    std::vector<std::string> table;
    for (const char* ending : zem::media::kSubtitleEndings)
        table.emplace_back(ending);
    std::set<std::string> known(table.begin(), table.end());
    for (const zem::InputKind& kind : zem::kInputKinds)
        known.insert("." + std::string(kind.ending));
    for (const char* ending : kOwnEndings)
        known.insert("." + std::string(ending));
    // A list of endings: an ending, then more each after a comma, "or", "and"
    // or a word of the same in Korean or Chinese.
    const std::regex list(R"((?:\.[a-z0-9]{2,4}(?:`| )*(?:,|，|、|or|and|또는|및|或|和)?[ `]*){3,})");
    const std::regex ending(R"(\.[a-z][a-z0-9]{1,3}\b)");
    int subtitleLists = 0;
    for (const Document& document : Documents()) {
        SCOPED_TRACE(document.name);
        const std::string& text = document.text;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), list); it != std::sregex_iterator(); ++it) {
            const std::string found = it->str();
            std::vector<std::string> endings;
            for (auto e = std::sregex_iterator(found.begin(), found.end(), ending); e != std::sregex_iterator(); ++e)
                endings.push_back(e->str());
            // A list that holds a subtitle ending is the subtitles' list: all of them, in their order.
            if (std::none_of(endings.begin(), endings.end(), [](const std::string& e) { return e == ".srt"; }))
                continue;
            ++subtitleLists;
            EXPECT_EQ(endings, table) << "the subtitle endings as listed: " << found;
        }
        // A guide names no ending the program does not know (a folder such as ~/.config aside).
        if (!document.guide)
            continue;
        for (const std::string& name : Matches(text, R"((?:^|\s|\(|/|"|'|“|「)[\w-]*(\.[a-z][a-z0-9]{1,4})\b(?!/))"))
            EXPECT_EQ(known.count(name), 1u) << "names the ending " << name;
    }
    EXPECT_GE(subtitleLists, 6);
}

TEST(ManualClaims, KeysAreTheWindowsAndEveryKeyIsListed) {
    std::set<std::string> keys;
    for (const zem::app::KeyRow& row : zem::app::kKeys)
        keys.insert(row.name);
    std::set<std::string> alt;
    for (const zem::app::Mnemonic& mnemonic : zem::app::kMnemonics)
        alt.insert(std::string(1, mnemonic.letter));
    // zemconvert's one key, its interrupt, as its help says it.
    const std::string interrupt = zem::cli::kTextInterrupt;
    for (const Document& document : Documents()) {
        SCOPED_TRACE(document.name);
        // Keys written as such: "Alt+A", "Ctrl+C", a function key, Esc, Enter, Tab.
        for (const std::string& combination : Matches(document.text, R"(\b((?:Alt|Ctrl|Shift)\s*\+\s*\w+))")) {
            const std::string plain = std::regex_replace(combination, std::regex(R"(\s)"), "");
            // "Alt+letter" stands for them all.
            if (plain.rfind("Alt+", 0) == 0 && plain.size() == 5) {
                EXPECT_EQ(alt.count(plain.substr(4)), 1u) << plain << " is no button's letter";
            } else if (plain.rfind("Alt+", 0) != 0) {
                EXPECT_NE(interrupt.find(plain), std::string::npos) << plain << " is not a key of the program";
            }
        }
        for (const std::string& key : Matches(document.text, R"(\b(F\d{1,2}|Esc|Escape|Enter|Return|Tab)\b)"))
            EXPECT_EQ(keys.count(key), 1u) << key << " is not a key of the window";
        if (!document.guide)
            continue;
        // A guide marks every key it names, and names every key of the table.
        std::set<std::string> marked;
        for (const std::string& key : Matches(document.html, R"(<kbd>([^<]+)</kbd>)"))
            marked.insert(key);
        for (const std::string& key : marked) {
            const bool modifier = key == "Alt" || key == "Ctrl" || (key.size() == 1 && std::isupper(key[0]));
            EXPECT_TRUE(modifier || keys.count(key) == 1) << "<kbd>" << key << "</kbd> is not a key of the window";
        }
        for (const std::string& key : keys)
            EXPECT_EQ(marked.count(key), 1u) << "does not list the key " << key;
    }
}

TEST(ManualClaims, ZemconvertCommandsUseItsOptionsAndChoices) {
    const auto option = [](const std::string& word) -> const zem::cli::OptionSpec* {
        const std::string name = word.substr(0, word.find('='));
        if (name.rfind("--", 0) == 0)
            return zem::cli::FindLongOption(name.substr(2));
        return name.size() == 2 ? zem::cli::FindShortOption(name[1]) : nullptr;
    };
    int commands = 0;
    for (const Document& document : Documents()) {
        SCOPED_TRACE(document.name);
        // A guide names zemconvert's options only.
        if (document.guide) {
            for (const std::string& name : Matches(document.text, R"((?:^|[\s(,/])(--[a-z][a-z0-9-]*))")) {
                const auto* found = option(name);
                EXPECT_TRUE(found != nullptr && !found->hidden) << "names the option " << name;
            }
        }
        // Every command line given: its options, and the choices each takes.
        const std::regex command(R"(zemconvert((?: +-[^ ]*(?: +[^- |;>][^ |;>]*)?)+))");
        const std::string& text = document.text;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), command); it != std::sregex_iterator(); ++it) {
            std::istringstream words(it->str(1));
            std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
            for (size_t i = 0; i < args.size(); ++i) {
                if (args[i].size() < 2 || args[i][0] != '-' || args[i] == "--")
                    break;
                ++commands;
                const zem::cli::OptionSpec* found = option(args[i]);
                ASSERT_NE(found, nullptr) << it->str() << ": no option " << args[i];
                if (found->argument == zem::cli::Argument::None || args[i].find('=') != std::string::npos)
                    continue;
                if (found->argument == zem::cli::Argument::Count &&
                    (i + 1 >= args.size() || !std::isdigit(static_cast<unsigned char>(args[i + 1][0]))))
                    continue;
                if (i + 1 >= args.size())
                    break;
                const std::string value = args[++i];
                const bool placeholder =
                    value.find_first_of("[|") != std::string::npos ||
                    std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isupper(c); });
                if (!found->choices.empty() && !placeholder) {
                    EXPECT_TRUE(zem::cli::ChoiceValue(found->choices, value).has_value())
                        << it->str() << ": " << args[i - 1] << " has no choice " << value;
                }
            }
        }
    }
    EXPECT_GE(commands, 40);
}
