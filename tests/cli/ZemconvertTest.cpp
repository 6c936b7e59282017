// zemconvert end to end: real clips of every accepted kind go through the
// real decoder into files the player reads, and every way of failing leaves
// nothing behind.

#include <cmath>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "JpegProbe.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

// Checks an output against what the player needs and what the clip held.
void ExpectGoodOutput(const std::string& avi, double seconds, uint32_t width = 320, uint32_t height = 240) {
    const AviFile file = ParseAvi(avi);
    ASSERT_TRUE(file.problems.empty()) << avi << ": " << file.problems.front();
    EXPECT_EQ(file.width, width);
    EXPECT_EQ(file.height, height);
    const double videoSeconds = file.videoCount() / 16.0;
    const double audioSeconds = file.audioCount() * 0.024;
    EXPECT_NEAR(double(file.videoCount()), 16 * seconds, 1.0) << avi;
    // Sound and pictures end together, within a frame and a sound block.
    EXPECT_NEAR(audioSeconds, videoSeconds, 1.0 / 16 + 0.024) << avi;
    EXPECT_EQ(DecodeComplaints(avi), "") << avi;
}

// Pictures taken before the first Ctrl+C, and how long a second may take to end the run.
// The writing is caught in most attempts; a busy machine may need another.
constexpr long long kStoppedFramesBytes = 8'000'000;
constexpr int kGiveUpBoundSeconds = 10;
constexpr int kWritingAttempts = 3;

class Zemconvert : public ::testing::Test {
protected:
    zem::testclips::TempDir clips;
    std::string Clip(const std::string& kind, double seconds = 2.0) {
        const fs::path p = zem::testclips::MakeClip(clips.path(), kind, seconds);
        EXPECT_FALSE(p.empty()) << "ffmpeg could not make a " << kind << " clip";
        return p.string();
    }
    std::string Scratch() const { return clips.path().string(); }
};

} // namespace

TEST_F(Zemconvert, EveryAcceptedKindConvertsIntoAPlayableFile) {
    for (const std::string kind : {"mp4", "mpg", "vob", "dat", "wmv", "asf", "rm", "mkv", "avi", "asx"}) {
        SCOPED_TRACE(kind);
        const std::string input = Clip(kind);
        if (input.empty())
            continue;
        const auto before = ReadWholeFile(input);
        const Outcome o = RunZemconvert({input}, Scratch());
        const std::string output =
            zem::test::PathExists(input) ? fs::path(input).replace_extension().string() + "_ZM.avi" : "";
        EXPECT_EQ(o.exitCode, 0) << o.out << o.err;
        EXPECT_NE(o.out.find("Input:  " + input), std::string::npos) << o.out;
        EXPECT_NE(o.out.find("Output: " + output), std::string::npos) << o.out;
        EXPECT_NE(o.out.find("Status: Completed"), std::string::npos) << o.out << o.err;
        ExpectGoodOutput(output, 2.0);
        EXPECT_EQ(ReadWholeFile(input), before) << "the input was changed";
        fs::remove(output);
    }
    // Nothing but the clips (and the files an asx points at) is left.
    for (const auto& name : Entries(clips.path().string())) {
        const std::string ext = fs::path(name).extension().string();
        EXPECT_TRUE(ext != ".tmp" && ext != ".mp3" && ext != ".zem" && ext != ".idx" && ext != ".hit") << name;
    }
}

