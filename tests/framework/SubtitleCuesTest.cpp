// Timed text as people write it: SubRip and WebVTT times in every loose form,
// and ASS/SSA events laid out by their own Format line.

#include <gtest/gtest.h>

#include "SubtitleCues.h"

using namespace zem::media;

TEST(SubtitleCuesTest, TimesInTheFormsWritersUse) {
    const std::vector<std::pair<const char*, int64_t>> good{
        {"00:01:02,345", 62345}, {"01:00:00.5", 3600500},  {"1:02.250", 62250},
        {"02:03", 123000},       {" 00:00:01,000 ", 1000}, {"-00:00:00,500", -500},
        {"-1:02:03", -3723000},  {"5,25", 5250},           {"00:00:07", 7000},
    };
    for (const auto& [text, ms] : good) {
        int64_t value = 0;
        EXPECT_TRUE(ParseCueTime(text, value)) << text;
        EXPECT_EQ(value, ms) << text;
    }
    for (const char* bad : {"", "12", "ab:cd", "1:2:3:4", "00:00:01,", "00:00:01,1234", "00:01:", "1,2,3", "--"}) {
        int64_t value = 0;
        EXPECT_FALSE(ParseCueTime(bad, value)) << bad;
    }
}

TEST(SubtitleCuesTest, LooseSubRipBecomesCleanSubRip) {
    // No numbers, a time before zero, times without hours or milliseconds,
    // blank lines doubled, Windows line ends, and a cue wholly before zero.
    const std::string loose =
        "\r\n\r\n-00:00:01,000 --> 00:00:01,500\r\nFirst\r\n\r\n\r\n"
        "00:02 --> 00:03\nSecond\nline two\n\n"
        "7\n-0:05 --> -0:04\nNever shown\n\n"
        "8\n00:00:04,5 --> 00:00:04.75\n<i>Third</i>\n";
    const auto cues = ReadTimedCues(loose);
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].startMs, 0);
    EXPECT_EQ(cues[0].endMs, 1500);
    EXPECT_EQ(cues[0].text, "First");
    EXPECT_EQ(cues[1].startMs, 2000);
    EXPECT_EQ(cues[1].text, "Second\nline two");
    EXPECT_EQ(cues[2].startMs, 4500);
    EXPECT_EQ(cues[2].endMs, 4750);
    EXPECT_EQ(cues[2].text, "<i>Third</i>");
    EXPECT_EQ(WriteSubRip(cues),
              "1\n00:00:00,000 --> 00:00:01,500\nFirst\n\n"
              "2\n00:00:02,000 --> 00:00:03,000\nSecond\nline two\n\n"
              "3\n00:00:04,500 --> 00:00:04,750\n<i>Third</i>\n\n");
}

TEST(SubtitleCuesTest, WebVttHeadersNotesSettingsAndTags) {
    const std::string vtt =
        "WEBVTT - made by hand\n\nNOTE a note\nthat spans --> two lines\n\n"
        "STYLE\n::cue { color: yellow }\n\n"
        "intro\n00:01.000 --> 00:02.500 align:start position:10%\n"
        "<v Ann>Hello</v> <c.loud>there</c> <b>bold</b> <00:01.500>later\n\n"
        "00:00:03.000 --> 00:00:04.000\n&amp; more\n";
    ASSERT_TRUE(LooksLikeSubRipOrWebVtt(vtt));
    const auto cues = ReadTimedCues(vtt);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[0].startMs, 1000);
    EXPECT_EQ(cues[0].endMs, 2500);
    EXPECT_EQ(cues[0].text, "Hello there <b>bold</b> later");
    EXPECT_EQ(cues[1].text, "&amp; more");
    EXPECT_FALSE(LooksLikeSubRipOrWebVtt("<SAMI><BODY><SYNC Start=0>--></SAMI>"));
    EXPECT_FALSE(LooksLikeSubRipOrWebVtt("{1}{25}MicroDVD"));
}

