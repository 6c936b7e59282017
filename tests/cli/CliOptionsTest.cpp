// zemconvert's command line: choices, times, output names and refusals.

#include <gtest/gtest.h>

#include "AutoJobs.h"
#include "CliOptions.h"

using namespace zem::cli;

namespace {
CliOptions Parse(std::vector<std::string> args) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_TRUE(r.options.has_value()) << r.error.English();
    return r.options.value_or(CliOptions{});
}
std::string ErrorOf(std::vector<std::string> args) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_FALSE(r.options.has_value());
    return r.error.English();
}
} // namespace

TEST(CliOptionsTest, ChoicesMapToTheWindowsRows) {
    const CliOptions defaults = Parse({"a.mp4"});
    EXPECT_EQ(defaults.sizeIndex, 0);
    EXPECT_EQ(defaults.qualityIndex, 2);
    EXPECT_EQ(defaults.rotate, 0);
    EXPECT_FALSE(defaults.keepMp3);

    const std::pair<const char*, int> sizes[] = {{"96x64", 1},   {"128x128", 3}, {"160x128", 4},
                                                 {"176x128", 2}, {"208x176", 5}, {"320X240", 0}};
    for (const auto& [name, row] : sizes)
        EXPECT_EQ(Parse({"-s", name, "a.mp4"}).sizeIndex, row) << name;
    const std::pair<const char*, int> qualities[] = {
        {"high-definition", 0}, {"high-frame", 1}, {"standard", 2}, {"middle", 3}, {"low", 4}};
    for (const auto& [name, row] : qualities)
        EXPECT_EQ(Parse({"--quality", name, "a.mp4"}).qualityIndex, row) << name;
    EXPECT_EQ(Parse({"-r", "left", "a.mp4"}).rotate, 1);
    EXPECT_EQ(Parse({"--rotate=right", "a.mp4"}).rotate, 2);
    EXPECT_TRUE(Parse({"--keep-mp3", "a.mp4", "b.mkv"}).keepMp3);
    EXPECT_EQ(Parse({"a.mp4", "--", "-odd.mp4"}).inputs, (std::vector<std::string>{"a.mp4", "-odd.mp4"}));
}