TEST_F(Zemconvert, SizesRotationsAndKeptSound) {
    const std::string input = Clip("mp4", 1.0);
    const TempDir out;
    struct Case {
        const char* size;
        const char* rotate;
        uint32_t w, h;
    };
    const Case cases[] = {{"96x64", "none", 96, 64},     {"128x128", "left", 128, 128}, {"160x128", "right", 128, 160},
                          {"176x128", "none", 176, 128}, {"208x176", "left", 176, 208}, {"320x240", "right", 240, 320}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.size) + " " + c.rotate);
        const std::string output = out.file(std::string("o_") + c.size + c.rotate + ".avi");
        const Outcome o = RunZemconvert({"-s", c.size, "-r", c.rotate, "-q", "low", "-o", output, input}, Scratch());
        ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
        ExpectGoodOutput(output, 1.0, c.w, c.h);
    }
    // The picture is turned, not squeezed: the top quarter of the clip is blue,
    // so after a left turn the right quarter... of the upright picture lies on top.
    const std::string turned = out.file("o_320x240right.avi");
    const auto rgb = DecodePicture(turned, 3, 240, 320);
    ASSERT_FALSE(rgb.empty());
    auto at = [&](int x, int y, int k) { return int(rgb[(size_t(y) * 240 + x) * 3 + k]); };
    EXPECT_GT(at(230, 160, 2), 150) << "a right turn puts the blue top at the right";
    EXPECT_LT(at(10, 160, 2), 150);

    const Outcome kept = RunZemconvert({"--keep-mp3", "-d", out.path(), input}, Scratch());
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    const std::string base = out.file(fs::path(input).stem().string() + "_ZM");
    ASSERT_TRUE(PathExists(base + ".avi"));
    ASSERT_TRUE(PathExists(base + ".mp3"));
    // The kept sound is a 68-byte head and whole 384-byte frames.
    const auto mp3 = ReadWholeFile(base + ".mp3");
    ASSERT_GT(mp3.size(), 68u);
    EXPECT_EQ((mp3.size() - 68) % 384, 0u);
    EXPECT_EQ(mp3[68], 0xFF);
    EXPECT_EQ(DecodeComplaints(base + ".mp3"), "");
}

TEST_F(Zemconvert, SelectionConvertsOnlyTheRange) {
    // 6 s clip whose pictures count 0, 1, 2, ... (mod 50) at 25 per second.
    const std::string input = Clip("mkv", 6.0);
    const TempDir out;
    const std::string output = out.file("range.avi");
    const Outcome o = RunZemconvert({"--start", "2", "--end", "00:04.000", "-o", output, input}, Scratch());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectGoodOutput(output, 2.0);
    // The first picture is the one shown at 2 s (Matroska lets the pictures
    // start a few milliseconds after the sound, so it is number 49).
    const auto times = zem::testclips::ProbeClip(input);
    const int expected = int(std::floor((2.0 - (times.videoStart - times.Origin())) * 25));
    const auto rgb = DecodePicture(output, 0, 320, 240);
    ASSERT_FALSE(rgb.empty());
    EXPECT_EQ(zem::testclips::PictureNumber(rgb.data(), 320, 240, 320 * 3), expected % zem::testclips::kCounterCycle);
    // A start past the end is refused before anything is made.
    const Outcome past = RunZemconvert({"--start", "100", "-o", output + ".past.avi", input}, Scratch());
    EXPECT_EQ(past.exitCode, 1) << past.out << past.err;
    EXPECT_NE(past.out.find("The start (1:40) lies past the end of the film (0:06)"), std::string::npos) << past.out;
    EXPECT_EQ(out.entries(), std::vector<std::string>{"range.avi"});
}

