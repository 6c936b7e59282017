#include "SourceFilter.h"

#include "MediaTexts.h"
#include "SoundTrim.h"
#include "SourceRefusals.h"
#include "StreamChoice.h"
#include "SubtitleCues.h"

#include <gst/audio/audio.h>
#include <gst/pbutils/pbutils.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zem::media {

namespace {

// The MPEG-1/2 decoder a render takes while the MPEG-2 decoder filter is in the
// graph: libav's, which decodes on frame threads (mpeg2dec has one thread).
constexpr const char* kPreferredMpegDecoder = "avdec_mpeg2video";

// The discoverer decodes a film's first pictures only to learn their form. On
// one thread libav hands the first picture out at once; frame threads (its
// default, one a core and one more) decode several before it, at 4K about half
// a second of CPU.
void DecodeOnOneThread(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || !g_str_has_prefix(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "avdec_"))
        return;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads"))
        g_object_set(element, "max-threads", 1, nullptr);
}

// The source is the first element of the discoverer's decoding bin: the
// decoders it plugs next are watched from there.
void OnDiscovererSource(GstDiscoverer*, GstElement* source, gpointer) {
    GstRef<GstObject> bin(gst_object_get_parent(GST_OBJECT(source)));
    if (bin && GST_IS_BIN(bin.get()))
        g_signal_connect(bin.get(), "deep-element-added", G_CALLBACK(&DecodeOnOneThread), nullptr);
}

bool IsVideo(const MediaFormat& f) {
    return f.major == MEDIATYPE_Video;
}
bool IsAudio(const MediaFormat& f) {
    return f.major == MEDIATYPE_Audio;
}

} // namespace

SourceFilter::~SourceFilter() = default;

