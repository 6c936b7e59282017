// The option table: every option parses by both its names, shows in --help,
// and every choice that changes what is written reaches the processes of a -j
// batch with its value.

#include <gtest/gtest.h>

#include <set>

#include "CliOptions.h"
#include "OptionChoices.h"
#include "OptionTable.h"

using namespace zem::cli;

namespace {

CliOptions Parse(const std::vector<std::string>& args) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_TRUE(r.options.has_value()) << r.error.English();
    return r.options.value_or(CliOptions{});
}

// What a batch's process makes of its arguments and its job.
CliOptions ParseJob(const CliOptions& batch, const std::string& input, const std::string& output) {
    CliOptions child = Parse(SingleJobArguments(batch));
    EXPECT_TRUE(child.batchJob);
    EXPECT_TRUE(TakeSingleJob(child, SingleJobInput(batch, input, output)).empty());
    return child;
}

std::string Joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args)
        text += (text.empty() ? "" : " ") + arg;
    return text;
}

// A process of the batch converts `input` alone; what it was told about where
// to write and which inputs exist is the batch's, not the user's choice.
CliOptions AsTheBatchSawIt(CliOptions child, const CliOptions& batch) {
    child.inputs = batch.inputs;
    child.output = batch.output;
    child.outputDir = batch.outputDir;
    child.otherInputs = batch.otherInputs;
    child.batchJob = batch.batchJob;
    child.jobs = batch.jobs;
    return child;
}

// Choices a user makes that change the output or the report, each a value
// other than its default (written here, not read from the table).
const std::vector<std::vector<std::string>> kChoices = {
    {"--no-subtitles"},
    {"--keep-mp3"},
    {"--keep-proportions"},
    {"--json"},
    {"-s", "96x64"},
    {"-s", "176x128"},
    {"-s", "128x128"},
    {"--size", "160x128"},
    {"--size=208x176"},
    {"-q", "high-definition"},
    {"-q", "high-frame"},
    {"-q", "middle"},
    {"--quality", "low"},
    {"-r", "left"},
    {"--rotate", "right"},
    {"--subtitle-size", "big"},
    {"--subtitle-size=small"},
    {"--subtitles", "other words.srt"},
    {"--subtitles", "-dash.smi"},
    {"--start", "1:02.250"},
    {"--start", "12.3456789"},
    {"--end", "70.5"},
    {"--start", "3", "--end", "00:04.125"},
};

// The options a batch's process must not get from the user's command line:
// the batch gives each its own output and input, or they concern the batch.
const std::set<std::string> kBatchOnly = {"output", "output-dir", "files-from", "null",
                                          "jobs",   "help",       "version",    "batch-job"};

} // namespace

TEST(OptionTableTest, EveryChoiceReachesTheBatchsProcessesWithItsValue) {
    const CliOptions plain = Parse({"-j", "2", "a.mp4", "b.mkv"});
    for (const std::vector<std::string>& choice : kChoices) {
        std::vector<std::string> args = choice;
        args.insert(args.end(), {"-j", "2", "-d", "out", "a.mp4", "b.mkv"});
        const CliOptions batch = Parse(args);
        EXPECT_FALSE(AsTheBatchSawIt(batch, plain) == plain) << Joined(choice) << " changed nothing";
        for (const std::string& input : batch.inputs) {
            const std::vector<std::string> childArgs = SingleJobArguments(batch);
            const CliOptions child = ParseJob(batch, input, "out/x.avi");
            EXPECT_EQ(child.inputs, std::vector<std::string>{input});
            EXPECT_EQ(child.output, "out/x.avi");
            EXPECT_EQ(child.jobs, 1);
            EXPECT_TRUE(AsTheBatchSawIt(child, batch) == batch)
                << Joined(choice) << " came to the process as: " << Joined(childArgs);
        }
    }
    // All at once, as a user who sets everything would.
    std::vector<std::string> all;
    for (size_t i : {0, 1, 2, 3, 8, 12, 14, 16, 21})
        all.insert(all.end(), kChoices[i].begin(), kChoices[i].end());
    all.insert(all.end(), {"-j", "2", "a.mp4", "--", "-b.mkv"});
    const CliOptions batch = Parse(all);
    const CliOptions child = ParseJob(batch, "-b.mkv", "-b_ZM.avi");
    EXPECT_TRUE(AsTheBatchSawIt(child, batch) == batch) << Joined(SingleJobArguments(batch));
    EXPECT_EQ(child.inputs, std::vector<std::string>{"-b.mkv"});
    // It hears of no other input: its output replaces none.
    EXPECT_EQ(child.otherInputs, std::vector<std::string>{});
}