TEST_F(Zemconvert, PicturesShorterThanTheSoundHoldTheLastPictureUntilTheSoundEnds) {
    // As players show such a file: the last picture stays while the sound
    // goes on, and all of the sound is there, in its place.
    struct Case {
        const char* kind;
        double pictureSeconds; // 0.04: a single picture at 25 a second
        double soundSeconds;
        const char* codecs = "-c:v mpeg4 -c:a libmp3lame";
        double soundStart = 0; // silence before it in the output
        std::vector<std::string> range = {};
        double outputSeconds = 0; // 0: where the sound ends
        // Written to a pipe, as live recorders write: the file states no
        // length, GStreamer guesses one from its last cluster, and the run
        // says that the end is where the file ran out.
        bool piped = false;
    };
    const Case cases[] = {
        {"mkv", 1.0, 10.0},
        {"mkv", 0.04, 3.0},
        {"avi", 0.3, 3.0},
        {"mkv", 0.5, 3.0},
        {"mp4", 3.0, 10.0},
        // The encoder's delay puts the one picture's block in a later cluster
        // than the sound before it.
        {"mkv", 0.04, 30.0, "-c:v libx264 -c:a pcm_s16le -ar 16000"},
        {"mp4", 3.0, 10.0, "-c:v mpeg4 -c:a aac", 0, {"--start", "1", "--end", "8"}, 7.0},
        {"mkv", 3.0, 2.0, "-c:v mpeg4 -c:a libmp3lame", 3.0},
        // Nothing of the sound lies in the range: silence.
        {"mkv", 3.0, 3.0, "-c:v mpeg4 -c:a libmp3lame", 0, {"--start", "2.99"}, 1.0 / 16},
        {"mkv", 0.04, 30.0, "-c:v libx264 -c:a pcm_s16le -ar 16000", 0, {}, 0, true},
        // Its sound in clusters of 10 s: the guess says 0:10, the range goes on to 0:30.
        {"mkv",
         30.0,
         30.0,
         "-c:v libx264 -c:a pcm_s16le -cluster_size_limit 100000000 -cluster_time_limit 60000",
         0,
         {"--start", "5"},
         25.0,
         true},
    };
    const TempDir out;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const std::string name = std::to_string(i) + "-" + std::to_string(int(c.pictureSeconds * 100)) + "-" +
                                 std::to_string(int(c.soundSeconds)) + "." + c.kind;
        SCOPED_TRACE(name);
        const std::string input = out.file(name);
        char command[512];
        std::snprintf(command, sizeof command,
                      "ffmpeg -v error -f lavfi -i testsrc=duration=%.2f:size=320x240:rate=25 -itsoffset %.1f -f lavfi "
                      "-i sine=frequency=440:duration=%.1f %s %s'%s'",
                      c.pictureSeconds, c.soundStart, c.soundSeconds, c.codecs, c.piped ? "-f matroska - > " : "",
                      input.c_str());
        ASSERT_EQ(std::system(command), 0);
        const std::string output = out.file(name + ".avi");
        std::vector<std::string> args = c.range;
        args.insert(args.end(), {"-o", output, input});
        const Outcome o = RunZemconvert(args, Scratch());
        ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
        EXPECT_EQ((o.out + o.err).find(".ZemConverter-"), std::string::npos) << o.out << o.err;
        const bool saidUnknown = o.out.find("Warning: " + input +
                                            " does not state its length: it was converted as "
                                            "far as it could be read (0:30") != std::string::npos;
        EXPECT_EQ(saidUnknown, c.piped) << o.out;
        const double expected = c.outputSeconds > 0 ? c.outputSeconds : c.soundStart + c.soundSeconds;
        const AviFile avi = ParseAvi(output);
        ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
        EXPECT_NEAR(avi.audioCount() * 0.024, expected, 0.1);
        EXPECT_NEAR(avi.videoCount() / 16.0, expected, 0.15);
        std::vector<const AviChunk*> pictures;
        std::vector<const AviChunk*> sound;
        for (const AviChunk& chunk : avi.chunks)
            (chunk.code == "00dc" ? pictures : sound).push_back(&chunk);
        ASSERT_FALSE(pictures.empty());
        size_t held = 0;
        while (held < pictures.size() && pictures[pictures.size() - 1 - held]->payload == pictures.back()->payload)
            ++held;
        const double shown = c.pictureSeconds - (c.range.empty() ? 0.0 : std::stod(c.range[1]));
        EXPECT_GE(double(held), (expected - shown) * 16 - 2);
        // Late sound: the same silent block until it starts.
        size_t silent = 0;
        while (silent < sound.size() && sound[silent]->payload == sound.front()->payload)
            ++silent;
        if (c.soundStart > 0) {
            EXPECT_NEAR(silent * 0.024, c.soundStart, 0.1);
        }
        EXPECT_EQ(DecodeComplaints(output), "");
    }
}

