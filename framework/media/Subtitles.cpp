#include "Subtitles.h"

#include "GraphImpl.h"
#include "MediaTexts.h"
#include "SubtitleAss.h"
#include "SubtitleCaps.h"
#include "SubtitleCues.h"

#include <gio/gio.h>
#include <uchardet.h>

#include <QLocale>

#include "SystemLocale.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>

namespace zem::media {

namespace {

std::mutex g_optionsMutex;
SubtitleOptions g_options;

constexpr const char* kOverlayFont = "Sans";
// Text needs a few lines of the picture at least, whatever its size.
constexpr int kMinPixelSize = 8;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Where `word` (lower case) first stands in `text` in any letter case; no
// lower-case copy of a file of megabytes is made for it.
std::size_t FindNoCase(const std::string& text, std::string_view word) {
    const auto at = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return at == text.end() ? std::string::npos : std::size_t(at - text.begin());
}

constexpr const char* kStoppedWhilePrepared = kTextSubtitleStopped;

// The legacy multi-byte encoding of the user's language (Korean, Chinese),
// or nullptr for other languages.
const char* LocaleCjkEncoding() {
    const QLocale locale = zem::os::UserLocale();
    if (locale.language() == QLocale::Korean)
        return "CP949";
    if (locale.language() == QLocale::Chinese)
        return locale.script() == QLocale::TraditionalHanScript ? "BIG5" : "GB18030";
    return nullptr;
}

// The legacy encoding our users' subtitle files most likely have, from the
// language of the desktop, for text the detector cannot name.
const char* LocaleFallbackEncoding() {
    const char* cjk = LocaleCjkEncoding();
    return cjk ? cjk : "WINDOWS-1252";
}

// Whether the detector's answer is an encoding of several bytes a character.
bool IsMultiByte(const std::string& encoding) {
    const std::string lower = Lower(encoding);
    for (const char* family : {"utf", "gb", "big5", "cp949", "euc", "shift_jis", "iso-2022", "hz"}) {
        if (lower.rfind(family, 0) == 0)
            return true;
    }
    return false;
}

std::optional<std::string> Convert(const std::string& bytes, const char* from) {
    gsize written = 0;
    GError* error = nullptr;
    gchar* out = g_convert(bytes.data(), gssize(bytes.size()), "UTF-8", from, nullptr, &written, &error);
    if (!out) {
        if (error)
            g_error_free(error);
        return std::nullopt;
    }
    std::string text(out, written);
    g_free(out);
    // Some detected encodings pass bytes through that are no UTF-8 (a fuzzed
    // file showed it): such text is no text the readers after this may take.
    if (!g_utf8_validate(text.data(), gssize(text.size()), nullptr))
        return std::nullopt;
    return text;
}

// Text that is mostly control characters is not a subtitle file.
bool LooksLikeText(const std::string& utf8) {
    std::size_t control = 0;
    for (unsigned char c : utf8)
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t')
            ++control;
    return !utf8.empty() && control * 50 < utf8.size();
}

bool HasCues(const std::string& text, SubtitleText::Format format) {
    if (format == SubtitleText::Format::Ass)
        return FindNoCase(text, "dialogue:") != std::string::npos;
    return text.find("-->") != std::string::npos || FindNoCase(text, "<sync") != std::string::npos ||
           (text.find('{') != std::string::npos && text.find("}{") != std::string::npos);
}

// Runs the prepared text through subparse on its own, so a file it cannot
// read is left out with a warning instead of stopping the film later.
constexpr GstClockTime kSubparseCheckTimeout = 10 * GST_SECOND;
constexpr GstClockTime kSubparseCheckStep = 50 * GST_MSECOND;

bool SubparseReads(const std::string& utf8, std::string& why) {
    EnsureGstInitialised();
    GstRef<GstElement> pipeline = AdoptFloating(gst_pipeline_new(nullptr));
    GstElement* memory = MakeElement(GST_BIN(pipeline.get()), "giostreamsrc");
    GstElement* parse = MakeElement(GST_BIN(pipeline.get()), "subparse");
    GstElement* sink = MakeElement(GST_BIN(pipeline.get()), "fakesink");
    if (!memory || !parse || !sink) {
        why = "subparse is not installed";
        return false;
    }
    GBytes* bytes = g_bytes_new(utf8.data(), utf8.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    g_object_set(memory, "stream", stream, nullptr);
    g_object_unref(stream);
    g_bytes_unref(bytes);
    g_object_set(parse, "subtitle-encoding", "UTF-8", nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    if (!gst_element_link_many(memory, parse, sink, nullptr)) {
        why = "its text cannot be parsed";
        return false;
    }
    GstRef<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    // Waited for in short steps, so a stop asked for meanwhile is answered.
    MessageRef message;
    for (GstClockTime waited = 0; !message && waited < kSubparseCheckTimeout && !SubtitleStopAsked();
         waited += kSubparseCheckStep)
        message.reset(gst_bus_timed_pop_filtered(bus.get(), kSubparseCheckStep,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    bool read = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message.get(), &error, nullptr);
        why = std::string("its text cannot be parsed (") + (error ? error->message : "unknown error") + ")";
        if (error)
            g_error_free(error);
    } else if (!message) {
        why = SubtitleStopAsked() ? kStoppedWhilePrepared : "reading its text took too long";
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return read;
}

} // namespace

void SetSubtitleOptions(const SubtitleOptions& options) {
    std::lock_guard lock(g_optionsMutex);
    g_options = options;
}

SubtitleOptions CurrentSubtitleOptions() {
    std::lock_guard lock(g_optionsMutex);
    return g_options;
}

std::string FindSubtitleFile(const std::string& inputPath) {
    namespace fs = std::filesystem;
    const fs::path input(inputPath);
    const std::string stem = input.stem().string();
    std::error_code ec;
    std::vector<fs::path> candidates;
    for (const auto& entry : fs::directory_iterator(input.has_parent_path() ? input.parent_path() : ".", ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        const fs::path name = entry.path().filename();
        if (name.stem().string() == stem && name != input.filename())
            candidates.push_back(entry.path());
    }
    for (const char* ending : kSubtitleEndings) {
        for (const fs::path& candidate : candidates) {
            if (Lower(candidate.extension().string()) == ending)
                return candidate.string();
        }
    }
    return {};
}

std::optional<std::string> SubtitleBytesToUtf8(const std::string& bytes, std::string* encoding) {
    const auto say = [&](const char* name) {
        if (encoding)
            *encoding = name;
    };
    const auto starts = [&](std::initializer_list<unsigned char> mark) {
        return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin(),
                                                         [](unsigned char m, char b) { return m == (unsigned char)b; });
    };
    if (starts({0xEF, 0xBB, 0xBF})) {
        say("UTF-8");
        const std::string rest = bytes.substr(3);
        if (g_utf8_validate(rest.data(), gssize(rest.size()), nullptr))
            return rest;
        return std::nullopt;
    }
    if (starts({0xFF, 0xFE})) {
        say("UTF-16LE");
        return Convert(bytes.substr(2), "UTF-16LE");
    }
    if (starts({0xFE, 0xFF})) {
        say("UTF-16BE");
        return Convert(bytes.substr(2), "UTF-16BE");
    }
    // UTF-16 without a mark: every other byte of ASCII text is zero.
    if (bytes.size() >= 4 && bytes[0] != 0 && bytes[1] == 0 && bytes[3] == 0) {
        say("UTF-16LE");
        return Convert(bytes, "UTF-16LE");
    }
    if (bytes.size() >= 4 && bytes[0] == 0 && bytes[2] == 0 && bytes[1] != 0) {
        say("UTF-16BE");
        return Convert(bytes, "UTF-16BE");
    }
    if (g_utf8_validate(bytes.data(), gssize(bytes.size()), nullptr)) {
        say("UTF-8");
        return bytes;
    }
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(uchardet_new(),
                                                                                            &uchardet_delete);
    std::string detected;
    if (detector && uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) == 0) {
        uchardet_data_end(detector.get());
        detected = uchardet_get_charset(detector.get());
    }
    // The detector's names for our languages' encodings, as iconv knows them.
    if (detected == "UHC" || Lower(detected) == "euc-kr")
        detected = "CP949";
    if (Lower(detected) == "gb2312")
        detected = "GB18030";
    // A cue or two says too little for the detector, which then names a
    // single-byte encoding any bytes are valid in: text that is valid in the
    // user's own CJK encoding too is taken as that.
    if (const char* cjk = LocaleCjkEncoding(); cjk && !IsMultiByte(detected)) {
        if (auto text = Convert(bytes, cjk)) {
            say(cjk);
            return text;
        }
    }
    if (detected.empty() || Lower(detected) == "ascii" || Lower(detected) == "unknown")
        detected = LocaleFallbackEncoding();
    auto text = Convert(bytes, detected.c_str());
    if (!text) {
        detected = LocaleFallbackEncoding();
        text = Convert(bytes, detected.c_str());
    }
    if (text)
        say(detected.c_str());
    return text;
}

namespace {

// The next place of `word` in `text` at or after a position, for positions
// that only grow: each search starts where the last one ended, so all of them
// together read the text once (a SAMI file with no "</sync" at all would
// otherwise be read to its end for every tag).
class NextPlace {
public:
    NextPlace(const std::string& text, const char* word) : m_text(text), m_word(word) {}

    std::size_t From(std::size_t from) {
        // The last answer holds while it lies at or after `from` and its
        // search began at or before `from` (npos lies after every position).
        if (!m_valid || from < m_searchedFrom || m_found < from) {
            m_found = m_text.find(m_word, from);
            m_searchedFrom = from;
            m_valid = true;
        }
        return m_found;
    }

private:
    const std::string& m_text;
    std::string_view m_word;
    bool m_valid = false;
    std::size_t m_searchedFrom = 0;
    std::size_t m_found = std::string::npos;
};

} // namespace

std::string KeepFirstSamiClass(const std::string& sami) {
    const std::string lower = Lower(sami);
    NextPlace paragraph(lower, "<p"), sync(lower, "<sync"), syncEnd(lower, "</sync"), bodyEnd(lower, "</body"),
        tagEnd(lower, ">"), tagStart(lower, "<");
    // The class of a P element starting at `at` ("<p ..."), in lower case,
    // looked for inside its tag only (which a '<' ends too when its '>' is missing).
    const auto classOf = [&](std::size_t at) -> std::string {
        const std::size_t end = std::min({tagEnd.From(at), tagStart.From(at + 1), lower.size()});
        const std::string_view tag = std::string_view(lower).substr(at, end - at);
        const std::size_t attr = tag.find("class");
        if (attr == std::string_view::npos)
            return {};
        std::size_t p = tag.find('=', attr);
        if (p == std::string_view::npos)
            return {};
        ++p;
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '"' || tag[p] == '\''))
            ++p;
        std::size_t q = p;
        while (q < tag.size() && (std::isalnum((unsigned char)tag[q]) || tag[q] == '-' || tag[q] == '_'))
            ++q;
        return std::string(tag.substr(p, q - p));
    };
    const auto isParagraph = [&](std::size_t at) {
        return at + 2 < lower.size() && lower.compare(at, 2, "<p") == 0 &&
               (lower[at + 2] == ' ' || lower[at + 2] == '>' || lower[at + 2] == '\t');
    };
    // The next P element at or after `from`.
    const auto nextParagraph = [&](std::size_t from) {
        std::size_t at = paragraph.From(from);
        while (at != std::string::npos && !isParagraph(at))
            at = paragraph.From(at + 2);
        return at;
    };
    std::string first;
    for (std::size_t at = nextParagraph(0); at != std::string::npos; at = nextParagraph(at + 2)) {
        if (!(first = classOf(at)).empty())
            break;
    }
    if (first.empty())
        return sami;
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = nextParagraph(0), count = 0; at != std::string::npos; ++count) {
        if (count % kStopCheckLines == 0 && SubtitleStopAsked())
            return sami;
        // A P element runs to the next P or SYNC, or to the end of the body.
        const std::size_t end =
            std::min({nextParagraph(at + 2), sync.From(at + 2), syncEnd.From(at + 2), bodyEnd.From(at + 2)});
        const std::string cls = classOf(at);
        if (!cls.empty() && cls != first) {
            out.append(sami, copied, at - copied);
            copied = end == std::string::npos ? sami.size() : end;
        }
        at = end == std::string::npos ? std::string::npos : nextParagraph(end);
    }
    out.append(sami, copied, std::string::npos);
    return out;
}

