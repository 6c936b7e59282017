// MP4s that GStreamer's own demuxer drops or refuses but ffmpeg reads, and
// Dolby Vision films: each made here with ffmpeg (and a byte patch where
// ffmpeg cannot write the kind), converted with zemconvert and compared with
// what ffmpeg decodes of it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "FilePatch.h"
#include "TestDirs.h"

using namespace zem::test;

namespace {

constexpr double kOutputFps = 16.0;

// A moving test picture (every picture differs), `seconds` long, in `codec`;
// with a tone of `soundSeconds` (0: none) and, when `subtitleSeconds` is not
// 0, a text track whose last cue ends then.
struct Film {
    const char* codec = "libx264";
    double seconds = 1.0;
    double soundSeconds = 0;
    double subtitleSeconds = 0;
};

std::string MakeFilm(const TempDir& dir, const std::string& name, const Film& film) {
    const std::string path = dir.file(name);
    std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=25:d=" + std::to_string(film.seconds);
    std::string maps = " -map 0:v";
    if (film.soundSeconds > 0) {
        command += " -f lavfi -i sine=f=440:sample_rate=48000:d=" + std::to_string(film.soundSeconds);
        maps += " -map 1:a -c:a aac";
    }
    if (film.subtitleSeconds > 0) {
        const std::string cues = dir.file(name + ".srt");
        char text[160];
        std::snprintf(text, sizeof text,
                      "1\n00:00:00,000 --> 00:00:00,500\nOne\n\n2\n00:00:00,500 --> 00:00:%02d,%03d\nTwo\n",
                      int(film.subtitleSeconds), int(std::lround(film.subtitleSeconds * 1000)) % 1000);
        const std::string written(text);
        if (!WriteWholeFile(cues, std::vector<uint8_t>(written.begin(), written.end())))
            return {};
        command += " -i '" + cues + "'";
        maps += " -map " + std::string(film.soundSeconds > 0 ? "2" : "1") + ":s -c:s mov_text";
    }
    command += maps + " -c:v " + film.codec + " -pix_fmt yuv420p";
    if (std::string(film.codec) == "libx265")
        command += " -tag:v hvc1 -x265-params log-level=error";
    command += " '" + path + "'";
    return RunCommand(command) ? path : std::string();
}

// What ffmpeg decodes of a file: how long its pictures and its sound last,
// and its pictures taken at the output's rate, from `start` seconds on.
struct Decoded {
    double pictureSeconds = 0;
    double soundSeconds = 0;
    size_t picturesAtOutputRate = 0;
};

// The end (seconds) of the last frame ffmpeg's framecrc lists for `map`.
double DecodedEnd(const std::string& input, const std::string& map, const std::string& scratch) {
    const std::string crc = scratch + "/decoded.crc";
    if (!RunCommand("ffmpeg -v error -y -i '" + input + "' -map " + map + " -f framecrc '" + crc + "'"))
        return 0;
    std::istringstream lines(std::string(Slurp(crc)));
    double base = 0, end = 0;
    for (std::string line; std::getline(lines, line);) {
        int num = 0, den = 0;
        long long dts = 0, pts = 0, duration = 0;
        if (std::sscanf(line.c_str(), "#tb 0: %d/%d", &num, &den) == 2 && den > 0)
            base = double(num) / den;
        else if (std::sscanf(line.c_str(), "0, %lld, %lld, %lld", &dts, &pts, &duration) == 3)
            end = std::max(end, double(pts + duration) * base);
    }
    return end;
}

Decoded DecodeWithFfmpeg(const std::string& input, double start, const std::string& scratch) {
    Decoded decoded;
    decoded.pictureSeconds = DecodedEnd(input, "0:v", scratch);
    decoded.soundSeconds = DecodedEnd(input, "0:a?", scratch);
    const std::string md5 = scratch + "/pictures.md5";
    if (RunCommand("ffmpeg -v error -y -ss " + std::to_string(start) + " -i '" + input +
                   "' -map 0:v -vf fps=16 -f framemd5 '" + md5 + "'")) {
        std::istringstream lines(Slurp(md5));
        for (std::string line; std::getline(lines, line);)
            decoded.picturesAtOutputRate += !line.empty() && line[0] != '#';
    }
    return decoded;
}

size_t CountLines(const std::string& text, const std::string& start) {
    size_t count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        count += line.rfind(start, 0) == 0;
    return count;
}

struct Row {
    const char* name;
    Film film;
    // Turns the clip ffmpeg made into the file converted.
    bool (*patch)(const std::string& from, const std::string& to);
    double start;         // --start, seconds
    size_t warnings;      // "Warning:" lines zemconvert prints
    const char* warnWord; // a word the warning holds
};

bool Unchanged(const std::string& from, const std::string& to) {
    return RunCommand("cp '" + from + "' '" + to + "'");
}
bool DolbyVision8(const std::string& from, const std::string& to) {
    // As phones write it: an ordinary HEVC sample entry, an HLG-compatible base.
    return AddDolbyVisionBox(from, to, "dvvC", 8, 4, "");
}
bool DolbyVision5(const std::string& from, const std::string& to) {
    return AddDolbyVisionBox(from, to, "dvcC", 5, 0, "dvh1");
}

const Row kRows[] = {
    // GStreamer takes a picture track under a fifth of the film for a preview image.
    {"short pictures, long sound", {"libx264", 1.0, 10.0, 0}, Unchanged, 0, 0, ""},
    {"short pictures from a start", {"libx264", 1.0, 10.0, 0}, Unchanged, 0.5, 0, ""},
    // Its container says the film lasts as long as the text track, as for
    // any MP4 of that shape: the pictures end early, and that is said.
    {"pictures and a longer text track", {"libx264", 1.0, 0, 9.0}, Unchanged, 0, 1, "ended"},
    // GStreamer refuses the file as corrupt; the sound is left out, and said so.
    {"sound without its sample description", {"libx264", 2.0, 2.0, 0}, HideSoundDescription, 0, 1, "sound"},
    {"Dolby Vision 8.4", {"libx265", 2.0, 2.0, 0}, DolbyVision8, 0, 0, ""},
    {"Dolby Vision 5", {"libx265", 2.0, 2.0, 0}, DolbyVision5, 0, 1, "Dolby Vision"},
};

} // namespace