TEST_F(Zemconvert, StopKeepsWhatWasConvertedAndEndsTheRun) {
    const std::string input =
        zem::testclips::MakeClip(clips.path(), "mp4", 40.0, 1280, 720, 25, zem::testclips::Pattern::Moving).string();
    ASSERT_FALSE(input.empty());
    const std::string second = Clip("avi", 1.0);
    const TempDir out;
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execl(ZEMCONVERT_PATH, ZEMCONVERT_PATH, "-d", out.path().c_str(), input.c_str(), second.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait until frames are being written, then press Ctrl+C once.
    EXPECT_TRUE(WaitForFrames(out.path(), 200000));
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string output = out.file(fs::path(input).stem().string() + "_ZM.avi");
    const AviFile avi = ParseAvi(output);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_GT(avi.videoCount(), 0u);
    EXPECT_LT(avi.videoCount(), 16u * 40 - 16);
    // The second input was not started; no scratch is left.
    EXPECT_EQ(out.entries(), std::vector<std::string>{fs::path(output).filename().string()});
}

TEST_F(Zemconvert, BadInputsFailClearlyAndLeaveNothing) {
    const TempDir bad;
    WriteWholeFile(bad.file("empty.mp4"), {});
    std::vector<uint8_t> noise(200000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = uint8_t((i * 2654435761u) >> 13);
    WriteWholeFile(bad.file("noise.avi"), noise);
    const auto whole = ReadWholeFile(Clip("mp4", 3.0));
    WriteWholeFile(bad.file("truncated.mp4"),
                   std::vector<uint8_t>(whole.begin(), whole.begin() + long(whole.size() / 2)));
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 -c:a libmp3lame '" +
                           bad.file("blind.mkv") + "'")
                              .c_str()),
              0);
    // A video track without one picture, 3 s of sound.
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=duration=1:size=320x240:rate=25 -f lavfi -i "
                           "sine=frequency=440:duration=3 -vf select=0 -c:v mpeg4 -c:a aac '" +
                           bad.file("pictureless.mkv") + "'")
                              .c_str()),
              0);
    // An earlier output of it stays as it was.
    const std::vector<uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    WriteWholeFile(bad.file("pictureless_ZM.avi"), earlier);

    struct Case {
        std::string file;
        std::string status;
    };
    const Case cases[] = {{bad.file("missing.mkv"), "ERROR(4)"},
                          {bad.file("empty.mp4"), "ERROR("},
                          {bad.file("noise.avi"), "ERROR("},
                          {bad.file("blind.mkv"), "ERROR(5) The file has no picture"},
                          {bad.file("pictureless.mkv"), "ERROR(5) The file has no picture"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto before = ReadWholeFile(c.file);
        const Outcome o = RunZemconvert({c.file}, Scratch());
        EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
        EXPECT_NE(o.out.find("Status: " + c.status), std::string::npos) << o.out << o.err;
        EXPECT_EQ(ReadWholeFile(c.file), before);
    }
    // Each says why in words, naming the file.
    const Outcome garbled = RunZemconvert({bad.file("noise.avi")}, Scratch());
    EXPECT_NE(garbled.out.find(bad.file("noise.avi") + " is not a video file"), std::string::npos) << garbled.out;

    // A file cut in half whose index was at its end cannot be read at all:
    // it fails, and no output appears.
    const Outcome cut = RunZemconvert({bad.file("truncated.mp4")}, Scratch());
    EXPECT_EQ(cut.exitCode, 1) << cut.out << cut.err;
    EXPECT_NE(cut.out.find("Status: ERROR("), std::string::npos) << cut.out;
    EXPECT_FALSE(PathExists(bad.file("truncated_ZM.avi")));

    EXPECT_EQ(ReadWholeFile(bad.file("pictureless_ZM.avi")), earlier);
    EXPECT_EQ(bad.entries(), (std::vector<std::string>{"blind.mkv", "empty.mp4", "noise.avi", "pictureless.mkv",
                                                       "pictureless_ZM.avi", "truncated.mp4"}));
}

