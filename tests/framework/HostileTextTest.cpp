// Parsers of outside text against hostile input: subtitle events bounded in
// length, override blocks and nesting, a stop answered while a file is
// prepared; the .asx list read in one pass.

#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "AsxPlaylist.h"
#include "SubtitleCaps.h"
#include "Subtitles.h"
#include "TestClips.h"

using namespace zem;
namespace fs = std::filesystem;

namespace {

constexpr int kHostileCount = 5000;
const std::string kAssHead =
    "[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
const std::string kDialogue = "Dialogue: 0,0:00:01.00,0:00:04.00,Default,,0,0,0,,";

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

// The text of the script's one Dialogue line.
std::string DialogueText(const std::string& script) {
    const auto at = script.find(kDialogue);
    const auto end = script.find('\n', at);
    return script.substr(at + kDialogue.size(), end - at - kDialogue.size());
}

int Count(const std::string& text, char c) {
    return int(std::count(text.begin(), text.end(), c));
}

int DeepestParentheses(const std::string& text) {
    int depth = 0, deepest = 0;
    for (char c : text) {
        if (c == '(')
            deepest = std::max(deepest, ++depth);
        else if (c == ')' && depth > 0)
            --depth;
    }
    return deepest;
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(SubtitleCaps, AnOrdinaryScriptAndOrdinaryTextPassUnchanged) {
    const std::string script = kAssHead + kDialogue + "{\\pos(10,20)\\t(0,500,\\clip(0,0,10,10))}Hello\\Nworld\r\n" +
                               kDialogue + "{\\b1}Bold{\\b0} and plain\r\n";
    std::string text = script;
    EXPECT_EQ(media::CapSubtitleEvents(text, true), "");
    EXPECT_EQ(text, script);

    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\n<i>Hi</i> <b>there</b>\n\n";
    text = srt;
    EXPECT_EQ(media::CapSubtitleEvents(text, false), "");
    EXPECT_EQ(text, srt);
}

TEST(SubtitleCaps, HostileAssEventsAreCutToTheBoundsAndTheRestOfTheScriptStays) {
    const std::string nested =
        "{" + Repeat("\\t(0,1000,", kHostileCount) + "\\b1" + std::string(kHostileCount, ')') + "}deep";
    const std::string blocks = Repeat("{\\b1\\i1}x", kHostileCount);
    const std::string longText(200000, 'y');
    std::string script = kAssHead + kDialogue + nested + "\n" + kDialogue + "{\\b1}kept\n";
    EXPECT_EQ(media::CapSubtitleEvents(script, true),
              "1 event was cut to the converter's bounds (length, tags and their nesting)");
    EXPECT_EQ(DialogueText(script), "deep") << "the over-nested block stays whole or goes whole";
    EXPECT_NE(script.find(kDialogue + "{\\b1}kept\n"), std::string::npos);

    script = kAssHead + kDialogue + blocks + "\n" + kDialogue + longText + "\n";
    EXPECT_EQ(media::CapSubtitleEvents(script, true),
              "2 events were cut to the converter's bounds (length, tags and their nesting)");
    const std::string first = DialogueText(script);
    EXPECT_EQ(Count(first, '{'), media::kMaxOverrideBlocks);
    EXPECT_EQ(Count(first, '{'), Count(first, '}'));
    EXPECT_LE(first.size(), media::kMaxSubtitleEventBytes);
    const std::string second = script.substr(script.rfind(kDialogue) + kDialogue.size());
    EXPECT_EQ(second, std::string(media::kMaxSubtitleEventBytes, 'y') + "\n");
    EXPECT_LE(DeepestParentheses(script), media::kMaxOverrideNesting);
}

TEST(SubtitleCaps, ACutNeverSplitsACharacterOrABlock) {
    // Three-byte characters that do not divide the bound evenly.
    std::string script = kAssHead + kDialogue + Repeat("\xED\x95\x9C", 2000) + "{\\b1}" + "\n";
    media::CapSubtitleEvents(script, true);
    EXPECT_TRUE(g_utf8_validate(script.data(), gssize(script.size()), nullptr));
    EXPECT_EQ(DialogueText(script).find('{'), std::string::npos);

    std::string smi = "<SAMI><BODY><SYNC Start=0><P>" + Repeat("<font color=red>", kHostileCount) + "\xEA\xB0\x80" +
                      Repeat("</font>", kHostileCount) + "\n</BODY></SAMI>\n";
    EXPECT_FALSE(media::CapSubtitleEvents(smi, false).empty());
    EXPECT_TRUE(g_utf8_validate(smi.data(), gssize(smi.size()), nullptr));
    EXPECT_EQ(Count(smi, '<'), media::kMaxMarkupTags + 3) << "the event's tags, its SYNC and the two before it";
    EXPECT_NE(smi.find("\xEA\xB0\x80"), std::string::npos) << "the text itself is kept";
}

TEST(SubtitleCaps, EachBoundHoldsOnItsOwn) {
    // Each case passes every bound but one, so taking that one away would let it through.
    struct Case {
        const char* what;
        std::string text;
        bool ass;
        std::string kept; // what is left of the event's text
    };
    const std::string deep = "{\\t(0,1,\\t(0,1,\\t(0,1,\\t(0,1,\\t(0,1,\\b1)))))}";
    const std::string tags = Repeat("<b>", media::kMaxMarkupTags + 1);
    const Case cases[] = {
        {"nesting", kAssHead + kDialogue + deep + "short\n", true, "short"},
        {"blocks", kAssHead + kDialogue + Repeat("{\\b1}", media::kMaxOverrideBlocks + 1) + "\n", true,
         Repeat("{\\b1}", media::kMaxOverrideBlocks)},
        {"length", kAssHead + kDialogue + std::string(media::kMaxSubtitleEventBytes + 1, 'z') + "\n", true,
         std::string(media::kMaxSubtitleEventBytes, 'z')},
        // SubRip: tags spread over the lines of one cue count together.
        {"tags", "1\n00:00:01,000 --> 00:00:02,000\n" + tags.substr(0, 30) + "\n" + tags.substr(30) + "\n\n", false,
         tags.substr(0, 30) + "\n" + tags.substr(30, tags.size() - 33) + "\n"},
    };
    ASSERT_LE(deep.size(), media::kMaxSubtitleEventBytes);
    for (const Case& one : cases) {
        SCOPED_TRACE(one.what);
        std::string text = one.text;
        EXPECT_EQ(media::CapSubtitleEvents(text, one.ass),
                  "1 event was cut to the converter's bounds (length, tags and their nesting)");
        if (one.ass)
            EXPECT_EQ(DialogueText(text), one.kept);
        else
            EXPECT_EQ(text, "1\n00:00:01,000 --> 00:00:02,000\n" + one.kept + "\n");
    }
}

namespace {

std::atomic<bool> g_stopAsked{false};
std::atomic<bool> g_stop{false};

bool StopCheck() {
    g_stopAsked = true;
    return g_stop.load();
}

} // namespace

TEST(SubtitleCaps, AStopIsAnsweredWithinASecondWhileAFileIsPrepared) {
    zem::testclips::TempDir dir;
    // A file at the size bound, as slow to prepare as any.
    std::string big;
    for (int i = 0; big.size() < media::kMaxSubtitleBytes - 4096; ++i)
        big += std::to_string(i + 1) + "\n00:00:0" + std::to_string(i % 10) + ",000 --> 00:00:09,000\n<b>cue</b>\n\n";
    const fs::path path = dir.path() / "big.srt";
    Write(path, big);
    g_stop = false;
    g_stopAsked = false;
    media::SetSubtitleStopCheck(&StopCheck);
    zem::UserText warning;
    auto prepared = std::async(std::launch::async, [&] { return media::LoadSubtitleFile(path.string(), warning); });
    // Asked at all: the preparation is under way.
    while (!g_stopAsked && prepared.wait_for(std::chrono::milliseconds(1)) == std::future_status::timeout) {}
    g_stop = true;
    const auto stopped = std::chrono::steady_clock::now();
    const bool answered = prepared.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    const auto result = prepared.get();
    media::SetSubtitleStopCheck(nullptr);
    EXPECT_TRUE(answered) << "answered after "
                          << std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count() << " s";
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(warning.English(),
              "Subtitles of " + path.string() + " not shown: the conversion was stopped while they were prepared");
}

TEST(AsxPlaylistTest, AHugeHrefOrEndlessOpenTagsAreReadInOnePassWithoutACrash) {
    zem::testclips::TempDir dir;
    const auto huge = dir.path() / "huge.asx";
    Write(huge, "<asx><entry><ref href=\"" + std::string(30000, 'a') +
                    ".wmv\"/></entry>"
                    "<entry><ref href=\"b.wmv\"/></entry></asx>");
    zem::UserText why;
    // A name longer than any path can be is no file; the next entry is read.
    EXPECT_EQ(media::AsxLocalEntries(huge.string(), &why), std::vector<std::string>{(dir.path() / "b.wmv").string()});

    const auto open = dir.path() / "open.asx";
    Write(open, Repeat("< ref  href = ", 30000) + "<ref href=\"" + std::string(500000, 'a'));
    EXPECT_TRUE(media::AsxLocalEntries(open.string(), &why).empty());
    EXPECT_EQ(why.English(), open.string() + " names no local media file");

    const auto many = dir.path() / "many.asx";
    Write(many, Repeat("<REF HREF = 'c.wmv'>", 20000));
    EXPECT_EQ(media::AsxLocalEntries(many.string(), &why).size(), 1000u);
}
