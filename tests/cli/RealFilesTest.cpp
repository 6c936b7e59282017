// Files shaped like those phones, cameras and web encoders write: a rotation
// in the track header, side tracks no decoder takes, sound that ends before
// the pictures, damage a player shrugs off, files with no picture at all and
// subtitle files written loosely. Each is made here with ffmpeg (and a byte
// patch where ffmpeg cannot write the kind) and converted with zemconvert.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "AviParse.h"
#include "CliTestSupport.h"
#include "FilePatch.h"
#include "TestDirs.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr int kOutWidth = 160;
constexpr int kOutHeight = 128;

// A film whose four quarters have four colours (red, green / blue, white),
// so any turn or mirror of it shows; with a tone as long as the pictures
// unless `soundSeconds` says otherwise (0: no sound).
std::string MakeQuarters(const std::string& dir, const std::string& name, double seconds, double soundSeconds) {
    const std::string path = dir + "/" + name;
    std::string command = "ffmpeg -v error -y -f lavfi -i color=c=white:s=320x240:r=25:d=" + std::to_string(seconds);
    if (soundSeconds > 0)
        command += " -f lavfi -i sine=f=440:sample_rate=48000:d=" + std::to_string(soundSeconds);
    command +=
        " -vf 'drawbox=0:0:160:120:red:t=fill,drawbox=160:0:160:120:green:t=fill,"
        "drawbox=0:120:160:120:blue:t=fill' -c:v libx264 -pix_fmt yuv420p";
    command += soundSeconds > 0 ? " -c:a aac" : " -an";
    command += " '" + path + "'";
    return RunCommand(command) ? path : std::string();
}

// The mean red, green and blue of each quarter of an RGB picture.
using Quarters = std::array<std::array<double, 3>, 4>;
Quarters QuarterMeans(const std::vector<uint8_t>& rgb, int width, int height) {
    Quarters sums{};
    std::array<int, 4> counts{};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Leave a margin around the borders between the quarters.
            if (std::abs(2 * x - width) < width / 8 || std::abs(2 * y - height) < height / 8)
                continue;
            const int q = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
            for (int c = 0; c < 3; ++c)
                sums[size_t(q)][size_t(c)] += rgb[(size_t(y) * width + x) * 3 + c];
            ++counts[size_t(q)];
        }
    }
    for (int q = 0; q < 4; ++q)
        for (int c = 0; c < 3; ++c)
            sums[size_t(q)][size_t(c)] /= std::max(counts[size_t(q)], 1);
    return sums;
}

double LargestDifference(const Quarters& a, const Quarters& b) {
    double largest = 0;
    for (size_t q = 0; q < 4; ++q)
        for (size_t c = 0; c < 3; ++c)
            largest = std::max(largest, std::abs(a[q][c] - b[q][c]));
    return largest;
}

// The first picture of `film` as a player shows it (ffmpeg turns pictures by
// their track's rotation unless told not to), stretched to the output size.
std::vector<uint8_t> ShownPicture(const std::string& film, bool turned) {
    const std::string raw = film + ".shown.rgb";
    const std::string command = "ffmpeg -v error " + std::string(turned ? "" : "-noautorotate ") + "-i '" + film +
                                "' -frames:v 1 -vf scale=" + std::to_string(kOutWidth) + ":" +
                                std::to_string(kOutHeight) + " -f rawvideo -pix_fmt rgb24 -y '" + raw + "'";
    std::vector<uint8_t> pixels;
    if (RunCommand(command))
        pixels = ReadWholeFile(raw);
    fs::remove(raw);
    return pixels;
}

class RealFiles : public ::testing::Test {
protected:
    TempDir dir;
    Outcome last;

    // Converts `input` to `name` in the test's folder at the small size.
    std::string Convert(const std::string& input, const std::string& name, std::vector<std::string> options = {}) {
        const std::string output = dir.file(name);
        options.insert(options.end(), {"-s", "160x128", "-o", output, input});
        last = RunZemconvert(options, dir.path());
        return output;
    }

