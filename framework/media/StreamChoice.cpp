#include "StreamChoice.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace zem::media {

namespace {

// Caps of streams that are pictures to the discoverer but no film: DVD and
// Blu-ray subpictures, cover art.
bool IsSubpicture(const GstCaps* caps) {
    if (!caps || gst_caps_is_empty(caps))
        return false;
    const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    return g_str_has_prefix(name, "subpicture/") || std::strcmp(name, "video/x-dvd-subpicture") == 0;
}

bool IsRaw(const GstCaps* caps) {
    if (!caps || gst_caps_is_empty(caps))
        return false;
    const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    return std::strcmp(name, "video/x-raw") == 0 || std::strcmp(name, "audio/x-raw") == 0;
}

std::string OrientationOf(GstDiscovererStreamInfo* stream) {
    const GstTagList* tags = gst_discoverer_stream_info_get_tags(stream);
    gchar* value = nullptr;
    if (!tags || !gst_tag_list_get_string(tags, GST_TAG_IMAGE_ORIENTATION, &value))
        return {};
    std::string orientation = value ? value : "";
    g_free(value);
    return orientation == "rotate-0" ? std::string() : orientation;
}

} // namespace

bool HasDecoderFor(const GstCaps* caps) {
    if (!caps || gst_caps_is_empty(caps))
        return false;
    if (IsRaw(caps))
        return true;
    GList* decoders = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, GST_RANK_MARGINAL);
    GList* takers = gst_element_factory_list_filter(decoders, caps, GST_PAD_SINK, FALSE);
    const bool found = takers != nullptr;
    gst_plugin_feature_list_free(takers);
    gst_plugin_feature_list_free(decoders);
    return found;
}

bool OrientationTurnsQuarter(const std::string& orientation) {
    return orientation.ends_with("-90") || orientation.ends_with("-270");
}

std::string CodecName(const GstCaps* caps) {
    if (!caps || gst_caps_is_empty(caps))
        return "an unknown codec";
    GCharRef description(gst_pb_utils_get_codec_description(caps));
    if (description)
        return description.get();
    return gst_structure_get_name(gst_caps_get_structure(caps, 0));
}

bool IsIsoMedia(GstDiscovererInfo* info) {
    GstRef<GstDiscovererStreamInfo> top(gst_discoverer_info_get_stream_info(info));
    if (!top)
        return false;
    CapsRef caps(gst_discoverer_stream_info_get_caps(top.get()));
    return caps && !gst_caps_is_empty(caps.get()) &&
           gst_structure_has_name(gst_caps_get_structure(caps.get(), 0), "video/quicktime");
}