TEST_F(Zemconvert, SpeaksTheUsersLanguageAndJsonStaysEnglish) {
    const TempDir bad;
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 -c:a libmp3lame '" +
                           bad.file("blind.mkv") + "'")
                              .c_str()),
              0);
    struct Case {
        const char* locale; // LC_ALL
        std::string file;   // the last argument; none when empty
        std::vector<std::string> args;
        std::string said;  // in the report or the message, whole words
        std::string never; // an English word that must not show
        int status = 1;    // the exit status: 0 done, 1 failed, 2 bad usage
    };
    const Case cases[] = {
        {"ko_KR.UTF-8",
         bad.file("missing.mkv"),
         {},
         "상태: ERROR(4) " + bad.file("missing.mkv") + " 파일을 열 수 없습니다",
         "Cannot"},
        {"ko_KR.UTF-8",
         bad.file("blind.mkv"),
         {},
         "상태: ERROR(5) 변환기가 디코딩할 수 있는 영상이 파일에 없습니다",
         "picture"},
        {"ko_KR.UTF-8", bad.file("a.txt"), {}, "a.txt: 변환기가 읽는 동영상 파일이 아닙니다", "video", 2},
        // The help, the command line's faults and the list's.
        {"ko_KR.UTF-8", "", {"--help"}, "사용법: zemconvert [OPTIONS] INPUT...", "show this help", 0},
        {"ko_KR.UTF-8", "", {"--help"}, "화면을 왼쪽이나 오른쪽으로 90도 돌립니다", "default", 0},
        {"ko_KR.UTF-8", "", {"--frobnicate", "x.mp4"}, "알 수 없는 옵션 --frobnicate", "unknown", 2},
        {"ko_KR.UTF-8", "", {"-j", "99", "x.mp4"}, "작업 수 '99'을(를) 읽을 수 없습니다 (1부터 64까지)", "cannot", 2},
        {"ko_KR.UTF-8",
         bad.file("nolist.txt"),
         {"--files-from"},
         "목록 " + bad.file("nolist.txt") + "을(를) 읽을 수 없습니다",
         "cannot",
         2},
        {"zh_CN.UTF-8", "", {"--start", "soon", "x.mp4"}, "无法读取时间“soon”", "cannot", 2},
        {"C", "", {"--help"}, "Usage: zemconvert [OPTIONS] INPUT...", "사용법", 0},
        {"C", "", {"--frobnicate", "x.mp4"}, "unknown option --frobnicate", "알 수", 2},
        {"zh_TW.UTF-8", bad.file("missing.mkv"), {}, "狀態: ERROR(4) 無法開啟 " + bad.file("missing.mkv"), "Cannot"},
        {"C", bad.file("missing.mkv"), {}, "Status: ERROR(4) Cannot open " + bad.file("missing.mkv"), "상태"},
        {"C", bad.file("blind.mkv"), {}, "Status: ERROR(5) The file has no picture the converter can decode", "상태"},
        {"C", bad.file("a.txt"), {}, "a.txt: not a video file the converter reads", "변환", 2},
        // A language without a file speaks English.
        {"de_DE.UTF-8", bad.file("missing.mkv"), {}, "Status: ERROR(4) Cannot open", "상태"},
        // Scripts read the same English in every language.
        {"ko_KR.UTF-8",
         bad.file("missing.mkv"),
         {"--json"},
         "\"code\":4,\"text\":\"Cannot open " + bad.file("missing.mkv"),
         "상태"},
    };
    const char* had = std::getenv("LC_ALL");
    const std::string before = had ? had : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.file);
        ::setenv("LC_ALL", c.locale, 1);
        std::vector<std::string> args = c.args;
        if (!c.file.empty())
            args.push_back(c.file);
        const Outcome o = RunZemconvert(args, Scratch());
        const std::string all = o.out + o.err;
        EXPECT_EQ(o.exitCode, c.status);
        EXPECT_NE(all.find(c.said), std::string::npos) << all;
        // The file's name aside, no word of the other language shows.
        std::string words = all;
        for (size_t at; !c.file.empty() && (at = words.find(c.file)) != std::string::npos;)
            words.erase(at, c.file.size());
        EXPECT_EQ(words.find(c.never), std::string::npos) << all;
    }
    if (had)
        ::setenv("LC_ALL", before.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
}