TEST(CliOptionsTest, TimesReadAsSecondsOrMinutesAndSeconds) {
    EXPECT_DOUBLE_EQ(*ParseTime("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(*ParseTime("01:01.500"), 61.5);
    EXPECT_DOUBLE_EQ(*ParseTime("125:00"), 7500);
    for (const char* bad : {"", "abc", "1:", ":5", "1:60", "-3", "1:-2", "1.5:02"})
        EXPECT_FALSE(ParseTime(bad).has_value()) << bad;
    // Found by fuzzing: infinite, undefined and endless times (each would
    // overflow the 100 ns count the run keeps), and minutes past any float.
    for (const std::string& bad : std::vector<std::string>{"inf", "nan", "55E55555", "1e400", "99999999999",
                                                           std::string(400, '9') + ":00", "600001:00", "1:nan"})
        EXPECT_FALSE(ParseTime(bad).has_value()) << bad;
    EXPECT_DOUBLE_EQ(*ParseTime("36000000"), 36e6);
    const CliOptions o = Parse({"--start", "00:02.000", "--end=5", "a.mp4"});
    EXPECT_DOUBLE_EQ(o.start, 2.0);
    EXPECT_DOUBLE_EQ(o.end, 5.0);
}

TEST(CliOptionsTest, BadUsageIsExplained) {
    EXPECT_NE(ErrorOf({}).find("no input"), std::string::npos);
    EXPECT_NE(ErrorOf({"-s", "100x100", "a.mp4"}).find("unknown size"), std::string::npos);
    EXPECT_NE(ErrorOf({"-q", "best", "a.mp4"}).find("unknown quality"), std::string::npos);
    EXPECT_NE(ErrorOf({"-r", "up", "a.mp4"}).find("unknown rotation"), std::string::npos);
    EXPECT_NE(ErrorOf({"-o", "x.avi", "a.mp4", "b.mp4"}).find("one input"), std::string::npos);
    EXPECT_NE(ErrorOf({"--start", "5", "--end", "4", "a.mp4"}).find("after"), std::string::npos);
    EXPECT_NE(ErrorOf({"--frobnicate", "a.mp4"}).find("unknown option"), std::string::npos);
    EXPECT_NE(ErrorOf({"a.mp4", "-o"}).find("needs a file"), std::string::npos);
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
}

TEST(CliOptionsTest, AcceptedEndingsFollowTheFileList) {
    for (const char* ok : {"a.avi", "B.MPG", "c.mpeg", "d.vob", "AVSEQ01.DAT", "e.wmv", "f.asf", "g.asx", "h.rm",
                           "i.RmVb", "j.mp4", "k.mkv", "videompeg", "l.mov", "m.m4v", "n.webm", "o.ts", "p.MTS"})
        EXPECT_TRUE(IsAcceptedInputPath(ok)) << ok;
    for (const char* refused : {"a.ram", "b.mp3", "c.movie", "d", "e.m4a", "rm", "clipwebm"})
        EXPECT_FALSE(IsAcceptedInputPath(refused)) << refused;
}

TEST(CliOptionsTest, OutputNamesFollowTheInputOrTheOptions) {
    EXPECT_EQ(OutputPathFor(Parse({"/v/Clip.MP4"}), "/v/Clip.MP4"), "/v/Clip_ZM.avi");
    EXPECT_EQ(OutputPathFor(Parse({"-o", "/t/x.avi", "/v/a.mkv"}), "/v/a.mkv"), "/t/x.avi");
    EXPECT_EQ(OutputPathFor(Parse({"-d", "/out/", "/v/a.b/c.vob"}), "/v/a.b/c.vob"), "/out/c_ZM.avi");
    EXPECT_EQ(OutputPathFor(Parse({"rel.mpg"}), "rel.mpg"), "rel_ZM.avi");
}

TEST(CliOptionsTest, JobsAreCountedAndEachJobGetsItsOwnCommandLine) {
    EXPECT_EQ(Parse({"a.mp4"}).jobs, 1);
    EXPECT_EQ(Parse({"-j", "3", "a.mp4", "b.mp4"}).jobs, 3);
    EXPECT_EQ(Parse({"--jobs=2", "a.mp4"}).jobs, 2);
    for (const char* bad : {"0", "-1", "2x", "65"})
        EXPECT_NE(ErrorOf({"-j", bad, "a.mp4"}).find("number of jobs"), std::string::npos) << bad;
    // Without a count the choice is made once the inputs are known.
    EXPECT_EQ(Parse({"-j", "auto", "a.mp4"}).jobs, kAutoJobs);
    EXPECT_EQ(Parse({"--jobs=auto", "a.mp4"}).jobs, kAutoJobs);
    const CliOptions bare = Parse({"-j", "x.mp4", "a.mp4"});
    EXPECT_EQ(bare.jobs, kAutoJobs);
    EXPECT_EQ(bare.inputs, (std::vector<std::string>{"x.mp4", "a.mp4"}));
    EXPECT_EQ(Parse({"a.mp4", "--jobs"}).jobs, kAutoJobs);

    // cores, bytes available, bytes of the largest picture, inputs -> jobs
    struct Auto {
        unsigned cores;
        double available, picture;
        size_t inputs;
        int jobs;
    };
    constexpr double kMb = 1e6;
    const Auto autoRows[] = {
        {2, 8000 * kMb, 3.1 * kMb, 10, 2},  // 1080p: the cores
        {2, 600 * kMb, 24.9 * kMb, 10, 1},  // 4K 10-bit in little memory: one at a time
        {8, 2000 * kMb, 24.9 * kMb, 10, 3}, // the memory, not the cores
        {8, 100000 * kMb, 0.1 * kMb, 3, 3}, // no more than the inputs
        {1, 10 * kMb, 24.9 * kMb, 10, 1},   // always at least one
    };
    for (const Auto& row : autoRows)
        EXPECT_EQ(AutoJobCount(row.cores, row.available, row.picture, row.inputs), row.jobs)
            << row.cores << " cores, " << row.available / kMb << " MB, " << row.picture / kMb << " MB pictures";

    const CliOptions batch = Parse({"-j", "2", "-s", "176x128", "-q", "low", "-r", "left", "--start", "1:02.250",
                                    "--end", "70", "--keep-mp3", "-d", "out", "a.mp4", "--", "-b.mkv"});
    CliOptions one = Parse(SingleJobArguments(batch));
    // The names come byte for byte on standard input, not as arguments.
    const std::string odd = "caf\xe9 \n\xff.mkv";
    // Of the other inputs, only those the output could replace: none here.
    EXPECT_EQ(SingleJobInput(batch, "-b.mkv", "out/-b_ZM.avi"), std::string("-b.mkv\0out/-b_ZM.avi\0", 21));
    EXPECT_EQ(SingleJobInput(batch, "-b.mkv", "a.mp4"), std::string("-b.mkv\0a.mp4\0a.mp4\0", 19));
    EXPECT_TRUE(TakeSingleJob(one, SingleJobInput(batch, "-b.mkv", "out/-b_ZM.avi")).empty());
    EXPECT_EQ(one.inputs, std::vector<std::string>{"-b.mkv"});
    EXPECT_EQ(one.output, "out/-b_ZM.avi");
    EXPECT_EQ(one.otherInputs, std::vector<std::string>{});
    EXPECT_EQ(one.jobs, 1);
    EXPECT_EQ(one.sizeIndex, batch.sizeIndex);
    EXPECT_EQ(one.qualityIndex, batch.qualityIndex);
    EXPECT_EQ(one.rotate, batch.rotate);
    EXPECT_DOUBLE_EQ(one.start, 62.25);
    EXPECT_DOUBLE_EQ(one.end, 70.0);
    EXPECT_TRUE(one.keepMp3);
    CliOptions oddOne = Parse(SingleJobArguments(batch));
    EXPECT_TRUE(TakeSingleJob(oddOne, SingleJobInput(batch, odd, odd + ".avi")).empty());
    EXPECT_EQ(oddOne.inputs, std::vector<std::string>{odd});
    EXPECT_EQ(oddOne.output, odd + ".avi");
    EXPECT_EQ(oddOne.otherInputs, std::vector<std::string>{});
    for (const std::string& bad : {std::string(), std::string("a.mp4"), std::string("a.mp4\0", 6)})
        EXPECT_FALSE(TakeSingleJob(oddOne, bad).empty()) << bad;
    const CliOptions plain = Parse(SingleJobArguments(Parse({"a.mp4", "b.mp4"})));
    EXPECT_EQ(plain.start, 0.0);
    EXPECT_EQ(plain.end, 0.0);
    EXPECT_FALSE(plain.keepMp3);
}