HRESULT SourceFilter::Load(const std::string& path, const AM_MEDIA_TYPE*) {
    EnsureGstInitialised();
    if (!Pins().empty())
        return E_FAIL; // a source loads one file
    m_error = ErrorDetail{};
    const auto fail = [&](HRESULT hr, const UserText& said, const std::string& debug = {}) {
        m_error.kind = ErrorDetail::Kind::Input;
        m_error.text = said.English();
        m_error.said = said;
        m_error.debug = debug;
        return hr;
    };
    if (const auto refusal = PlainFileRefusal(path))
        return fail(refusal->hr, refusal->text);
    GError* raw = nullptr;
    GCharRef uri(gst_filename_to_uri(path.c_str(), &raw));
    ErrorRef error(raw);
    if (!uri)
        return fail(HRESULT_FILE_NOT_FOUND,
                    UserText(kTextOpenFailed)
                        .With("file", path)
                        .With("why", error ? UserText(std::string(error->message)) : UserText(kTextBadName)));

    if (std::string why; !ThreadsCanStart(why))
        return fail(E_OUTOFMEMORY, UserText(kTextOutOfMemoryDecoding)
                                       .With("file", path)
                                       .With("why", UserText(kTextNoThread).With("why", why)));
    raw = nullptr;
    GstRef<GstDiscoverer> discoverer(gst_discoverer_new(kDiscoverTimeoutSeconds * GST_SECOND, &raw));
    error.reset(raw);
    if (!discoverer)
        return fail(E_FAIL, UserText(kTextCannotReadMedia).With("why", error ? error->message : ""));
    g_signal_connect(discoverer.get(), "source-setup", G_CALLBACK(&OnDiscovererSource), nullptr);
    raw = nullptr;
    GstRef<GstDiscovererInfo> info(gst_discoverer_discover_uri(discoverer.get(), uri.get(), &raw));
    error.reset(raw);
    const std::string why = error ? error->message : "";
    if (!info)
        return fail(VFW_E_UNSUPPORTED_STREAM, UserText(kTextNotVideo).With("file", path), why);
    // Decided stream by stream: a track no decoder takes (timed metadata,
    // unknown PCM forms, WebVTT in Matroska) makes the discoverer report the
    // whole file as missing a plug-in, though its pictures and sound decode.
    // A damaged file the discoverer gave up on is still tried when it found
    // pictures: the graph decides, so the same file gets the same answer.
    const GstDiscovererResult result = gst_discoverer_info_get_result(info.get());
    StreamChoice choice = ChooseStreams(info.get());
    m_knownDamage.clear();
    GstClockTime duration = gst_discoverer_info_get_duration(info.get());
    m_warnings.clear();
    // Pictures GStreamer's MP4 demuxer dropped or refused, libavformat may
    // read: only then its streams are taken, so every other file plays as it did.
    m_avStreams.reset();
    if (choice.videos.empty()) {
        std::optional<AvFileStreams> read = ReadAvStreams(path);
        if (read && !read->choice.videos.empty()) {
            choice = read->choice;
            duration = read->duration;
            m_avStreams = std::move(read);
        }
    }
    if (!m_avStreams && result == GST_DISCOVERER_ERROR && choice.videos.empty()) {
        // Some damage makes the demuxer report an error and play on; what
        // playing gives is what the file has.
        PlayedStreams played = ProbeByPlaying(uri.get());
        if (!played.choice.videos.empty()) {
            choice = std::move(played.choice);
            m_knownDamage = played.damage;
            duration = played.durationNs > 0 ? GstClockTime(played.durationNs) : GST_CLOCK_TIME_NONE;
            m_warnings.push_back(
                UserText(kTextDamaged).With("file", path).With("why", played.damage.empty() ? why : played.damage));
        }
    }
    if (const auto refusal = NoStreamsRefusal(choice, result, path, why))
        return fail(refusal->hr, refusal->text, refusal->debug);
    for (std::size_t i = 0; i < choice.videos.size(); ++i)
        AddPin(PINDIR_OUTPUT, i == 0 ? "Video" : "Video " + std::to_string(i + 1))->SetFormat(choice.videos[i]);
    for (std::size_t i = 0; i < choice.audios.size(); ++i)
        AddPin(PINDIR_OUTPUT, i == 0 ? "Audio" : "Audio " + std::to_string(i + 1))->SetFormat(choice.audios[i]);
    m_orientation = choice.orientation;
    if (choice.audios.empty() && !choice.undecodedAudio.empty())
        m_warnings.push_back(
            UserText(kTextSoundNotDecoded).With("file", path).With("codec", choice.undecodedAudio.front()));
    // Dolby Vision pictures are decoded as their base layer, which carries
    // its own colour signalling in every profile but 5.
    const auto dolbyVision = m_avStreams || IsIsoMedia(info.get()) ? DolbyVisionOf(path) : std::nullopt;
    if (dolbyVision && !dolbyVision->HasCompatibleBase())
        m_warnings.push_back(
            UserText(kTextDolbyVisionColours).With("file", path).With("profile", std::to_string(dolbyVision->profile)));

    // Subtitles: a file beside the input, else the input's own text track.
    const SubtitleOptions subtitles = CurrentSubtitleOptions();
    m_subtitle.reset();
    m_embeddedText = false;
    m_unknownText = false;
    m_subtitleHeight = subtitles.fontHeight;
    if (subtitles.enabled) {
        const std::string file = subtitles.forcedFile.empty() ? FindSubtitleFile(path) : subtitles.forcedFile;
        UserText warning;
        if (!file.empty())
            m_subtitle = LoadSubtitleFile(file, warning);
        if (!warning.empty())
            m_warnings.push_back(warning);
        m_embeddedText = file.empty() && (choice.hasText || choice.hasUnknownText);
        m_unknownText = m_embeddedText && !choice.hasText;
    }
    for (const auto& pin : Pins()) {
        if (IsVideo(pin->Format())) {
            m_pictureHeight = pin->Format().height;
            break;
        }
    }

    m_duration = GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<REFERENCE_TIME>(duration / 100) : 0;
    m_path = path;
    m_uri = uri.get();
    return S_OK;
}

std::vector<UserText> SourceFilter::Warnings() {
    std::lock_guard lock(m_mutex);
    return m_warnings;
}

HRESULT SourceFilter::GetErrorDetail(ErrorDetail* detail) {
    if (!detail)
        return E_POINTER;
    *detail = m_error;
    return m_error.kind == ErrorDetail::Kind::None ? S_FALSE : S_OK;
}

