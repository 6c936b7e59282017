// zemconvert against an attacker and an unlucky user: folders that look like
// its scratch folders, other users' claims, an output folder moved during a
// run, a kept MP3 whose AVI cannot be placed, inputs that are not files,
// closed pipes, a batch whose parent dies, kills at random moments and
// subtitle files made to take time or memory without end.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr int kNobody = 65534;
constexpr int kRandomKills = 24;

const std::vector<uint8_t> kMine{'m', 'i', 'n', 'e'};

std::vector<std::string> ScratchFolders(const std::string& dir) {
    std::vector<std::string> found;
    for (const std::string& name : Entries(dir)) {
        if (name.rfind(".ZemConverter-", 0) == 0)
            found.push_back(name);
    }
    return found;
}

void ExpectWholeOutput(const std::string& path) {
    const AviFile avi = ParseAvi(path);
    ASSERT_TRUE(avi.problems.empty()) << path << ": " << avi.problems.front();
    EXPECT_GT(avi.videoCount(), 0u) << path;
}

// Makes `dir/name` with `mode`, holding `files` (a name ending in "/" is a
// folder), dated two hours back so no age rule protects it.
void MakeFolder(const std::string& dir, const std::string& name, mode_t mode,
                const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string path = dir + "/" + name;
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
    for (const auto& [file, text] : files) {
        if (file.back() == '/') {
            ASSERT_EQ(::mkdir((path + "/" + file).c_str(), 0700), 0);
        } else {
            ASSERT_TRUE(WriteWholeFile(path + "/" + file, std::vector<uint8_t>(text.begin(), text.end())));
        }
    }
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    const timespec old[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
}

// Holds a lock on a folder, as a running conversion holds its own.
class HeldLock {
public:
    explicit HeldLock(const std::string& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY)) {
        m_locked = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~HeldLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool locked() const { return m_locked; }

private:
    int m_fd;
    bool m_locked = false;
};

// Subtitle files beside a film, made to be slow or large to prepare and draw.
struct HostileSubtitle {
    const char* name;
    std::string (*make)();
    const char* warning; // what the run says of it (empty: nothing)
    // Ctrl+C as soon as the run has begun, while the file is prepared: the
    // run ends at once with nothing written.
    bool stopWhilePrepared = false;
};

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    out.reserve(piece.size() * std::size_t(times));
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

const std::string kAssHead =
    "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\n\n[Events]\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

const HostileSubtitle kHostileSubtitles[] = {
    {"nested.srt",
     [] {
         return "1\n00:00:00,500 --> 00:00:01,500\n" + Repeat("<b><i><u><font>", 250000) + "x" +
                Repeat("</font></u></i></b>", 100000) + "\n\n";
     },
     "1 event was cut to the converter's bounds"},
    {"nested.vtt",
     [] {
         // The nesting spread over many lines of one cue.
         return "WEBVTT\n\n00:00.500 --> 00:01.500\n" + Repeat("<b><i><u><font>\n", 200000) + "x\n\n";
     },
     "1 event was cut to the converter's bounds"},
    {"many.smi",
     [] {
         std::string text = "<SAMI><BODY>\n";
         for (int i = 0; i < 205000; ++i)
             text += "<SYNC Start=" + std::to_string(i * 10) + "><P>t\n";
         return text + "</BODY></SAMI>\n";
     },
     ""},
    {"blurred.ass",
     [] {
         std::string text = kAssHead;
         for (int i = 0; i < 110000; ++i)
             text += "Dialogue: 0,0:00:00.00,0:00:03.00,Default,,0,0,0,,{\\blur20}line " + std::to_string(i) + "\n";
         return text;
     },
     "events left out, more than 32 would have been shown at once"},
    {"bomb.ass",
     [] {
         std::string text = kAssHead;
         const std::string line =
             "Dialogue: 0,0:00:00.00,0:00:03.00,Default,,0,0,0,," + Repeat("{\\blur5\\t(\\fscx200)}x", 40) + "\n";
         while (text.size() < 6600000)
             text += line;
         return text;
     },
     "events were cut to the converter's bounds"},
    {"bomb-fields.ass",
     [] {
         // Override blocks, each followed by text, on one line of a script
         // whose events name fewer fields than the full layout.
         return "[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Start, End, Text\n"
                "Dialogue: 0:00:00.00,0:00:03.00," +
                Repeat("{\\b1}x", 200000) + "\n";
     },
     "1 event was cut to the converter's bounds"},
    {"bomb-lines.ass",
     [] {
         return "[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Start, End, Text\n" +
                Repeat("Dialogue: 0:00:00.00,0:00:03.00,{\\b1}x\n", 200000);
     },
     "199968 events left out, more than 32 would have been shown at once"},
    {"slow.srt",
     [] {
         std::string text;
         for (int i = 0; text.size() < (8u << 20) - 4096; ++i)
             text +=
                 std::to_string(i + 1) + "\n00:00:0" + std::to_string(i % 10) + ",000 --> 00:00:09,000\n<b>cue</b>\n\n";
         return text;
     },
     "not shown: the conversion was stopped while they were prepared", true},
};

// A run with any of them ends within this, where reading the files once took
// minutes or failed the film; every process stays within the memory bound
// (sanitizers' shadow memory allowed for).
constexpr int kHostileSubtitleSeconds = 20;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kHostileSubtitleMaxKb = 3 * 150 * 1024;
#else
constexpr long kHostileSubtitleMaxKb = 150 * 1024;
#endif

int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The JSON lines in `log` (standard output and error of a run together).
std::vector<QJsonObject> JsonLinesOf(const std::string& log) {
    std::vector<QJsonObject> lines;
    std::istringstream in(Slurp(log));
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.front() == '{')
            lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return lines;
}