TEST(SubtitleCuesTest, AssEventsFollowTheirOwnFormatLine) {
    AssDialogue dialogue;
    // The short layout some writers use.
    const auto shortFormat = ReadAssFormat(" Layer, Start, End, Style, Name, Text");
    ASSERT_TRUE(ReadAssDialogue(shortFormat, " 1,0:00:01.50,0:00:03.00,Top,Ann,Hi, there", dialogue));
    EXPECT_EQ(dialogue.startMs, 1500);
    EXPECT_EQ(dialogue.endMs, 3000);
    EXPECT_EQ(dialogue.fields, "1,Top,Ann,0,0,0,,Hi, there");
    // Fields in another order, and SSA's Marked in place of a layer.
    const auto reordered = ReadAssFormat("Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text");
    ASSERT_TRUE(ReadAssDialogue(reordered, "Marked=0,0:00:00.00,0:00:01.00,Default,,5,6,7,Fade,{\\i1}x", dialogue));
    EXPECT_EQ(dialogue.fields, "0,Default,,5,6,7,Fade,{\\i1}x");
    // Without a Format line the full layout is assumed.
    ASSERT_TRUE(ReadAssDialogue({}, "0,0:00:02.00,0:00:04.00,Default,,0,0,0,,Styled, yellow", dialogue));
    EXPECT_EQ(dialogue.fields, "0,Default,,0,0,0,,Styled, yellow");
    // No usable time, an end before the start, or a layout without text.
    EXPECT_FALSE(ReadAssDialogue(shortFormat, "0,soon,0:00:03.00,Top,,x", dialogue));
    EXPECT_FALSE(ReadAssDialogue(shortFormat, "0,0:00:03.00,0:00:01.00,Top,,x", dialogue));
    EXPECT_FALSE(ReadAssDialogue(ReadAssFormat("Start, End, Style"), "0:00:01.00,0:00:02.00,x", dialogue));
}

TEST(SubtitleCuesTest, MatroskaWebVttBlocksGiveTheirPlainText) {
    EXPECT_EQ(CueTextFromBlock("Hello"), "Hello");
    // Name and settings lines before the text, as ffmpeg writes them.
    EXPECT_EQ(CueTextFromBlock("\n\nHello"), "Hello");
    EXPECT_EQ(CueTextFromBlock("intro\nalign:start line:90%\n<v Ann>Hi</v> &amp; <i>bye</i>\nline two"),
              "Hi & bye\nline two");
    // Two lines of text alone stay two lines.
    EXPECT_EQ(CueTextFromBlock("First line\nsecond line"), "First line\nsecond line");
    EXPECT_EQ(CueTextFromBlock("&lt;3 &gt; &nbsp;x"), "<3 >  x");
}

TEST(SubtitleCuesTest, MicroDvdFramesBecomeTimes) {
    // Timed at 25 pictures a second by its first line; style blocks and '|'.
    const auto cues = ReadMicroDvdCues(
        "{1}{1}25\n{25}{50}{y:i}Hello|world\n\n{75}{}Open end\n{100}{90}Backwards\n"
        "junk line\n{x}{10}bad\n{0010}{0020}  \n");
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].startMs, 1000);
    EXPECT_EQ(cues[0].endMs, 2000);
    EXPECT_EQ(cues[0].text, "Hello\nworld");
    EXPECT_EQ(cues[1].startMs, 3000);
    EXPECT_EQ(cues[1].endMs, 3000 + kMicroDvdOpenEndMs);
    EXPECT_EQ(cues[2].startMs, 4000);
    EXPECT_EQ(cues[2].endMs, 4000 + kMicroDvdOpenEndMs);
    // Without a rate line the file is timed at 23.976, as subparse would.
    const auto plain = ReadMicroDvdCues("{24}{48}One\n");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].startMs, 1001);
    EXPECT_EQ(plain[0].endMs, 2002);
    // A hostile file: huge numbers, unclosed braces, bytes of every kind.
    std::string hostile = "{25}{50}Heo|world\n{75}{10li";
    hostile += std::string(40, '\xff') + "{99999999999}{1}x\n{1}{2}{" + std::string(1000, '{') + "\n";
    const auto kept = ReadMicroDvdCues(hostile);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].text, "Heo\nworld");
}