    void ExpectConverted(const std::string& output) {
        EXPECT_EQ(last.exitCode, 0) << last.out << last.err;
        const AviFile avi = ParseAvi(output);
        EXPECT_TRUE(avi.problems.empty()) << output << ": " << (avi.problems.empty() ? "" : avi.problems[0]);
        EXPECT_TRUE(DecodeComplaints(output).empty()) << DecodeComplaints(output);
    }
};

// `base`.sub and `base`.idx: a VobSub of two 4x2 subpictures, at 0.5 s and
// 1.5 s, as a DVD's subtitle stream stores them (an MPEG program stream of
// private stream 1 packets holding run-length coded pictures).
bool WriteVobSub(const std::string& base) {
    const auto be16 = [](std::string& out, unsigned v) { out += char(v >> 8), out += char(v & 0xFF); };
    // The picture: two lines of four pixels of colour 1, then the commands:
    // show, palette, contrast, area, where the lines start; at 1 s: hide.
    const std::string lines{char(0x11), char(0x11)};
    const unsigned commandsAt = 4 + unsigned(lines.size());
    std::string commands;
    be16(commands, 0);
    const size_t nextAt = commands.size();
    be16(commands, 0);
    commands += std::string{char(0x01), char(0x03), char(0x32), char(0x10), char(0x04), char(0xFF), char(0xF0)};
    commands += std::string{char(0x05), char(0x00), char(0xA0), char(0x0D), char(0x00), char(0xA0), char(0x0B)};
    commands += char(0x06);
    be16(commands, 4);
    be16(commands, 5);
    commands += char(0xFF);
    const unsigned hideAt = commandsAt + unsigned(commands.size());
    commands[nextAt] = char(hideAt >> 8), commands[nextAt + 1] = char(hideAt & 0xFF);
    be16(commands, 100);
    be16(commands, hideAt);
    commands += std::string{char(0x02), char(0xFF)};
    std::string unit;
    be16(unit, unsigned(4 + lines.size() + commands.size()));
    be16(unit, commandsAt);
    unit += lines + commands;

    std::string stream;
    std::string index =
        "# VobSub index file, v7\nsize: 720x480\norg: 0, 0\nscale: 100%, 100%\nalpha: 100%\n"
        "palette: 000000, ffffff, 828282, 828282, 828282, 828282, 828282, 828282, 828282, 828282, "
        "828282, 828282, 828282, 828282, 828282, 828282\nid: en, index: 0\n";
    for (const double seconds : {0.5, 1.5}) {
        const uint64_t t = uint64_t(seconds * 90000);
        char entry[96];
        std::snprintf(entry, sizeof entry, "timestamp: 00:00:0%d:%03d, filepos: %09zx\n", int(seconds),
                      int(seconds * 1000) % 1000, stream.size());
        index += entry;
        // Pack header (MPEG-2) with the time as its clock reference.
        stream += std::string("\0\0\1\xBA", 4);
        stream += char(0x44 | ((t >> 27) & 0x38) | ((t >> 28) & 0x03));
        stream += char((t >> 20) & 0xFF);
        stream += char(((t >> 12) & 0xF8) | 0x04 | ((t >> 13) & 0x03));
        stream += char((t >> 5) & 0xFF);
        stream += char(((t << 3) & 0xF8) | 0x04);
        stream += std::string{char(0x01), char(0x01), char(0x89), char(0xC3), char(0xF8)};
        // The packet: header with the time to show, sub-stream 0x20, the unit.
        std::string packet{char(0x81), char(0x80), char(0x05)};
        packet += char(0x21 | ((t >> 29) & 0x0E));
        packet += char((t >> 22) & 0xFF);
        packet += char(((t >> 14) & 0xFE) | 1);
        packet += char((t >> 7) & 0xFF);
        packet += char(((t << 1) & 0xFE) | 1);
        packet += char(0x20);
        packet += unit;
        stream += std::string("\0\0\1\xBD", 4);
        be16(stream, unsigned(packet.size()));
        stream += packet;
    }
    stream += std::string("\0\0\1\xB9", 4);
    return zem::test::WriteWholeFile(base + ".sub", std::vector<uint8_t>(stream.begin(), stream.end())) &&
           zem::test::WriteWholeFile(base + ".idx", std::vector<uint8_t>(index.begin(), index.end()));
}

