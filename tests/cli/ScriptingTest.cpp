// zemconvert driven by scripts: inputs from a list (a file, standard input,
// NUL-separated) and the report as JSON lines, one run and a -j batch.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QJsonDocument>
#include <QJsonObject>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "JobReport.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr double kClipSeconds = 1.5;
constexpr double kFrameRate = 16.0;
constexpr int kListWaitSeconds = 60; // a run that waits on a FIFO for ever is ended

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Every line of `out` as a JSON object; a line that is none fails the test.
std::vector<QJsonObject> JsonLines(const std::string& out) {
    std::vector<QJsonObject> objects;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_TRUE(doc.isObject()) << "not a JSON object: " << line << " (" << error.errorString().toStdString()
                                    << ")";
        objects.push_back(doc.object());
    }
    return objects;
}

std::string Str(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString().toStdString();
}

class Scripting : public ::testing::Test {
protected:
    TempDir dir;

    std::string Clip(const std::string& name) {
        const fs::path clip = zem::testclips::MakeClip(dir.path(), "mp4", kClipSeconds);
        EXPECT_FALSE(clip.empty());
        const std::string path = dir.file(name);
        fs::rename(clip, path);
        return path;
    }

    // What the JSON lines said of each input, in order.
    std::map<std::string, std::vector<QJsonObject>> ByInput(const std::vector<QJsonObject>& lines) {
        std::map<std::string, std::vector<QJsonObject>> byInput;
        for (const QJsonObject& o : lines)
            byInput[Str(o, "input")].push_back(o);
        return byInput;
    }

    // A file's events: a start, progress steps rising to 100, the warnings,
    // then one result whose figures are those of the file written.
    void CheckEvents(const std::vector<QJsonObject>& events, const std::string& output, size_t warnings) {
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(Str(events.front(), "event"), "start");
        EXPECT_EQ(Str(events.front(), "output"), output);
        int lastPercent = -1;
        size_t warned = 0;
        for (size_t i = 1; i + 1 < events.size(); ++i) {
            const std::string event = Str(events[i], "event");
            if (event == "progress") {
                const int percent = events[i].value(QLatin1String("percent")).toInt(-1);
                EXPECT_GT(percent, lastPercent);
                lastPercent = percent;
            } else {
                EXPECT_EQ(event, "warning");
                EXPECT_FALSE(Str(events[i], "text").empty());
                ++warned;
            }
        }
        EXPECT_EQ(lastPercent, 100);
        EXPECT_EQ(warned, warnings);
        const QJsonObject& result = events.back();
        EXPECT_EQ(Str(result, "event"), "result");
        EXPECT_EQ(Str(result, "status"), "completed");
        EXPECT_EQ(Str(result, "output"), output);
        const AviFile avi = ParseAvi(output);
        EXPECT_TRUE(avi.problems.empty());
        EXPECT_EQ(result.value(QLatin1String("frames")).toInteger(), qint64(avi.videoCount()));
        EXPECT_EQ(result.value(QLatin1String("size")).toInteger(), qint64(fs::file_size(output)));
        EXPECT_NEAR(result.value(QLatin1String("duration")).toDouble(), avi.videoCount() / kFrameRate, 0.001);
        EXPECT_GE(avi.videoCount(), size_t(kClipSeconds * kFrameRate) - 1);
        EXPECT_EQ(result.value(QLatin1String("code")).toInt(-1), 0);
    }
};

} // namespace

