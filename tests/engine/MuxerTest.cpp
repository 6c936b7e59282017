// The muxer against hand-computed layouts: every byte of a small file, the
// interleaving pattern, the cut audio file and every failure path.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

#include "AviParse.h"
#include "ConversionPaths.h"
#include "FileIo.h"
#include "Muxer.h"
#include "OutputFormat.h"
#include "TestDirs.h"

using namespace zem;
using namespace zem::test;

namespace {

// A frames file with one record per length; picture bytes are a pattern that
// names the record so a misplaced picture shows.
std::vector<uint8_t> FramesFile(const std::vector<uint32_t>& lengths) {
    std::vector<uint8_t> out;
    for (size_t k = 0; k < lengths.size(); ++k) {
        uint8_t head[4];
        avi::PutLe32(head, lengths[k]);
        out.insert(out.end(), head, head + 4);
        for (uint32_t i = 0; i < lengths[k]; ++i)
            out.push_back(uint8_t(k * 31 + i));
    }
    return out;
}

// A 68-byte head then `streamBytes` bytes of audio, each byte its offset mod 251.
std::vector<uint8_t> AudioFile(size_t streamBytes) {
    std::vector<uint8_t> out(68, 0xEE);
    for (size_t i = 0; i < streamBytes; ++i)
        out.push_back(uint8_t(i % 251));
    return out;
}

struct MuxFixture : ::testing::Test {
    TempDir dir;
    // The folder doubles as the scratch folder: after a mux it holds only the
    // output (and a kept ".mp3").
    ConversionPaths paths = DeriveConversionPaths(dir.file("clip.mp4"), dir.file("clip_ZM.avi"), dir.path());
    MuxSettings settings;

    void Write(const std::vector<uint8_t>& frames, const std::vector<uint8_t>& audio) {
        ASSERT_TRUE(WriteWholeFile(paths.tmpPath, frames));
        ASSERT_TRUE(WriteWholeFile(paths.mp3Path, audio));
    }
    void ExpectNoScratch(bool mp3Kept) {
        for (const auto* p : {&paths.tmpPath, &paths.mp3Path, &paths.headerPath, &paths.indexPath, &paths.zemPath})
            EXPECT_FALSE(PathExists(*p)) << *p << " left behind";
        EXPECT_EQ(PathExists(paths.keptMp3Path), mp3Kept);
    }
};

} // namespace

TEST_F(MuxFixture, WorkedExampleByteForByte) {
    settings.saveMp3 = true;
    Write(FramesFile({1000, 600}), AudioFile(1000));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok) << result.message;

    const AviFile avi = ParseAvi(paths.outputPath);
    EXPECT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_EQ(avi.bytes.size(), 4696u);
    EXPECT_EQ(avi.riffSize, 4688u);
    EXPECT_EQ(avi.moviListSize, 3588u);
    EXPECT_EQ(avi.movieBytes, 3584u);
    EXPECT_EQ(avi.totalFrames, 2u);
    EXPECT_EQ(avi.audioLength, 3u);

    ASSERT_EQ(avi.index.size(), 5u);
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"01wb", 4}, {"00dc", 516}, {"01wb", 1540}, {"01wb", 2052}, {"00dc", 2564}};
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(avi.index[k].code, expected[k].first) << k;
        EXPECT_EQ(avi.index[k].position, expected[k].second) << k;
    }
    EXPECT_EQ(avi.index[1].size, 1000u);
    EXPECT_EQ(avi.index[4].size, 600u);
    EXPECT_EQ(avi.index[0].size, 384u);

    // Third audio chunk: 232 audio bytes continuing the stream, 268 zeros, sequence 3.
    const auto& b = avi.bytes;
    const uint64_t third = 1020 + 2052;
    for (uint32_t i = 0; i < 232; ++i)
        ASSERT_EQ(b[third + 8 + i], uint8_t((768 + i) % 251)) << i;
    for (uint32_t i = 232; i < 500; ++i)
        ASSERT_EQ(b[third + 8 + i], 0) << i;
    EXPECT_EQ(avi::GetBe32(&b[third + 508]), 3u);
    // Second picture: pattern of record 1, 600 bytes, then zero padding to 1024.
    const uint64_t second = 1020 + 2564;
    EXPECT_EQ(std::memcmp(&b[second], "00dc", 4), 0);
    EXPECT_EQ(b[second + 8], uint8_t(31));
    EXPECT_EQ(b[second + 8 + 599], uint8_t(31 + 599));
    // Index head and length.
    EXPECT_EQ(std::memcmp(&b[1024 + 3584], "idx1", 4), 0);
    EXPECT_EQ(avi::GetLe32(&b[1024 + 3584 + 4]), 80u);

    // Audio shorter than video: the kept audio file is not cut.
    EXPECT_EQ(FileSizeOf(paths.keptMp3Path), 68 + 1000);
    ExpectNoScratch(true);
}

