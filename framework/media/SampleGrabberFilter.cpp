#include "SampleGrabberFilter.h"

#include "OverlayBlend.h"
#include "PictureConvert.h"

namespace zem::media {

namespace {

class GrabbedSample : public IMediaSample {
public:
    GrabbedSample(std::uint8_t* data, long length) : m_data(data), m_length(length) {}
    HRESULT GetPointer(std::uint8_t** buffer) override {
        if (!buffer)
            return E_POINTER;
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
    // `wide`: the picture's colour, when it needs the colour work; null otherwise.
    MappedPictureRows(const GstVideoFrame& frame, const PictureOverlay& overlay, const zem::colour::PictureColour* wide)
        : m_frame(frame), m_overlay(overlay), m_wide(wide) {}
    bool ReadRow(int row, std::uint8_t* dst) override {
        if (m_wide)
            return false;
        if (!ConvertRowToBgr(m_frame, row, dst))
            return false;
        if (!m_overlay.empty())
            m_overlay.BlendRow(GST_VIDEO_FRAME_HEIGHT(&m_frame) - 1 - row, dst);
        return true;
    }
    // Subtitles are drawn into BGR rows, so a picture with them is read by rows.
    bool Planes(zem::YuvPlanes& planes) override {
        return !m_wide && m_overlay.empty() && YuvPlanesOf(m_frame, planes);
    }
    bool WidePlanes(zem::colour::WidePlanes& planes) override {
        return m_wide && WidePlanesOf(m_frame, *m_wide, planes);
    }
    void DrawOverlay(std::uint8_t* bgr, std::ptrdiff_t stride, int width, int height) override {
        m_overlay.BlendScaledBottomUp(bgr, stride, width, height);
    }

private:
    const GstVideoFrame& m_frame;
    const PictureOverlay& m_overlay;
    const zem::colour::PictureColour* m_wide;
};

} // namespace

void SampleGrabberFilter::CreatePins() {
    AddPin(PINDIR_INPUT, "Input");
    AddPin(PINDIR_OUTPUT, "Output");
}

HRESULT SampleGrabberFilter::SetMediaType(const AM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_RGB24)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_typeSet = true;
    return S_OK;
}

HRESULT SampleGrabberFilter::GetConnectedMediaType(AM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    auto in = PinAt(PINDIR_INPUT, 0);
    if (!in || !in->IsConnected())
        return VFW_E_NOT_CONNECTED;
    FillMediaType(OutputFormat(*PinAt(PINDIR_OUTPUT, 0)), type);
    return S_OK;
}

HRESULT SampleGrabberFilter::SetBufferSamples(bool buffer) {
    m_bufferSamples = buffer;
    return S_OK;
}

HRESULT SampleGrabberFilter::SetOneShot(bool oneShot) {
    std::lock_guard lock(m_settingsMutex);
    m_settings.oneShot = oneShot;
    return S_OK;
}

HRESULT SampleGrabberFilter::SetCallback(ISampleGrabberCB* callback, long which) {
    if (which != 0 && which != 1)
        return E_INVALIDARG;
    std::lock_guard lock(m_settingsMutex);
    m_settings.callback = callback;
    m_settings.which = which;
    return S_OK;
}

SampleGrabberFilter::Settings SampleGrabberFilter::CurrentSettings() const {
    std::lock_guard lock(m_settingsMutex);
    return m_settings;
}

bool SampleGrabberFilter::Accepts(const Pin& in, const MediaFormat& upstream) const {
    return in.Direction() == PINDIR_INPUT && upstream.major == MEDIATYPE_Video;
}

MediaFormat SampleGrabberFilter::OutputFormat(const Pin&) const {
    MediaFormat format;
    auto in = PinAt(PINDIR_INPUT, 0);
    if (in)
        format = in->Format();
    format.major = MEDIATYPE_Video;
    format.subtype = MEDIASUBTYPE_RGB24;
    return format;
}

bool SampleGrabberFilter::Realize(GstBin* bin, const RealizeContext& context) {
    GstElement* convert = MakeElement(bin, "videoconvert");
    GstElement* filter = MakeElement(bin, "capsfilter");
    // The callback's work (colour conversion, scaling, JPEG coding) runs on the
    // queue's own thread, so the decoder goes on with the next pictures on the
    // other core meanwhile.
    GstElement* queue = MakeElement(bin, "queue");
    SetChain(convert, queue);
    if (!convert || !filter || !queue)
        return false;
    g_object_set(queue, "max-size-buffers", kGrabberQueuePictures, "max-size-bytes", kGrabberQueueBytes, "max-size-time",
                 static_cast<guint64>(0), nullptr);
    CapsRef caps(gst_caps_from_string(kGrabberInputCaps));
    g_object_set(filter, "caps", caps.get(), nullptr);
    {
        std::lock_guard lock(m_runMutex);
        m_gate = context.gate;
        m_post = context.post;
        m_infoValid = false;
        m_wide = false;
        m_shotTaken = false;
        gst_segment_init(&m_segment, GST_FORMAT_TIME);
    }
    GstRef<GstPad> sink(gst_element_get_static_pad(convert, "sink"));
    AcceptOverlayMeta(sink.get());
    GstRef<GstPad> src(gst_element_get_static_pad(queue, "src"));
    gst_pad_add_probe(src.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &SampleGrabberFilter::OnProbe, this, nullptr);
    return LinkChain({convert, filter, queue});
}

GstPadProbeReturn SampleGrabberFilter::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* grabber = static_cast<SampleGrabberFilter*>(self);
    std::lock_guard lock(grabber->m_runMutex);
    return grabber->Handle(info);
}

