#include "RendererFilters.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>

namespace zem::media {

namespace {

constexpr const char* kRendererCaps = "video/x-raw, format=(string)BGRx";
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
    if (!sample || !renderer->m_view)
        return GST_FLOW_OK;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())))
        return GST_FLOW_OK;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return GST_FLOW_OK;
    renderer->m_view->Show(static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), info.width,
                           info.height, GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    gst_video_frame_unmap(&frame);
    return GST_FLOW_OK;
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
    if (!convert || !resample || !m_volumeElement || !sink)
        return false;
    SetVolume(m_volume);
    return LinkChain({convert, resample, m_volumeElement, sink});
}

void AudioRendererFilter::Unrealize() {
    m_volumeElement = nullptr;
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
