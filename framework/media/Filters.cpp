#include "Filters.h"

#include "OverlayBlend.h"
#include "PictureConvert.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>

#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zem::media {

namespace {

constexpr int kDiscoverTimeoutSeconds = 5;  // opening a file that long is taken as a failure
// The MPEG-1/2 decoder a render takes while the MPEG-2 decoder filter is in the
// graph: libav's, which decodes on frame threads (mpeg2dec has one thread).
constexpr const char* kPreferredMpegDecoder = "avdec_mpeg2video";
constexpr int kMp3BitrateKbps = 128;
constexpr int kOutputSampleRate = 48000;
constexpr int kOutputChannels = 2;
constexpr const char* kProcessorCaps = "audio/x-raw, format=(string)S16LE, rate=(int)48000, channels=(int)2";
constexpr const char* kRendererCaps = "video/x-raw, format=(string)BGRx";
constexpr long kSilentVolume = -10000;

bool IsVideo(const MediaFormat& f) { return f.major == MEDIATYPE_Video; }
bool IsAudio(const MediaFormat& f) { return f.major == MEDIATYPE_Audio; }

void PutLe16(std::vector<std::uint8_t>& v, std::size_t at, std::uint16_t x)
{
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void PutLe32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> BuildWavHead(std::uint64_t dataBytes)
{
    constexpr std::uint32_t kFormatBlockSize = 40;   // WAVEFORMATEX + the MPEG-1 extension
    constexpr std::uint16_t kWaveFormatMpeg = 0x0050;
    constexpr std::uint16_t kMpegLayer3 = 4;
    constexpr std::uint16_t kMpegJointStereo = 2;
    constexpr std::uint16_t kMpegId1 = 0x10;
    constexpr std::uint16_t kMpegExtraSize = 22;
    constexpr std::uint16_t kFrameBytes = 384;
    std::vector<std::uint8_t> head(kWavHeadSize, 0);
    const auto data = static_cast<std::uint32_t>(dataBytes);
    std::memcpy(&head[0], "RIFF", 4);
    PutLe32(head, 4, data + kWavHeadSize - 8);
    std::memcpy(&head[8], "WAVE", 4);
    std::memcpy(&head[12], "fmt ", 4);
    PutLe32(head, 16, kFormatBlockSize);
    PutLe16(head, 20, kWaveFormatMpeg);
    PutLe16(head, 22, kOutputChannels);
    PutLe32(head, 24, kOutputSampleRate);
    PutLe32(head, 28, kMp3BitrateKbps * 1000 / 8);
    PutLe16(head, 32, kFrameBytes);
    PutLe16(head, 34, 0);
    PutLe16(head, 36, kMpegExtraSize);
    PutLe16(head, 38, kMpegLayer3);
    PutLe32(head, 40, kMp3BitrateKbps * 1000);
    PutLe16(head, 44, kMpegJointStereo);
    PutLe16(head, 46, 0);
    PutLe16(head, 48, 1);
    PutLe16(head, 50, kMpegId1);
    // 52..59: presentation time stamp, zero
    std::memcpy(&head[60], "data", 4);
    PutLe32(head, 64, data);
    return head;
}

// ---------------------------------------------------------------- source

SourceFilter::~SourceFilter() = default;

HRESULT SourceFilter::Load(const std::string& path, const AM_MEDIA_TYPE*)
{
    EnsureGstInitialised();
    if (!m_pins.empty()) return E_FAIL;  // a source loads one file
    m_error = ErrorDetail{};
    const auto fail = [&](HRESULT hr, const std::string& text, const std::string& debug = {}) {
        m_error.kind = ErrorDetail::Kind::Input;
        m_error.text = text;
        m_error.debug = debug;
        return hr;
    };
    {
        // What the user can mend: the file's name, folder or permissions.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            const int error = errno;
            return fail(error == ENOENT ? HRESULT_FILE_NOT_FOUND : E_FAIL,
                        "Cannot open " + path + ": " + std::strerror(error));
        }
        if (S_ISDIR(st.st_mode)) return fail(HRESULT_FILE_NOT_FOUND, path + " is a folder, not a video file");
        if (!S_ISREG(st.st_mode)) return fail(HRESULT_FILE_NOT_FOUND, path + " is not a plain file");
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return fail(E_ACCESSDENIED, "Cannot open " + path + ": " + std::strerror(errno));
        ::close(fd);
        if (st.st_size == 0) return fail(VFW_E_UNSUPPORTED_STREAM, path + " is empty");
    }
    GError* raw = nullptr;
    GCharRef uri(gst_filename_to_uri(path.c_str(), &raw));
    ErrorRef error(raw);
    if (!uri) return fail(HRESULT_FILE_NOT_FOUND, "Cannot open " + path + ": " + (error ? error->message : "bad name"));

    raw = nullptr;
    GstRef<GstDiscoverer> discoverer(gst_discoverer_new(kDiscoverTimeoutSeconds * GST_SECOND, &raw));
    error.reset(raw);
    if (!discoverer) return fail(E_FAIL, std::string("Cannot read media files: ") + (error ? error->message : ""));
    raw = nullptr;
    GstRef<GstDiscovererInfo> info(gst_discoverer_discover_uri(discoverer.get(), uri.get(), &raw));
    error.reset(raw);
    const std::string why = error ? error->message : "";
    if (!info) return fail(VFW_E_UNSUPPORTED_STREAM, path + " is not a video file the converter can read", why);
    const GstDiscovererResult result = gst_discoverer_info_get_result(info.get());
    if (result == GST_DISCOVERER_TIMEOUT)
        return fail(VFW_E_TIMEOUT, path + " took longer than " + std::to_string(kDiscoverTimeoutSeconds) +
                                       " s to open", why);
    if (result == GST_DISCOVERER_MISSING_PLUGINS)
        return fail(VFW_E_UNSUPPORTED_STREAM, path + " needs a decoder that is not installed", why);
    if (result != GST_DISCOVERER_OK)
        return fail(VFW_E_UNSUPPORTED_STREAM,
                    path + " is not a video file the converter can read" + (why.empty() ? "" : " (" + why + ")"), why);

    GList* videos = gst_discoverer_info_get_video_streams(info.get());
    GList* audios = gst_discoverer_info_get_audio_streams(info.get());
    int videoCount = 0;
    for (GList* l = videos; l; l = l->next) {
        auto* v = GST_DISCOVERER_VIDEO_INFO(l->data);
        // Demuxers may announce a stream twice, once before its format is known.
        if (gst_discoverer_video_info_is_image(v) || gst_discoverer_video_info_get_width(v) == 0) continue;
        auto pin = AddPin(PINDIR_OUTPUT, videoCount == 0 ? "Video" : "Video " + std::to_string(videoCount + 1));
        pin->m_format.major = MEDIATYPE_Video;
        pin->m_format.subtype = MEDIASUBTYPE_RAW;
        pin->m_format.width = static_cast<int>(gst_discoverer_video_info_get_width(v));
        pin->m_format.height = static_cast<int>(gst_discoverer_video_info_get_height(v));
        const guint den = gst_discoverer_video_info_get_framerate_denom(v);
        if (den) pin->m_format.fps = static_cast<double>(gst_discoverer_video_info_get_framerate_num(v)) / den;
        ++videoCount;
    }
    int audioCount = 0;
    for (GList* l = audios; l; l = l->next) {
        auto* a = GST_DISCOVERER_AUDIO_INFO(l->data);
        if (gst_discoverer_audio_info_get_sample_rate(a) == 0) continue;
        auto pin = AddPin(PINDIR_OUTPUT, audioCount == 0 ? "Audio" : "Audio " + std::to_string(audioCount + 1));
        pin->m_format.major = MEDIATYPE_Audio;
        pin->m_format.subtype = MEDIASUBTYPE_PCM;
        pin->m_format.sampleRate = static_cast<int>(gst_discoverer_audio_info_get_sample_rate(a));
        pin->m_format.channels = static_cast<int>(gst_discoverer_audio_info_get_channels(a));
        ++audioCount;
    }
    gst_discoverer_stream_info_list_free(videos);
    gst_discoverer_stream_info_list_free(audios);
    if (m_pins.empty()) return fail(VFW_E_UNSUPPORTED_STREAM, path + " holds neither pictures nor sound");

    // Subtitles: a file beside the input, else the input's own text track.
    const SubtitleOptions subtitles = CurrentSubtitleOptions();
    m_subtitle.reset();
    m_embeddedText = false;
    m_warnings.clear();
    m_subtitleHeight = subtitles.fontHeight;
    if (subtitles.enabled && videoCount > 0) {
        const std::string file = subtitles.forcedFile.empty() ? FindSubtitleFile(path) : subtitles.forcedFile;
        std::string warning;
        if (!file.empty()) m_subtitle = LoadSubtitleFile(file, warning);
        if (!warning.empty()) m_warnings.push_back(warning);
        if (file.empty()) {
            GList* texts = gst_discoverer_info_get_subtitle_streams(info.get());
            m_embeddedText = texts != nullptr;
            gst_discoverer_stream_info_list_free(texts);
        }
    }
    for (const auto& pin : m_pins) {
        if (IsVideo(pin->m_format)) {
            m_pictureHeight = pin->m_format.height;
            break;
        }
    }

    const GstClockTime duration = gst_discoverer_info_get_duration(info.get());
    m_duration = GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<REFERENCE_TIME>(duration / 100) : 0;
    m_seekable = gst_discoverer_info_get_seekable(info.get());
    m_path = path;
    m_uri = uri.get();
    return S_OK;
}

std::vector<std::string> SourceFilter::Warnings()
{
    std::lock_guard lock(m_mutex);
    return m_warnings;
}

HRESULT SourceFilter::GetErrorDetail(ErrorDetail* detail)
{
    if (!detail) return E_POINTER;
    *detail = m_error;
    return m_error.kind == ErrorDetail::Kind::None ? S_FALSE : S_OK;
}

bool SourceFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate)
{
    std::lock_guard lock(m_mutex);
    m_decodeBin = MakeElement(bin, "uridecodebin");
    if (!m_decodeBin) return false;
    g_object_set(m_decodeBin, "uri", m_uri.c_str(), nullptr);
    m_bin = bin;
    m_gate = gate;
    m_videoSeen = m_audioSeen = 0;
    m_routes.clear();
    for (auto& pin : m_pins) {
        GstPad* target = nullptr;
        if (auto peer = pin->Peer())
            if (auto filter = peer->Owner()) target = filter->InputPad(peer->Index());
        m_routes.emplace_back(target ? GST_PAD(gst_object_ref(target)) : nullptr);
    }
    g_signal_connect(m_decodeBin, "pad-added", G_CALLBACK(&SourceFilter::OnPadAdded), this);
    g_signal_connect(m_decodeBin, "autoplug-select", G_CALLBACK(&SourceFilter::OnAutoplugSelect), this);
    return true;
}