std::string Field(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString().toStdString();
}

// The JSON lines of `input` so far.
std::vector<QJsonObject> LinesOf(const std::vector<QJsonObject>& lines, const std::string& input) {
    std::vector<QJsonObject> mine;
    for (const QJsonObject& o : lines)
        if (Field(o, "input") == input)
            mine.push_back(o);
    return mine;
}

bool HasResult(const std::string& log, const std::string& input) {
    for (const QJsonObject& o : LinesOf(JsonLinesOf(log), input))
        if (Field(o, "event") == "result")
            return true;
    return false;
}

// Waits up to `seconds` for `done`.
template <typename Done>
bool WaitUntil(Done done, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // "pid (command) state ppid ...": the command may hold spaces, it ends at the last ')'.
        const std::string line = Slurp(entry.path().string() + "/stat");
        std::string state;
        pid_t ppid = 0;
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 1));
        rest >> state >> ppid;
        if (ppid == parent)
            children.push_back(pid_t(std::stol(name)));
    }
    return children;
}

class Hostile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_clips = std::make_unique<zem::testclips::TempDir>();
        s_short = zem::testclips::MakeClip(s_clips->path(), "mp4", 2.0).string();
        s_long = zem::testclips::MakeClip(s_clips->path(), "mp4", 60.0, 640, 360, 25, zem::testclips::Pattern::Moving)
                     .string();
    }
    static void TearDownTestSuite() { s_clips.reset(); }

    void SetUp() override {
        ASSERT_FALSE(s_short.empty());
        ASSERT_FALSE(s_long.empty());
    }

    static std::string Place(const std::string& dir, const std::string& name, const std::string& from = s_short) {
        const std::string to = dir + "/" + name;
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    }

    static std::unique_ptr<zem::testclips::TempDir> s_clips;
    static std::string s_short, s_long;
    TempDir work;
};

std::unique_ptr<zem::testclips::TempDir> Hostile::s_clips;
std::string Hostile::s_short, Hostile::s_long;

} // namespace