TEST_F(MuxFixture, HeaderConstantsAndPictureSize) {
    settings.videoWidth = 176;
    settings.videoHeight = 128;
    Write(FramesFile({100}), AudioFile(384));
    ASSERT_TRUE(MuxOutputFile(paths, settings).ok);
    AviFile avi = ParseAvi(paths.outputPath);
    const auto& b = avi.bytes;
    struct Field {
        uint32_t offset;
        uint32_t value;
    };
    // Fixed stream description, independent of picture size and sound.
    const Field constants[] = {{16, 992},    {28, 56},      {36, 136000},  {44, 0x00010010}, {56, 2},      {60, 192000},
                               {92, 384},    {104, 56},     {128, 1},      {144, 0x100000},  {148, 10000}, {168, 40},
                               {172, 40},    {192, 921600}, {216, 260},    {484, 524},       {496, 56},    {504, 1},
                               {520, 3},     {524, 125},    {536, 0x3000}, {540, 10000},     {560, 30},    {568, 48000},
                               {572, 16000}, {584, 2},      {598, 244},    {850, 158},       {32, 62500},  {132, 16}};
    for (const auto& f : constants)
        EXPECT_EQ(avi::GetLe32(&b[f.offset]), f.value) << "offset " << f.offset;
    const std::pair<uint32_t, const char*> codes[] = {
        {0, "RIFF"},   {8, "AVI "},   {12, "LIST"},   {20, "hdrl"},  {24, "avih"},  {88, "LIST"},
        {96, "strl"},  {100, "strh"}, {108, "vids"},  {112, "mjpg"}, {164, "strf"}, {188, "MJPG"},
        {212, "JUNK"}, {480, "LIST"}, {488, "strl"},  {492, "strh"}, {500, "auds"}, {556, "strf"},
        {594, "JUNK"}, {846, "JUNK"}, {1012, "LIST"}, {1020, "movi"}};
    for (const auto& [offset, code] : codes)
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[offset]), 4), code) << "offset " << offset;
    const std::pair<uint32_t, uint16_t> shorts[] = {{184, 1},  {186, 24}, {564, 0x55}, {566, 2}, {576, 1152},
                                                    {580, 12}, {582, 1},  {588, 1152}, {590, 1}, {592, 1393}};
    for (const auto& [offset, value] : shorts)
        EXPECT_EQ(avi::GetLe16(&b[offset]), value) << "offset " << offset;
    for (uint32_t i = 220; i < 480; ++i)
        ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(avi.width, 176u);
    EXPECT_EQ(avi.height, 128u);
    EXPECT_EQ(avi.frameRight, 176u);
    EXPECT_EQ(avi.frameBottom, 128u);
    EXPECT_EQ(avi.bitmapWidth, 176u);
    EXPECT_EQ(avi.bitmapHeight, 128u);

    settings.rotate = 1;
    Write(FramesFile({100}), AudioFile(384));
    const MuxResult turned = MuxOutputFile(paths, settings);
    ASSERT_TRUE(turned.ok);
    avi = ParseAvi(paths.outputPath);
    EXPECT_EQ(avi.width, 128u);
    EXPECT_EQ(avi.height, 176u);
    EXPECT_EQ(avi.frameRight, 128u);
    EXPECT_EQ(avi.frameBottom, 176u);
    EXPECT_EQ(avi.bitmapWidth, 128u);
    EXPECT_EQ(avi.bitmapHeight, 176u);
    EXPECT_EQ(turned.storedWidth, 128u);
}