bool SourceFilter::Realize(GstBin* bin, const RealizeContext& context) {
    m_preferMpeg2 = context.preferMpeg2;
    if (!m_knownDamage.empty() && context.tolerateError)
        context.tolerateError(m_knownDamage);
    std::lock_guard lock(m_mutex);
    std::vector<GstElement*> decoders;
    if (m_avStreams) {
        m_feed = std::make_unique<AvDemuxFeed>(m_path, m_avStreams->streams, context.gate);
        decoders = m_feed->Build(bin);
    } else if (GstElement* decodeBin = MakeElement(bin, "uridecodebin")) {
        decoders.push_back(decodeBin);
        g_object_set(decodeBin, "uri", m_uri.c_str(), nullptr);
    }
    if (decoders.empty())
        return false;
    if (m_unknownText && !m_avStreams) {
        // Hand on the text track that has no parser as it is stored.
        GstCaps* raw = nullptr;
        g_object_get(decoders.front(), "caps", &raw, nullptr);
        CapsRef wanted(raw ? raw : gst_caps_new_any());
        wanted.reset(gst_caps_make_writable(wanted.release()));
        gst_caps_append(wanted.get(), gst_caps_new_empty_simple(kUnknownTextCaps));
        g_object_set(decoders.front(), "caps", wanted.get(), nullptr);
    }
    m_bin = bin;
    m_gate = context.gate;
    m_videoSeen = m_audioSeen = 0;
    m_routes.clear();
    for (const auto& pin : Pins()) {
        GstPad* target = nullptr;
        if (auto peer = pin->Peer())
            if (auto filter = peer->Owner())
                target = filter->InputPad(peer->Index());
        m_routes.emplace_back(target ? GST_PAD(gst_object_ref(target)) : nullptr);
    }
    m_skipWatched = false;
    int videos = 0;
    for (const auto& pin : Pins())
        videos += IsVideo(pin->Format()) ? 1 : 0;
    m_oneVideo = videos == 1;
    for (GstElement* decoder : decoders) {
        g_signal_connect(decoder, "pad-added", G_CALLBACK(&SourceFilter::OnPadAdded), this);
        g_signal_connect(decoder, "deep-element-added", G_CALLBACK(&SourceFilter::OnDeepElementAdded), this);
        g_signal_connect(decoder, "autoplug-select", G_CALLBACK(&SourceFilter::OnAutoplugSelect), this);
    }
    return true;
}

void SourceFilter::Unrealize() {
    std::lock_guard lock(m_mutex);
    m_routes.clear();
    m_padStates.clear();
    m_overlay = nullptr;
    m_pendingText.reset();
    // The pipeline is down: no streaming thread asks the feed for data.
    m_feed.reset();
    m_bin = nullptr;
}

gint SourceFilter::OnAutoplugSelect(GstElement*, GstPad*, GstCaps* caps, GstElementFactory* factory, gpointer self) {
    enum { kTry = 0, kSkip = 2 };
    auto* source = static_cast<SourceFilter*>(self);
    if (!source->m_preferMpeg2 || !gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER))
        return kTry;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int version = 0;
    if (!gst_structure_has_name(s, "video/mpeg") || !gst_structure_get_int(s, "mpegversion", &version) || version > 2)
        return kTry;
    const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    return std::strcmp(name, kPreferredMpegDecoder) == 0 ? kTry : kSkip;
}

void SourceFilter::OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self) {
    // Pictures are left undecoded only in a file with one picture stream: its
    // decoder is the one whose pictures reach the grabber.
    auto* source = static_cast<SourceFilter*>(self);
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory)
        return;
    const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    if (std::none_of(std::begin(kSkippingDecoders), std::end(kSkippingDecoders),
                     [&](const char* decoder) { return std::strcmp(name, decoder) == 0; }))
        return;
    std::lock_guard lock(source->m_mutex);
    if (source->m_skipWatched || !source->m_gate)
        return;
    GstRef<GstPad> sink(gst_element_get_static_pad(element, "sink"));
    if (!source->m_oneVideo || !sink)
        return;
    source->m_skipWatched = true;
    DecoderInputProbe::Attach(sink.get(), source->m_gate->skip);
}