TEST_F(Hostile, FoldersThatOnlyLookLikeScratchFoldersAreNeverRemovedNorCountAsClaims) {
    const std::string input = Place(work.path(), "clip.mp4");
    const std::string& dir = work.path();
    MakeFolder(dir, ".ZemConverter-photos", 0755, {{"IMG_0001.jpg", "jpeg"}});
    MakeFolder(dir, ".ZemConverter-pics12", 0700, {{"IMG_0002.jpg", "jpeg"}});
    MakeFolder(dir, ".ZemConverter-notes", 0700, {{"output", "clip_ZM.avi"}});
    MakeFolder(dir, ".ZemConverter-Ab12Cd", 0755, {{"output", "clip_ZM.avi"}});
    MakeFolder(dir, ".ZemConverter-Ab12Ce", 0700, {{"output", "clip_ZM.avi"}, {"scratch.tmp/", ""}});
    MakeFolder(dir, ".ZemConverter-Ab12Cf", 0700, {{"output", "clip_ZM.avi"}, {"diary.txt", "dear"}});
    // Provably a killed run's folder: the one thing the next run removes.
    MakeFolder(dir, ".ZemConverter-Zz99Zz", 0700, {{"output", "old_ZM.avi"}, {"scratch.tmp", "frames"}});
    // A lookalike that claims this very output and is locked, as a live run's would be.
    HeldLock held(dir + "/.ZemConverter-notes");
    ASSERT_TRUE(held.locked());

    const Outcome o = RunZemconvert({input}, dir);
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectWholeOutput(work.file("clip_ZM.avi"));
    EXPECT_EQ(ScratchFolders(dir),
              (std::vector<std::string>{".ZemConverter-Ab12Cd", ".ZemConverter-Ab12Ce", ".ZemConverter-Ab12Cf",
                                        ".ZemConverter-notes", ".ZemConverter-photos", ".ZemConverter-pics12"}));
    EXPECT_EQ(Entries(dir + "/.ZemConverter-photos"), std::vector<std::string>{"IMG_0001.jpg"});
    EXPECT_EQ(Entries(dir + "/.ZemConverter-pics12"), std::vector<std::string>{"IMG_0002.jpg"});
    EXPECT_EQ(Entries(dir + "/.ZemConverter-notes"), std::vector<std::string>{"output"});
    EXPECT_EQ(Entries(dir + "/.ZemConverter-Ab12Cd"), std::vector<std::string>{"output"});
    EXPECT_EQ(Entries(dir + "/.ZemConverter-Ab12Ce"), (std::vector<std::string>{"output", "scratch.tmp"}));
    EXPECT_EQ(Entries(dir + "/.ZemConverter-Ab12Cf"), (std::vector<std::string>{"diary.txt", "output"}));
}

TEST_F(Hostile, AnotherUsersLockedClaimInAStickyFolderNeverRefusesARun) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give folders to another user and run as one";
    const TempDir shared;
    ASSERT_EQ(::chmod(shared.path().c_str(), 01777), 0);
    const std::string input = Place(shared.path(), "a.mp4");
    ::chmod(input.c_str(), 0644);

    // Root's run: the other user is "nobody", whose folder claims a_ZM.avi.
    MakeFolder(shared.path(), ".ZemConverter-N0b0dy", 0700, {{"output", "a_ZM.avi"}});
    const std::string theirs = shared.file(".ZemConverter-N0b0dy");
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown((theirs + "/output").c_str(), kNobody, kNobody), 0);
    HeldLock nobodysLock(theirs);
    ASSERT_TRUE(nobodysLock.locked());
    Outcome o = RunZemconvert({input}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectWholeOutput(shared.file("a_ZM.avi"));
    EXPECT_EQ(Entries(theirs), std::vector<std::string>{"output"}) << "another user's folder was touched";

    // Nobody's run: root's folder, readable to all, claims b_ZM.avi.
    const std::string other = Place(shared.path(), "b.mp4");
    ::chmod(other.c_str(), 0644);
    MakeFolder(shared.path(), ".ZemConverter-R00tXx", 0755, {{"output", "b_ZM.avi"}});
    HeldLock rootsLock(shared.file(".ZemConverter-R00tXx"));
    ASSERT_TRUE(rootsLock.locked());
    RunOptions nobody;
    nobody.uid = kNobody;
    o = RunZemconvert({other}, work.path(), nobody);
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectWholeOutput(shared.file("b_ZM.avi"));
    EXPECT_EQ(ScratchFolders(shared.path()),
              (std::vector<std::string>{".ZemConverter-N0b0dy", ".ZemConverter-R00tXx"}));
}