std::vector<std::vector<uint8_t>> SoundChunks(const std::string& avi) {
    std::vector<std::vector<uint8_t>> sound;
    for (const AviChunk& chunk : ParseAvi(avi).chunks)
        if (chunk.code == "01wb")
            sound.push_back(chunk.payload);
    return sound;
}

} // namespace

TEST_F(RealFiles, PicturesComeOutUprightAsPlayersShowThem) {
    const std::string stored = MakeQuarters(dir.path(), "stored.mp4", 1.0, 1.0);
    ASSERT_FALSE(stored.empty());
    const Quarters asStored = QuarterMeans(ShownPicture(stored, false), kOutWidth, kOutHeight);
    for (const int degrees : {90, 180, 270}) {
        SCOPED_TRACE(std::to_string(degrees) + " degrees");
        const std::string phone = dir.file("phone" + std::to_string(degrees) + ".mp4");
        ASSERT_TRUE(RunCommand("ffmpeg -v error -y -i '" + stored +
                               "' -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees) + " '" + phone + "'"));
        const Quarters shown = QuarterMeans(ShownPicture(phone, true), kOutWidth, kOutHeight);
        // The case means something only when the turn moves the quarters.
        ASSERT_GT(LargestDifference(shown, asStored), 150);

        const std::string output = Convert(phone, "phone" + std::to_string(degrees) + ".avi");
        ExpectConverted(output);
        const std::vector<uint8_t> picture = DecodePicture(output, 4, kOutWidth, kOutHeight);
        ASSERT_FALSE(picture.empty());
        EXPECT_LT(LargestDifference(QuarterMeans(picture, kOutWidth, kOutHeight), shown), 40);
        // The user's own quarter turn comes on top of the upright picture.
        const std::string left = Convert(phone, "left" + std::to_string(degrees) + ".avi", {"-r", "left"});
        ExpectConverted(left);
        const AviFile turned = ParseAvi(left);
        EXPECT_EQ(turned.width, uint32_t(kOutHeight));
        EXPECT_EQ(turned.height, uint32_t(kOutWidth));
    }
    // A film without a rotation converts as before: as stored.
    const std::string plain = Convert(stored, "stored.avi");
    ExpectConverted(plain);
    EXPECT_LT(LargestDifference(QuarterMeans(DecodePicture(plain, 4, kOutWidth, kOutHeight), kOutWidth, kOutHeight),
                                asStored),
              40);
}

TEST_F(RealFiles, TracksNoDecoderTakesAreLeftOut) {
    const std::string film = MakeQuarters(dir.path(), "film.mp4", 2.0, 2.0);
    ASSERT_FALSE(film.empty());
    // A timed-metadata track as phones write one: a text track's sample entry
    // and handler turned into "mebx" and "meta".
    const std::string withText = dir.file("text.mp4");
    ASSERT_TRUE(RunCommand("printf '1\\n00:00:00,000 --> 00:00:01,500\\nHello\\n' > '" + dir.file("t.srt") + "'"));
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -i '" + film + "' -i '" + dir.file("t.srt") +
                           "' -map 0 -map 1 -c:v copy -c:a copy -c:s mov_text '" + withText + "'"));
    const std::string metadata = dir.file("metadata.mp4");
    ASSERT_TRUE(ReplaceFirstCode(withText, metadata, "tx3g", "mebx"));
    ASSERT_TRUE(ReplaceFirstCode(metadata, metadata, "sbtl", "meta") ||
                ReplaceFirstCode(metadata, metadata, "text", "meta"));
    const std::string fromMetadata = Convert(metadata, "metadata.avi");
    ExpectConverted(fromMetadata);
    EXPECT_NEAR(double(ParseAvi(fromMetadata).videoCount()), 32, 2);
    // Its sound decodes: the chunks are not all one silent frame.
    const auto sound = SoundChunks(fromMetadata);
    ASSERT_GT(sound.size(), 10u);
    EXPECT_NE(sound[5], sound[6]);

    // Sound in a form no decoder knows: the film converts over silence, and says so.
    const std::string unknownSound = dir.file("ipcm.mp4");
    ASSERT_TRUE(ReplaceFirstCode(film, unknownSound, "mp4a", "ipcm"));
    const std::string fromIpcm = Convert(unknownSound, "ipcm.avi");
    ExpectConverted(fromIpcm);
    EXPECT_NEAR(double(ParseAvi(fromIpcm).videoCount()), 32, 2);
    EXPECT_NE(last.out.find("Warning:"), std::string::npos) << last.out;
    EXPECT_NE(last.out.find("ipcm"), std::string::npos) << last.out;
    const auto silence = SoundChunks(fromIpcm);
    ASSERT_GT(silence.size(), 10u);
    for (const auto& chunk : silence)
        ASSERT_EQ(chunk, silence.front());

    // A DVD subpicture track (VobSub) beside H.264 and AC-3, as MP4 files
    // ripped from DVDs carry one: the subpictures are left out.
    const std::string vobsub = dir.file("vobsub.mp4");
    ASSERT_TRUE(WriteVobSub(dir.file("subs")));
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -i '" + film + "' -i '" + dir.file("subs.idx") +
                           "' -map 0:v -map 0:a -map 1 -c:v libx264 -pix_fmt yuv420p -c:a ac3 -c:s copy '" + vobsub +
                           "'"));
    const std::string fromVobsub = Convert(vobsub, "vobsub.avi");
    ExpectConverted(fromVobsub);
    EXPECT_NEAR(double(ParseAvi(fromVobsub).videoCount()), 32, 2);

    // WebVTT inside Matroska.
    const std::string webvtt = dir.file("webvtt.mkv");
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -i '" + film + "' -i '" + dir.file("t.srt") +
                           "' -map 0 -map 1 -c:v copy -c:a copy -c:s webvtt '" + webvtt + "'"));
    const std::string fromWebvtt = Convert(webvtt, "webvtt.avi");
    ExpectConverted(fromWebvtt);
    EXPECT_NEAR(double(ParseAvi(fromWebvtt).videoCount()), 32, 2);
}