TEST(Mp4Shapes, ConvertWithEveryPictureFfmpegDecodes) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string made = MakeFilm(dir, "made.mp4", row.film);
        ASSERT_FALSE(made.empty());
        const std::string input = dir.file("input.mp4");
        ASSERT_TRUE(row.patch(made, input));
        const Decoded decoded = DecodeWithFfmpeg(input, row.start, dir.path());
        ASSERT_GT(decoded.picturesAtOutputRate, 0u);

        const std::string output = dir.file("output.avi");
        std::vector<std::string> args{"-s", "160x128", "-o", output, input};
        if (row.start > 0)
            args.insert(args.begin(), {"--start", std::to_string(row.start)});
        const Outcome outcome = RunZemconvert(args, dir.path());
        EXPECT_EQ(outcome.exitCode, 0) << outcome.out << outcome.err;
        const AviFile avi = ParseAvi(output);
        EXPECT_TRUE(avi.problems.empty()) << (avi.problems.empty() ? "" : avi.problems[0]);
        EXPECT_TRUE(DecodeComplaints(output).empty()) << DecodeComplaints(output);

        // The film lasts as long as its pictures or its sound, whichever is
        // longer; the last picture stays on screen until the sound ends.
        const double seconds = std::max(decoded.pictureSeconds, decoded.soundSeconds) - row.start;
        EXPECT_NEAR(double(avi.videoCount()), seconds * kOutputFps, 1.5);
        // Every picture: as many different ones as ffmpeg gives at that rate.
        std::set<std::vector<uint8_t>> different;
        for (const AviChunk& chunk : avi.chunks)
            if (chunk.code == "00dc")
                different.insert(chunk.payload);
        EXPECT_NEAR(double(different.size()), double(decoded.picturesAtOutputRate), 1.5);

        EXPECT_EQ(CountLines(outcome.out, "Warning:"), row.warnings) << outcome.out;
        if (row.warnings > 0) {
            EXPECT_NE(outcome.out.find(row.warnWord), std::string::npos) << outcome.out;
        }
    }
}