TEST_F(Zemconvert, AFileCutShortWithItsIndexFirstConvertsWhatIsThere) {
    // The index at the front: the first half of the pictures can be read,
    // and that is what the output holds, whole.
    const TempDir bad;
    const std::string whole = bad.file("whole.mp4");
    ASSERT_EQ(
        std::system(
            ("ffmpeg -v error -y -i '" + Clip("mp4", 4.0) + "' -c copy -movflags +faststart '" + whole + "'").c_str()),
        0);
    const auto bytes = ReadWholeFile(whole);
    WriteWholeFile(bad.file("cut.mp4"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    const Outcome o = RunZemconvert({bad.file("cut.mp4")}, Scratch());
    EXPECT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("Status: Completed"), std::string::npos) << o.out;
    const AviFile avi = ParseAvi(bad.file("cut_ZM.avi"));
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_GT(avi.videoCount(), 16u / 2);
    EXPECT_LT(avi.videoCount(), 16u * 4 - 8);
}

TEST_F(Zemconvert, EveryFrameIsCodedAtTheChosenQuality) {
    // The JPEG quality of each choice; its tables are libjpeg's standard ones
    // scaled for it, so they tell the quality a frame was really coded at.
    const std::pair<const char*, int> choices[] = {
        {"high-definition", 95}, {"high-frame", 90}, {"standard", 80}, {"middle", 50}, {"low", 50}};
    const std::string input = Clip("mp4", 1.0);
    for (const auto& [name, quality] : choices) {
        SCOPED_TRACE(name);
        const std::string output = clips.path().string() + "/" + name + ".avi";
        const Outcome o = RunZemconvert({"-q", name, "-o", output, input}, Scratch());
        ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
        const auto expected = ReferenceQuantTables(quality);
        ASSERT_EQ(expected.size(), 2u);
        const AviFile avi = ParseAvi(output);
        size_t frames = 0;
        for (const AviChunk& chunk : avi.chunks) {
            if (chunk.code != "00dc")
                continue;
            ++frames;
            EXPECT_EQ(ProbeJpeg(chunk.payload).quantTables, expected) << "frame " << frames - 1;
        }
        EXPECT_EQ(frames, 16u);
    }
}

TEST_F(Zemconvert, AFolderThatCannotBeWrittenIsRefusedByName) {
    const std::string input = Clip("mp4", 1.0);
    const auto inputsBefore = Entries(clips.path().string());
    ReadOnlyDir locked;
    if (!locked.usable())
        GTEST_SKIP() << "no read-only folder here (root needs to mount one)";
    const Outcome o = RunZemconvert({"-d", locked.path(), input}, Scratch());
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.out.find("Status: ERROR("), std::string::npos) << o.out << o.err;
    EXPECT_NE((o.out + o.err).find(locked.path()), std::string::npos)
        << "the message names the folder: " << o.out << o.err;
    EXPECT_EQ(Entries(locked.path()), std::vector<std::string>{});
    EXPECT_EQ(Entries(clips.path().string()), inputsBefore);
}

TEST_F(Zemconvert, UnwritableOutputsAndUnknownKindsAreRefused) {
    const std::string input = Clip("mp4", 1.0);
    const auto inputsBefore = Entries(clips.path().string());
    FullDiskDir full(96 * 1024);
    const Outcome o = RunZemconvert({"-d", full.path(), input}, Scratch());
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("Status: ERROR("), std::string::npos) << o.out;
    EXPECT_TRUE(full.entries().empty()) << full.entries().front();
    EXPECT_EQ(Entries(clips.path().string()), inputsBefore);

    // An output that is the input itself is refused, the input untouched.
    const auto original = ReadWholeFile(input);
    const std::string alias = clips.path().string() + "/alias.avi";
    fs::create_hard_link(input, alias);
    const Outcome self = RunZemconvert({"-o", alias, input}, Scratch());
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_NE(self.out.find("Status: ERROR(38)"), std::string::npos) << self.out << self.err;
    EXPECT_EQ(ReadWholeFile(input), original);
    fs::remove(alias);

    const Outcome unknown = RunZemconvert({clips.path().string() + "/song.ram"}, Scratch());
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("song.ram"), std::string::npos);
    const Outcome usage = RunZemconvert({"-s", "1x1", input}, Scratch());
    EXPECT_EQ(usage.exitCode, 2);
    const Outcome version = RunZemconvert({"--version"}, Scratch());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("4.10"), std::string::npos);
}