TEST_F(RealFiles, SoundShorterThanThePicturesKeepsEveryPicture) {
    // 1.2 s of pictures, 0.77 s of sound, as a phone's short clip can have.
    const std::string film = MakeQuarters(dir.path(), "short.mp4", 1.2, 0.77);
    ASSERT_FALSE(film.empty());
    const std::string output = Convert(film, "short.avi");
    ExpectConverted(output);
    const AviFile avi = ParseAvi(output);
    EXPECT_NEAR(double(avi.videoCount()), 1.2 * 16, 1.0);
    // The sound goes on (silent) to the last picture: 24 ms a chunk.
    EXPECT_GE(double(avi.audioCount()) * 0.024, double(avi.videoCount()) / 16 - 0.05);
}

TEST_F(RealFiles, FilesWithoutPicturesAreRefusedForThat) {
    for (const char* kind : {"eac3.mkv", "opus.webm", "flac.mkv"}) {
        SCOPED_TRACE(kind);
        const std::string codec = std::string(kind).substr(0, std::string(kind).find('.'));
        const std::string input = dir.file(kind);
        ASSERT_TRUE(RunCommand("ffmpeg -v error -y -f lavfi -i sine=sample_rate=48000:d=1 -c:a " +
                               std::string(codec == "opus" ? "libopus" : codec) + " '" + input + "'"));
        const std::string output = Convert(input, codec + ".avi");
        EXPECT_EQ(last.exitCode, 1);
        EXPECT_NE(last.out.find("Status: ERROR(5) The file has no picture"), std::string::npos) << last.out;
        EXPECT_FALSE(fs::exists(output));
    }
}