TEST_F(Scripting, ListsInAFileOrOnStandardInputNameTheInputs) {
    const std::string spaced = Clip("with space.mp4");
    const std::string newline = Clip("new\nline.mp4");
    TempDir out1, out2;

    const std::string last = Clip("last.mp4");

    // One a line, a Windows line end and empty lines among them, the last
    // line without its line end.
    WriteFile(dir.file("list.txt"), "\n" + spaced + "\r\n\n" + last);
    Outcome run = RunZemconvert({"--files-from", dir.file("list.txt"), "-d", out1.path()}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(out1.entries(), (std::vector<std::string>{"last_ZM.avi", "with space_ZM.avi"}));

    // NUL-separated on standard input, the last without its NUL, with an
    // input on the command line too.
    WriteFile(dir.file("list0"), newline + std::string(1, '\0') + spaced);
    RunOptions fromStdin;
    fromStdin.stdinFile = dir.file("list0");
    run = RunZemconvert({"-0", "--files-from", "-", "-d", out2.path(), spaced}, dir.path(), fromStdin);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(out2.entries(),
              (std::vector<std::string>{"new\nline_ZM.avi", "with space(2)_ZM.avi", "with space_ZM.avi"}));

    // A FIFO whose writer already waits in its open: its list is read whole.
    const std::string fifo = dir.file("list.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        const std::string text = last + "\n";
        const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        ::_exit(written ? 0 : 1);
    }
    TempDir out3;
    RunOptions bounded;
    bounded.timeoutSeconds = kListWaitSeconds;
    run = RunZemconvert({"--files-from", fifo, "-d", out3.path()}, dir.path(), bounded);
    int status = 0;
    ::kill(writer, SIGKILL);
    ::waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the writer was left waiting";
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(out3.entries(), std::vector<std::string>{"last_ZM.avi"});
}

TEST_F(Scripting, AListThatCannotBeUsedIsRefusedBeforeAnyWork) {
    const std::string clip = Clip("clip.mp4");
    TempDir out;
    Outcome run = RunZemconvert({"--files-from", dir.file("missing.txt"), "-d", out.path()}, dir.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("cannot read the list " + dir.file("missing.txt") + ": No such file"), std::string::npos)
        << run.err;

    // A NUL in a list of lines: the list came from find -print0 and -0 is missing.
    WriteFile(dir.file("list0"), clip + std::string(1, '\0'));
    run = RunZemconvert({"--files-from", dir.file("list0"), "-d", out.path()}, dir.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("give -0"), std::string::npos) << run.err;

    WriteFile(dir.file("other.txt"), clip + "\n" + dir.file("notes.txt") + "\n");
    run = RunZemconvert({"--files-from", dir.file("other.txt"), "-d", out.path()}, dir.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("notes.txt: not a video file"), std::string::npos) << run.err;

    WriteFile(dir.file("two.txt"), clip + "\n" + clip + "\n");
    run = RunZemconvert({"--files-from", dir.file("two.txt"), "-o", out.path() + "/x.avi"}, dir.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--output takes one input only"), std::string::npos) << run.err;
    EXPECT_TRUE(out.entries().empty());

    // Read only from a file or a pipe, and within a bound: a device, a
    // folder or a huge file is refused at once, without filling the memory.
    WriteFile(dir.file("huge.txt"), "");
    fs::resize_file(dir.file("huge.txt"), 65ull << 20);
    const std::pair<std::string, std::string> unusable[] = {
        {"/dev/zero", "it is not a regular file"},
        {dir.path(), "it is a folder"},
        {dir.file("huge.txt"), "it is larger than 64 MB"},
    };
    for (const auto& [list, why] : unusable) {
        RunOptions bounded;
        bounded.memoryLimit = 1ll << 30;
        bounded.timeoutSeconds = 60;
        run = RunZemconvert({"--files-from", list, "-d", out.path()}, dir.path(), bounded);
        EXPECT_EQ(run.exitCode, 2) << list << ": " << run.err;
        EXPECT_NE(run.err.find("cannot read the list " + list + ": " + why), std::string::npos) << run.err;
    }
    RunOptions endless;
    endless.stdinFile = "/dev/zero";
    endless.memoryLimit = 1ll << 30;
    endless.timeoutSeconds = 60;
    run = RunZemconvert({"--files-from", "-", "-d", out.path()}, dir.path(), endless);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.err.find("cannot read the list standard input: it is larger than 64 MB"), std::string::npos)
        << run.err;
    EXPECT_TRUE(out.entries().empty());

    // A search that found nothing is no work and no fault.
    WriteFile(dir.file("empty.txt"), "");
    run = RunZemconvert({"--files-from", dir.file("empty.txt"), "-d", out.path()}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
}

TEST_F(Scripting, JsonLinesReportEachStartProgressWarningAndResult) {
    const std::string good = Clip("good.mp4");
    const std::string subtitled = Clip("subtitled.mp4");
    WriteFile(dir.file("subtitled.srt"), "1\nnot a time line\nno cue here\n");
    const std::string broken = dir.file("broken.mp4");
    WriteFile(broken, "this is no film");
    TempDir out;

    const Outcome run = RunZemconvert({"--json", "-d", out.path(), good, broken, subtitled}, dir.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const auto byInput = ByInput(JsonLines(run.out));
    ASSERT_EQ(byInput.size(), 3u) << run.out;
    CheckEvents(byInput.at(good), out.path() + "/good_ZM.avi", 0);
    CheckEvents(byInput.at(subtitled), out.path() + "/subtitled_ZM.avi", 1);

    const std::vector<QJsonObject>& failed = byInput.at(broken);
    ASSERT_EQ(failed.size(), 2u) << run.out;
    EXPECT_EQ(Str(failed[1], "status"), "failed");
    EXPECT_GT(failed[1].value(QLatin1String("code")).toInt(), 0);
    EXPECT_FALSE(Str(failed[1], "text").empty());
    EXPECT_EQ(failed[1].value(QLatin1String("frames")).toInt(-1), 0);
    EXPECT_FALSE(fs::exists(out.path() + "/broken_ZM.avi"));
    // The progress of --json replaces the lines on standard error.
    EXPECT_EQ(run.err.find("Converting "), std::string::npos) << run.err;
}

TEST_F(Scripting, ABatchPassesOnTheJsonLinesOfItsProcesses) {
    std::vector<std::string> args{"--json", "-j", "2", "-d", "", dir.file("gone.mp4")};
    TempDir out;
    args[4] = out.path();
    for (int i = 0; i < 3; ++i)
        args.push_back(Clip("film" + std::to_string(i) + ".mp4"));
    const Outcome run = RunZemconvert(args, dir.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const auto byInput = ByInput(JsonLines(run.out));
    ASSERT_EQ(byInput.size(), 4u) << run.out;
    for (int i = 0; i < 3; ++i)
        CheckEvents(byInput.at(dir.file("film" + std::to_string(i) + ".mp4")),
                    out.path() + "/film" + std::to_string(i) + "_ZM.avi", 0);
    const QJsonObject gone = byInput.at(dir.file("gone.mp4")).back();
    EXPECT_EQ(Str(gone, "status"), "failed");
    EXPECT_NE(Str(gone, "text").find("gone.mp4"), std::string::npos) << Str(gone, "text");
}

TEST(JsonText, NamesThatAreNoTextKeepTheirBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain.mp4", "\"plain.mp4\""},
        {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
        {"tab\tline\n", "\"tab\\u0009line\\u000a\""},
        {"\xed\x95\x9c\xea\xb8\x80.mkv", "\"\xed\x95\x9c\xea\xb8\x80.mkv\""},  // UTF-8 Korean kept
        {"caf\xe9 \xff.mkv", "\"caf\\udce9 \\udcff.mkv\""},                    // Latin-1 bytes escaped
        {"\xed\xa0\x80 \xc0\xaf", "\"\\udced\\udca0\\udc80 \\udcc0\\udcaf\""}, // a surrogate, an overlong form
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(zem::cli::JsonString(text), json);
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString("[" + json + "]"));
        EXPECT_TRUE(doc.isArray()) << json;
    }
    EXPECT_EQ(zem::cli::JsonProgressPercent("{\"event\":\"progress\",\"input\":\"a\",\"percent\":30}"), 30);
    EXPECT_EQ(zem::cli::JsonProgressPercent("{\"event\":\"start\",\"input\":\"percent\"}"), -1);
}