namespace {
// First time (seconds) at which the output's pictures turn bright, and at
// which its sound turns loud; -1 when never.
std::pair<double, double> FlashAndBeep(const std::string& avi) {
    const std::string gray = avi + ".gray";
    const std::string pcm = avi + ".pcm";
    std::system(
        ("ffmpeg -v error -i '" + avi + "' -vf scale=16:16 -f rawvideo -pix_fmt gray -y '" + gray + "'").c_str());
    std::system(("ffmpeg -v error -i '" + avi + "' -vn -ac 1 -ar 48000 -f s16le -y '" + pcm + "'").c_str());
    const auto pictures = ReadWholeFile(gray);
    const auto sound = ReadWholeFile(pcm);
    ::unlink(gray.c_str());
    ::unlink(pcm.c_str());
    double flash = -1, beep = -1;
    for (size_t f = 0; f * 256 + 256 <= pictures.size() && flash < 0; ++f) {
        int sum = 0;
        for (size_t i = 0; i < 256; ++i)
            sum += pictures[f * 256 + i];
        if (sum / 256 > 128)
            flash = f / 16.0;
    }
    for (size_t s = 0; s * 2 + 1 < sound.size() && beep < 0; ++s) {
        const int16_t v = int16_t(sound[2 * s] | sound[2 * s + 1] << 8);
        if (v > 3000 || v < -3000)
            beep = s / 48000.0;
    }
    return {flash, beep};
}
} // namespace

TEST_F(Zemconvert, SoundAndPicturesStartTogetherWhenTheStreamsDoNot) {
    // A file whose pictures start 0.4 s after its sound; a flash and a beep
    // happen at the same moment. In the output they must stay together.
    const std::string dir = clips.path().string();
    const std::string input = dir + "/late_video.mkv";
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=160x128:r=25:d=3,"
        "drawbox=x=0:y=0:w=160:h=128:color=white:t=fill:enable='between(t,1,1.2)'\" "
        "-c:v libx264 -pix_fmt yuv420p '" +
        dir +
        "/v.mkv' && "
        "ffmpeg -v error -y -f lavfi -i \"sine=frequency=1000:sample_rate=44100:duration=3.4,"
        "volume=volume=0:enable='not(between(t,1.4,1.6))'\" -c:a libmp3lame '" +
        dir +
        "/a.mp3' && "
        "ffmpeg -v error -y -itsoffset 0.4 -i '" +
        dir + "/v.mkv' -i '" + dir + "/a.mp3' -c copy '" + input + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const TempDir out;
    for (const std::vector<std::string>& range : {std::vector<std::string>{}, {"--start", "0.7"}}) {
        std::vector<std::string> args = range;
        const std::string output = out.file(range.empty() ? "whole.avi" : "from07.avi");
        args.insert(args.end(), {"-o", output, input});
        const Outcome o = RunZemconvert(args, Scratch());
        ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
        const auto [flash, beep] = FlashAndBeep(output);
        ASSERT_GE(flash, 0) << output;
        ASSERT_GE(beep, 0) << output;
        // Within one frame, plus the MP3 coder's own delay of about one block.
        EXPECT_NEAR(beep, flash, 1.0 / 16 + 0.03) << output;
        const AviFile avi = ParseAvi(output);
        EXPECT_NEAR(avi.audioCount() * 0.024, avi.videoCount() / 16.0, 1.0 / 16 + 0.024) << output;
    }
}

TEST_F(Zemconvert, SecondCtrlCGivesUpAndLeavesNothing) {
    const std::string input =
        zem::testclips::MakeClip(clips.path(), "mp4", 40.0, 1280, 720, 25, zem::testclips::Pattern::Moving).string();
    ASSERT_FALSE(input.empty());
    const TempDir out;
    SecondSignal second;
    for (int attempt = 0; attempt < kWritingAttempts && !second.caughtWriting; ++attempt) {
        const pid_t pid = StartZemconvert({"-q", "high-definition", "-d", out.path(), input});
        // Enough pictures that writing them out takes a while to watch.
        ASSERT_TRUE(WaitForFrames(out.path(), kStoppedFramesBytes));
        second = StopThenSignalWhileWriting(pid, out.path(), SIGINT, SIGINT, kGiveUpBoundSeconds);
        if (!second.caughtWriting) {
            for (const std::string& name : out.entries())
                fs::remove_all(out.file(name));
        }
    }
    ASSERT_TRUE(second.caughtWriting) << second.why;
    ASSERT_TRUE(second.exited) << "still running " << kGiveUpBoundSeconds << " s after the second Ctrl+C";
    EXPECT_EQ(second.exitCode, 1);
    // The first Ctrl+C's output was half written: it and the scratch folder are gone.
    EXPECT_EQ(out.entries(), std::vector<std::string>{});
}