TEST(OptionTableTest, OnlyTheBatchsOwnOptionsStayWithTheBatch) {
    // Every option a batch does not pass on is one of the batch's own; every
    // other one has a case above, so a new option cannot be forgotten.
    std::set<std::string> tried;
    for (const std::vector<std::string>& choice : kChoices)
        for (const std::string& arg : choice)
            if (arg.rfind("--", 0) == 0)
                tried.insert(arg.substr(2, arg.find('=') - 2));
            else if (arg.size() == 2 && arg[0] == '-' && FindShortOption(arg[1]))
                tried.insert(FindShortOption(arg[1])->longName);
    for (const OptionSpec& option : Options()) {
        if (option.forward)
            EXPECT_TRUE(tried.count(option.longName)) << "--" << option.longName << " has no round-trip case";
        else
            EXPECT_TRUE(kBatchOnly.count(option.longName)) << "--" << option.longName << " is not given to -j";
    }
    for (const char* outputChoice : {"size", "quality", "rotate", "keep-proportions", "start", "end", "keep-mp3",
                                     "subtitles", "no-subtitles", "subtitle-size"}) {
        ASSERT_NE(FindLongOption(outputChoice), nullptr) << outputChoice;
        EXPECT_NE(FindLongOption(outputChoice)->forward, nullptr) << outputChoice;
    }
}

TEST(OptionTableTest, ShortAndLongNamesAndEveryChoiceParse) {
    for (const OptionSpec& option : Options()) {
        if (option.hidden)
            continue;
        EXPECT_EQ(FindLongOption(option.longName), &option);
        if (option.shortName) {
            EXPECT_EQ(FindShortOption(option.shortName), &option);
        }
        for (const Choice& choice : option.choices) {
            const std::string longForm = "--" + std::string(option.longName) + "=" + choice.name;
            const CliOptions byLong = Parse({longForm, "a.mp4"});
            EXPECT_EQ(ChoiceValue(option.choices, choice.name), choice.value);
            if (option.shortName) {
                EXPECT_TRUE(Parse({std::string("-") + option.shortName, choice.name, "a.mp4"}) == byLong);
                EXPECT_TRUE(Parse({std::string("-") + option.shortName + choice.name, "a.mp4"}) == byLong);
            }
        }
    }
    // A switch takes no value; an option with one needs it.
    EXPECT_NE(ParseCommandLine({"--keep-mp3=yes", "a.mp4"}).error.English().find("takes no value"), std::string::npos);
    EXPECT_NE(ParseCommandLine({"a.mp4", "--subtitle-size"}).error.English().find("needs a subtitle size"),
              std::string::npos);
    EXPECT_NE(ParseCommandLine({"--subtitle-size", "huge", "a.mp4"}).error.English().find("big, middle, small"),
              std::string::npos);
    EXPECT_NE(ParseCommandLine({"-x", "a.mp4"}).error.English().find("unknown option -x"), std::string::npos);
    EXPECT_NE(ParseCommandLine({"--other", "a.mp4"}).error.English().find("unknown option --other"), std::string::npos);
    EXPECT_NE(ParseCommandLine({"-d", "", "a.mp4"}).error.English().find("needs a folder"), std::string::npos);
}

TEST(OptionTableTest, HelpShowsEveryOptionButTheHiddenOnesWithinEightyColumns) {
    const std::string help = UsageText();
    for (const OptionSpec& option : Options()) {
        const bool shown =
            help.find("--" + std::string(option.longName) + (option.valueName ? " " : "")) != std::string::npos;
        EXPECT_EQ(shown, !option.hidden) << option.longName;
        for (const Choice& choice : option.choices)
            EXPECT_NE(help.find(choice.name), std::string::npos) << choice.name;
    }
    EXPECT_NE(help.find("-s, --size WxH"), std::string::npos);
    EXPECT_NE(help.find("(default 320x240)"), std::string::npos);
    size_t start = 0;
    for (size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
}

TEST(OptionTableTest, EveryDeclaredChoiceParsesToTheNumberTheWindowStores) {
    struct Case {
        const zem::ChoiceOption& option;
        int CliOptions::*field;
    };
    const Case cases[] = {
        {zem::kSizeOption, &CliOptions::sizeIndex},
        {zem::kQualityOption, &CliOptions::qualityIndex},
        {zem::kRotationOption, &CliOptions::rotate},
        {zem::kSubtitleSizeOption, &CliOptions::subtitleSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option.cliLong);
        const OptionSpec* row = FindLongOption(c.option.cliLong);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->shortName, c.option.cliShort);
        EXPECT_STREQ(row->defaultName, c.option.Default().cliName);
        EXPECT_EQ(Parse({"a.mp4"}).*c.field, c.option.defaultStored);
        size_t named = 0;
        for (const zem::OptionChoice& choice : c.option.choices) {
            if (choice.cliName == nullptr)
                continue;
            ++named;
            EXPECT_EQ(Parse({"--" + std::string(c.option.cliLong), choice.cliName, "a.mp4"}).*c.field, choice.stored);
            EXPECT_NE(FullHelp(*row).find(choice.cliName), std::string::npos);
        }
        EXPECT_EQ(row->choices.size(), named);
    }
    ASSERT_NE(FindLongOption(zem::kKeepMp3Option.cliLong), nullptr);
    EXPECT_EQ(Parse({"a.mp4"}).keepMp3, zem::kKeepMp3Option.defaultOn);
    EXPECT_TRUE(Parse({"--" + std::string(zem::kKeepMp3Option.cliLong), "a.mp4"}).keepMp3);
}
