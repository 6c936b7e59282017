#include "SubtitleAss.h"

#include "GraphImpl.h"
#include "MediaTexts.h"
#include "SubtitleCues.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <sstream>

namespace zem::media {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

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

// Leaves out the events that would be shown while kMaxAssEventsAtOnce others
// are (`events` in time order); returns how many. Every event shown costs
// drawing time and memory in each picture it covers: thousands at once (each
// blurred, say) make the pictures wait longer than the conversion does.
std::size_t KeepEventsAtOnce(std::vector<AssEvent>& events) {
    std::priority_queue<GstClockTime, std::vector<GstClockTime>, std::greater<>> ends; // of those shown
    std::size_t kept = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        while (!ends.empty() && ends.top() <= events[i].start)
            ends.pop();
        if (ends.size() >= kMaxAssEventsAtOnce)
            continue;
        ends.push(events[i].start + events[i].duration);
        if (kept != i)
            events[kept] = std::move(events[i]);
        ++kept;
    }
    const std::size_t left = events.size() - kept;
    events.resize(kept);
    return left;
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

} // namespace

GstElement* MakeAssBranch(GstBin* bin, const SubtitleText& text, UserText& warning) {
    std::string header;
    std::vector<AssEvent> events;
    if (!SplitAssScript(text.utf8, header, events)) {
        warning =
            UserText(kTextSubtitlesNotShown).With("file", text.path).With("why", UserText(kTextSubtitleNoDialogue));
        return nullptr;
    }
    if (const std::size_t left = KeepEventsAtOnce(events); left > 0)
        warning = UserText(kTextSubtitlesCut)
                      .With("file", text.path)
                      .With("why", UserText(kTextSubtitleEventsLeftOut)
                                       .With("count", std::to_string(left))
                                       .With("limit", std::to_string(kMaxAssEventsAtOnce)));
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

} // namespace zem::media
