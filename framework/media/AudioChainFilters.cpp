#include "AudioChainFilters.h"

#include "AudioFormat.h"

#include <algorithm>

namespace zem::media {

namespace {

constexpr const char* kProcessorCaps = "audio/x-raw, format=(string)S16LE, rate=(int)48000, channels=(int)2";

bool TakesPcm(const Pin& in, const MediaFormat& upstream) {
    return in.Direction() == PINDIR_INPUT && upstream.major == MEDIATYPE_Audio && upstream.subtype == MEDIASUBTYPE_PCM;
}

// An input and an output pin offering `subtype` at the output rate and channels.
void AddConverterPins(BaseFilter& filter, const GUID& major, const GUID& subtype, bool sized) {
    filter.AddPin(PINDIR_INPUT, "In");
    MediaFormat format;
    format.major = major;
    format.subtype = subtype;
    if (sized) {
        format.sampleRate = kOutputSampleRate;
        format.channels = kOutputChannels;
    }
    filter.AddPin(PINDIR_OUTPUT, "Out")->SetFormat(format);
}

} // namespace

// ---------------------------------------------------------------- audio processor

void AudioProcessorFilter::CreatePins() {
    AddConverterPins(*this, MEDIATYPE_Audio, MEDIASUBTYPE_PCM, true);
}

bool AudioProcessorFilter::Accepts(const Pin& in, const MediaFormat& upstream) const {
    return TakesPcm(in, upstream);
}

bool AudioProcessorFilter::Realize(GstBin* bin, const RealizeContext&) {
    // Sound of more than two channels takes the mixing chain; mono and stereo
    // keep the plain one, byte for byte.
    const auto in = PinAt(PINDIR_INPUT, 0);
    GstElement* resample = nullptr;
    GstElement* first = nullptr;
    GstElement* last = nullptr;
    if (in && in->Format().channels >= kDownmixMinChannels) {
        if (!m_downmix.Realize(bin, kProcessorCaps))
            return false;
        first = m_downmix.first();
        last = m_downmix.last();
        SetChain(first, last);
    } else {
        first = MakeElement(bin, "audioconvert");
        resample = MakeElement(bin, "audioresample");
        last = MakeElement(bin, "capsfilter");
        SetChain(first, last);
        if (!first || !resample || !last)
            return false;
        CapsRef caps(gst_caps_from_string(kProcessorCaps));
        g_object_set(last, "caps", caps.get(), nullptr);
    }
    gst_segment_init(&m_segment, GST_FORMAT_TIME);
    m_firstTime.store(-1);
    m_lastTime.store(-1);
    GstRef<GstPad> sink(gst_element_get_static_pad(first, "sink"));
    gst_pad_add_probe(sink.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                   GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &AudioProcessorFilter::OnProbe, this, nullptr);
    return resample == nullptr || LinkChain({first, resample, last});
}

void AudioProcessorFilter::Unrealize() {
    m_downmix.Unrealize();
    ElementChainFilter::Unrealize();
}

GstPadProbeReturn AudioProcessorFilter::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer data) {
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
    if (!GST_CLOCK_TIME_IS_VALID(pts) || self->m_segment.format != GST_FORMAT_TIME)
        return GST_PAD_PROBE_OK;
    guint64 running = 0;
    if (gst_segment_to_running_time_full(&self->m_segment, GST_FORMAT_TIME, pts, &running) <= 0)
        running = 0; // a sample that begins before the range counts from its start
    const auto start = static_cast<std::int64_t>(running / 100);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const auto end = start + (GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<std::int64_t>(duration / 100) : 0);
    std::int64_t unset = -1;
    self->m_firstTime.compare_exchange_strong(unset, start);
    self->m_lastTime.store(std::max(end, self->m_lastTime.load()));
    return GST_PAD_PROBE_OK;
}

HRESULT AudioProcessorFilter::GetFirstSampleTime(REFERENCE_TIME* time) {
    if (!time)
        return E_POINTER;
    const std::int64_t first = m_firstTime.load();
    *time = std::max<std::int64_t>(first, 0);
    return first < 0 ? S_FALSE : S_OK;
}

HRESULT AudioProcessorFilter::GetLastSampleTime(REFERENCE_TIME* time) {
    if (!time)
        return E_POINTER;
    const std::int64_t last = m_lastTime.load();
    *time = std::max<std::int64_t>(last, 0);
    return last < 0 ? S_FALSE : S_OK;
}

// ---------------------------------------------------------------- MP3 encoder

void Mp3EncoderFilter::CreatePins() {
    AddConverterPins(*this, MEDIATYPE_Audio, MEDIASUBTYPE_MP3, true);
}

bool Mp3EncoderFilter::Accepts(const Pin& in, const MediaFormat& upstream) const {
    return TakesPcm(in, upstream);
}

bool Mp3EncoderFilter::Realize(GstBin* bin, const RealizeContext&) {
    // The converters make the encoder take decoded sound of any rate directly as well.
    GstElement* convert = MakeElement(bin, "audioconvert");
    GstElement* resample = MakeElement(bin, "audioresample");
    GstElement* filter = MakeElement(bin, "capsfilter");
    GstElement* encoder = MakeElement(bin, "lamemp3enc");
    SetChain(convert, encoder);
    if (!convert || !resample || !filter || !encoder)
        return false;
    CapsRef caps(gst_caps_from_string(kProcessorCaps));
    g_object_set(filter, "caps", caps.get(), nullptr);
    gst_util_set_object_arg(G_OBJECT(encoder), "target", "bitrate");
    g_object_set(encoder, "bitrate", kMp3BitrateKbps, "cbr", TRUE, nullptr);
    return LinkChain({convert, resample, filter, encoder});
}

// ---------------------------------------------------------------- WavDest

void WavDestFilter::CreatePins() {
    AddConverterPins(*this, MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, false);
}

bool WavDestFilter::Accepts(const Pin& in, const MediaFormat& upstream) const {
    return in.Direction() == PINDIR_INPUT && upstream.major == MEDIATYPE_Audio;
}

bool WavDestFilter::Realize(GstBin* bin, const RealizeContext&) {
    GstElement* identity = MakeElement(bin, "identity");
    SetChain(identity, identity);
    return identity != nullptr;
}

} // namespace zem::media
