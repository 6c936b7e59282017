// What zemconvert writes, and what it never touches: links planted at any name
// it might use, the user's own files, other inputs, another conversion's
// output, a killed run's leftovers, signals and file-size limits.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> kVictim{'d', 'o', 'n', 't', ' ', 't', 'o', 'u', 'c', 'h'};

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool HasScratchFolder(const std::string& dir) {
    for (const std::string& name : Entries(dir)) {
        if (name.rfind(".ZemConverter-", 0) == 0)
            return true;
    }
    return false;
}

void ExpectWholeOutput(const std::string& path) {
    const AviFile avi = ParseAvi(path);
    ASSERT_TRUE(avi.problems.empty()) << path << ": " << avi.problems.front();
    EXPECT_GT(avi.videoCount(), 0u) << path;
}

class Safety : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_clips = std::make_unique<zem::testclips::TempDir>();
        s_short = zem::testclips::MakeClip(s_clips->path(), "mp4", 1.0).string();
        s_shortMkv = zem::testclips::MakeClip(s_clips->path(), "mkv", 1.0).string();
        s_long = zem::testclips::MakeClip(s_clips->path(), "mp4", 60.0, 640, 360, 25, zem::testclips::Pattern::Moving)
                     .string();
    }
    static void TearDownTestSuite() { s_clips.reset(); }

    void SetUp() override {
        ASSERT_FALSE(s_short.empty());
        ASSERT_FALSE(s_shortMkv.empty());
        ASSERT_FALSE(s_long.empty());
    }

    // A copy of the short clip under `name` in `dir`.
    static std::string Place(const std::string& dir, const std::string& name, const std::string& from = s_short) {
        const std::string to = dir + "/" + name;
        fs::create_directories(fs::path(to).parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    }

    static std::unique_ptr<zem::testclips::TempDir> s_clips;
    static std::string s_short, s_shortMkv, s_long;
    TempDir work;
};

std::unique_ptr<zem::testclips::TempDir> Safety::s_clips;
std::string Safety::s_short, Safety::s_shortMkv, Safety::s_long;

} // namespace

