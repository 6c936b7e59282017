#include "RendererFilters.h"

#include "PictureConvert.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zem::media {

namespace {

// Pictures of more than 8 bits come as they are, to be shown with the colours
// the conversion gives them (see ShowWide).
constexpr const char* kRendererCaps =
    "video/x-raw, format=(string)BGRx; video/x-raw, format=(string){ " ZEM_WIDE_FORMATS " }";
// Such pictures are shrunk to fit this box before their colour work: the view
// is smaller, and it scales what it shows anyway.
constexpr int kWidePreviewWidth = 640;
constexpr int kWidePreviewHeight = 480;
constexpr long kSilentVolume = -10000;

} // namespace

// ---------------------------------------------------------------- video renderer

VideoRendererFilter::VideoRendererFilter() : ElementChainFilter(CLSID_VideoRenderer), m_view(MakeVideoView()) {}

VideoRendererFilter::~VideoRendererFilter() = default;

void VideoRendererFilter::CreatePins() {
    AddPin(PINDIR_INPUT, "Input");
}

bool VideoRendererFilter::Accepts(const Pin&, const MediaFormat& upstream) const {
    return upstream.major == MEDIATYPE_Video;
}

bool VideoRendererFilter::Realize(GstBin* bin, const RealizeContext&) {
    GstElement* convert = MakeElement(bin, "videoconvert");
    GstElement* sink = MakeElement(bin, "appsink");
    SetChain(convert, sink);
    if (!convert || !sink)
        return false;
    CapsRef caps(gst_caps_from_string(kRendererCaps));
    g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 2u, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = [](GstAppSink* sink, gpointer self) { return OnSample(GST_ELEMENT(sink), self, true); };
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) { return OnSample(GST_ELEMENT(sink), self, false); };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    return LinkChain({convert, sink});
}

GstFlowReturn VideoRendererFilter::OnSample(GstElement* sink, gpointer self, bool preroll) {
    auto* renderer = static_cast<VideoRendererFilter*>(self);
    GstSample* raw =
        preroll ? gst_app_sink_pull_preroll(GST_APP_SINK(sink)) : gst_app_sink_pull_sample(GST_APP_SINK(sink));
    std::unique_ptr<GstSample, decltype(&gst_sample_unref)> sample(raw, &gst_sample_unref);
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample.get()) : nullptr;
    if (!buffer)
        return GST_FLOW_OK;
    // Frame Step goes on from this picture, whatever the clock did meanwhile.
    const GstSegment* segment = gst_sample_get_segment(sample.get());
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (segment && segment->format == GST_FORMAT_TIME && GST_CLOCK_TIME_IS_VALID(pts)) {
        const GstClockTime time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts);
        const GstClockTime duration = GST_BUFFER_DURATION(buffer);
        renderer->m_shownDuration.store(GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<gint64>(duration) : 0);
        renderer->m_shownTime.store(GST_CLOCK_TIME_IS_VALID(time) ? static_cast<gint64>(time) : -1);
    }
    GstVideoInfo info;
    if (!renderer->m_view || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())))
        return GST_FLOW_OK;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return GST_FLOW_OK;
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGRx)
        renderer->m_view->Show(static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), info.width,
                               info.height, GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    else
        renderer->ShowWide(frame, gst_sample_get_caps(sample.get()));
    gst_video_frame_unmap(&frame);
    return GST_FLOW_OK;
}

void VideoRendererFilter::ShowWide(const GstVideoFrame& frame, const GstCaps* caps) {
    const GstVideoInfo& info = frame.info;
    zem::colour::WidePlanes planes;
    if (!WidePlanesOf(frame, PictureColourOf(info, caps), planes))
        return;
    // The picture's own proportions inside the box, never enlarged.
    int width = info.width, height = info.height;
    if (width > kWidePreviewWidth || height > kWidePreviewHeight) {
        const double scale = std::min(double(kWidePreviewWidth) / width, double(kWidePreviewHeight) / height);
        width = std::max(1, int(std::lround(width * scale)));
        height = std::max(1, int(std::lround(height * scale)));
    }
    const int stride = width * 4;
    m_shown.resize(static_cast<std::size_t>(stride) * height);
    if (m_widePicture.Convert(planes, width, height, m_shown.data(), stride, 4, false))
        m_view->Show(m_shown.data(), width, height, stride);
}

bool VideoRendererFilter::ShownPicture(gint64* streamTime, gint64* duration) const {
    const gint64 time = m_shownTime.load();
    if (time < 0)
        return false;
    *streamTime = time;
    *duration = m_shownDuration.load();
    return true;
}

// ---------------------------------------------------------------- audio renderer

void AudioRendererFilter::CreatePins() {
    AddPin(PINDIR_INPUT, "Audio Input pin (rendered)");
}

bool AudioRendererFilter::Accepts(const Pin&, const MediaFormat& upstream) const {
    return upstream.major == MEDIATYPE_Audio;
}

void AudioRendererFilter::SetVolume(long volume) {
    m_volume = std::clamp(volume, kSilentVolume, 0L);
    if (m_volumeElement) {
        // Hundredths of a decibel; the bottom of the range is silence.
        const double linear = m_volume <= kSilentVolume ? 0.0 : std::pow(10.0, m_volume / 2000.0);
        g_object_set(m_volumeElement, "volume", linear, nullptr);
    }
}

bool AudioRendererFilter::Realize(GstBin* bin, const RealizeContext&) {
    GstElement* convert = MakeElement(bin, "audioconvert");
    GstElement* resample = MakeElement(bin, "audioresample");
    m_volumeElement = MakeElement(bin, "volume");
    // autoaudiosink falls back to a fake sink that keeps to the clock when the machine has no sound output.
    GstElement* sink = MakeElement(bin, "autoaudiosink");
    if (!sink) {
        sink = MakeElement(bin, "fakesink");
        if (sink)
            g_object_set(sink, "sync", TRUE, nullptr);
    }
    SetChain(convert, sink);
    m_sink = sink;
    if (!convert || !resample || !m_volumeElement || !sink)
        return false;
    SetVolume(m_volume);
    return LinkChain({convert, resample, m_volumeElement, sink});
}

bool AudioRendererFilter::ReachesOutput() const {
    if (!m_sink)
        return false;
    // autoaudiosink picks its sink when it starts; a fake one means no output opened.
    GstElement* actual = m_sink;
    GstRef<GstElement> child;
    if (GST_IS_BIN(m_sink)) {
        GstIterator* it = gst_bin_iterate_sinks(GST_BIN(m_sink));
        GValue item = G_VALUE_INIT;
        if (gst_iterator_next(it, &item) == GST_ITERATOR_OK)
            child.reset(GST_ELEMENT(g_value_dup_object(&item)));
        g_value_unset(&item);
        gst_iterator_free(it);
        if (!child)
            return false;
        actual = child.get();
    }
    GstElementFactory* factory = gst_element_get_factory(actual);
    return factory && std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "fakesink") != 0;
}

void AudioRendererFilter::Unrealize() {
    m_volumeElement = nullptr;
    m_sink = nullptr;
    ElementChainFilter::Unrealize();
}

// ---------------------------------------------------------------- null renderer

void NullRendererFilter::CreatePins() {
    AddPin(PINDIR_INPUT, "In");
}

bool NullRendererFilter::Realize(GstBin* bin, const RealizeContext&) {
    GstElement* sink = MakeElement(bin, "fakesink");
    SetChain(sink, sink);
    if (!sink)
        return false;
    g_object_set(sink, "sync", TRUE, nullptr);
    return true;
}

} // namespace zem::media
