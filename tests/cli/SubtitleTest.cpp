// Subtitles drawn into the converted pictures. The clip is one still grey
// picture, so every frame without text is the same picture: a frame differs
// from the same frame converted with --no-subtitles only where text is drawn.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFramesPerSecond = 16;

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A still grey film with a tone, `seconds` long.
std::string MakeStill(const std::string& dir, const std::string& name, double seconds,
                      const std::string& size = "320x240") {
    const std::string path = dir + "/" + name;
    const std::string command = "ffmpeg -v error -y -f lavfi -i color=c=gray:s=" + size +
                                ":r=25:d=" + std::to_string(seconds) +
                                " -f lavfi -i sine=d=" + std::to_string(seconds) +
                                " -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest '" + path + "'";
    return std::system(command.c_str()) == 0 ? path : std::string();
}

// The JPEG bytes of each frame, in order.
std::vector<std::vector<uint8_t>> Frames(const std::string& avi) {
    std::vector<std::vector<uint8_t>> frames;
    const AviFile file = ParseAvi(avi);
    EXPECT_TRUE(file.problems.empty()) << avi << ": " << (file.problems.empty() ? "" : file.problems[0]);
    for (const AviChunk& chunk : file.chunks)
        if (chunk.code == "00dc")
            frames.push_back(chunk.payload);
    return frames;
}

// The rows where two decoded pictures differ: first and last, or -1, -1.
std::pair<int, int> DifferingRows(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int first = -1, last = -1;
    for (int y = 0; y < kHeight; ++y) {
        const auto row = size_t(y) * kWidth * 3;
        if (!std::equal(a.begin() + long(row), a.begin() + long(row + kWidth * 3), b.begin() + long(row))) {
            if (first < 0)
                first = y;
            last = y;
        }
    }
    return {first, last};
}

class Subtitles : public ::testing::Test {
protected:
    TempDir dir;

    std::string Convert(const std::vector<std::string>& options, const std::string& input, const std::string& name) {
        std::vector<std::string> args = options;
        const std::string output = dir.file(name);
        args.insert(args.end(), {"-o", output, input});
        last = RunZemconvert(args, dir.path());
        EXPECT_EQ(last.exitCode, 0) << last.out << last.err;
        return output;
    }

    // The frame at `seconds` with and without subtitles: equal, or differing
    // only below the picture's middle.
    void ExpectTextAt(const std::string& with, const std::string& without, double seconds, bool text) {
        const int index = int(seconds * kFramesPerSecond);
        const auto a = Frames(with), b = Frames(without);
        ASSERT_GT(a.size(), size_t(index));
        ASSERT_EQ(a.size(), b.size());
        if (!text) {
            EXPECT_EQ(a[size_t(index)], b[size_t(index)]) << "text at " << seconds << " s in " << with;
            return;
        }
        EXPECT_NE(a[size_t(index)], b[size_t(index)]) << "no text at " << seconds << " s in " << with;
        const auto [first, last] =
            DifferingRows(DecodePicture(with, index, kWidth, kHeight), DecodePicture(without, index, kWidth, kHeight));
        EXPECT_GE(first, kHeight / 2) << "text drawn above the lower half in " << with;
        EXPECT_LT(last, kHeight) << with;
    }

    Outcome last;
};

const char* kSrt = "1\n00:00:02,000 --> 00:00:04,000\nHello there\n\n2\n00:00:05,000 --> 00:00:06,000\nSecond line\n";

} // namespace

