// Which subtitle file beside a film is taken, and how its bytes become text:
// every encoding our users' files come in, each stored by a reference
// encoder and read back to the very text it was made from.

#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Subtitles.h"
#include "TestClips.h"

namespace fs = std::filesystem;
using zem::media::FindSubtitleFile;
using zem::media::SubtitleBytesToUtf8;

namespace {

// `utf8` stored in `encoding` by glib's converter (iconv).
std::string Encode(const std::string& utf8, const char* encoding) {
    gsize written = 0;
    gchar* out = g_convert(utf8.data(), gssize(utf8.size()), encoding, "UTF-8", nullptr, &written, nullptr);
    EXPECT_NE(out, nullptr) << "iconv cannot write " << encoding;
    std::string bytes = out ? std::string(out, written) : std::string();
    g_free(out);
    return bytes;
}

const std::string kKoreanSrt =
    "1\n00:00:01,000 --> 00:00:03,000\n안녕하세요, 자막 시험입니다.\n\n"
    "2\n00:00:04,000 --> 00:00:06,000\nSecond line, 두 번째 줄\n";
// Long enough for the detector to tell the language; each only in characters
// of its own script.
const std::string kSimplifiedSrt =
    "1\n00:00:01,000 --> 00:00:03,000\n你好，这是一个中文字幕文件。\n\n"
    "2\n00:00:04,000 --> 00:00:06,000\n我们今天去公园散步，天气很好。\n\n"
    "3\n00:00:07,000 --> 00:00:09,000\n谢谢你的帮助，我们明天见。\n";
const std::string kTraditionalSrt =
    "1\n00:00:01,000 --> 00:00:03,000\n你好，這是一個中文字幕檔案。\n\n"
    "2\n00:00:04,000 --> 00:00:06,000\n我們今天去公園散步，天氣很好。\n\n"
    "3\n00:00:07,000 --> 00:00:09,000\n謝謝你的幫助，我們明天見。\n";

} // namespace

TEST(SubtitleEncoding, Utf16InEitherByteOrderWithOrWithoutAMark) {
    struct Case {
        const char* encoding;
        std::string mark;
    };
    const Case cases[] = {
        {"UTF-16LE", std::string("\xFF\xFE", 2)},
        {"UTF-16BE", std::string("\xFE\xFF", 2)},
        {"UTF-16LE", ""},
        {"UTF-16BE", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + (c.mark.empty() ? " without a mark" : " with its mark"));
        const std::string bytes = c.mark + Encode(kKoreanSrt, c.encoding);
        std::string named;
        const auto text = SubtitleBytesToUtf8(bytes, &named);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, kKoreanSrt);
        EXPECT_EQ(named, c.encoding);
    }
}

TEST(SubtitleEncoding, Utf8WithAMarkLosesTheMarkAndPlainUtf8StaysAsItIs) {
    std::string named;
    EXPECT_EQ(SubtitleBytesToUtf8("\xEF\xBB\xBF" + kKoreanSrt, &named), kKoreanSrt);
    EXPECT_EQ(named, "UTF-8");
    EXPECT_EQ(SubtitleBytesToUtf8(kKoreanSrt, &named), kKoreanSrt);
    EXPECT_EQ(named, "UTF-8");
}

TEST(SubtitleEncoding, KoreanAndChineseLegacyEncodingsAreFoundWithoutAHint) {
    struct Case {
        const std::string* text;
        const char* encoding;
    };
    const Case cases[] = {{&kKoreanSrt, "CP949"}, {&kSimplifiedSrt, "GB18030"}, {&kTraditionalSrt, "BIG5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        const std::string bytes = Encode(*c.text, c.encoding);
        ASSERT_NE(bytes, *c.text) << "stored as UTF-8: the case would prove nothing";
        const auto text = SubtitleBytesToUtf8(bytes);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, *c.text);
    }
}

TEST(SubtitleEncoding, AOneCueFileIsReadInTheUsersOwnLegacyEncoding) {
    struct Case {
        const char* locale;
        const char* encoding;
        const char* cue;
    };
    const Case cases[] = {
        {"zh_TW.UTF-8", "BIG5", "謝謝你的幫助"},
        {"zh_CN.UTF-8", "GB18030", "谢谢你的帮助"},
        {"ko_KR.UTF-8", "CP949", "도와줘서 고마워"},
    };
    const char* saved = std::getenv("LC_ALL");
    const std::string before = saved ? saved : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        ::setenv("LC_ALL", c.locale, 1);
        const std::string srt = std::string("1\n00:00:01,000 --> 00:00:03,000\n") + c.cue + "\n";
        std::string named;
        const auto text = SubtitleBytesToUtf8(Encode(srt, c.encoding), &named);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, srt);
        EXPECT_EQ(named, c.encoding);
    }
    if (saved)
        ::setenv("LC_ALL", before.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    // Text that is not valid in the user's encoding keeps the detector's answer.
    ::setenv("LC_ALL", "zh_TW.UTF-8", 1);
    const std::string latin = Encode("1\n00:00:01,000 --> 00:00:03,000\nCaf\xC3\xA9 cr\xC3\xA8me\n", "WINDOWS-1252");
    EXPECT_EQ(SubtitleBytesToUtf8(latin), "1\n00:00:01,000 --> 00:00:03,000\nCaf\xC3\xA9 cr\xC3\xA8me\n");
    if (saved)
        ::setenv("LC_ALL", before.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
}

TEST(SubtitleFileChoice, SeveralFilesBesideTheFilmAreTakenInTheirOrderOfPreference) {
    const zem::testclips::TempDir dir;
    const fs::path film = dir.path() / "film.mp4";
    std::ofstream(film) << "not read here";
    // Most preferred first; letter case of the ending does not matter. Files
    // of another name, and the film itself, are never taken.
    const std::vector<std::string> preferred{"film.SMI", "film.ass", "film.ssa", "film.Srt", "film.sub"};
    for (const char* name : {"films.smi", "other.smi", "film.mp4.srt", "film.txt"})
        std::ofstream(dir.path() / name) << "1\n";
    // Written least preferred first, so the folder's own order is no help.
    for (auto name = preferred.rbegin(); name != preferred.rend(); ++name)
        std::ofstream(dir.path() / *name) << "1\n";

    for (const std::string& name : preferred) {
        EXPECT_EQ(FindSubtitleFile(film.string()), (dir.path() / name).string());
        fs::remove(dir.path() / name);
    }
    EXPECT_EQ(FindSubtitleFile(film.string()), "");
}