TEST_F(MuxFixture, VideoChunkSizesAndSequenceNumbers) {
    // Pictures of 1000, 504 and 505 bytes fill 1024, 512 and 1024 bytes.
    Write(FramesFile({1000, 504, 505}), AudioFile(384 * 8));
    ASSERT_TRUE(MuxOutputFile(paths, settings).ok);
    const AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    std::vector<uint64_t> videoLengths;
    for (const auto& c : avi.chunks)
        if (c.code == "00dc")
            videoLengths.push_back(c.length);
    EXPECT_EQ(videoLengths, (std::vector<uint64_t>{1024, 512, 1024}));
    // Fourth audio chunk ends in 00 00 00 04.
    int audioSeen = 0;
    for (const auto& c : avi.chunks) {
        if (c.code == "01wb" && ++audioSeen == 4) {
            const auto& b = avi.bytes;
            EXPECT_EQ(b[c.fileOffset + 508], 0);
            EXPECT_EQ(b[c.fileOffset + 509], 0);
            EXPECT_EQ(b[c.fileOffset + 510], 0);
            EXPECT_EQ(b[c.fileOffset + 511], 4);
        }
    }
    EXPECT_GE(audioSeen, 4);
}

TEST_F(MuxFixture, ThreeSecondsInterleaveAs125AudioTo48Video) {
    // 96 pictures: as many as 250 audio chunks cover, so the sound ends with them.
    Write(FramesFile(std::vector<uint32_t>(96, 700)), AudioFile(384 * 250));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    const AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_EQ(avi.chunks.front().code, "01wb");
    // Cycle k leaves ceil(384 k / 1000) pictures written: after 125 audio
    // chunks (3 s) there are 48, after 250 there are 96.
    size_t audio = 0, video = 0;
    for (const auto& c : avi.chunks) {
        if (c.code == "01wb") {
            EXPECT_EQ(video * 1000, (audio * 384 + 999) / 1000 * 1000) << "before audio chunk " << audio + 1;
            ++audio;
        } else {
            ++video;
        }
        if (audio == 125 && c.code == "00dc") {
            EXPECT_EQ(video, 48u);
        }
    }
    EXPECT_EQ(audio, 250u);
}

TEST_F(MuxFixture, AudioLongerThanVideoIsCutAtTheLastFrame) {
    settings.saveMp3 = true;
    Write(FramesFile({800, 800}), AudioFile(384 * 20));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.videoChunks, 2u);
    // Cycle 3 takes the second picture; cycles 4 and 5 need none; cycle 6
    // finds no third one and ends.
    EXPECT_EQ(result.audioChunks, 6u);
    EXPECT_EQ(FileSizeOf(paths.keptMp3Path), 68 + 6 * 384);
    EXPECT_TRUE(ParseAvi(paths.outputPath).problems.empty());
}