TEST_F(Subtitles, EachKindOfFileBesideTheFilmIsDrawnAtItsTimeOnly) {
    const std::string still = MakeStill(dir.path(), "base.mp4", 7);
    ASSERT_FALSE(still.empty());
    const std::string plain = Convert({"--no-subtitles"}, still, "plain.avi");

    struct Case {
        std::string name;
        std::string text;  // the subtitle file's bytes
        std::string iconv; // an encoding to store it in, or empty for UTF-8
    };
    const std::string sami =
        "<SAMI><HEAD><STYLE TYPE=\"text/css\"><!--\n.KRCC {Name:Korean;}\n.ENCC {Name:English;}\n"
        "--></STYLE></HEAD><BODY>\n<SYNC Start=2000><P Class=KRCC>한국어 자막입니다\n"
        "<SYNC Start=2000><P Class=ENCC>English words\n<SYNC Start=4000><P Class=KRCC>&nbsp;\n"
        "<SYNC Start=4000><P Class=ENCC>&nbsp;\n</BODY></SAMI>\n";
    const std::string ass =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 240\n\n[V4+ Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
        "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
        "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
        "Style: Default,Sans,24,&H0000FFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,"
        "1,2,0,2,10,10,10,1\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
        "MarginR, MarginV, Effect, Text\n"
        "Dialogue: 0,0:00:02.00,0:00:04.00,Default,,0,0,0,,Styled, yellow\n";
    const std::vector<Case> cases{
        {"film.srt", kSrt, ""},
        {"film.smi", sami, "CP949"},
        {"film.smi", sami, ""},
        {"film.ass", ass, ""},
        // As loosely as people's files are written: a time before zero, times
        // without hours or milliseconds, blank lines doubled, no numbers.
        {"film.srt", "\n\n-00:00:01,000 --> 00:00:00,500\nEarly\n\n\n\n00:02 --> 00:04\nHello there\n", ""},
        // An ASS file whose Format line lists six fields.
        {"film.ass",
         "[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Layer, Start, End, Style, Name, Text\n"
         "Dialogue: 0,0:00:02.00,0:00:04.00,Default,,Short layout\n",
         ""},
        {"film.vtt", "WEBVTT\n\n00:02.000 --> 00:04.000 align:middle\n<v Ann>Hello</v> from WebVTT\n", "UTF-16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + (c.iconv.empty() ? "UTF-8" : c.iconv));
        const TempDir films;
        fs::copy_file(still, films.file("film.mp4"));
        WriteText(films.file(c.name + ".utf8"), c.text);
        const std::string store = c.iconv.empty()
                                      ? "cp '" + films.file(c.name + ".utf8") + "' '" + films.file(c.name) + "'"
                                      : "iconv -f UTF-8 -t " + c.iconv + " '" + films.file(c.name + ".utf8") + "' > '" +
                                            films.file(c.name) + "'";
        ASSERT_EQ(std::system(store.c_str()), 0);
        fs::remove(films.file(c.name + ".utf8"));
        const std::string with = Convert({}, films.file("film.mp4"), "with.avi");
        EXPECT_EQ(last.out.find("Warning"), std::string::npos) << last.out;
        ExpectTextAt(with, plain, 1.0, false);
        ExpectTextAt(with, plain, 3.0, true);
        ExpectTextAt(with, plain, 4.5, false);
    }
}

TEST_F(Subtitles, SamiShowsItsFirstLanguageClass) {
    const std::string still = MakeStill(dir.path(), "base.mp4", 4);
    ASSERT_FALSE(still.empty());
    const auto convertWith = [&](const std::string& sami, const std::string& name) {
        const std::string file = dir.file(name + ".smi");
        WriteText(file, "<SAMI><BODY>\n" + sami + "</BODY></SAMI>\n");
        return Frames(Convert({"--subtitles", file}, still, name + ".avi"));
    };
    const auto both = convertWith(
        "<SYNC Start=1000><P Class=KRCC>첫째 줄\n<SYNC Start=1000><P Class=ENCC>second\n"
        "<SYNC Start=3000><P Class=KRCC>&nbsp;\n<SYNC Start=3000><P Class=ENCC>&nbsp;\n",
        "both");
    const auto first =
        convertWith("<SYNC Start=1000><P Class=KRCC>첫째 줄\n<SYNC Start=3000><P Class=KRCC>&nbsp;\n", "first");
    const auto other =
        convertWith("<SYNC Start=1000><P Class=ENCC>second\n<SYNC Start=3000><P Class=ENCC>&nbsp;\n", "other");
    ASSERT_GT(both.size(), 32u);
    EXPECT_EQ(both[32], first[32]);
    EXPECT_NE(both[32], other[32]);
}

TEST_F(Subtitles, AnEmbeddedTextTrackIsDrawnWhenNoFileLiesBeside) {
    const std::string still = MakeStill(dir.path(), "base.mp4", 7);
    ASSERT_FALSE(still.empty());
    WriteText(dir.file("track.srt"), kSrt);
    // SubRip, and WebVTT, which GStreamer hands on from Matroska unparsed.
    for (const char* codec : {"srt", "webvtt"}) {
        SCOPED_TRACE(codec);
        const std::string mkv = dir.file(std::string(codec) + ".mkv");
        ASSERT_EQ(std::system(("ffmpeg -v error -y -i '" + still + "' -i '" + dir.file("track.srt") +
                               "' -c copy -c:s " + codec + " '" + mkv + "'")
                                  .c_str()),
                  0);
        const std::string plain = Convert({"--no-subtitles"}, mkv, "plain.avi");
        const std::string with = Convert({}, mkv, "with.avi");
        ExpectTextAt(with, plain, 1.0, false);
        ExpectTextAt(with, plain, 3.0, true);
        ExpectTextAt(with, plain, 5.5, true);
    }
}

TEST_F(Subtitles, BigTextCoversMoreRowsThanSmall) {
    const std::string still = MakeStill(dir.path(), "film.mp4", 4);
    ASSERT_FALSE(still.empty());
    WriteText(dir.file("film.srt"), "1\n00:00:01,000 --> 00:00:03,000\nSize\n");
    const std::string plain = Convert({"--no-subtitles"}, still, "plain.avi");
    const auto rows = [&](const std::string& size) {
        const std::string out = Convert({"--subtitle-size", size}, still, size + ".avi");
        const auto [first, last] =
            DifferingRows(DecodePicture(out, 32, kWidth, kHeight), DecodePicture(plain, 32, kWidth, kHeight));
        return first < 0 ? 0 : last - first + 1;
    };
    const int big = rows("big");
    const int small = rows("small");
    EXPECT_GT(small, 0);
    EXPECT_GT(big, small);
}

TEST_F(Subtitles, ARangeStartingAtAMinuteShowsItsSubtitlesInStep) {
    const std::string still = MakeStill(dir.path(), "film.mp4", 70);
    ASSERT_FALSE(still.empty());
    const std::string plain = Convert({"--no-subtitles", "--start", "1:00"}, still, "plain.avi");
    const std::vector<std::pair<std::string, std::string>> files{
        {"film.srt", "1\n00:01:05,000 --> 00:01:06,000\nAt one minute five\n"},
        {"film.ass",
         "[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Layer, Start, End, Style, Name, "
         "MarginL, MarginR, MarginV, Effect, Text\n"
         "Dialogue: 0,0:01:05.00,0:01:06.00,Default,,0,0,0,,At one minute five\n"},
    };
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        WriteText(dir.file(name), text);
        const std::string with = Convert({"--start", "1:00"}, still, "with.avi");
        ExpectTextAt(with, plain, 2.0, false);
        ExpectTextAt(with, plain, 5.5, true);
        ExpectTextAt(with, plain, 6.5, false);
        fs::remove(dir.file(name));
    }
}

TEST_F(Subtitles, AnUnreadableSubtitleFileNeverStopsTheFilm) {
    const std::string still = MakeStill(dir.path(), "film.mp4", 3);
    ASSERT_FALSE(still.empty());
    const std::string plain = Convert({"--no-subtitles"}, still, "plain.avi");
    std::string garbage(20000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 2654435761u) >> 11);
    for (const std::string& broken : {garbage, std::string("1\nnot a time line\nno cue here\n")}) {
        WriteText(dir.file("film.srt"), broken);
        const std::string with = Convert({}, still, "with.avi");
        EXPECT_EQ(Frames(with), Frames(plain));
        const auto warning = last.out.find("Warning: Subtitles of " + dir.file("film.srt") + " not shown");
        const auto status = last.out.find("Status: Completed");
        EXPECT_NE(warning, std::string::npos) << last.out;
        EXPECT_NE(status, std::string::npos) << last.out;
        EXPECT_LT(warning, status) << last.out;
    }
}