TEST_F(Hostile, AKeptMp3IsReplacedOnlyWhenTheAviIsPlaced) {
    const std::string input = Place(work.path(), "big.mp4");
    ASSERT_TRUE(WriteWholeFile(work.file("big_ZM.mp3"), kMine));
    fs::create_directory(work.file("big_ZM.avi"));
    Outcome o = RunZemconvert({"--keep-mp3", input}, work.path());
    EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("big_ZM.avi"), std::string::npos) << o.out;
    EXPECT_EQ(ReadWholeFile(work.file("big_ZM.mp3")), kMine) << "the earlier MP3 was lost";
    EXPECT_TRUE(ScratchFolders(work.path()).empty());

    // A folder that appears at the output's name only once the run is under way.
    const std::string log = work.file("run.txt");
    fs::remove(work.file("big_ZM.avi"));
    const pid_t pid = StartZemconvert({"--keep-mp3", "-o", work.file("big_ZM.avi"), s_long}, log);
    ASSERT_TRUE(WaitForFrames(work.path(), 50000));
    fs::create_directory(work.file("big_ZM.avi"));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitFor(pid), 1) << Slurp(log);
    EXPECT_EQ(ReadWholeFile(work.file("big_ZM.mp3")), kMine) << "the earlier MP3 was lost";
    EXPECT_TRUE(ScratchFolders(work.path()).empty());

    fs::remove(work.file("big_ZM.avi"));
    o = RunZemconvert({"--keep-mp3", input}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    ExpectWholeOutput(work.file("big_ZM.avi"));
    EXPECT_GT(FileSizeOf(work.file("big_ZM.mp3")), 1000) << "the new MP3 was not kept";
}

TEST_F(Hostile, AnOutputFolderMovedOrSwappedForALinkFailsNamingTheCauseAndLeavesNothing) {
    for (const bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "swapped for a link" : "renamed");
        const TempDir root;
        const std::string out = root.file("out");
        const std::string moved = root.file("moved");
        const std::string elsewhere = root.file("elsewhere");
        fs::create_directory(out);
        fs::create_directory(elsewhere);
        const std::string log = root.file("run.txt");
        const pid_t pid = StartZemconvert({"-o", out + "/film_ZM.avi", s_long}, log);
        ASSERT_TRUE(WaitForFrames(out, 50000));
        ASSERT_EQ(::rename(out.c_str(), moved.c_str()), 0);
        if (swapped) {
            ASSERT_EQ(::symlink(elsewhere.c_str(), out.c_str()), 0);
        }
        ::kill(pid, SIGTERM); // stop: what was converted would be written now
        EXPECT_EQ(WaitFor(pid), 1) << Slurp(log);
        const std::string text = Slurp(log);
        EXPECT_NE(text.find("The output folder " + out + " was"), std::string::npos) << text;
        EXPECT_NE(text.find(swapped ? "replaced" : "moved"), std::string::npos) << text;
        EXPECT_TRUE(Entries(moved).empty()) << "left in the moved folder: " << Entries(moved).front();
        EXPECT_TRUE(Entries(elsewhere).empty()) << "written elsewhere: " << Entries(elsewhere).front();
    }
}