void SourceFilter::OnPadAdded(GstElement*, GstPad* pad, gpointer self) {
    static_cast<SourceFilter*>(self)->PadAdded(pad);
}

void SourceFilter::PadAdded(GstPad* pad) {
    CapsRef caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    const char* media =
        caps && !gst_caps_is_empty(caps.get()) ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)) : "";
    const bool video = g_str_has_prefix(media, "video/");
    const bool audio = g_str_has_prefix(media, "audio/");
    const bool unknownText = std::strcmp(media, kUnknownTextCaps) == 0;
    const bool text = g_str_has_prefix(media, "text/x-raw") || unknownText;

    std::lock_guard lock(m_mutex);
    if (!m_bin)
        return;
    if (unknownText && m_embeddedText)
        pad = PlainTextFrom(pad);
    if (text && m_embeddedText && JoinTextTrack(pad))
        return;
    // Upright first, so the text is drawn across the picture as it is shown.
    if (video && m_videoSeen == 0 && !m_orientation.empty())
        pad = TurnUpright(pad);
    if (video && m_videoSeen == 0 && (m_subtitle || m_embeddedText))
        pad = DrawSubtitlesOn(pad);
    GstPad* target = nullptr;
    if (video || audio) {
        const int wanted = video ? m_videoSeen++ : m_audioSeen++;
        int seen = 0;
        const auto& pins = Pins();
        for (std::size_t i = 0; i < pins.size(); ++i) {
            const bool pinVideo = IsVideo(pins[i]->Format());
            const bool pinAudio = IsAudio(pins[i]->Format());
            if ((video && pinVideo) || (audio && pinAudio)) {
                if (seen++ == wanted) {
                    target = m_routes[i].get();
                    break;
                }
            }
        }
    }
    auto state = std::make_unique<PadState>();
    state->owner = this;
    state->gate = m_gate;
    state->video = video;
    state->ready.store(true, std::memory_order_release);
    gst_pad_add_probe(pad,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &SourceFilter::OnProbe, state.get(), nullptr);
    m_padStates.push_back(std::move(state));

    if (target && !gst_pad_is_linked(target) && gst_pad_link(pad, target) == GST_PAD_LINK_OK)
        return;
    // A stream nobody takes still has to flow somewhere, or the source stops with "not linked".
    GstElement* sink = MakeElement(m_bin, "fakesink");
    if (!sink)
        return;
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    GstRef<GstPad> sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
    gst_element_sync_state_with_parent(sink);
}

GstPad* SourceFilter::PlainTextFrom(GstPad* stored) {
    // The track's cues as the overlay takes text; its WebVTT tags and the
    // cue name and settings some writers put before the text are left out.
    GstElement* setter = MakeElement(m_bin, "capssetter");
    if (!setter)
        return stored;
    CapsRef plain(gst_caps_new_simple("text/x-raw", "format", G_TYPE_STRING, "utf8", nullptr));
    g_object_set(setter, "caps", plain.get(), "replace", TRUE, "join", FALSE, nullptr);
    GstRef<GstPad> in(gst_element_get_static_pad(setter, "sink"));
    if (gst_pad_link(stored, in.get()) != GST_PAD_LINK_OK) {
        gst_bin_remove(m_bin, setter);
        return stored;
    }
    GstRef<GstPad> out(gst_element_get_static_pad(setter, "src"));
    gst_pad_add_probe(out.get(), GST_PAD_PROBE_TYPE_BUFFER, &SourceFilter::OnCueText, nullptr, nullptr);
    gst_element_sync_state_with_parent(setter);
    // The element keeps its pad alive.
    return out.get();
}