StreamChoice ChooseStreams(GstDiscovererInfo* info) {
    StreamChoice choice;
    GList* videos = gst_discoverer_info_get_video_streams(info);
    for (GList* l = videos; l; l = l->next) {
        auto* stream = GST_DISCOVERER_STREAM_INFO(l->data);
        auto* v = GST_DISCOVERER_VIDEO_INFO(l->data);
        CapsRef caps(gst_discoverer_stream_info_get_caps(stream));
        // Demuxers may announce a stream twice, once before its format is known.
        if (gst_discoverer_video_info_is_image(v) || gst_discoverer_video_info_get_width(v) == 0 ||
            IsSubpicture(caps.get()))
            continue;
        if (!HasDecoderFor(caps.get())) {
            choice.undecodedVideo.push_back(CodecName(caps.get()));
            continue;
        }
        MediaFormat format;
        format.major = MEDIATYPE_Video;
        format.subtype = MEDIASUBTYPE_RAW;
        format.width = static_cast<int>(gst_discoverer_video_info_get_width(v));
        format.height = static_cast<int>(gst_discoverer_video_info_get_height(v));
        const guint den = gst_discoverer_video_info_get_framerate_denom(v);
        if (den)
            format.fps = static_cast<double>(gst_discoverer_video_info_get_framerate_num(v)) / den;
        if (gst_discoverer_video_info_get_par_num(v) > 0 && gst_discoverer_video_info_get_par_denom(v) > 0) {
            format.pixelAspectN = static_cast<int>(gst_discoverer_video_info_get_par_num(v));
            format.pixelAspectD = static_cast<int>(gst_discoverer_video_info_get_par_denom(v));
        }
        if (choice.videos.empty()) {
            choice.orientation = OrientationOf(stream);
            if (OrientationTurnsQuarter(choice.orientation)) {
                // Shown turned: its sides and its pixels' sides swap.
                std::swap(format.width, format.height);
                std::swap(format.pixelAspectN, format.pixelAspectD);
            }
        }
        choice.videos.push_back(format);
    }
    gst_discoverer_stream_info_list_free(videos);

    GList* audios = gst_discoverer_info_get_audio_streams(info);
    for (GList* l = audios; l; l = l->next) {
        auto* a = GST_DISCOVERER_AUDIO_INFO(l->data);
        if (gst_discoverer_audio_info_get_sample_rate(a) == 0)
            continue;
        CapsRef caps(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(l->data)));
        if (!HasDecoderFor(caps.get())) {
            choice.undecodedAudio.push_back(CodecName(caps.get()));
            continue;
        }
        MediaFormat format;
        format.major = MEDIATYPE_Audio;
        format.subtype = MEDIASUBTYPE_PCM;
        format.sampleRate = static_cast<int>(gst_discoverer_audio_info_get_sample_rate(a));
        format.channels = static_cast<int>(gst_discoverer_audio_info_get_channels(a));
        choice.audios.push_back(format);
    }
    gst_discoverer_stream_info_list_free(audios);

    GList* texts = gst_discoverer_info_get_subtitle_streams(info);
    for (GList* l = texts; l; l = l->next) {
        CapsRef caps(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(l->data)));
        const bool unknown = caps && !gst_caps_is_empty(caps.get()) &&
                             gst_structure_has_name(gst_caps_get_structure(caps.get(), 0), kUnknownTextCaps);
        choice.hasUnknownText = choice.hasUnknownText || unknown;
        choice.hasText = choice.hasText || (!unknown && !IsSubpicture(caps.get()));
    }
    gst_discoverer_stream_info_list_free(texts);

    // Some demuxers leave such a track out of the streams; the discoverer
    // names it among the plug-ins it misses then ("...|decoder-CAPS").
    const gchar** missing = gst_discoverer_info_get_missing_elements_installer_details(info);
    const std::string wanted = std::string("decoder-") + kUnknownTextCaps;
    for (const gchar** detail = missing; detail && *detail; ++detail)
        choice.hasUnknownText = choice.hasUnknownText || std::string(*detail).ends_with(wanted);
    return choice;
}

} // namespace zem::media