TEST_F(MuxFixture, SoundWellPastTheLastPictureHoldsThatPictureUntilItEnds) {
    struct Case {
        size_t pictures;
        size_t soundBytes;
        bool hold;     // the run went to its end (not stopped)
        bool expected; // the last picture is held
    };
    // 1000 audio bytes a picture; holding starts past half a second (8000 bytes) more sound.
    const Case cases[] = {
        {16, 160000, true, true},   // 1 s of pictures, 10 s of sound
        {1, 48000, true, true},     // a single picture, 3 s
        {5, 48000, true, true},     // 0.3 s with 3 s
        {48, 160000, true, true},   // 3 s with 10 s
        {16, 160000, false, false}, // stopped: the sound may only have been ahead
        {2, 384 * 20, true, false}, // an ordinary ragged end: cut as always
        {16, 16000 + 7000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pictures) + " pictures, " + std::to_string(c.soundBytes) + " bytes of sound" +
                     (c.hold ? "" : ", stopped"));
        settings = MuxSettings{};
        settings.saveMp3 = true;
        Write(FramesFile(std::vector<uint32_t>(c.pictures, 700)), AudioFile(c.soundBytes));
        MuxSettings plain = settings;
        settings.holdLastPicture = c.hold;
        const MuxResult result = MuxOutputFile(paths, settings);
        ASSERT_TRUE(result.ok) << result.message;
        const AviFile avi = ParseAvi(paths.outputPath);
        ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
        std::vector<const AviChunk*> pictures;
        std::vector<uint8_t> sound;
        for (const AviChunk& chunk : avi.chunks) {
            if (chunk.code == "00dc")
                pictures.push_back(&chunk);
            else
                sound.insert(sound.end(), chunk.payload.begin(), chunk.payload.end());
        }
        if (!c.expected) {
            // Byte for byte what the muxer writes without holding.
            const std::vector<uint8_t> held = ReadWholeFile(paths.outputPath);
            ASSERT_TRUE(RemoveFile(paths.outputPath) && RemoveFile(paths.keptMp3Path));
            Write(FramesFile(std::vector<uint32_t>(c.pictures, 700)), AudioFile(c.soundBytes));
            ASSERT_TRUE(MuxOutputFile(paths, plain).ok);
            EXPECT_EQ(ReadWholeFile(paths.outputPath), held);
            EXPECT_EQ(pictures.size(), c.pictures);
            continue;
        }
        // Every byte of the sound, in order, and no more than its last block.
        const std::vector<uint8_t> film = AudioFile(c.soundBytes);
        ASSERT_GE(sound.size(), c.soundBytes);
        EXPECT_TRUE(std::equal(film.begin() + 68, film.end(), sound.begin()));
        EXPECT_EQ(result.audioChunks, (c.soundBytes + 383) / 384);
        EXPECT_EQ(FileSizeOf(paths.keptMp3Path), int64_t(68 + c.soundBytes));
        // A picture each 1000 bytes of sound; past the film's own, the last one again.
        EXPECT_NEAR(double(pictures.size()), c.soundBytes / 1000.0, 1.0);
        for (size_t k = 0; k < c.pictures; ++k)
            EXPECT_EQ(pictures[k]->payload[0], uint8_t(k * 31)) << "picture " << k;
        for (size_t k = c.pictures; k < pictures.size(); ++k)
            ASSERT_EQ(pictures[k]->payload, pictures[c.pictures - 1]->payload) << "picture " << k;
        ExpectNoScratch(true);
        ASSERT_TRUE(RemoveFile(paths.outputPath) && RemoveFile(paths.keptMp3Path));
    }
}

TEST_F(MuxFixture, VideoLongerThanAudioKeepsEveryPictureOverSilence) {
    settings.saveMp3 = true;
    Write(FramesFile(std::vector<uint32_t>(30, 300)), AudioFile(384 * 3 + 10));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    // Picture 30 is due once 384 n > 29000 (cycle 76); cycle 79 finds no 31st.
    EXPECT_EQ(result.videoChunks, 30u);
    EXPECT_EQ(result.audioChunks, 79u);
    // The kept sound is the film's own, not the silence after it.
    EXPECT_EQ(FileSizeOf(paths.keptMp3Path), 68 + 384 * 3 + 10);
    const AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    std::vector<const AviChunk*> sound;
    for (const auto& c : avi.chunks)
        if (c.code == "01wb")
            sound.push_back(&c);
    ASSERT_EQ(sound.size(), 79u);
    // The short last block of the film's sound still fills a sector and
    // announces 384 bytes.
    EXPECT_EQ(sound[3]->size, 384u);
    EXPECT_EQ(sound[3]->payload[9], uint8_t((384 * 3 + 9) % 251));
    for (size_t i = 10; i < 384; ++i)
        ASSERT_EQ(sound[3]->payload[i], 0);
    // Then silent frames to the end of the pictures.
    for (size_t k = 4; k < sound.size(); ++k)
        ASSERT_EQ(std::memcmp(sound[k]->payload.data(), SilentAudioFrame(), avi::kAudioBlockSize), 0) << "chunk " << k;
}