void SourceFilter::Unrealize()
{
    std::lock_guard lock(m_mutex);
    m_routes.clear();
    m_padStates.clear();
    m_overlay = nullptr;
    m_pendingText.reset();
    m_decodeBin = nullptr;
    m_bin = nullptr;
}

gint SourceFilter::OnAutoplugSelect(GstElement*, GstPad*, GstCaps* caps, GstElementFactory* factory, gpointer self)
{
    enum { kTry = 0, kSkip = 2 };
    auto* source = static_cast<SourceFilter*>(self);
    if (!source->m_preferMpeg2 || !gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER))
        return kTry;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int version = 0;
    if (!gst_structure_has_name(s, "video/mpeg") || !gst_structure_get_int(s, "mpegversion", &version) ||
        version > 2)
        return kTry;
    const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    return std::strcmp(name, kPreferredMpegDecoder) == 0 ? kTry : kSkip;
}

void SourceFilter::OnPadAdded(GstElement*, GstPad* pad, gpointer self)
{
    static_cast<SourceFilter*>(self)->PadAdded(pad);
}

void SourceFilter::PadAdded(GstPad* pad)
{
    CapsRef caps(gst_pad_get_current_caps(pad));
    if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
    const char* media = caps && !gst_caps_is_empty(caps.get())
                            ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0))
                            : "";
    const bool video = g_str_has_prefix(media, "video/");
    const bool audio = g_str_has_prefix(media, "audio/");
    const bool text = g_str_has_prefix(media, "text/x-raw");

    std::lock_guard lock(m_mutex);
    if (!m_bin) return;
    if (text && m_embeddedText && JoinTextTrack(pad)) return;
    if (video && m_videoSeen == 0 && (m_subtitle || m_embeddedText)) pad = DrawSubtitlesOn(pad);
    GstPad* target = nullptr;
    if (video || audio) {
        const int wanted = video ? m_videoSeen++ : m_audioSeen++;
        int seen = 0;
        for (std::size_t i = 0; i < m_pins.size(); ++i) {
            const bool pinVideo = IsVideo(m_pins[i]->m_format);
            const bool pinAudio = IsAudio(m_pins[i]->m_format);
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
    state->video = video;
    gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &SourceFilter::OnProbe, state.get(), nullptr);
    m_padStates.push_back(std::move(state));

    if (target && !gst_pad_is_linked(target) && gst_pad_link(pad, target) == GST_PAD_LINK_OK) return;
    // A stream nobody takes still has to flow somewhere, or the source stops with "not linked".
    GstElement* sink = MakeElement(m_bin, "fakesink");
    if (!sink) return;
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    GstRef<GstPad> sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
    gst_element_sync_state_with_parent(sink);
}

