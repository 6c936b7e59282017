#pragma once
// Sound of three to eight channels mixed to stereo for the audio processor.
//
// The mix is ATSC A/52's Lo/Ro: left = front left + 0.707 centre + 0.707
// left surround, right likewise, the low-frequency channel left out. It is
// not normalised, so dialogue in the centre keeps its level; the sums can
// pass full scale, and a peak limiter rides the gain down instead of letting
// the samples clip. Mono and stereo sound never comes here.

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <cstddef>
#include <vector>

namespace zem::media {

inline constexpr int kDownmixMinChannels = 3;
inline constexpr int kDownmixMaxChannels = 8;

// Row 0 gives the left output's weight of each input channel, row 1 the
// right's, columns in the order of `positions`.
std::vector<std::vector<float>> LoRoMatrix(const GstAudioChannelPosition* positions, int channels);

// A gain-riding limiter for interleaved stereo floats: the gain drops at once
// to keep a peak at the ceiling, holds for a moment and then glides back to 1.
// Samples at or below the ceiling while the gain is 1 pass unchanged.
class PeakLimiter {
public:
    static constexpr float kCeiling = 0.944f; // -0.5 dBFS: room for the MP3 coder's ripple
    static constexpr double kHoldSeconds = 0.02;
    static constexpr double kReleaseSeconds = 0.2; // time constant of the return to full gain

    explicit PeakLimiter(int rate = 48000);
    void Reset();
    void Process(float* samples, std::size_t frames);
    float gain() const { return m_gain; }

private:
    float m_release; // fraction of the way back to 1 a sample
    std::size_t m_holdFrames;
    float m_gain = 1.0f;
    std::size_t m_held = 0;
};

// The processor's chain for sound of three channels or more:
// audioconvert (mix matrix) ! audioresample ! float stereo ! limiter !
// audioconvert (no dithering) ! `outputCaps`.
class StereoDownmix {
public:
    // Adds and links the chain in `bin`; returns false when an element is missing.
    bool Realize(GstBin* bin, const char* outputCaps);
    GstElement* first() const { return m_first; }
    GstElement* last() const { return m_last; }
    void Unrealize() { m_first = m_last = nullptr; }

private:
    static GstPadProbeReturn OnInput(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn OnMixed(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    GstElement* m_first = nullptr;
    GstElement* m_last = nullptr;
    PeakLimiter m_limiter; // streaming thread only
};

} // namespace zem::media
