#include "Subtitles.h"

#include "GraphImpl.h"
#include "SubtitleCaps.h"
#include "SubtitleCues.h"

#include <gio/gio.h>
#include <gst/app/gstappsrc.h>
#include <uchardet.h>

#include <QLocale>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace zem::media {

namespace {

std::mutex g_optionsMutex;
SubtitleOptions g_options;

// Preferred first: SAMI is what most of our users keep beside their films.
constexpr std::array<const char*, 6> kSubtitleEndings{".smi", ".ass", ".ssa", ".srt", ".sub", ".vtt"};
constexpr const char* kOverlayFont = "Sans";
// Text needs a few lines of the picture at least, whatever its size.
constexpr int kMinPixelSize = 8;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The legacy encoding our users' subtitle files most likely have, from the
// language of the desktop, for text the detector cannot name.
const char* LocaleFallbackEncoding() {
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::Korean)
        return "CP949";
    if (locale.language() == QLocale::Chinese)
        return locale.script() == QLocale::TraditionalChineseScript ? "BIG5" : "GB18030";
    return "WINDOWS-1252";
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

bool HasCues(const std::string& lower, SubtitleText::Format format) {
    if (format == SubtitleText::Format::Ass)
        return lower.find("dialogue:") != std::string::npos;
    return lower.find("-->") != std::string::npos || lower.find("<sync") != std::string::npos ||
           (lower.find('{') != std::string::npos && lower.find("}{") != std::string::npos);
}

// ---- ASS / SSA events for assrender

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

struct AssEvent {
    GstClockTime start;
    GstClockTime duration;
    std::string chunk; // "ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text"
};

// The script's header (with the events' Format line in the full layout) and
// its Dialogue lines, read by the file's own Format line, as the events a
// Matroska ASS track carries.
bool SplitAssScript(const std::string& script, std::string& header, std::vector<AssEvent>& events) {
    std::istringstream in(script);
    std::string line;
    bool inEvents = false;
    bool formatWritten = false;
    std::vector<std::string> format;
    int order = 0;
    while (std::getline(in, line)) {
        const std::string trimmed = Trim(line);
        const std::string lower = Lower(trimmed);
        if (!lower.empty() && lower[0] == '[') {
            inEvents = lower == "[events]";
            header += line + "\n";
            continue;
        }
        if (inEvents && lower.rfind("format:", 0) == 0) {
            format = ReadAssFormat(trimmed.substr(7));
            if (!formatWritten)
                header += std::string(kAssFullEventFormat) + "\n";
            formatWritten = true;
            continue;
        }
        if (inEvents && lower.rfind("dialogue:", 0) == 0) {
            AssDialogue dialogue;
            if (!ReadAssDialogue(format, Trim(line).substr(9), dialogue))
                continue;
            events.push_back({GstClockTime(dialogue.startMs) * GST_MSECOND,
                              GstClockTime(dialogue.endMs - dialogue.startMs) * GST_MSECOND,
                              std::to_string(order++) + "," + dialogue.fields});
            continue;
        }
        if (!inEvents)
            header += line + "\n";
    }
    if (!formatWritten)
        header += "[Events]\n" + std::string(kAssFullEventFormat) + "\n";
    std::stable_sort(events.begin(), events.end(),
                     [](const AssEvent& a, const AssEvent& b) { return a.start < b.start; });
    return !events.empty();
}

// Runs the prepared text through subparse on its own, so a file it cannot
// read is left out with a warning instead of stopping the film later.
constexpr GstClockTime kSubparseCheckTimeout = 10 * GST_SECOND;

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
    MessageRef message(gst_bus_timed_pop_filtered(bus.get(), kSubparseCheckTimeout,
                                                  static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    bool read = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message.get(), &error, nullptr);
        why = std::string("its text cannot be parsed (") + (error ? error->message : "unknown error") + ")";
        if (error)
            g_error_free(error);
    } else if (!message) {
        why = "reading its text took too long";
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return read;
}

// Feeds the events to assrender in time order, again from the sought time
// after every seek (assrender forgets its events on a flush).
class AssFeeder {
public:
    explicit AssFeeder(std::vector<AssEvent> events) : m_events(std::move(events)) {}