GstPadProbeReturn SampleGrabberFilter::Handle(GstPadProbeInfo* info) {
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* segment = nullptr;
            gst_event_parse_segment(event, &segment);
            m_segment = *segment;
            m_lastTime = -1.0;
            // The pacing's grid holds for one rate only.
            if (segment->rate != 1.0 || segment->applied_rate != 1.0)
                m_gate->skip->Disable();
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
            const Settings settings = CurrentSettings();
            if (settings.callback && m_infoValid && m_gate->deliver.load())
                TellSkipped(GST_CLOCK_TIME_NONE, settings);
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            m_infoValid = gst_video_info_from_caps(&m_info, caps);
            if (m_infoValid) {
                m_colour = PictureColourOf(m_info, caps);
                m_wide = NeedsWidePath(m_info, m_colour);
            }
        }
        return GST_PAD_PROBE_OK;
    }
    if (m_shotTaken)
        return GST_PAD_PROBE_DROP;
    const Settings settings = CurrentSettings();
    if (!settings.callback || !m_infoValid || !m_gate->deliver.load())
        return GST_PAD_PROBE_OK;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    TellSkipped(RunningTime(GST_BUFFER_PTS(buffer)), settings);
    const GstPadProbeReturn result = HandlePicture(buffer, settings);
    FrameGrid grid;
    if (settings.which == 1 && m_segment.rate == 1.0 && m_segment.applied_rate == 1.0 &&
        settings.callback->SkipGrid(&grid.first, &grid.interval))
        m_gate->skip->SetGrid(grid);
    else
        m_gate->skip->Disable();
    return result;
}

GstClockTime SampleGrabberFilter::RunningTime(GstClockTime pts) const {
    guint64 running = 0;
    // A picture that starts before the range but covers its start counts as time 0.
    if (GST_CLOCK_TIME_IS_VALID(pts) &&
        gst_segment_to_running_time_full(&m_segment, GST_FORMAT_TIME, pts, &running) > 0)
        return running;
    return 0;
}

double SampleGrabberFilter::PictureTime(GstClockTime running) {
    double seconds = static_cast<double>(running) / GST_SECOND;
    // Some MPEG streams stamp two pictures alike around a group boundary; a picture
    // never gets a time at or before the one handed on before it.
    if (m_lastTime >= 0.0 && seconds <= m_lastTime) {
        const double step = GST_VIDEO_INFO_FPS_N(&m_info) > 0
                                ? static_cast<double>(GST_VIDEO_INFO_FPS_D(&m_info)) / GST_VIDEO_INFO_FPS_N(&m_info)
                                : 0.001;
        seconds = m_lastTime + step;
    }
    m_lastTime = seconds;
    return seconds;
}

void SampleGrabberFilter::TellSkipped(GstClockTime before, const Settings& settings) {
    // The pacing hears of each picture left undecoded where it would have
    // come, with the time it would have had.
    for (const GstClockTime running : m_gate->skip->TakeSkippedBefore(before))
        settings.callback->SkippedSample(PictureTime(running));
}

GstPadProbeReturn SampleGrabberFilter::HandlePicture(GstBuffer* buffer, const Settings& settings) {
    ISampleGrabberCB* callback = settings.callback;
    const double seconds = PictureTime(RunningTime(GST_BUFFER_PTS(buffer)));
    if (settings.which == 1 && !callback->WillTakeSample(seconds))
        return GST_PAD_PROBE_OK;
    if (settings.which == 1 && callback->TakesRows()) {
        // No full-size BGR copy: the callback converts the rows it reads.
        if (!m_wide && !CanConvertToBgr(m_info))
            return GST_PAD_PROBE_OK;
        GstVideoFrame mapped;
        if (!gst_video_frame_map(&mapped, &m_info, buffer, GST_MAP_READ))
            return GST_PAD_PROBE_OK;
        const PictureOverlay overlay(buffer, GST_VIDEO_INFO_WIDTH(&m_info), GST_VIDEO_INFO_HEIGHT(&m_info));
        MappedPictureRows rows(mapped, overlay, m_wide ? &m_colour : nullptr);
        callback->RowsCB(seconds, rows);
        gst_video_frame_unmap(&mapped);
        FinishShot(settings);
        return GST_PAD_PROBE_OK;
    }
    const int width = GST_VIDEO_INFO_WIDTH(&m_info);
    const int height = GST_VIDEO_INFO_HEIGHT(&m_info);
    const std::size_t size = static_cast<std::size_t>(Rgb24Stride(width)) * height;
    if (m_bgr.size() != size)
        m_bgr.assign(size, 0);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &m_info, buffer, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    zem::colour::WidePlanes planes;
    const bool converted = m_wide ? WidePlanesOf(frame, m_colour, planes) &&
                                        m_widePicture.Convert(planes, width, height, m_bgr.data(),
                                                              Rgb24Stride(width), 3, true)
                                  : ConvertToBgrBottomUp(frame, m_bgr.data());
    gst_video_frame_unmap(&frame);
    if (!converted)
        return GST_PAD_PROBE_OK;
    PictureOverlay(buffer, width, height).BlendBottomUp(m_bgr.data(), Rgb24Stride(width));
    if (settings.which == 1) {
        callback->BufferCB(seconds, m_bgr.data(), static_cast<long>(size));
    } else {
        GrabbedSample sample(m_bgr.data(), static_cast<long>(size));
        callback->SampleCB(seconds, &sample);
    }
    FinishShot(settings);
    return GST_PAD_PROBE_OK;
}

void SampleGrabberFilter::FinishShot(const Settings& settings) {
    if (settings.oneShot) {
        m_shotTaken = true;
        if (m_post)
            m_post(EC_COMPLETE);
    }
}

void SampleGrabberFilter::Unrealize() {
    std::lock_guard lock(m_runMutex);
    m_gate.reset();
    ElementChainFilter::Unrealize();
}

} // namespace zem::media