TEST_F(MuxFixture, AudioHeadOnlyGivesEveryPictureOverSilence) {
    Write(FramesFile({400, 400, 400}), AudioFile(0));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.videoChunks, 3u);
    // Picture 3 at cycle 6 (2304 > 2000); cycle 8 (3072 > 3000) finds no 4th.
    EXPECT_EQ(result.audioChunks, 8u);
    EXPECT_TRUE(ParseAvi(paths.outputPath).problems.empty());
    ExpectNoScratch(false);
}

TEST_F(MuxFixture, EmptyFramesFileGivesOneAudioChunkAndCutsTheAudio) {
    settings.saveMp3 = true;
    Write({}, AudioFile(384 * 10));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    const AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_EQ(avi.audioCount(), 1u);
    EXPECT_EQ(avi.videoCount(), 0u);
    EXPECT_EQ(avi.totalFrames, 0u);
    EXPECT_EQ(avi.bytes.size(), 1024u + 512 + 8 + 16);
    EXPECT_EQ(FileSizeOf(paths.keptMp3Path), 452);
}

TEST_F(MuxFixture, RecordsOfLengthZeroOrCutShortEndTheVideoSafely) {
    // A zero-length record ends the video even when records follow it.
    std::vector<uint8_t> frames = FramesFile({500, 0, 500});
    Write(frames, AudioFile(384 * 10));
    MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.videoChunks, 1u);

    // A record cut short keeps its announced length, padded with zeros.
    frames = FramesFile({300, 900});
    frames.resize(frames.size() - 400);
    Write(frames, AudioFile(384 * 10));
    result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    ASSERT_EQ(avi.videoCount(), 2u);
    const AviChunk& cut = avi.chunks[4]; // audio, picture, audio, audio, picture
    ASSERT_EQ(cut.code, "00dc");
    EXPECT_EQ(cut.size, 900u);
    EXPECT_EQ(cut.payload[499], uint8_t(31 + 499));
    EXPECT_EQ(cut.payload[500], 0);
    EXPECT_EQ(cut.payload[899], 0);

    // A damaged length field far beyond the file ends the video without a huge allocation.
    frames = FramesFile({300});
    const uint8_t bogus[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    frames.insert(frames.end(), bogus, bogus + 4);
    Write(frames, AudioFile(384 * 10));
    result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.videoChunks, 1u);
    ExpectNoScratch(false);
}

TEST_F(MuxFixture, SizeLimitCutsAtACycleAndSaysSo) {
    settings.saveMp3 = true;
    settings.maxFileBytes = 20000;
    Write(FramesFile(std::vector<uint32_t>(100, 1500)), AudioFile(384 * 200));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.truncated);
    EXPECT_FALSE(result.message.empty());
    const AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_LE(avi.bytes.size(), 20000u);
    // One more cycle (an audio chunk, perhaps a picture, their index records) would not have fit.
    EXPECT_GT(avi.bytes.size() + 512 + 16, 20000u - 2048 - 16);
    // The kept audio matches what went into the file.
    EXPECT_EQ(FileSizeOf(paths.keptMp3Path), int64_t(68 + 384 * avi.audioCount()));
}