std::optional<SubtitleText> LoadSubtitleFile(const std::string& path, UserText& warning) {
    std::error_code ec;
    // A FIFO or a device would hold the read (or never end it).
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        warning = UserText(kTextSubtitlesNotShown)
                      .With("file", path)
                      .With("why", UserText(kTextSubtitleNotRegular).With("file", path));
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        warning = UserText(kTextSubtitlesNotShown).With("file", path).With("why", ec.message());
        return std::nullopt;
    }
    if (size > kMaxSubtitleBytes) {
        warning = UserText(kTextSubtitlesNotShown)
                      .With("file", path)
                      .With("why", UserText(kTextSubtitleTooLarge).With("size", std::to_string(size >> 20)));
        return std::nullopt;
    }
    std::string encoding;
    std::optional<std::string> utf8;
    {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            warning =
                UserText(kTextSubtitlesNotShown).With("file", path).With("why", UserText(kTextSubtitleUnreadable));
            return std::nullopt;
        }
        utf8 = SubtitleBytesToUtf8(bytes, &encoding);
    }
    if (!utf8 || !LooksLikeText(*utf8)) {
        warning = UserText(kTextSubtitlesNotShown).With("file", path).With("why", UserText(kTextSubtitleEncoding));
        return std::nullopt;
    }
    const UserText stopped =
        UserText(kTextSubtitlesNotShown).With("file", path).With("why", UserText(kTextSubtitleStopped));
    if (SubtitleStopAsked()) {
        warning = stopped;
        return std::nullopt;
    }
    SubtitleText text;
    text.path = path;
    text.utf8 = std::move(*utf8);
    utf8.reset();
    const std::string ending = Lower(std::filesystem::path(path).extension().string());
    text.format = (ending == ".ass" || ending == ".ssa" || FindNoCase(text.utf8, "[script info]") != std::string::npos)
                      ? SubtitleText::Format::Ass
                      : SubtitleText::Format::Parsed;
    if (!HasCues(text.utf8, text.format)) {
        warning = UserText(kTextSubtitlesNotShown).With("file", path).With("why", UserText(kTextSubtitleNoTimedLine));
        return std::nullopt;
    }
    const std::size_t sami =
        text.format == SubtitleText::Format::Parsed ? FindNoCase(text.utf8, "<sami") : std::string::npos;
    if (sami != std::string::npos) {
        // subparse takes a text for SAMI only when nothing before says
        // otherwise: text in front of the document (a MicroDVD-like line,
        // say) would send it to another of its readers.
        text.utf8 = KeepFirstSamiClass(text.utf8.substr(sami));
    } else if (text.format == SubtitleText::Format::Parsed) {
        // SubRip, WebVTT and MicroDVD as people write them (times without
        // hours, before zero, numbers left out) reach subparse as plain SubRip
        // of our own: one bad time there would stop the film, and some
        // hostile files crash its own readers. Only SAMI goes to it as it came.
        const std::vector<TimedCue> cues =
            LooksLikeSubRipOrWebVtt(text.utf8) ? ReadTimedCues(text.utf8) : ReadMicroDvdCues(text.utf8);
        if (SubtitleStopAsked()) {
            warning = stopped;
            return std::nullopt;
        }
        if (cues.empty()) {
            warning =
                UserText(kTextSubtitlesNotShown).With("file", path).With("why", UserText(kTextSubtitleNoTimedLine));
            return std::nullopt;
        }
        text.utf8 = WriteSubRip(cues);
    }
    if (SubtitleStopAsked()) {
        warning = stopped;
        return std::nullopt;
    }
    // Bounded before any parser reads it: deep nesting takes subparse and the
    // renderers time out of all proportion to the text.
    const std::string capped = CapSubtitleEvents(text.utf8, text.format == SubtitleText::Format::Ass);
    std::string why;
    if (text.format == SubtitleText::Format::Parsed && !SubparseReads(text.utf8, why)) {
        warning = UserText(kTextSubtitlesNotShown)
                      .With("file", path)
                      .With("why", why == kStoppedWhilePrepared ? UserText(kTextSubtitleStopped) : UserText(why));
        return std::nullopt;
    }
    if (SubtitleStopAsked()) {
        warning = stopped;
        return std::nullopt;
    }
    if (!capped.empty())
        warning = UserText(kTextSubtitlesCut).With("file", path).With("why", capped);
    return text;
}

