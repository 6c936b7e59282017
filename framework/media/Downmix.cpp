#include "Downmix.h"

#include "GraphImpl.h"
#include "GstPtr.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zem::media {

namespace {

constexpr float kFull = 1.0f;
constexpr float kSide = 0.7071f;       // -3 dB: centre and surrounds
constexpr float kSplitSurround = 0.5f; // a single rear channel, halved again across both sides
constexpr const char* kMixedCaps = "audio/x-raw, format=(string)F32LE, rate=(int)48000, channels=(int)2";

struct Weights {
    float left;
    float right;
};

Weights WeightsOf(GstAudioChannelPosition position) {
    switch (position) {
    case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT:
        return {kFull, 0};
    case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT:
        return {0, kFull};
    case GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_TOP_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_BOTTOM_FRONT_CENTER:
        return {kSide, kSide};
    case GST_AUDIO_CHANNEL_POSITION_REAR_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_CENTER:
        return {kSplitSurround, kSplitSurround};
    case GST_AUDIO_CHANNEL_POSITION_LFE1:
    case GST_AUDIO_CHANNEL_POSITION_LFE2:
        return {0, 0};
    case GST_AUDIO_CHANNEL_POSITION_REAR_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_SURROUND_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_WIDE_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_TOP_SIDE_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_BOTTOM_FRONT_LEFT:
        return {kSide, 0};
    case GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_SURROUND_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_WIDE_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_TOP_SIDE_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_BOTTOM_FRONT_RIGHT:
        return {0, kSide};
    default:
        return {0, 0};
    }
}

// The matrix as audioconvert's "mix-matrix" takes it: an array of rows, each
// an array of floats.
void SetMixMatrix(GstElement* convert, const std::vector<std::vector<float>>& matrix) {
    GValue rows = G_VALUE_INIT;
    g_value_init(&rows, GST_TYPE_ARRAY);
    for (const auto& weights : matrix) {
        GValue row = G_VALUE_INIT;
        g_value_init(&row, GST_TYPE_ARRAY);
        for (float w : weights) {
            GValue value = G_VALUE_INIT;
            g_value_init(&value, G_TYPE_FLOAT);
            g_value_set_float(&value, w);
            gst_value_array_append_and_take_value(&row, &value);
        }
        gst_value_array_append_and_take_value(&rows, &row);
    }
    g_object_set_property(G_OBJECT(convert), "mix-matrix", &rows);
    g_value_unset(&rows);
}

} // namespace

std::vector<std::vector<float>> LoRoMatrix(const GstAudioChannelPosition* positions, int channels) {
    // audioconvert counts the input channels in the order of their positions.
    std::vector<GstAudioChannelPosition> order(positions, positions + channels);
    std::sort(order.begin(), order.end());
    std::vector<std::vector<float>> matrix(2, std::vector<float>(static_cast<std::size_t>(channels), 0.0f));
    for (int c = 0; c < channels; ++c) {
        const Weights w = WeightsOf(order[static_cast<std::size_t>(c)]);
        matrix[0][static_cast<std::size_t>(c)] = w.left;
        matrix[1][static_cast<std::size_t>(c)] = w.right;
    }
    return matrix;
}

PeakLimiter::PeakLimiter(int rate)
    : m_release(static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * rate)))),
      m_holdFrames(static_cast<std::size_t>(kHoldSeconds * rate)) {}

void PeakLimiter::Reset() {
    m_gain = 1.0f;
    m_held = 0;
}

void PeakLimiter::Process(float* samples, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        float* frame = samples + 2 * i;
        // Both sides share one gain, so the stereo picture does not wander.
        const float peak = std::max(std::fabs(frame[0]), std::fabs(frame[1]));
        if (peak * m_gain > kCeiling) {
            m_gain = kCeiling / peak;
            m_held = m_holdFrames;
        } else if (m_held > 0) {
            --m_held;
        } else if (m_gain < 1.0f) {
            m_gain = std::min(1.0f, m_gain + (1.0f - m_gain) * m_release);
            // Never back above the ceiling within the glide.
            if (peak * m_gain > kCeiling)
                m_gain = kCeiling / peak;
        }
        if (m_gain != 1.0f) {
            frame[0] *= m_gain;
            frame[1] *= m_gain;
        }
    }
}

bool StereoDownmix::Realize(GstBin* bin, const char* outputCaps) {
    m_first = MakeElement(bin, "audioconvert");
    GstElement* resample = MakeElement(bin, "audioresample");
    GstElement* mixed = MakeElement(bin, "capsfilter");
    GstElement* toInteger = MakeElement(bin, "audioconvert");
    m_last = MakeElement(bin, "capsfilter");
    if (!m_first || !resample || !mixed || !toInteger || !m_last)
        return false;
    CapsRef mixedCaps(gst_caps_from_string(kMixedCaps));
    g_object_set(mixed, "caps", mixedCaps.get(), nullptr);
    CapsRef caps(gst_caps_from_string(outputCaps));
    g_object_set(m_last, "caps", caps.get(), nullptr);
    // The limiter has already kept the samples in range: plain rounding.
    gst_util_set_object_arg(G_OBJECT(toInteger), "dithering", "none");
    m_limiter.Reset();
    GstRef<GstPad> input(gst_element_get_static_pad(m_first, "sink"));
    gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &StereoDownmix::OnInput, this, nullptr);
    GstRef<GstPad> output(gst_element_get_static_pad(mixed, "src"));
    gst_pad_add_probe(output.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &StereoDownmix::OnMixed, this, nullptr);
    return LinkChain({m_first, resample, mixed, toInteger, m_last});
}

GstPadProbeReturn StereoDownmix::OnInput(GstPad*, GstPadProbeInfo* info, gpointer data) {
    // The matrix must be in place before audioconvert sees the input's format.
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return GST_PAD_PROBE_OK;
    auto* self = static_cast<StereoDownmix*>(data);
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    GstAudioInfo audio;
    if (!gst_audio_info_from_caps(&audio, caps))
        return GST_PAD_PROBE_OK;
    const int channels = GST_AUDIO_INFO_CHANNELS(&audio);
    // Fewer channels than this chain was built for, or more than the mix
    // knows: audioconvert's own mix.
    if (channels < kDownmixMinChannels || channels > kDownmixMaxChannels)
        return GST_PAD_PROBE_OK;
    std::array<GstAudioChannelPosition, kDownmixMaxChannels> positions{};
    if (GST_AUDIO_INFO_IS_UNPOSITIONED(&audio))
        gst_audio_channel_positions_from_mask(channels, gst_audio_channel_get_fallback_mask(channels),
                                              positions.data());
    else
        std::copy_n(audio.position, channels, positions.begin());
    SetMixMatrix(self->m_first, LoRoMatrix(positions.data(), channels));
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn StereoDownmix::OnMixed(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<StereoDownmix*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_FLUSH) {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP)
            self->m_limiter.Reset();
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE))
        return GST_PAD_PROBE_OK;
    self->m_limiter.Process(reinterpret_cast<float*>(map.data), map.size / (2 * sizeof(float)));
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

} // namespace zem::media