GstPadProbeReturn SourceFilter::OnCueText(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_DROP;
    std::string stored(reinterpret_cast<const char*>(map.data), map.size);
    gst_buffer_unmap(buffer, &map);
    const std::string text = CueTextFromBlock(stored);
    GstBuffer* plain = gst_buffer_new_memdup(text.data(), text.size());
    GST_BUFFER_PTS(plain) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DTS(plain) = GST_BUFFER_DTS(buffer);
    GST_BUFFER_DURATION(plain) = GST_BUFFER_DURATION(buffer);
    gst_buffer_unref(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = plain;
    return GST_PAD_PROBE_OK;
}

GstPad* SourceFilter::TurnUpright(GstPad* pictures) {
    // videoflip takes the turn from the stream's own orientation tag, which
    // reaches it before the first picture; the converter before it gives it
    // a layout it can turn when the decoder's is not one.
    GstElement* convert = MakeElement(m_bin, "videoconvert");
    GstElement* flip = convert ? MakeElement(m_bin, "videoflip") : nullptr;
    if (!flip) {
        if (convert)
            gst_bin_remove(m_bin, convert);
        m_warnings.push_back(UserText(kTextNoTurningElement).With("file", m_path));
        return pictures;
    }
    gst_util_set_object_arg(G_OBJECT(flip), "video-direction", "auto");
    GstRef<GstPad> in(gst_element_get_static_pad(convert, "sink"));
    if (!gst_element_link(convert, flip) || gst_pad_link(pictures, in.get()) != GST_PAD_LINK_OK) {
        m_warnings.push_back(UserText(kTextCannotTurn).With("file", m_path));
        gst_bin_remove(m_bin, flip);
        gst_bin_remove(m_bin, convert);
        return pictures;
    }
    gst_element_sync_state_with_parent(flip);
    gst_element_sync_state_with_parent(convert);
    // The element keeps its pad alive.
    GstRef<GstPad> out(gst_element_get_static_pad(flip, "src"));
    return out.get();
}

GstPad* SourceFilter::DrawSubtitlesOn(GstPad* pictures) {
    UserText warning;
    GstElement* overlay =
        MakeSubtitleOverlay(m_bin, m_subtitle ? &*m_subtitle : nullptr, m_pictureHeight, m_subtitleHeight, warning);
    if (!warning.empty())
        m_warnings.push_back(warning);
    if (!overlay)
        return pictures;
    GstRef<GstPad> in(gst_element_get_static_pad(overlay, "video_sink"));
    if (gst_pad_link(pictures, in.get()) != GST_PAD_LINK_OK) {
        m_warnings.push_back(UserText(kTextSubtitlesNoRoom).With("file", m_path));
        gst_bin_remove(m_bin, overlay);
        return pictures;
    }
    gst_bin_sync_children_states(m_bin);
    if (!m_subtitle) {
        m_overlay = overlay;
        if (m_pendingText)
            JoinTextTrack(m_pendingText.get());
    }
    // The element keeps its pad alive.
    GstRef<GstPad> out(gst_element_get_static_pad(overlay, "src"));
    return out.get();
}

bool SourceFilter::JoinTextTrack(GstPad* text) {
    if (!m_overlay) {
        // Its pictures come later; the first track waits for them.
        if (!m_pendingText) {
            m_pendingText.reset(GST_PAD(gst_object_ref(text)));
            return true;
        }
        return false;
    }
    GstRef<GstPad> sink(gst_element_get_static_pad(m_overlay, "text_sink"));
    if (!sink || gst_pad_is_linked(sink.get()))
        return false;
    if (gst_pad_link(text, sink.get()) != GST_PAD_LINK_OK)
        return false;
    m_pendingText.reset();
    return true;
}

GstPadProbeReturn SourceFilter::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* state = static_cast<PadState*>(data);
    if (!state->ready.load(std::memory_order_acquire))
        return GST_PAD_PROBE_OK;
    if (!(info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM))
        return state->owner->PassBuffer(*state, info);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS && !state->video) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        GstAudioInfo audio;
        if (gst_audio_info_from_caps(&audio, caps)) {
            state->rate = GST_AUDIO_INFO_RATE(&audio);
            state->bytesPerFrame = GST_AUDIO_INFO_BPF(&audio);
        }
    }
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
        return GST_PAD_PROBE_OK;
    return state->owner->PassSegment(*state, info);
}