GstPad* SourceFilter::DrawSubtitlesOn(GstPad* pictures)
{
    std::string warning;
    GstElement* overlay =
        MakeSubtitleOverlay(m_bin, m_subtitle ? &*m_subtitle : nullptr, m_pictureHeight, m_subtitleHeight, warning);
    if (!warning.empty()) m_warnings.push_back(warning);
    if (!overlay) return pictures;
    GstRef<GstPad> in(gst_element_get_static_pad(overlay, "video_sink"));
    if (gst_pad_link(pictures, in.get()) != GST_PAD_LINK_OK) {
        m_warnings.push_back("Subtitles not shown: the pictures of " + m_path + " cannot take them");
        gst_bin_remove(m_bin, overlay);
        return pictures;
    }
    gst_bin_sync_children_states(m_bin);
    if (!m_subtitle) {
        m_overlay = overlay;
        if (m_pendingText) JoinTextTrack(m_pendingText.get());
    }
    // The element keeps its pad alive.
    GstRef<GstPad> out(gst_element_get_static_pad(overlay, "src"));
    return out.get();
}

bool SourceFilter::JoinTextTrack(GstPad* text)
{
    if (!m_overlay) {
        // Its pictures come later; the first track waits for them.
        if (!m_pendingText) {
            m_pendingText.reset(GST_PAD(gst_object_ref(text)));
            return true;
        }
        return false;
    }
    GstRef<GstPad> sink(gst_element_get_static_pad(m_overlay, "text_sink"));
    if (!sink || gst_pad_is_linked(sink.get())) return false;
    if (gst_pad_link(text, sink.get()) != GST_PAD_LINK_OK) return false;
    m_pendingText.reset();
    return true;
}