TEST_F(Safety, LinksAtEveryNameTheConverterOnceUsedAreNeverFollowed) {
    // Links planted at the old predictable scratch names, beside the input and
    // the output, and at the output itself, all pointing at someone's file.
    const std::string input = Place(work.path(), "clip.mp4");
    const TempDir victims;
    const std::vector<std::string> planted{"clip_ZM.tmp", "clip_ZM.mp3", "clip_ZM.hit", "clip_ZM.idx",
                                           "clip.zem",    "clip.idx",    "clip_ZM.zem", "clip_ZM.avi"};
    for (const std::string& name : planted) {
        ASSERT_TRUE(WriteWholeFile(victims.file(name), kVictim));
        ASSERT_EQ(::symlink(victims.file(name).c_str(), work.file(name).c_str()), 0);
    }
    const Outcome o = RunZemconvert({input}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    for (const std::string& name : planted) {
        EXPECT_EQ(ReadWholeFile(victims.file(name)), kVictim) << name << " was written through";
        if (name != "clip_ZM.avi") {
            EXPECT_TRUE(IsLink(work.file(name))) << name << " was removed or replaced";
        }
    }
    EXPECT_FALSE(IsLink(work.file("clip_ZM.avi"))) << "the output is still a link";
    ExpectWholeOutput(work.file("clip_ZM.avi"));
    EXPECT_FALSE(HasScratchFolder(work.path()));
}

TEST_F(Safety, TheUsersFilesNamedLikeScratchFilesStayAndScratchEndingsAreValidOutputs) {
    const std::string input = Place(work.path(), "holiday.mp4");
    const std::vector<std::string> own{"holiday.mp3", "holiday.tmp",    "holiday.idx",   "holiday.hit",
                                       "holiday.zem", "holiday_ZM.tmp", "holiday_ZM.idx"};
    for (const std::string& name : own)
        ASSERT_TRUE(WriteWholeFile(work.file(name), kVictim));
    Outcome o = RunZemconvert({input}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    for (const std::string& name : own)
        EXPECT_EQ(ReadWholeFile(work.file(name)), kVictim) << name;
    ExpectWholeOutput(work.file("holiday_ZM.avi"));

    // An output with a scratch file's ending is the user's choice and is kept.
    for (const char* ending : {".mp3", ".tmp", ".hit", ".idx", ".zem"}) {
        const std::string output = work.file(std::string("out") + ending);
        o = RunZemconvert({"-o", output, input}, work.path());
        EXPECT_EQ(o.exitCode, 0) << ending << ": " << o.out << o.err;
        EXPECT_NE(o.out.find("Completed"), std::string::npos) << o.out;
        ExpectWholeOutput(output);
    }
    // Keeping the sound of an output named ".mp3" does not replace the output.
    o = RunZemconvert({"--keep-mp3", "-o", work.file("both.mp3"), input}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectWholeOutput(work.file("both.mp3"));
    EXPECT_GT(FileSizeOf(work.file("both.mp3.mp3")), 68);
    EXPECT_FALSE(HasScratchFolder(work.path()));
}

TEST_F(Safety, OutputsThatWouldCollideInOneCallGetNumberedNames) {
    const std::string a = Place(work.path(), "a.mp4");
    const std::string b = Place(work.path(), "a.mkv", s_shortMkv);
    Outcome o = RunZemconvert({a, b}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectWholeOutput(work.file("a_ZM.avi"));
    ExpectWholeOutput(work.file("a(2)_ZM.avi"));
    EXPECT_NE(o.out.find("Output: " + work.file("a(2)_ZM.avi")), std::string::npos) << o.out;

    // The same name from two folders into one output folder.
    const std::string x = Place(work.path(), "x/c.mp4");
    const std::string y = Place(work.path(), "y/c.mp4");
    fs::create_directory(work.file("out"));
    o = RunZemconvert({"-d", work.file("out"), x, y}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_EQ(Entries(work.file("out")), (std::vector<std::string>{"c(2)_ZM.avi", "c_ZM.avi"}));
    ExpectWholeOutput(work.file("out/c_ZM.avi"));
    ExpectWholeOutput(work.file("out/c(2)_ZM.avi"));
}

TEST_F(Safety, AnOutputIsNeverAnInputOfTheCallOrAFileAPlayListPlays) {
    const std::string movie = Place(work.path(), "movie.mp4");
    const std::vector<uint8_t> movieBytes = ReadWholeFile(movie);
    const std::string list = "<asx version=\"3.0\"><entry><ref href=\"movie.mp4\"/></entry></asx>\n";
    ASSERT_TRUE(WriteWholeFile(work.file("list.asx"), std::vector<uint8_t>(list.begin(), list.end())));
    Outcome o = RunZemconvert({"-o", movie, work.file("list.asx")}, work.path());
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("ERROR(38)"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("movie.mp4 that " + work.file("list.asx") + " plays"), std::string::npos) << o.out;
    EXPECT_EQ(ReadWholeFile(movie), movieBytes);

    // "x.mp4"'s output "x_ZM.avi" is another input of the same call.
    const std::string x = Place(work.path(), "x.mp4");
    const std::string xz = Place(work.path(), "x_ZM.avi", s_shortMkv);
    const std::vector<uint8_t> xzBytes = ReadWholeFile(xz);
    o = RunZemconvert({x, xz}, work.path());
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("ERROR(38) The output " + xz + " would replace the input " + xz), std::string::npos) << o.out;
    EXPECT_EQ(ReadWholeFile(xz), xzBytes);
    ExpectWholeOutput(work.file("x_ZM_ZM.avi"));
    EXPECT_FALSE(HasScratchFolder(work.path()));
}

TEST_F(Safety, ASecondConversionToAnOutputBeingWrittenIsRefusedAndNeitherSuffers) {
    const std::string output = work.file("shared_ZM.avi");
    const pid_t first = StartZemconvert({"-o", output, s_long});
    ASSERT_TRUE(WaitForFrames(work.path(), 50000));
    const auto started = std::chrono::steady_clock::now();
    const Outcome second = RunZemconvert({"-o", output, s_short}, work.path());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(second.exitCode, 1) << second.out << second.err;
    EXPECT_NE(second.out.find("ERROR(39) another conversion is writing " + output), std::string::npos) << second.out;
    EXPECT_FALSE(fs::exists(output)) << "the refused run wrote the output";
    ::kill(first, SIGINT); // the first stops and writes what it has
    int status = 0;
    ::waitpid(first, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ExpectWholeOutput(output);
    EXPECT_EQ(DecodeComplaints(output), "");
    EXPECT_FALSE(HasScratchFolder(work.path()));
    RecordProperty("refusal_seconds", std::to_string(seconds));
}

TEST_F(Safety, AKilledRunsScratchFolderGoesWithTheNextRunThereButNotWhileItRuns) {
    const pid_t running = StartZemconvert({"-o", work.file("long_ZM.avi"), s_long});
    ASSERT_TRUE(WaitForFrames(work.path(), 50000));
    // Another conversion in the same folder leaves the running one's folder alone.
    Outcome o = RunZemconvert({"-o", work.file("other_ZM.avi"), s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_TRUE(HasScratchFolder(work.path())) << "a running conversion's folder was removed";
    EXPECT_GT(ScratchFramesSize(work.path()), 0);

    ::kill(running, SIGKILL);
    int status = 0;
    ::waitpid(running, &status, 0);
    EXPECT_TRUE(HasScratchFolder(work.path()));
    EXPECT_FALSE(fs::exists(work.file("long_ZM.avi"))) << "a killed run left an output";
    o = RunZemconvert({"-o", work.file("next_ZM.avi"), s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_FALSE(HasScratchFolder(work.path())) << "the dead run's folder is still there";
    EXPECT_EQ(Entries(work.path()), (std::vector<std::string>{"next_ZM.avi", "other_ZM.avi"}));
}

TEST_F(Safety, TermAndHangupStopLikeCtrlCAndASecondOneGivesUp) {
    // A file already at the output's name (a complete earlier output) stays;
    // the stopped part goes beside it.
    const struct {
        int signal;
        bool earlier;
    } stops[] = {{SIGTERM, false}, {SIGHUP, false}, {SIGTERM, true}};
    for (const auto& stop : stops) {
        SCOPED_TRACE(stop.signal);
        const TempDir out;
        const std::string output = out.file("stopped_ZM.avi");
        if (stop.earlier) {
            ASSERT_TRUE(WriteWholeFile(output, kVictim));
        }
        const pid_t pid = StartZemconvert({"-o", output, s_long});
        ASSERT_TRUE(WaitForFrames(out.path(), 50000));
        ::kill(pid, stop.signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string part = stop.earlier ? out.file("stopped_ZM (stopped).avi") : output;
        ExpectWholeOutput(part);
        EXPECT_LT(ParseAvi(part).videoCount(), 16u * 50);
        if (stop.earlier) {
            EXPECT_EQ(ReadWholeFile(output), kVictim);
            EXPECT_EQ(Entries(out.path()), (std::vector<std::string>{"stopped_ZM (stopped).avi", "stopped_ZM.avi"}));
        } else {
            EXPECT_EQ(Entries(out.path()), std::vector<std::string>{"stopped_ZM.avi"});
        }
    }
    // A second one while the first one's output is being written gives up:
    // the half-written output and the scratch folder go.
    const TempDir out;
    SecondSignal second;
    for (int attempt = 0; attempt < 3 && !second.caughtWriting; ++attempt) {
        const pid_t pid = StartZemconvert({"-q", "high-definition", "-o", out.file("gone_ZM.avi"), s_long});
        ASSERT_TRUE(WaitForFrames(out.path(), 8'000'000));
        second = StopThenSignalWhileWriting(pid, out.path(), SIGTERM, SIGHUP, 10);
        if (!second.caughtWriting) {
            for (const std::string& name : Entries(out.path()))
                fs::remove_all(out.file(name));
        }
    }
    ASSERT_TRUE(second.caughtWriting) << second.why;
    ASSERT_TRUE(second.exited) << "still running 10 s after the second signal";
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(Entries(out.path()), std::vector<std::string>{});
}

TEST_F(Safety, AFileSizeLimitIsAWriteErrorWithItsMessageNotAKill) {
    RunOptions limited;
    limited.fileSizeLimit = 256 * 1024;
    const Outcome o = RunZemconvert({"-o", work.file("big_ZM.avi"), s_long}, work.path(), limited);
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("ERROR(37)"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("File too large"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(work.path()), std::string::npos) << "the message names no file: " << o.out;
    EXPECT_FALSE(fs::exists(work.file("big_ZM.avi")));
    EXPECT_FALSE(HasScratchFolder(work.path()));
}

TEST_F(Safety, AFullDiskWhileTheSoundIsWrittenSaysSo) {
    // Tiny pictures: the sound is the larger stream and fills the disk first.
    FullDiskDir full(96 * 1024);
    if (!full.mounted())
        GTEST_SKIP() << "needs a small file system (root mounts one)";
    const Outcome o = RunZemconvert({"-s", "96x64", "-q", "low", "-o", full.file("out_ZM.avi"), s_long}, work.path());
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("ERROR(37)"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("No space left on device"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("damaged"), std::string::npos) << o.out;
    // Named by the folder the user knows, not by the descriptor it was reached through.
    EXPECT_NE(o.out.find(full.path() + "/.ZemConverter-"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("/proc/self/fd/"), std::string::npos) << o.out;
    EXPECT_TRUE(Entries(full.path()).empty());
}

TEST_F(Safety, OutputsThatCannotBeReplacedAreRefusedBeforeAnythingIsConverted) {
    // The finished file takes the output's name by a rename: a FIFO or a
    // device there would be replaced by a file, and in a sticky folder
    // another user's name cannot be replaced at all. Each is refused at once
    // (the long clip would take many seconds and print its progress).
    const TempDir sticky;
    ::chmod(sticky.path().c_str(), 01777);
    ASSERT_TRUE(WriteWholeFile(sticky.file("theirs.avi"), kVictim));
    ASSERT_EQ(::symlink(sticky.file("theirs.avi").c_str(), sticky.file("link_ZM.avi").c_str()), 0);
    ASSERT_EQ(::mkfifo(work.file("fifo.avi").c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root)
        ASSERT_EQ(::mknod(work.file("null.avi").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    fs::create_directory(work.file("folder.avi"));
    const std::string longForAll = Place(sticky.path(), "long.mp4", s_long);
    ::chmod(longForAll.c_str(), 0644);

    struct Case {
        std::string output;
        std::string reason;
        mode_t type;  // what the name stays
        int uid = -1; // run as this user
        bool needsRoot = false;
    };
    const std::vector<Case> cases{
        {work.file("fifo.avi"), "it is not a regular file but a FIFO", S_IFIFO},
        {work.file("null.avi"), "it is not a regular file but a device", S_IFCHR, -1, true},
        {work.file("folder.avi"), "Is a directory", S_IFDIR},
        // The link (root's, to root's file) in a sticky folder, seen by "nobody".
        {sticky.file("link_ZM.avi"), "it belongs to another user", S_IFLNK, 65534, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        if (c.needsRoot && !root)
            continue;
        RunOptions as;
        as.uid = c.uid;
        const bool other = c.uid >= 0;
        const Outcome o =
            RunZemconvert({"-o", c.output, other ? longForAll : s_long}, other ? sticky.path() : work.path(), as);
        EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
        EXPECT_NE(o.out.find("Status: ERROR(37) Cannot replace " + c.output + ": " + c.reason), std::string::npos)
            << o.out;
        EXPECT_EQ(o.err.find("Converting "), std::string::npos) << "refused only after converting: " << o.err;
        struct stat st {};
        ASSERT_EQ(::lstat(c.output.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, c.type);
    }
    EXPECT_EQ(ReadWholeFile(sticky.file("theirs.avi")), kVictim);
    EXPECT_FALSE(HasScratchFolder(work.path()));
    EXPECT_FALSE(HasScratchFolder(sticky.path()));
}

TEST_F(Safety, ErrorsNameTheFileAndTheCause) {
    const std::string locked = Place(work.path(), "locked.mp4");
    ::chmod(locked.c_str(), 0);
    fs::create_directory(work.file("folder.mp4"));
    const std::string text = "<asx><entry><ref href=\"gone.mp4\"/></entry></asx>";
    ASSERT_TRUE(WriteWholeFile(work.file("broken.asx"), std::vector<uint8_t>(text.begin(), text.end())));
    ASSERT_TRUE(WriteWholeFile(work.file("notes.avi"), std::vector<uint8_t>(4000, 'x')));
    const std::string deep = work.path() + "/" + std::string(300, 'd') + ".mp4";

    struct Case {
        std::string input;
        std::string status;
        std::string reason;
        bool rootSees = true; // root reads any file, whatever its mode
    };
    const std::vector<Case> cases{
        {locked, "ERROR(4)", "Cannot open " + locked + ": Permission denied", false},
        {work.file("folder.mp4"), "ERROR(4)", work.file("folder.mp4") + " is a folder, not a video file"},
        {work.file("missing.mp4"), "ERROR(4)",
         "Cannot open " + work.file("missing.mp4") + ": No such file or directory"},
        {work.file("broken.asx"), "ERROR(5)", "its entry " + work.file("gone.mp4") + " cannot be opened: No such file"},
        {work.file("notes.avi"), "ERROR(5)", work.file("notes.avi") + " is not a video file the converter can read"},
        {deep, "ERROR(3)", "File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        if (!c.rootSees && ::geteuid() == 0)
            continue; // below, as another user
        const Outcome o = RunZemconvert({"-o", work.file("out.avi"), c.input}, work.path());
        EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
        EXPECT_NE(o.out.find("Status: " + c.status + " "), std::string::npos) << o.out;
        EXPECT_NE(o.out.find(c.reason), std::string::npos) << o.out;
        EXPECT_EQ(o.out.find("E_FAIL"), std::string::npos) << o.out;
        EXPECT_FALSE(fs::exists(work.file("out.avi")));
    }
    EXPECT_FALSE(HasScratchFolder(work.path()));
}

TEST_F(Safety, AGraphThatNeverStartsSaysWhyInWordsNotACode) {
    // With the MPEG-2 decoder ranked out of use nothing takes the pictures,
    // so the conversion graph cannot start.
    const fs::path clip = zem::testclips::MakeClip(work.path(), "mpg", 1.0);
    ASSERT_FALSE(clip.empty());
    ::setenv("GST_PLUGIN_FEATURE_RANK", "avdec_mpeg2video:NONE,mpeg2dec:NONE", 1);
    const Outcome o = RunZemconvert({"-o", work.file("out.avi"), clip.string()}, work.path());
    ::unsetenv("GST_PLUGIN_FEATURE_RANK");
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("Status: ERROR("), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(clip.string()), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("0x8"), std::string::npos) << "a bare code instead of a cause: " << o.out;
    EXPECT_FALSE(fs::exists(work.file("out.avi")));
    EXPECT_FALSE(HasScratchFolder(work.path()));
}

TEST_F(Safety, AnUnreadableInputSaysPermissionDeniedToAnOrdinaryUser) {
    // Root reads every file: the user "nobody" meets the permission bits.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the converter as another user";
    const TempDir shared;
    ::chmod(shared.path().c_str(), 0777);
    const std::string locked = Place(shared.path(), "locked.mp4");
    ::chmod(locked.c_str(), 0600);
    RunOptions nobody;
    nobody.uid = 65534;
    const Outcome o = RunZemconvert({"-o", shared.file("out.avi"), locked}, shared.path(), nobody);
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("ERROR(4) Cannot open " + locked + ": Permission denied"), std::string::npos) << o.out;
    EXPECT_FALSE(fs::exists(shared.file("out.avi")));
}

TEST_F(Safety, AnEarlierOutputSurvivesAFullDiskAndAKillWhole) {
    // The new output replaces the old one by a rename when it is complete:
    // until then the old file is there, whole, under its name.
    FullDiskDir full(1024 * 1024);
    if (!full.mounted())
        GTEST_SKIP() << "needs a small file system (root mounts one)";
    const std::string output = full.file("film_ZM.avi");
    Outcome o = RunZemconvert({"-o", output, s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    const std::vector<uint8_t> earlier = ReadWholeFile(output);

    o = RunZemconvert({"-q", "high-definition", "-o", output, s_long}, work.path());
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("No space left on device"), std::string::npos) << o.out;
    EXPECT_EQ(ReadWholeFile(output), earlier) << "the earlier output was changed by a failed run";
    EXPECT_EQ(Entries(full.path()), std::vector<std::string>{"film_ZM.avi"});

    const pid_t pid = StartZemconvert({"-o", output, s_long});
    ASSERT_TRUE(WaitForFrames(full.path(), 100000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(ReadWholeFile(output), earlier) << "a killed run changed the earlier output";
    ExpectWholeOutput(output);
}