TEST_F(Subtitles, AFilesTextAndTheSameTextInTheFilmsTrackAreDrawnAtOneHeight) {
    // A film larger than the output, so the letters are sized for its own
    // picture and then scaled down with it.
    const std::string still = MakeStill(dir.path(), "film.mp4", 4, "1280x720");
    ASSERT_FALSE(still.empty());
    const std::string cue = "1\n00:00:01,000 --> 00:00:03,000\nHeight Xg\n";
    WriteText(dir.file("film.srt"), cue);
    WriteText(dir.file("cue.srt"), cue);
    const std::string plain = Convert({"--no-subtitles"}, still, "plain.avi");
    const auto height = [&](const std::string& output) {
        const auto [first, last] =
            DifferingRows(DecodePicture(output, 32, kWidth, kHeight), DecodePicture(plain, 32, kWidth, kHeight));
        return first < 0 ? 0 : last - first + 1;
    };
    struct Track {
        const char* codec; // as ffmpeg stores the cue in the film
        const char* film;
    };
    const Track tracks[] = {{"srt", "track.mkv"}, {"ass", "ass.mkv"}, {"mov_text", "track.mp4"}};
    for (const Track& track : tracks)
        ASSERT_EQ(
            std::system(("ffmpeg -v error -y -i '" + still + "' -i '" + dir.file("cue.srt") +
                         "' -map 0 -map 1 -c:v copy -c:a copy -c:s " + track.codec + " '" + dir.file(track.film) + "'")
                            .c_str()),
            0);
    for (const char* size : {"big", "middle", "small"}) {
        SCOPED_TRACE(size);
        const int beside = height(Convert({"--subtitle-size", size}, still, std::string("beside_") + size + ".avi"));
        EXPECT_GT(beside, 0);
        for (const Track& track : tracks) {
            SCOPED_TRACE(track.codec);
            EXPECT_EQ(height(Convert({"--subtitle-size", size}, dir.file(track.film), std::string("track.avi"))),
                      beside);
        }
    }
}