GstPadProbeReturn SourceFilter::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* state = static_cast<PadState*>(data);
    StreamGate& gate = *state->owner->m_gate;
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
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
        if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        // The same segment again means the stream is being sent again from its start
        // (MPEG program streams do this now and then after a seek): what was let
        // through already must not be handed on twice.
        const guint32 seqnum = gst_event_get_seqnum(event);
        state->repeatUntil = state->haveSegment && seqnum == state->segmentSeqnum ? state->lastPts : GST_CLOCK_TIME_NONE;
        if (!GST_CLOCK_TIME_IS_VALID(state->repeatUntil)) state->lastPts = GST_CLOCK_TIME_NONE;
        state->segmentSeqnum = seqnum;
        state->original = *segment;
        state->haveSegment = true;
        if (segment->format != GST_FORMAT_TIME) return GST_PAD_PROBE_OK;
        // The file's own origin: the smallest stream time any stream starts at.
        gint64 origin = gate.origin.load();
        const auto time = static_cast<gint64>(segment->time);
        while ((origin < 0 || time < origin) && !gate.originFixed.load() &&
               !gate.origin.compare_exchange_weak(origin, time)) {
        }
        const gint64 until = gate.discardUntil.load();
        if (until < 0 || segment->rate <= 0) return GST_PAD_PROBE_OK;
        guint64 startPts = 0;
        if (gst_segment_position_from_stream_time_full(segment, GST_FORMAT_TIME, static_cast<guint64>(until),
                                                       &startPts) <= 0 ||
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
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    gate.lastActivityMs.store(MonotonicMs());
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!state->haveSegment || !GST_CLOCK_TIME_IS_VALID(pts)) return GST_PAD_PROBE_OK;
    if (GST_CLOCK_TIME_IS_VALID(state->repeatUntil)) {
        if (pts <= state->repeatUntil) return GST_PAD_PROBE_DROP;
        state->repeatUntil = GST_CLOCK_TIME_NONE;
    }
    guint64 st = 0;
    const int sign = gst_segment_to_stream_time_full(&state->original, GST_FORMAT_TIME, pts, &st);
    if (sign == 0) {
        state->lastPts = pts;
        return GST_PAD_PROBE_OK;
    }
    const gint64 streamTime = sign > 0 ? static_cast<gint64>(st) : -static_cast<gint64>(st);
    if (state->video) {
        gint64 expected = -1;
        gate.firstVideoTime.compare_exchange_strong(expected, streamTime);
    }
    const gint64 until = gate.discardUntil.load();
    if (until < 0) {
        state->lastPts = pts;
        return GST_PAD_PROBE_OK;
    }
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const bool before = GST_CLOCK_TIME_IS_VALID(duration) ? streamTime + static_cast<gint64>(duration) <= until
                                                          : streamTime < until;
    if (before) return GST_PAD_PROBE_DROP;
    state->lastPts = pts;
    if (!state->video && streamTime < until && state->rate > 0 && state->bytesPerFrame > 0) {
        // Sound is cut at the exact sample where the played range begins.
        const auto trim = static_cast<gsize>(gst_util_uint64_scale(static_cast<guint64>(until - streamTime),
                                                                   state->rate, GST_SECOND));
        const gsize frames = gst_buffer_get_size(buffer) / state->bytesPerFrame;
        if (trim > 0 && trim < frames) {
            GstBuffer* cut = gst_audio_buffer_truncate(buffer, state->bytesPerFrame, trim, -1);
            GST_BUFFER_PTS(cut) = pts + gst_util_uint64_scale(trim, GST_SECOND, state->rate);
            GST_BUFFER_DURATION(cut) = gst_util_uint64_scale(frames - trim, GST_SECOND, state->rate);
            GST_PAD_PROBE_INFO_DATA(info) = cut;
        }
    }
    return GST_PAD_PROBE_OK;
}

// ---------------------------------------------------------------- video renderer

VideoRendererFilter::VideoRendererFilter() : BaseFilter(CLSID_VideoRenderer) {}

VideoRendererFilter::~VideoRendererFilter()
{
    delete m_widget.data();  // the widget belongs to this renderer, whoever its parent is now
}

void VideoRendererFilter::CreatePins() { AddPin(PINDIR_INPUT, "Input"); }

bool VideoRendererFilter::Accepts(const Pin&, const MediaFormat& upstream) const { return IsVideo(upstream); }

QWidget* VideoRendererFilter::Widget()
{
    if (!m_widget && qobject_cast<QApplication*>(QCoreApplication::instance()))
        m_widget = new VideoWidget(m_slot);
    return m_widget.data();
}

bool VideoRendererFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>&)
{
    m_convert = MakeElement(bin, "videoconvert");
    m_sink = MakeElement(bin, "appsink");
    if (!m_convert || !m_sink) return false;
    CapsRef caps(gst_caps_from_string(kRendererCaps));
    g_object_set(m_sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 2u, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = [](GstAppSink* sink, gpointer self) {
        return OnSample(GST_ELEMENT(sink), self, true);
    };
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
        return OnSample(GST_ELEMENT(sink), self, false);
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(m_sink), &callbacks, this, nullptr);
    return LinkChain({m_convert, m_sink});
}

GstFlowReturn VideoRendererFilter::OnSample(GstElement* sink, gpointer self, bool preroll)
{
    auto* renderer = static_cast<VideoRendererFilter*>(self);
    GstSample* raw = preroll ? gst_app_sink_pull_preroll(GST_APP_SINK(sink)) : gst_app_sink_pull_sample(GST_APP_SINK(sink));
    std::unique_ptr<GstSample, decltype(&gst_sample_unref)> sample(raw, &gst_sample_unref);
    if (!sample) return GST_FLOW_OK;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))) return GST_FLOW_OK;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return GST_FLOW_OK;
    QImage view(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), info.width, info.height,
                GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
    QImage copy = view.copy();
    gst_video_frame_unmap(&frame);
    PostFrame(*renderer->m_slot, std::move(copy));
    return GST_FLOW_OK;
}

GstPad* VideoRendererFilter::InputPad(int index)
{
    if (index != 0 || !m_convert) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_convert, "sink"));
    return pad.get();  // the element keeps the pad alive
}

void VideoRendererFilter::Unrealize() { m_convert = m_sink = nullptr; }

// ---------------------------------------------------------------- audio renderer

void AudioRendererFilter::CreatePins() { AddPin(PINDIR_INPUT, "Audio Input pin (rendered)"); }

bool AudioRendererFilter::Accepts(const Pin&, const MediaFormat& upstream) const { return IsAudio(upstream); }

void AudioRendererFilter::SetVolume(long volume)
{
    m_volume = std::clamp(volume, kSilentVolume, 0L);
    if (m_volumeElement) {
        // Hundredths of a decibel; the bottom of the range is silence.
        const double linear = m_volume <= kSilentVolume ? 0.0 : std::pow(10.0, m_volume / 2000.0);
        g_object_set(m_volumeElement, "volume", linear, nullptr);
    }
}