TEST_F(MuxFixture, LinksAtTheOutputAndKeptSoundNamesAreReplacedNotWrittenThrough) {
    TempDir elsewhere;
    const std::vector<uint8_t> victim{'m', 'i', 'n', 'e'};
    ASSERT_TRUE(WriteWholeFile(elsewhere.file("victim.avi"), victim));
    ASSERT_TRUE(WriteWholeFile(elsewhere.file("victim.mp3"), victim));
    ASSERT_EQ(::symlink(elsewhere.file("victim.avi").c_str(), paths.outputPath.c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.file("victim.mp3").c_str(), paths.keptMp3Path.c_str()), 0);
    settings.saveMp3 = true;
    Write(FramesFile({700, 700}), AudioFile(2000));
    const MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(ReadWholeFile(elsewhere.file("victim.avi")), victim);
    EXPECT_EQ(ReadWholeFile(elsewhere.file("victim.mp3")), victim);
    struct stat st {};
    ASSERT_EQ(::lstat(paths.outputPath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "the output is still a link";
    ASSERT_EQ(::lstat(paths.keptMp3Path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "the kept sound is still a link";
    EXPECT_TRUE(ParseAvi(paths.outputPath).problems.empty());
}

TEST_F(MuxFixture, AScratchNameThatAlreadyExistsIsNeverOpened) {
    // Intermediates are created, never opened: a link or file at one of their
    // names fails the mux and is left as it was.
    TempDir elsewhere;
    const std::vector<uint8_t> victim{1, 2, 3};
    ASSERT_TRUE(WriteWholeFile(elsewhere.file("victim"), victim));
    for (const std::string* planted : {&paths.headerPath, &paths.indexPath, &paths.zemPath}) {
        SCOPED_TRACE(*planted);
        Write(FramesFile({500}), AudioFile(1000));
        ASSERT_EQ(::symlink(elsewhere.file("victim").c_str(), planted->c_str()), 0);
        const MuxResult result = MuxOutputFile(paths, settings);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.message.find(*planted), std::string::npos) << result.message;
        EXPECT_EQ(ReadWholeFile(elsewhere.file("victim")), victim);
        EXPECT_FALSE(PathExists(paths.outputPath));
        ::unlink(planted->c_str());
    }
}

// ---- failures: a clear message, no output, no scratch file, input intact ----

TEST_F(MuxFixture, MissingFramesFileFailsCleanly) {
    ASSERT_TRUE(WriteWholeFile(paths.mp3Path, AudioFile(1000)));
    const MuxResult result = MuxOutputFile(paths, settings);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(paths.tmpPath), std::string::npos) << result.message;
    EXPECT_FALSE(PathExists(paths.outputPath));
    ExpectNoScratch(false);
}

TEST_F(MuxFixture, EmptyAudioFileFailsCleanly) {
    settings.saveMp3 = true;
    Write(FramesFile({500}), {});
    const MuxResult result = MuxOutputFile(paths, settings);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("empty"), std::string::npos) << result.message;
    EXPECT_FALSE(PathExists(paths.outputPath));
    ExpectNoScratch(false); // a failed job keeps no sound either
}

TEST_F(MuxFixture, HeaderScratchThatCannotBeCreatedFailsTheMux) {
    Write(FramesFile({500}), AudioFile(1000));
    ASSERT_EQ(::mkdir(paths.headerPath.c_str(), 0755), 0); // a folder where the file should go
    const MuxResult result = MuxOutputFile(paths, settings);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(paths.headerPath), std::string::npos) << result.message;
    EXPECT_FALSE(PathExists(paths.outputPath));
    EXPECT_FALSE(PathExists(paths.tmpPath));
    EXPECT_FALSE(PathExists(paths.zemPath));
}

TEST_F(MuxFixture, UnwritableOutputFolderFailsCleanly) {
    ReadOnlyDir out;
    if (!out.usable())
        GTEST_SKIP() << "cannot make a read-only folder here";
    // Intermediates beside the input, output where nothing may be written.
    const ConversionPaths p = DeriveConversionPaths(dir.file("clip.mp4"), out.file("clip_ZM.avi"), dir.path());
    ASSERT_TRUE(WriteWholeFile(dir.file("clip.mp4"), {9, 9, 9}));
    ASSERT_TRUE(WriteWholeFile(p.tmpPath, FramesFile({500, 500})));
    ASSERT_TRUE(WriteWholeFile(p.mp3Path, AudioFile(3000)));
    const MuxResult result = MuxOutputFile(p, settings);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(p.outputPath), std::string::npos) << result.message;
    EXPECT_FALSE(PathExists(p.outputPath));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.mp4"});
    EXPECT_EQ(ReadWholeFile(dir.file("clip.mp4")), (std::vector<uint8_t>{9, 9, 9}));
}