namespace zem::media {

namespace {

// Up to this long for a damaged file to show its streams.
constexpr GstClockTime kProbeTimeout = 10 * GST_SECOND;
constexpr GstClockTime kAfterErrorWait = 5 * GST_SECOND;
constexpr GstClockTime kProbePoll = 50 * GST_MSECOND;
constexpr GstClockTime kNoPadWait = 1 * GST_SECOND;
constexpr GstClockTime kQuietAfterPad = 300 * GST_MSECOND;

struct ProbeState {
    std::mutex mutex; // pads are added on streaming threads
    GstElement* pipeline = nullptr;
    StreamChoice choice;
    std::atomic<bool> allPads{false};   // the decoder said no more pads will come
    std::atomic<gint64> lastPadAtUs{0}; // monotonic time of the newest pad
    gint64 errorAtUs = 0;               // of the first error (the probing thread's)
};

// After an error: no pad for a while (the file plays nothing), or none new
// for a shorter while after the last (its streams are all there).
bool SettledAfterError(const ProbeState& state) {
    const gint64 now = g_get_monotonic_time();
    const gint64 lastPad = state.lastPadAtUs.load();
    if (lastPad == 0)
        return now - state.errorAtUs > gint64(kNoPadWait / GST_USECOND);
    return now - std::max(lastPad, state.errorAtUs) > gint64(kQuietAfterPad / GST_USECOND);
}

void OnProbeNoMorePads(GstElement*, gpointer data) {
    static_cast<ProbeState*>(data)->allPads.store(true);
}

void OnProbePad(GstElement*, GstPad* pad, gpointer data) {
    auto* state = static_cast<ProbeState*>(data);
    CapsRef caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()))
        return;
    const GstStructure* s = gst_caps_get_structure(caps.get(), 0);
    MediaFormat format;
    if (gst_structure_has_name(s, "video/x-raw")) {
        format.major = MEDIATYPE_Video;
        format.subtype = MEDIASUBTYPE_RAW;
        gst_structure_get_int(s, "width", &format.width);
        gst_structure_get_int(s, "height", &format.height);
        int num = 0, den = 0;
        if (gst_structure_get_fraction(s, "framerate", &num, &den) && den > 0)
            format.fps = double(num) / den;
        if (gst_structure_get_fraction(s, "pixel-aspect-ratio", &num, &den) && num > 0 && den > 0) {
            format.pixelAspectN = num;
            format.pixelAspectD = den;
        }
    } else if (gst_structure_has_name(s, "audio/x-raw")) {
        format.major = MEDIATYPE_Audio;
        format.subtype = MEDIASUBTYPE_PCM;
        gst_structure_get_int(s, "rate", &format.sampleRate);
        gst_structure_get_int(s, "channels", &format.channels);
    }
    std::lock_guard lock(state->mutex);
    state->lastPadAtUs.store(g_get_monotonic_time());
    if (format.major == MEDIATYPE_Video)
        state->choice.videos.push_back(format);
    else if (format.major == MEDIATYPE_Audio)
        state->choice.audios.push_back(format);
    // Every stream flows into a sink of its own, so the file can preroll.
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink)
        return;
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(state->pipeline), sink);
    GstRef<GstPad> sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
    gst_element_sync_state_with_parent(sink);
}

} // namespace

PlayedStreams ProbeByPlaying(const std::string& uri) {
    PlayedStreams played;
    ProbeState state;
    GstRef<GstElement> pipeline = AdoptFloating(gst_pipeline_new(nullptr));
    GstElement* decode = pipeline ? gst_element_factory_make("uridecodebin", nullptr) : nullptr;
    if (!decode)
        return played;
    state.pipeline = pipeline.get();
    g_object_set(decode, "uri", uri.c_str(), nullptr);
    gst_bin_add(GST_BIN(pipeline.get()), decode);
    g_signal_connect(decode, "pad-added", G_CALLBACK(&OnProbePad), &state);
    g_signal_connect(decode, "no-more-pads", G_CALLBACK(&OnProbeNoMorePads), &state);
    GstRef<GstBus> bus(gst_element_get_bus(pipeline.get()));
    if (gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
        gint64 deadline = g_get_monotonic_time() + gint64(kProbeTimeout / GST_USECOND);
        for (;;) {
            const gint64 left = deadline - g_get_monotonic_time();
            if (left <= 0 || (!played.damage.empty() && (state.allPads.load() || SettledAfterError(state))))
                break;
            MessageRef message(
                gst_bus_timed_pop_filtered(bus.get(), std::min(GstClockTime(left) * GST_USECOND, kProbePoll),
                                           static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR)));
            if (!message)
                continue;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ASYNC_DONE)
                break;
            GError* error = nullptr;
            gst_message_parse_error(message.get(), &error, nullptr);
            if (played.damage.empty() && error)
                played.damage = error->message;
            if (error)
                g_error_free(error);
            // A damaged file that plays on shows all its streams soon after
            // the error, though it may never finish prerolling.
            state.errorAtUs = g_get_monotonic_time();
            deadline = std::min(deadline, state.errorAtUs + gint64(kAfterErrorWait / GST_USECOND));
        }
        // An error may come after the preroll it did not stop.
        while (played.damage.empty()) {
            MessageRef late(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
            if (!late)
                break;
            GError* error = nullptr;
            gst_message_parse_error(late.get(), &error, nullptr);
            if (error) {
                played.damage = error->message;
                g_error_free(error);
            }
        }
        gint64 duration = 0;
        if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) && duration > 0)
            played.durationNs = duration;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    // No pad is added once the pipeline is down.
    g_signal_handlers_disconnect_by_data(decode, &state);
    std::lock_guard lock(state.mutex);
    played.choice = state.choice;
    return played;
}

} // namespace zem::media