bool AudioRendererFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>&)
{
    m_first = MakeElement(bin, "audioconvert");
    GstElement* resample = MakeElement(bin, "audioresample");
    m_volumeElement = MakeElement(bin, "volume");
    // autoaudiosink falls back to a fake sink that keeps to the clock when the machine has no sound output.
    GstElement* sink = MakeElement(bin, "autoaudiosink");
    if (!sink) {
        sink = MakeElement(bin, "fakesink");
        if (sink) g_object_set(sink, "sync", TRUE, nullptr);
    }
    if (!m_first || !resample || !m_volumeElement || !sink) return false;
    SetVolume(m_volume);
    return LinkChain({m_first, resample, m_volumeElement, sink});
}

GstPad* AudioRendererFilter::InputPad(int index)
{
    if (index != 0 || !m_first) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_first, "sink"));
    return pad.get();
}

void AudioRendererFilter::Unrealize() { m_first = m_volumeElement = nullptr; }

// ---------------------------------------------------------------- null renderer

void NullRendererFilter::CreatePins() { AddPin(PINDIR_INPUT, "In"); }

bool NullRendererFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>&)
{
    m_sink = MakeElement(bin, "fakesink");
    if (!m_sink) return false;
    g_object_set(m_sink, "sync", TRUE, nullptr);
    return true;
}

GstPad* NullRendererFilter::InputPad(int index)
{
    if (index != 0 || !m_sink) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_sink, "sink"));
    return pad.get();
}

// ---------------------------------------------------------------- sample grabber

namespace {

class GrabbedSample : public IMediaSample {
public:
    GrabbedSample(std::uint8_t* data, long length) : m_data(data), m_length(length) {}
    HRESULT GetPointer(std::uint8_t** buffer) override
    {
        if (!buffer) return E_POINTER;
        *buffer = m_data;
        return S_OK;
    }
    long GetActualDataLength() override { return m_length; }

private:
    std::uint8_t* m_data;
    long m_length;
};

class MappedPictureRows : public IPictureRows {
public:
    MappedPictureRows(const GstVideoFrame& frame, const PictureOverlay& overlay) : m_frame(frame), m_overlay(overlay)
    {
    }
    bool ReadRow(int row, std::uint8_t* dst) override
    {
        if (!ConvertRowToBgr(m_frame, row, dst)) return false;
        if (!m_overlay.empty()) m_overlay.BlendRow(GST_VIDEO_FRAME_HEIGHT(&m_frame) - 1 - row, dst);
        return true;
    }

private:
    const GstVideoFrame& m_frame;
    const PictureOverlay& m_overlay;
};

}  // namespace

void SampleGrabberFilter::CreatePins()
{
    AddPin(PINDIR_INPUT, "Input");
    AddPin(PINDIR_OUTPUT, "Output");
}

HRESULT SampleGrabberFilter::SetMediaType(const AM_MEDIA_TYPE* type)
{
    if (!type) return E_POINTER;
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_RGB24) return VFW_E_TYPE_NOT_ACCEPTED;
    m_typeSet = true;
    return S_OK;
}

HRESULT SampleGrabberFilter::GetConnectedMediaType(AM_MEDIA_TYPE* type)
{
    if (!type) return E_POINTER;
    auto in = PinAt(PINDIR_INPUT, 0);
    if (!in || !in->IsConnected()) return VFW_E_NOT_CONNECTED;
    FillMediaType(OutputFormat(*PinAt(PINDIR_OUTPUT, 0)), type);
    return S_OK;
}

HRESULT SampleGrabberFilter::SetBufferSamples(bool buffer)
{
    m_bufferSamples = buffer;
    return S_OK;
}

HRESULT SampleGrabberFilter::SetOneShot(bool oneShot)
{
    m_oneShot = oneShot;
    return S_OK;
}

HRESULT SampleGrabberFilter::SetCallback(ISampleGrabberCB* callback, long which)
{
    if (which != 0 && which != 1) return E_INVALIDARG;
    m_callback = callback;
    m_which = which;
    return S_OK;
}

bool SampleGrabberFilter::Accepts(const Pin& in, const MediaFormat& upstream) const
{
    return in.Direction() == PINDIR_INPUT && IsVideo(upstream);
}

MediaFormat SampleGrabberFilter::OutputFormat(const Pin&) const
{
    MediaFormat format;
    auto in = PinAt(PINDIR_INPUT, 0);
    if (in) format = in->m_format;
    format.major = MEDIATYPE_Video;
    format.subtype = MEDIASUBTYPE_RGB24;
    return format;
}

bool SampleGrabberFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate)
{
    m_convert = MakeElement(bin, "videoconvert");
    m_filter = MakeElement(bin, "capsfilter");
    // The callback's work (colour conversion, scaling, JPEG coding) runs on the
    // queue's own thread, so the decoder goes on with the next pictures on the
    // other core meanwhile.
    m_queue = MakeElement(bin, "queue");
    if (!m_convert || !m_filter || !m_queue) return false;
    g_object_set(m_queue, "max-size-buffers", kGrabberQueuePictures, "max-size-bytes", 0u, "max-size-time",
                 static_cast<guint64>(0), nullptr);
    CapsRef caps(gst_caps_from_string(kGrabberInputCaps));
    g_object_set(m_filter, "caps", caps.get(), nullptr);
    m_gate = gate;
    m_infoValid = false;
    m_shotTaken = false;
    gst_segment_init(&m_segment, GST_FORMAT_TIME);
    GstRef<GstPad> sink(gst_element_get_static_pad(m_convert, "sink"));
    AcceptOverlayMeta(sink.get());
    GstRef<GstPad> src(gst_element_get_static_pad(m_queue, "src"));
    gst_pad_add_probe(src.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &SampleGrabberFilter::OnProbe, this, nullptr);
    return LinkChain({m_convert, m_filter, m_queue});
}