GstPadProbeReturn SourceFilter::PassSegment(PadState& state, GstPadProbeInfo* info) {
    StreamGate& gate = *state.gate;
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    // The same segment again means the stream is being sent again from its start
    // (MPEG program streams do this now and then after a seek): what was let
    // through already must not be handed on twice.
    const guint32 seqnum = gst_event_get_seqnum(event);
    state.repeatUntil = state.haveSegment && seqnum == state.segmentSeqnum ? state.lastPts : GST_CLOCK_TIME_NONE;
    if (!GST_CLOCK_TIME_IS_VALID(state.repeatUntil))
        state.lastPts = GST_CLOCK_TIME_NONE;
    state.segmentSeqnum = seqnum;
    state.original = *segment;
    state.haveSegment = true;
    if (segment->format != GST_FORMAT_TIME)
        return GST_PAD_PROBE_OK;
    // The file's own origin: the smallest stream time any stream starts at.
    gint64 origin = gate.origin.load();
    const auto time = static_cast<gint64>(segment->time);
    while ((origin < 0 || time < origin) && !gate.originFixed.load() &&
           !gate.origin.compare_exchange_weak(origin, time)) {}
    const gint64 until = gate.discardUntil.load();
    if (until < 0 || segment->rate <= 0)
        return GST_PAD_PROBE_OK;
    guint64 startPts = 0;
    if (gst_segment_position_from_stream_time_full(segment, GST_FORMAT_TIME, static_cast<guint64>(until), &startPts) <=
            0 ||
        startPts <= segment->start)
        return GST_PAD_PROBE_OK;
    // Make the played range begin at the wanted position, so running time 0 is
    // the picture the user asked for even when the demuxer started earlier.
    GstSegment moved = *segment;
    moved.start = startPts;
    moved.position = startPts;
    moved.time = static_cast<guint64>(until);
    GstEvent* replacement = gst_event_new_segment(&moved);
    gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = replacement;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn SourceFilter::PassBuffer(PadState& state, GstPadProbeInfo* info) {
    StreamGate& gate = *state.gate;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    gate.lastActivityMs.store(MonotonicMs());
    gate.dataSeen.store(true);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!state.haveSegment || !GST_CLOCK_TIME_IS_VALID(pts))
        return GST_PAD_PROBE_OK;
    if (GST_CLOCK_TIME_IS_VALID(state.repeatUntil)) {
        if (pts <= state.repeatUntil)
            return GST_PAD_PROBE_DROP;
        state.repeatUntil = GST_CLOCK_TIME_NONE;
    }
    guint64 st = 0;
    const int sign = gst_segment_to_stream_time_full(&state.original, GST_FORMAT_TIME, pts, &st);
    if (sign == 0) {
        state.lastPts = pts;
        return GST_PAD_PROBE_OK;
    }
    const gint64 streamTime = sign > 0 ? static_cast<gint64>(st) : -static_cast<gint64>(st);
    if (state.video) {
        gint64 expected = -1;
        gate.firstVideoTime.compare_exchange_strong(expected, streamTime);
    }
    const gint64 until = gate.discardUntil.load();
    if (until < 0) {
        state.lastPts = pts;
        return GST_PAD_PROBE_OK;
    }
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const bool before =
        GST_CLOCK_TIME_IS_VALID(duration) ? streamTime + static_cast<gint64>(duration) <= until : streamTime < until;
    if (before)
        return GST_PAD_PROBE_DROP;
    state.lastPts = pts;
    // Sound is cut at the exact sample where the played range begins.
    if (!state.video)
        if (GstBuffer* cut = TrimSoundBefore(buffer, pts, streamTime, until, state.rate, state.bytesPerFrame))
            GST_PAD_PROBE_INFO_DATA(info) = cut;
    return GST_PAD_PROBE_OK;
}

// ---------------------------------------------------------------- MPEG-2 decoder

void Mpeg2DecoderFilter::CreatePins() {
    AddPin(PINDIR_INPUT, "Video Input");
    AddPin(PINDIR_OUTPUT, "Video Output");
}

} // namespace zem::media