std::string SubtitleEndingsText() {
    std::string text;
    for (const char* ending : kSubtitleEndings)
        text += (text.empty() ? "" : ", ") + std::string(ending);
    return text;
}

int SubtitlePixelSize(int fontHeight, int pictureHeight) {
    const int height = pictureHeight > 0 ? pictureHeight : kSubtitleReferenceLines;
    return std::max(kMinPixelSize, int(std::lround(std::abs(fontHeight) * double(height) / kSubtitleReferenceLines)));
}

GstElement* MakeSubtitleOverlay(GstBin* bin, const SubtitleText* text, int pictureHeight, int fontHeight,
                                UserText& warning) {
    const bool ass = text && text->format == SubtitleText::Format::Ass;
    GstElement* overlay = MakeElement(bin, ass ? "assrender" : "textoverlay");
    if (!overlay) {
        warning = UserText(kTextSubtitleNoElement).With("element", ass ? "assrender" : "textoverlay");
        return nullptr;
    }
    if (!ass) {
        const std::string font =
            std::string(kOverlayFont) + " " + std::to_string(SubtitlePixelSize(fontHeight, pictureHeight)) + "px";
        // The size follows the picture's height only; long lines wrap.
        g_object_set(overlay, "auto-resize", FALSE, "font-desc", font.c_str(), nullptr);
    }
    if (!text)
        return overlay;

    GstElement* source = nullptr;
    if (ass) {
        source = MakeAssBranch(bin, *text, warning);
    } else {
        // The prepared text is read from memory; subparse seeks it as a file.
        GstElement* memory = MakeElement(bin, "giostreamsrc");
        GstElement* parse = MakeElement(bin, "subparse");
        if (memory && parse) {
            GBytes* bytes = g_bytes_new(text->utf8.data(), text->utf8.size());
            GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
            g_object_set(memory, "stream", stream, nullptr);
            g_object_unref(stream);
            g_bytes_unref(bytes);
            g_object_set(parse, "subtitle-encoding", "UTF-8", nullptr);
            if (gst_element_link(memory, parse))
                source = parse;
        }
    }
    if (!source) {
        if (warning.empty())
            warning = UserText(kTextSubtitlesNotShown)
                          .With("file", text->path)
                          .With("why", UserText(kTextSubtitleNoSubparse));
        return overlay;
    }
    GstRef<GstPad> from(gst_element_get_static_pad(source, "src"));
    GstRef<GstPad> to(gst_element_get_static_pad(overlay, "text_sink"));
    if (gst_pad_link(from.get(), to.get()) != GST_PAD_LINK_OK)
        warning =
            UserText(kTextSubtitlesNotShown).With("file", text->path).With("why", UserText(kTextSubtitleNotJoined));
    return overlay;
}

} // namespace zem::media
