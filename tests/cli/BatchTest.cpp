// zemconvert -j: several inputs at once, each in its own process, with the
// files, status lines and exit status of converting them one after another.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr double kClipSeconds = 1.5;

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

class Batch : public ::testing::Test {
protected:
    zem::testclips::TempDir clips;

    // Copies of one clip under distinct names, as a batch of files would be.
    std::vector<std::string> Clips(const std::string& kind, int count) {
        const fs::path clip = zem::testclips::MakeClip(clips.path(), kind, kClipSeconds);
        EXPECT_FALSE(clip.empty());
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            const fs::path copy = clips.path() / ("film" + std::to_string(i) + clip.extension().string());
            fs::copy_file(clip, copy, fs::copy_options::overwrite_existing);
            paths.push_back(copy.string());
        }
        return paths;
    }
};

} // namespace

TEST_F(Batch, TwoAtOnceWriteTheFilesOneAtATimeWrites) {
    const auto inputs = Clips("wmv", 3);
    TempDir serialDir, batchDir;
    std::vector<std::string> serialArgs{"-d", serialDir.path()}, batchArgs{"-j", "2", "-d", batchDir.path()};
    serialArgs.insert(serialArgs.end(), inputs.begin(), inputs.end());
    batchArgs.insert(batchArgs.end(), inputs.begin(), inputs.end());

    const Outcome serial = RunZemconvert(serialArgs, clips.path().string());
    const Outcome batch = RunZemconvert(batchArgs, clips.path().string());
    ASSERT_EQ(serial.exitCode, 0) << serial.err;
    ASSERT_EQ(batch.exitCode, 0) << batch.err;

    EXPECT_EQ(Lines(batch.out, "Status:"), std::vector<std::string>(3, "Status: Completed")) << batch.out;
    auto inputLines = Lines(batch.out, "Input:");
    std::sort(inputLines.begin(), inputLines.end());
    auto expectedInputs = Lines(serial.out, "Input:");
    std::sort(expectedInputs.begin(), expectedInputs.end());
    EXPECT_EQ(inputLines, expectedInputs);
    // The batch's own line says how far it got.
    EXPECT_NE(batch.err.find("Batch: 3 of 3 done"), std::string::npos) << batch.err;

    ASSERT_EQ(batchDir.entries(), serialDir.entries());
    for (const std::string& name : serialDir.entries()) {
        const auto one = ReadWholeFile(serialDir.file(name));
        const auto two = ReadWholeFile(batchDir.file(name));
        EXPECT_FALSE(one.empty()) << name;
        EXPECT_TRUE(one == two) << name << " differs between -j 1 and -j 2";
        const AviFile avi = ParseAvi(batchDir.file(name));
        EXPECT_TRUE(avi.problems.empty()) << name;
        EXPECT_NEAR(double(avi.videoCount()), 16 * kClipSeconds, 1.0) << name;
    }
}

TEST_F(Batch, AFileThatFailsFailsTheBatchAndTheOthersStillConvert) {
    auto inputs = Clips("mp4", 2);
    const std::string broken = (clips.path() / "broken.mkv").string();
    WriteWholeFile(broken, std::vector<uint8_t>(4096, 0x42));
    inputs.insert(inputs.begin() + 1, broken);
    TempDir out;
    std::vector<std::string> args{"-j", "2", "-d", out.path()};
    args.insert(args.end(), inputs.begin(), inputs.end());

    const Outcome batch = RunZemconvert(args, clips.path().string());
    EXPECT_EQ(batch.exitCode, 1);
    const auto statuses = Lines(batch.out, "Status:");
    ASSERT_EQ(statuses.size(), 3u) << batch.out;
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Status: Completed"), 2) << batch.out;
    EXPECT_EQ(out.entries(), (std::vector<std::string>{"film0_ZM.avi", "film1_ZM.avi"}));
}

TEST_F(Batch, AnOutputThatWouldReplaceAnotherInputIsRefusedInItsOwnProcess) {
    // b's default output is a's name: the process converting b alone must still know a.
    const auto inputs = Clips("mp4", 1);
    const fs::path a = clips.path() / "b_ZM.avi";
    fs::copy_file(inputs[0], clips.path() / "b.mp4");
    fs::copy_file(inputs[0], a);
    const auto before = ReadWholeFile(a.string());
    const Outcome batch =
        RunZemconvert({"-j", "2", a.string(), (clips.path() / "b.mp4").string()}, clips.path().string());
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_TRUE(ReadWholeFile(a.string()) == before) << "an input was replaced";
}