TEST_F(MuxFixture, FullDiskLeavesNoPartialOutput) {
    // Each intermediate fits, and so do both together; the movie data and the
    // output do not (this holds for a small file system and for a per-file
    // size limit alike).
    FullDiskDir full(130 * 1024);
    const ConversionPaths p = DeriveConversionPaths(full.file("clip.mp4"), full.file("clip_ZM.avi"), full.path());
    ASSERT_TRUE(WriteWholeFile(full.file("clip.mp4"), {1, 2, 3}));
    ASSERT_TRUE(WriteWholeFile(p.tmpPath, FramesFile(std::vector<uint32_t>(48, 1500))));
    ASSERT_TRUE(WriteWholeFile(p.mp3Path, AudioFile(384 * 125)));
    const MuxResult result = MuxOutputFile(p, settings);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.message.find("space") != std::string::npos || result.message.find("large") != std::string::npos)
        << result.message;
    EXPECT_EQ(full.entries(), std::vector<std::string>{"clip.mp4"});
}

TEST_F(MuxFixture, LeadInMovesTheSoundAgainstThePictures) {
    // Sound starting 72 ms before the first picture loses its first three
    // frames; sound 50 ms late gets two silent ones in front.
    EXPECT_EQ(AudioLeadInFrames(0.572, 0.5), -3);
    EXPECT_EQ(AudioLeadInFrames(0.0, 0.05), 2);
    EXPECT_EQ(AudioLeadInFrames(0.011, 0.0), 0);

    // Three pictures take eight cycles (the eighth finds no fourth).
    settings.audioLeadInFrames = -2;
    Write(FramesFile({500, 500, 500}), AudioFile(384 * 10));
    MuxResult result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    AviFile avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_EQ(avi.audioCount(), 8u);
    EXPECT_EQ(avi.chunks[0].payload[0], uint8_t(768 % 251));

    settings.audioLeadInFrames = 3;
    Write(FramesFile({500, 500, 500}), AudioFile(384 * 5));
    result = MuxOutputFile(paths, settings);
    ASSERT_TRUE(result.ok);
    avi = ParseAvi(paths.outputPath);
    ASSERT_TRUE(avi.problems.empty()) << avi.problems.front();
    EXPECT_EQ(avi.audioCount(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(avi.chunks[0].payload.begin(), avi.chunks[0].payload.end()),
              std::vector<uint8_t>(SilentAudioFrame(), SilentAudioFrame() + 384));
    const AviChunk* fourthAudio = nullptr;
    int seen = 0;
    for (const auto& c : avi.chunks)
        if (c.code == "01wb" && ++seen == 4)
            fourthAudio = &c;
    ASSERT_NE(fourthAudio, nullptr);
    EXPECT_EQ(fourthAudio->payload[0], 0); // the file's first byte
    EXPECT_EQ(fourthAudio->payload[1], 1);
}

TEST(SilentAudioFrameTest, DecodesAsSilence) {
    // The ffmpeg tool decodes a run of these frames to zero samples, without complaint.
    TempDir dir;
    std::vector<uint8_t> stream;
    for (int i = 0; i < 20; ++i)
        stream.insert(stream.end(), SilentAudioFrame(), SilentAudioFrame() + 384);
    ASSERT_TRUE(WriteWholeFile(dir.file("silence.mp3"), stream));
    const std::string command = "ffmpeg -v error -i " + dir.file("silence.mp3") + " -f s16le -y " +
                                dir.file("pcm.raw") + " 2> " + dir.file("err.txt");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(ReadWholeFile(dir.file("err.txt")).empty());
    const auto pcm = ReadWholeFile(dir.file("pcm.raw"));
    EXPECT_EQ(pcm.size(), 20u * 1152 * 2 * 2);
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](uint8_t b) { return b == 0; }));
}