GstPadProbeReturn SampleGrabberFilter::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer self)
{
    return static_cast<SampleGrabberFilter*>(self)->Handle(info);
}

GstPadProbeReturn SampleGrabberFilter::Handle(GstPadProbeInfo* info)
{
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* segment = nullptr;
            gst_event_parse_segment(event, &segment);
            m_segment = *segment;
            m_lastTime = -1.0;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            m_infoValid = gst_video_info_from_caps(&m_info, caps);
        }
        return GST_PAD_PROBE_OK;
    }
    if (m_shotTaken) return GST_PAD_PROBE_DROP;
    if (!m_callback || !m_infoValid || !m_gate->deliver.load()) return GST_PAD_PROBE_OK;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    double seconds = 0.0;
    if (GST_CLOCK_TIME_IS_VALID(pts)) {
        guint64 running = 0;
        // A picture that starts before the range but covers its start counts as time 0.
        if (gst_segment_to_running_time_full(&m_segment, GST_FORMAT_TIME, pts, &running) > 0)
            seconds = static_cast<double>(running) / GST_SECOND;
    }
    // Some MPEG streams stamp two pictures alike around a group boundary; a picture
    // never gets a time at or before the one handed on before it.
    if (m_lastTime >= 0.0 && seconds <= m_lastTime) {
        const double step = GST_VIDEO_INFO_FPS_N(&m_info) > 0
                                ? static_cast<double>(GST_VIDEO_INFO_FPS_D(&m_info)) / GST_VIDEO_INFO_FPS_N(&m_info)
                                : 0.001;
        seconds = m_lastTime + step;
    }
    m_lastTime = seconds;
    if (m_which == 1 && !m_callback->WillTakeSample(seconds)) return GST_PAD_PROBE_OK;
    if (m_which == 1 && m_callback->TakesRows()) {
        // No full-size BGR copy: the callback converts the rows it reads.
        if (!CanConvertToBgr(m_info)) return GST_PAD_PROBE_OK;
        GstVideoFrame mapped;
        if (!gst_video_frame_map(&mapped, &m_info, buffer, GST_MAP_READ)) return GST_PAD_PROBE_OK;
        const PictureOverlay overlay(buffer, GST_VIDEO_INFO_WIDTH(&m_info), GST_VIDEO_INFO_HEIGHT(&m_info));
        MappedPictureRows rows(mapped, overlay);
        m_callback->RowsCB(seconds, rows);
        gst_video_frame_unmap(&mapped);
        FinishShot();
        return GST_PAD_PROBE_OK;
    }
    const int width = GST_VIDEO_INFO_WIDTH(&m_info);
    const int height = GST_VIDEO_INFO_HEIGHT(&m_info);
    const std::size_t size = static_cast<std::size_t>(Rgb24Stride(width)) * height;
    if (m_bgr.size() != size) m_bgr.assign(size, 0);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &m_info, buffer, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    const bool converted = ConvertToBgrBottomUp(frame, m_bgr.data());
    gst_video_frame_unmap(&frame);
    if (!converted) return GST_PAD_PROBE_OK;
    PictureOverlay(buffer, width, height).BlendBottomUp(m_bgr.data(), Rgb24Stride(width));
    if (m_which == 1) {
        m_callback->BufferCB(seconds, m_bgr.data(), static_cast<long>(size));
    } else {
        GrabbedSample sample(m_bgr.data(), static_cast<long>(size));
        m_callback->SampleCB(seconds, &sample);
    }
    FinishShot();
    return GST_PAD_PROBE_OK;
}

void SampleGrabberFilter::FinishShot()
{
    if (m_oneShot) {
        m_shotTaken = true;
        if (m_post) m_post(EC_COMPLETE);
    }
}

GstPad* SampleGrabberFilter::InputPad(int index)
{
    if (index != 0 || !m_convert) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_convert, "sink"));
    return pad.get();
}

GstPad* SampleGrabberFilter::OutputPad(int index)
{
    if (index != 0 || !m_queue) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_queue, "src"));
    return pad.get();
}

void SampleGrabberFilter::Unrealize()
{
    m_convert = m_filter = m_queue = nullptr;
    m_gate.reset();
}

// ---------------------------------------------------------------- audio processor, MP3 encoder, WavDest

void AudioProcessorFilter::CreatePins()
{
    AddPin(PINDIR_INPUT, "In");
    auto out = AddPin(PINDIR_OUTPUT, "Out");
    out->m_format.major = MEDIATYPE_Audio;
    out->m_format.subtype = MEDIASUBTYPE_PCM;
    out->m_format.sampleRate = kOutputSampleRate;
    out->m_format.channels = kOutputChannels;
}

bool AudioProcessorFilter::Accepts(const Pin& in, const MediaFormat& upstream) const
{
    return in.Direction() == PINDIR_INPUT && IsAudio(upstream) && upstream.subtype == MEDIASUBTYPE_PCM;
}

MediaFormat AudioProcessorFilter::OutputFormat(const Pin& out) const { return out.m_format; }