TEST_F(Hostile, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
    const std::string fifo = work.file("x.mpg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string list = work.file("x.asx");
    ASSERT_EQ(::mkfifo(list.c_str(), 0644), 0);
    const std::string device = work.file("zero.mpg");
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
    RunOptions bounded;
    bounded.timeoutSeconds = 60; // a converter waiting for a writer is killed, and fails
    for (const std::string& input : {fifo, list, device}) {
        SCOPED_TRACE(input);
        const Outcome o = RunZemconvert({"-o", work.file("out.avi"), input}, work.path(), bounded);
        EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
        EXPECT_NE(o.out.find(input + " is not a regular file"), std::string::npos) << o.out;
    }
    // A missing input named to take over the terminal: its name is shown
    // escaped, and no trace of the media layer reaches standard error.
    const Outcome named = RunZemconvert({"-o", work.file("out.avi"), "x\x1b]0;pwned\a\x1b[2J.mp4"}, work.path());
    EXPECT_EQ(named.exitCode, 1) << named.out << named.err;
    EXPECT_EQ((named.out + named.err).find('\x1b'), std::string::npos) << named.out << named.err;
    EXPECT_NE(named.out.find("Cannot open x\\x1b]0;pwned\\x07\\x1b[2J.mp4"), std::string::npos) << named.out;
    for (const char* trace : {"Failed(", "File failed to render!"}) {
        EXPECT_EQ(named.err.find(trace), std::string::npos) << named.err;
    }
    // A subtitle file that is a FIFO: the film converts without it, and says why.
    const std::string input = Place(work.path(), "film.mp4");
    const std::string subtitles = work.file("film.srt");
    ASSERT_EQ(::mkfifo(subtitles.c_str(), 0644), 0);
    const Outcome o = RunZemconvert({"--subtitles", subtitles, input}, work.path(), bounded);
    EXPECT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("Warning: Subtitles of " + subtitles + " not shown"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("not a regular file"), std::string::npos) << o.out;
    ExpectWholeOutput(work.file("film_ZM.avi"));
    EXPECT_TRUE(ScratchFolders(work.path()).empty());
}

TEST_F(Hostile, AClosedPipeEndsTheProgressLinesNotTheRun) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string input = Place(work.path(), "piped.mp4");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]); // nobody reads: the first write meets a closed pipe
        ::dup2(ends[1], 1);
        ::dup2(ends[1], 2);
        ::execl(ZEMCONVERT_PATH, ZEMCONVERT_PATH, input.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(WaitFor(pid), 0) << "ended by a signal (128 + n) or failed";
    ExpectWholeOutput(work.file("piped_ZM.avi"));
    EXPECT_TRUE(ScratchFolders(work.path()).empty());
}

TEST_F(Hostile, BatchChildrenEndWithTheirParentAndLeaveNothing) {
    const std::string first = Place(work.path(), "one.mp4", s_long);
    const std::string second = Place(work.path(), "two.mp4", s_long);
    const TempDir out;
    const pid_t batch = StartZemconvert({"-j", "2", "-d", out.path(), first, second});
    ASSERT_TRUE(WaitForFrames(out.path(), 50000));
    ::kill(batch, SIGKILL);
    WaitFor(batch);
    // The children give up once they see their parent gone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Entries(out.path()).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Entries(out.path()).empty()) << "left behind: " << Entries(out.path()).front();
    // Still empty a while later: nothing went on converting orphaned.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(Entries(out.path()).empty());
}