    static void NeedData(GstAppSrc* src, guint, gpointer self) {
        auto* feeder = static_cast<AssFeeder*>(self);
        std::lock_guard lock(feeder->m_mutex);
        if (feeder->m_next >= feeder->m_events.size()) {
            gst_app_src_end_of_stream(src);
            return;
        }
        const AssEvent& event = feeder->m_events[feeder->m_next++];
        GstBuffer* buffer = gst_buffer_new_memdup(event.chunk.data(), event.chunk.size());
        GST_BUFFER_PTS(buffer) = event.start;
        GST_BUFFER_DURATION(buffer) = event.duration;
        gst_app_src_push_buffer(src, buffer);
    }

    static gboolean SeekData(GstAppSrc*, guint64 position, gpointer self) {
        auto* feeder = static_cast<AssFeeder*>(self);
        std::lock_guard lock(feeder->m_mutex);
        feeder->m_next = 0;
        while (feeder->m_next < feeder->m_events.size() &&
               feeder->m_events[feeder->m_next].start + feeder->m_events[feeder->m_next].duration <= position)
            ++feeder->m_next;
        return TRUE;
    }

    static void Destroy(gpointer self) { delete static_cast<AssFeeder*>(self); }

private:
    std::mutex m_mutex;
    std::vector<AssEvent> m_events;
    std::size_t m_next = 0;
};

GstElement* MakeAssBranch(GstBin* bin, const SubtitleText& text, std::string& warning) {
    std::string header;
    std::vector<AssEvent> events;
    if (!SplitAssScript(text.utf8, header, events)) {
        warning = "Subtitles of " + text.path + " not shown: no dialogue line could be read";
        return nullptr;
    }
    GstElement* source = MakeElement(bin, "appsrc");
    if (!source)
        return nullptr;
    GstBuffer* codecData = gst_buffer_new_memdup(header.data(), header.size());
    CapsRef caps(gst_caps_new_simple("application/x-ass", "codec_data", GST_TYPE_BUFFER, codecData, nullptr));
    gst_buffer_unref(codecData);
    g_object_set(source, "caps", caps.get(), "format", GST_FORMAT_TIME, "stream-type", GST_APP_STREAM_TYPE_SEEKABLE,
                 nullptr);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &AssFeeder::NeedData;
    callbacks.seek_data = &AssFeeder::SeekData;
    // The callbacks' data lives as long as the element: appsrc frees it.
    gst_app_src_set_callbacks(GST_APP_SRC(source), &callbacks, std::make_unique<AssFeeder>(std::move(events)).release(),
                              &AssFeeder::Destroy);
    return source;
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

std::string KeepFirstSamiClass(const std::string& sami) {
    const std::string lower = Lower(sami);
    // The class of a P element starting at `at` ("<p ..."), in lower case.
    const auto classOf = [&](std::size_t at) -> std::string {
        const std::size_t end = lower.find('>', at);
        const std::size_t attr = lower.find("class", at);
        if (attr == std::string::npos || attr > end)
            return {};
        std::size_t p = lower.find('=', attr);
        if (p == std::string::npos || p > end)
            return {};
        ++p;
        while (p < end && (lower[p] == ' ' || lower[p] == '"' || lower[p] == '\''))
            ++p;
        std::size_t q = p;
        while (q < end && (std::isalnum((unsigned char)lower[q]) || lower[q] == '-' || lower[q] == '_'))
            ++q;
        return lower.substr(p, q - p);
    };
    const auto isParagraph = [&](std::size_t at) {
        return at + 2 < lower.size() && lower.compare(at, 2, "<p") == 0 &&
               (lower[at + 2] == ' ' || lower[at + 2] == '>' || lower[at + 2] == '\t');
    };
    std::string first;
    for (std::size_t at = lower.find("<p"); at != std::string::npos; at = lower.find("<p", at + 2)) {
        if (isParagraph(at) && !(first = classOf(at)).empty())
            break;
    }
    if (first.empty())
        return sami;
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = lower.find("<p"); at != std::string::npos;) {
        if (!isParagraph(at)) {
            at = lower.find("<p", at + 2);
            continue;
        }
        // A P element runs to the next P or SYNC, or to the end of the body.
        std::size_t end = std::min({lower.find("<p", at + 2), lower.find("<sync", at + 2), lower.find("</sync", at + 2),
                                    lower.find("</body", at + 2)});
        while (end != std::string::npos && lower.compare(end, 2, "<p") == 0 && !isParagraph(end))
            end = std::min({lower.find("<p", end + 2), lower.find("<sync", end + 2), lower.find("</body", end + 2)});
        const std::string cls = classOf(at);
        if (!cls.empty() && cls != first) {
            out.append(sami, copied, at - copied);
            copied = end == std::string::npos ? sami.size() : end;
        }
        at = end == std::string::npos ? std::string::npos : lower.find("<p", end);
        if (end != std::string::npos && lower.compare(end, 2, "<p") == 0)
            at = end;
    }
    out.append(sami, copied, std::string::npos);
    return out;
}

std::optional<SubtitleText> LoadSubtitleFile(const std::string& path, std::string& warning) {
    std::error_code ec;
    // A FIFO or a device would hold the read (or never end it).
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        warning = "Subtitles of " + path + " not shown: " + path + " is not a regular file";
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        warning = "Subtitles of " + path + " not shown: " + ec.message();
        return std::nullopt;
    }
    if (size > kMaxSubtitleBytes) {
        warning = "Subtitles of " + path + " not shown: the file is too large (" + std::to_string(size >> 20) +
                  " MB) to be subtitles";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        warning = "Subtitles of " + path + " not shown: the file cannot be read";
        return std::nullopt;
    }
    std::string encoding;
    const auto utf8 = SubtitleBytesToUtf8(bytes, &encoding);
    if (!utf8 || !LooksLikeText(*utf8)) {
        warning = "Subtitles of " + path + " not shown: the file is not text in an encoding the converter knows";
        return std::nullopt;
    }
    SubtitleText text;
    text.path = path;
    const std::string lower = Lower(*utf8);
    const std::string ending = Lower(std::filesystem::path(path).extension().string());
    text.format = (ending == ".ass" || ending == ".ssa" || lower.find("[script info]") != std::string::npos)
                      ? SubtitleText::Format::Ass
                      : SubtitleText::Format::Parsed;
    if (!HasCues(lower, text.format)) {
        warning = "Subtitles of " + path + " not shown: no timed line could be read";
        return std::nullopt;
    }
    text.utf8 = *utf8;
    if (const auto sami = lower.find("<sami"); sami != std::string::npos) {
        // subparse takes a text for SAMI only when nothing before says
        // otherwise: text in front of the document (a MicroDVD-like line,
        // say) would send it to another of its readers.
        text.utf8 = KeepFirstSamiClass(text.utf8.substr(sami));
    }
    // SubRip, WebVTT and MicroDVD as people write them (times without hours,
    // before zero, numbers left out) reach subparse as plain SubRip of our
    // own: one bad time there would stop the film, and some hostile files
    // crash its own readers. Only SAMI goes to it as it came.
    if (text.format == SubtitleText::Format::Parsed && lower.find("<sami") == std::string::npos) {
        const std::vector<TimedCue> cues =
            LooksLikeSubRipOrWebVtt(text.utf8) ? ReadTimedCues(text.utf8) : ReadMicroDvdCues(text.utf8);
        if (cues.empty()) {
            warning = "Subtitles of " + path + " not shown: no timed line could be read";
            return std::nullopt;
        }
        text.utf8 = WriteSubRip(cues);
    }
    std::string why;
    if (text.format == SubtitleText::Format::Parsed && !SubparseReads(text.utf8, why)) {
        warning = "Subtitles of " + path + " not shown: " + why;
        return std::nullopt;
    }
    const std::string capped = CapSubtitleEvents(text.utf8, text.format == SubtitleText::Format::Ass);
    if (!capped.empty())
        warning = "Subtitles of " + path + ": " + capped;
    return text;
}