bool AudioProcessorFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>&)
{
    // Sound of more than two channels takes the mixing chain; mono and stereo
    // keep the plain one, byte for byte.
    const auto in = PinAt(PINDIR_INPUT, 0);
    GstElement* resample = nullptr;
    if (in && in->m_format.channels >= kDownmixMinChannels) {
        if (!m_downmix.Realize(bin, kProcessorCaps)) return false;
        m_first = m_downmix.first();
        m_last = m_downmix.last();
    } else {
        m_first = MakeElement(bin, "audioconvert");
        resample = MakeElement(bin, "audioresample");
        m_last = MakeElement(bin, "capsfilter");
        if (!m_first || !resample || !m_last) return false;
        CapsRef caps(gst_caps_from_string(kProcessorCaps));
        g_object_set(m_last, "caps", caps.get(), nullptr);
    }
    gst_segment_init(&m_segment, GST_FORMAT_TIME);
    m_firstTime.store(-1);
    m_lastTime.store(-1);
    GstRef<GstPad> sink(gst_element_get_static_pad(m_first, "sink"));
    gst_pad_add_probe(sink.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                   GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &AudioProcessorFilter::OnProbe, this, nullptr);
    return resample == nullptr || LinkChain({m_first, resample, m_last});
}

GstPadProbeReturn AudioProcessorFilter::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<AudioProcessorFilter*>(data);
    if (info->type & (GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH)) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* segment = nullptr;
            gst_event_parse_segment(event, &segment);
            self->m_segment = *segment;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
            // A seek starts the played range anew: so do the times.
            self->m_firstTime.store(-1);
            self->m_lastTime.store(-1);
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts) || self->m_segment.format != GST_FORMAT_TIME) return GST_PAD_PROBE_OK;
    guint64 running = 0;
    if (gst_segment_to_running_time_full(&self->m_segment, GST_FORMAT_TIME, pts, &running) <= 0)
        running = 0;  // a sample that begins before the range counts from its start
    const auto start = static_cast<std::int64_t>(running / 100);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const auto end = start + (GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<std::int64_t>(duration / 100) : 0);
    std::int64_t unset = -1;
    self->m_firstTime.compare_exchange_strong(unset, start);
    self->m_lastTime.store(std::max(end, self->m_lastTime.load()));
    return GST_PAD_PROBE_OK;
}

HRESULT AudioProcessorFilter::GetFirstSampleTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    const std::int64_t first = m_firstTime.load();
    *time = std::max<std::int64_t>(first, 0);
    return first < 0 ? S_FALSE : S_OK;
}

HRESULT AudioProcessorFilter::GetLastSampleTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    const std::int64_t last = m_lastTime.load();
    *time = std::max<std::int64_t>(last, 0);
    return last < 0 ? S_FALSE : S_OK;
}

GstPad* AudioProcessorFilter::InputPad(int index)
{
    if (index != 0 || !m_first) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_first, "sink"));
    return pad.get();
}

GstPad* AudioProcessorFilter::OutputPad(int index)
{
    if (index != 0 || !m_last) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_last, "src"));
    return pad.get();
}

void Mp3EncoderFilter::CreatePins()
{
    AddPin(PINDIR_INPUT, "In");
    auto out = AddPin(PINDIR_OUTPUT, "Out");
    out->m_format.major = MEDIATYPE_Audio;
    out->m_format.subtype = MEDIASUBTYPE_MP3;
    out->m_format.sampleRate = kOutputSampleRate;
    out->m_format.channels = kOutputChannels;
}

bool Mp3EncoderFilter::Accepts(const Pin& in, const MediaFormat& upstream) const
{
    return in.Direction() == PINDIR_INPUT && IsAudio(upstream) && upstream.subtype == MEDIASUBTYPE_PCM;
}

MediaFormat Mp3EncoderFilter::OutputFormat(const Pin& out) const { return out.m_format; }

bool Mp3EncoderFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>&)
{
    // The converters make the encoder take decoded sound of any rate directly as well.
    m_first = MakeElement(bin, "audioconvert");
    GstElement* resample = MakeElement(bin, "audioresample");
    GstElement* filter = MakeElement(bin, "capsfilter");
    m_last = MakeElement(bin, "lamemp3enc");
    if (!m_first || !resample || !filter || !m_last) return false;
    CapsRef caps(gst_caps_from_string(kProcessorCaps));
    g_object_set(filter, "caps", caps.get(), nullptr);
    gst_util_set_object_arg(G_OBJECT(m_last), "target", "bitrate");
    g_object_set(m_last, "bitrate", kMp3BitrateKbps, "cbr", TRUE, nullptr);
    return LinkChain({m_first, resample, filter, m_last});
}

GstPad* Mp3EncoderFilter::InputPad(int index)
{
    if (index != 0 || !m_first) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_first, "sink"));
    return pad.get();
}

GstPad* Mp3EncoderFilter::OutputPad(int index)
{
    if (index != 0 || !m_last) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_last, "src"));
    return pad.get();
}

void WavDestFilter::CreatePins()
{
    AddPin(PINDIR_INPUT, "In");
    auto out = AddPin(PINDIR_OUTPUT, "Out");
    out->m_format.major = MEDIATYPE_Stream;
    out->m_format.subtype = MEDIASUBTYPE_WAVE;
}

bool WavDestFilter::Accepts(const Pin& in, const MediaFormat& upstream) const
{
    return in.Direction() == PINDIR_INPUT && IsAudio(upstream);
}

MediaFormat WavDestFilter::OutputFormat(const Pin& out) const { return out.m_format; }

bool WavDestFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>&)
{
    m_element = MakeElement(bin, "identity");
    return m_element != nullptr;
}

GstPad* WavDestFilter::InputPad(int index)
{
    if (index != 0 || !m_element) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_element, "sink"));
    return pad.get();
}

GstPad* WavDestFilter::OutputPad(int index)
{
    if (index != 0 || !m_element) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_element, "src"));
    return pad.get();
}

// ---------------------------------------------------------------- file writer