TEST_F(Hostile, KillsAtRandomMomentsLeaveTheOldOutputOrAWholeNewOneNeverACutOne) {
    const std::string output = work.file("good_ZM.avi");
    Outcome o = RunZemconvert({"-o", output, s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    const std::vector<uint8_t> old = ReadWholeFile(output);
    // The kills fall anywhere in a whole run, its last steps included.
    ASSERT_EQ(RunZemconvert({"-q", "low", "-o", work.file("timed_ZM.avi"), s_short}, work.path()).exitCode, 0);
    const auto start = std::chrono::steady_clock::now(); // a second run: the first one fills the caches
    o = RunZemconvert({"-q", "low", "-o", work.file("timed_ZM.avi"), s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    const auto runMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::mt19937 random(18);
    std::uniform_int_distribution<int> delayMs(int(runMs / 2), int(runMs * 3 / 2));
    int replaced = 0;
    for (int i = 0; i < kRandomKills; ++i) {
        const int delay = delayMs(random);
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms");
        const pid_t pid = StartZemconvert({"-q", "low", "-o", output, s_short});
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        ::kill(pid, SIGKILL);
        WaitFor(pid);
        const std::vector<uint8_t> now = ReadWholeFile(output);
        if (now != old) {
            ExpectWholeOutput(output);
            ++replaced;
        }
        ASSERT_TRUE(fs::exists(output)) << "the output is gone";
    }
    o = RunZemconvert({"-o", output, s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_TRUE(ScratchFolders(work.path()).empty()) << ScratchFolders(work.path()).front();
    std::printf("[ info ] %d of %d killed runs had already replaced the output\n", replaced, kRandomKills);
}

TEST_F(Hostile, AnInputCutWhileItConvertsIsWrittenWithAWarningWhereItEnded) {
    const fs::path clip =
        zem::testclips::MakeClip(work.path(), "mpg", 60.0, 640, 360, 25, zem::testclips::Pattern::Moving);
    ASSERT_FALSE(clip.empty());
    const TempDir out;
    const std::string log = out.file("run.txt");
    const pid_t pid = StartZemconvert({"-o", out.file("cut_ZM.avi"), clip.string()}, log);
    ASSERT_TRUE(WaitForFrames(out.path(), 20000));
    fs::resize_file(clip, fs::file_size(clip) / 10);
    EXPECT_EQ(WaitFor(pid), 0) << Slurp(log);
    const std::string text = Slurp(log);
    const std::regex warning("\nWarning: " + clip.string() + ": the input ended at 0:[0-5][0-9](\\.[0-9])? of 1:00\n");
    EXPECT_TRUE(std::regex_search(text, warning)) << text;
    EXPECT_NE(text.find("Status: Completed"), std::string::npos) << text;
    ExpectWholeOutput(out.file("cut_ZM.avi"));

    // A film that plays to its end says nothing of the kind.
    const Outcome o = RunZemconvert({"-o", out.file("whole_ZM.avi"), s_short}, work.path());
    ASSERT_EQ(o.exitCode, 0) << o.out << o.err;
    EXPECT_EQ(o.out.find("ended at"), std::string::npos) << o.out;
}

TEST_F(Hostile, WantOfMemorySaysSoNotThatADecoderIsMissing) {
    if (kSanitizerShadow)
        GTEST_SKIP() << "the sanitizers reserve terabytes of address space at start: under a limit on it the "
                        "converter cannot start, so want of memory cannot be made";
    const std::string input = Place(work.path(), "tight.mp4");
    // Too little to load the decoders' libraries; room for the libraries but
    // not for the threads that decode (the discoverer crashed then).
    for (const long long limit : {250LL * 1024 * 1024, 400000LL * 1024}) {
        SCOPED_TRACE(limit);
        RunOptions tight;
        tight.memoryLimit = limit;
        tight.timeoutSeconds = 120;
        const Outcome o = RunZemconvert({input}, work.path(), tight);
        EXPECT_EQ(o.exitCode, 1) << o.out << o.err;
        // Whether the file's opening or the graph's start meets the limit first.
        const std::regex said("Status: ERROR\\([0-9]+\\) (Cannot|Could not) decode " + input + ": out of memory \\(");
        EXPECT_TRUE(std::regex_search(o.out, said)) << o.out;
        EXPECT_EQ(o.out.find("not installed"), std::string::npos) << o.out;
        EXPECT_EQ(o.out.find("no decoder took them"), std::string::npos) << o.out;
        EXPECT_FALSE(fs::exists(work.file("tight_ZM.avi")));
        EXPECT_TRUE(ScratchFolders(work.path()).empty());
    }
}

TEST_F(Hostile, ABatchGivesEachProcessItsJobWholeAndTellsHowEachEnded) {
    // Names that are no text, converted by processes of their own: byte for
    // byte, and in the JSON lines in a form every reader keeps.
    {
        const std::string odd = Place(work.path(), "caf\xe9 \xff.mp4");
        const std::string plain = Place(work.path(), "plain.mp4");
        const TempDir out;
        ASSERT_TRUE(WriteWholeFile(work.file("list0"), std::vector<uint8_t>(odd.begin(), odd.end())));
        std::ofstream(work.file("list0"), std::ios::app | std::ios::binary) << '\0' << plain << '\0';
        const std::string log = work.file("odd.log");
        const pid_t batch =
            StartZemconvert({"-0", "--files-from", work.file("list0"), "--json", "-j", "2", "-d", out.path()}, log);
        EXPECT_EQ(WaitFor(batch), 0) << Slurp(log);
        EXPECT_EQ(out.entries(), (std::vector<std::string>{"caf\xe9 \xff_ZM.avi", "plain_ZM.avi"}));
        bool sawBytes = false;
        for (const QJsonObject& o : JsonLinesOf(log)) {
            if (o.contains(QLatin1String("input_bytes"))) {
                sawBytes = true;
                EXPECT_EQ(
                    QByteArray::fromBase64(o.value(QLatin1String("input_bytes")).toString().toLatin1()).toStdString(),
                    odd);
                EXPECT_EQ(
                    QByteArray::fromBase64(o.value(QLatin1String("output_bytes")).toString().toLatin1()).toStdString(),
                    out.file("caf\xe9 \xff_ZM.avi"));
            }
            if (Field(o, "event") == "result") {
                EXPECT_EQ(Field(o, "status"), "completed");
            }
        }
        EXPECT_TRUE(sawBytes) << Slurp(log);
    }
    // 100,000 inputs under a folder of 200 characters: no argument list
    // holds them, each process still gets its job. The first two convert;
    // then a Ctrl+C ends the batch.
    {
        const std::string deep = work.file(std::string(200, 'd'));
        fs::create_directory(deep);
        const std::vector<std::string> real{Place(deep, "one.mp4"), Place(deep, "two.mp4")};
        std::ofstream list(work.file("many.txt"), std::ios::binary);
        list << real[0] << '\n' << real[1] << '\n';
        for (int i = 0; i < 99998; ++i)
            list << deep << "/gone" << i << ".mp4\n";
        list.close();
        const TempDir out;
        const std::string log = work.file("many.log");
        const pid_t batch =
            StartZemconvert({"--files-from", work.file("many.txt"), "--json", "-j", "2", "-d", out.path()}, log);
        EXPECT_TRUE(WaitUntil([&] { return HasResult(log, real[0]) && HasResult(log, real[1]); }, 150))
            << Slurp(log).substr(0, 2000);
        ::kill(batch, SIGINT);
        EXPECT_NE(WaitFor(batch), 0);
        const std::vector<QJsonObject> lines = JsonLinesOf(log);
        for (const std::string& input : real) {
            ASSERT_FALSE(LinesOf(lines, input).empty()) << input;
            EXPECT_EQ(Field(LinesOf(lines, input).back(), "status"), "completed") << Slurp(log).substr(0, 2000);
        }
        EXPECT_EQ(Slurp(log).find("Argument list too long"), std::string::npos);
    }
    // A process killed outright: its start line once, then a failure that
    // names the signal with a code that is not 0.
    {
        const std::string slow = Place(work.path(), "slow.mp4", s_long);
        const std::string quick = Place(work.path(), "quick.mp4");
        const TempDir out;
        const std::string log = work.file("killed.log");
        const pid_t batch = StartZemconvert({"--json", "-j", "2", "-d", out.path(), slow, quick}, log);
        // Once the quick one is done, the batch's one process converts the slow one.
        ASSERT_TRUE(WaitUntil([&] { return HasResult(log, quick) && !LinesOf(JsonLinesOf(log), slow).empty(); }, 120))
            << Slurp(log);
        std::vector<pid_t> children;
        ASSERT_TRUE(WaitUntil([&] { return (children = ChildrenOf(batch)).size() == 1; }, 30));
        ::kill(children.front(), SIGKILL);
        EXPECT_EQ(WaitFor(batch), 1) << Slurp(log);
        const std::vector<QJsonObject> mine = LinesOf(JsonLinesOf(log), slow);
        int starts = 0;
        for (const QJsonObject& o : mine)
            starts += Field(o, "event") == "start" ? 1 : 0;
        EXPECT_EQ(starts, 1) << Slurp(log);
        ASSERT_FALSE(mine.empty());
        const QJsonObject& result = mine.back();
        EXPECT_EQ(Field(result, "event"), "result");
        EXPECT_EQ(Field(result, "status"), "failed");
        EXPECT_NE(result.value(QLatin1String("code")).toInt(0), 0);
        EXPECT_NE(Field(result, "text").find("SIGKILL"), std::string::npos) << Field(result, "text");
    }
}

TEST_F(Hostile, SubtitleFilesMadeToBeSlowOrLargeAreBoundedAndTheFilmConverts) {
    for (const HostileSubtitle& hostile : kHostileSubtitles) {
        SCOPED_TRACE(hostile.name);
        const std::string subtitles = work.file(hostile.name);
        ASSERT_TRUE(WriteWholeFile(subtitles, [&] {
            const std::string text = hostile.make();
            return std::vector<uint8_t>(text.begin(), text.end());
        }()));
        const std::string output = work.file("film_ZM.avi");
        // A log of its own: the last row's lines must not be taken for this run's.
        const std::string log = work.file(std::string(hostile.name) + ".log");
        const pid_t pid = StartZemconvert({"--subtitles", subtitles, "-o", output, s_short}, log);
        if (hostile.stopWhilePrepared) {
            EXPECT_TRUE(
                WaitUntil([&] { return Slurp(log).find("Input:") != std::string::npos; }, kHostileSubtitleSeconds));
            ::kill(pid, SIGINT);
        }
        // Killed at the bound, so a run that hangs fails here instead of holding the suite.
        int status = 0;
        rusage usage{};
        pid_t ended = 0;
        WaitUntil([&] { return (ended = ::wait4(pid, &status, WNOHANG, &usage)) != 0; }, kHostileSubtitleSeconds);
        if (ended == 0) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            ADD_FAILURE() << "still running after " << kHostileSubtitleSeconds << " s: " << Slurp(log);
            continue;
        }
        const std::string text = Slurp(log);
        EXPECT_LE(usage.ru_maxrss, kHostileSubtitleMaxKb) << "peak memory in KB";
        if (*hostile.warning) {
            EXPECT_NE(text.find(std::string("Warning: Subtitles of ") + subtitles), std::string::npos) << text;
        }
        EXPECT_NE(text.find(hostile.warning), std::string::npos) << text;
        EXPECT_TRUE(ScratchFolders(work.path()).empty());
        if (hostile.stopWhilePrepared) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << text;
            EXPECT_NE(text.find("Status: Stopped"), std::string::npos) << text;
            EXPECT_FALSE(fs::exists(output));
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
        ExpectWholeOutput(output);
        fs::remove(output);
    }
}