int SubtitlePixelSize(int fontHeight, int pictureHeight) {
    const int height = pictureHeight > 0 ? pictureHeight : kSubtitleReferenceLines;
    return std::max(kMinPixelSize, int(std::lround(std::abs(fontHeight) * double(height) / kSubtitleReferenceLines)));
}

GstElement* MakeSubtitleOverlay(GstBin* bin, const SubtitleText* text, int pictureHeight, int fontHeight,
                                std::string& warning) {
    const bool ass = text && text->format == SubtitleText::Format::Ass;
    GstElement* overlay = MakeElement(bin, ass ? "assrender" : "textoverlay");
    if (!overlay) {
        warning = std::string("Subtitles not shown: the GStreamer element ") + (ass ? "assrender" : "textoverlay") +
                  " is not installed";
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
            warning = "Subtitles of " + text->path + " not shown: subparse is not installed";
        return overlay;
    }
    GstRef<GstPad> from(gst_element_get_static_pad(source, "src"));
    GstRef<GstPad> to(gst_element_get_static_pad(overlay, "text_sink"));
    if (gst_pad_link(from.get(), to.get()) != GST_PAD_LINK_OK)
        warning = "Subtitles of " + text->path + " not shown: the text could not be joined to the pictures";
    return overlay;
}

} // namespace zem::media