FileWriterFilter::~FileWriterFilter() { Finish(); }

void FileWriterFilter::CreatePins() { AddPin(PINDIR_INPUT, "in"); }

HRESULT FileWriterFilter::SetFileName(const std::string& path, const AM_MEDIA_TYPE*)
{
    if (path.empty()) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    m_path = path;
    return S_OK;
}

HRESULT FileWriterFilter::GetErrorDetail(ErrorDetail* detail)
{
    if (!detail) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *detail = m_error;
    return m_error.kind == ErrorDetail::Kind::None ? S_FALSE : S_OK;
}

bool FileWriterFilter::Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate)
{
    m_sink = MakeElement(bin, "appsink");
    if (!m_sink) return false;
    g_object_set(m_sink, "sync", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &FileWriterFilter::OnSample;
    callbacks.eos = [](GstAppSink* sink, gpointer self) { OnEos(GST_ELEMENT(sink), self); };
    gst_app_sink_set_callbacks(GST_APP_SINK(m_sink), &callbacks, this, nullptr);
    std::lock_guard lock(m_mutex);
    m_gate = gate;
    m_finished = false;
    auto in = PinAt(PINDIR_INPUT, 0);
    auto peer = in ? in->Peer() : nullptr;
    auto upstream = peer ? peer->Owner() : nullptr;
    m_wavHead = upstream && upstream->m_clsid == CLSID_WavDest;
    return true;
}

bool FileWriterFilter::Failed(const char* what, int error)
{
    if (m_error.kind == ErrorDetail::Kind::None) {
        m_error.kind = ErrorDetail::Kind::Output;
        m_error.element = m_sink ? GST_OBJECT_NAME(m_sink) : "";
        m_error.text = std::string(what) + " " + m_path + ": " + std::strerror(error);
        m_error.debug = std::string("write failed with errno ") + std::to_string(error);
        m_errno = error;
    }
    return false;
}

bool FileWriterFilter::WriteAll(const void* data, std::size_t size, off_t offset)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(m_fd, p, size) : ::pwrite(m_fd, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Failed("Cannot write", n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

bool FileWriterFilter::OpenFile()
{
    // The file is made new, never opened through a name that exists: a link
    // or file planted there makes the write fail instead of landing elsewhere.
    // A pipeline built again for the same run replaces what this filter made.
    if (m_created) ::unlink(m_path.c_str());
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_fd < 0) return Failed("Cannot create", errno);
    m_created = true;
    m_dataBytes = 0;
    if (!m_wavHead) return true;
    const auto head = BuildWavHead(0);
    return WriteAll(head.data(), head.size(), -1);
}

void FileWriterFilter::PostWriteError()
{
    // The pipeline stops on our error, and the graph reports its text rather
    // than the "Internal data stream error" that follows upstream.
    if (!m_sink) return;
    const GstResourceError code = m_errno == ENOSPC ? GST_RESOURCE_ERROR_NO_SPACE_LEFT : GST_RESOURCE_ERROR_WRITE;
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, code, m_error.text.c_str());
    gst_element_post_message(m_sink, gst_message_new_error(GST_OBJECT(m_sink), error, m_error.debug.c_str()));
    g_error_free(error);
}

GstFlowReturn FileWriterFilter::OnSample(GstAppSink* sink, gpointer self)
{
    auto* writer = static_cast<FileWriterFilter*>(self);
    std::unique_ptr<GstSample, decltype(&gst_sample_unref)> sample(gst_app_sink_pull_sample(sink), &gst_sample_unref);
    if (!sample) return GST_FLOW_OK;
    std::lock_guard lock(writer->m_mutex);
    if (writer->m_finished || !writer->m_gate || !writer->m_gate->deliver.load() || writer->m_path.empty())
        return GST_FLOW_OK;
    if (writer->m_error.kind != ErrorDetail::Kind::None) return GST_FLOW_ERROR;
    if (writer->m_fd < 0 && !writer->OpenFile()) {
        writer->PostWriteError();
        return GST_FLOW_ERROR;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const bool written = writer->WriteAll(map.data, map.size, -1);
        if (written) writer->m_dataBytes += map.size;
        gst_buffer_unmap(buffer, &map);
        if (!written) {
            writer->PostWriteError();
            return GST_FLOW_ERROR;
        }
    }
    return GST_FLOW_OK;
}

void FileWriterFilter::OnEos(GstElement*, gpointer self) { static_cast<FileWriterFilter*>(self)->Finish(); }

void FileWriterFilter::Finish()
{
    std::lock_guard lock(m_mutex);
    m_finished = true;
    if (m_fd < 0) return;
    if (m_wavHead && m_error.kind == ErrorDetail::Kind::None) {
        const auto head = BuildWavHead(m_dataBytes);
        WriteAll(head.data(), head.size(), 0);
    }
    // Closing can be where a full disk shows first.
    if (::close(m_fd) != 0 && errno != EINTR) Failed("Cannot write", errno);
    m_fd = -1;
}

GstPad* FileWriterFilter::InputPad(int index)
{
    if (index != 0 || !m_sink) return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_sink, "sink"));
    return pad.get();
}

void FileWriterFilter::Unrealize()
{
    Finish();
    m_sink = nullptr;
}

// ---------------------------------------------------------------- MPEG-2 decoder

void Mpeg2DecoderFilter::CreatePins()
{
    AddPin(PINDIR_INPUT, "Video Input");
    AddPin(PINDIR_OUTPUT, "Video Output");
}

bool Mpeg2DecoderFilter::Accepts(const Pin&, const MediaFormat&) const { return false; }

}  // namespace zem::media
