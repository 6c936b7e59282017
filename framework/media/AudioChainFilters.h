#pragma once
// The conversion's sound chain: processor (any sound -> 48 kHz stereo PCM),
// MP3 encoder and WavDest, whose File Writer puts the WAV head in front.
#include "Downmix.h"
#include "GraphImpl.h"

#include <atomic>
#include <cstdint>

namespace zem::media {

// Any decoded sound -> 48 kHz stereo 16-bit PCM; remembers when the sound
// it passed starts and how far it has come.
// Threads: the window's thread realises it and reads the times; the input's
// streaming thread runs the probe, which alone touches m_segment and writes the
// times (atomics).
class AudioProcessorFilter : public ElementChainFilter, public IStreamTimes {
public:
    AudioProcessorFilter() : ElementChainFilter(CLSID_AudioProcessor) {}
    HRESULT GetFirstSampleTime(REFERENCE_TIME* time) override;
    HRESULT GetLastSampleTime(REFERENCE_TIME* time) override;
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
    void Unrealize() override;

private:
    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    StereoDownmix m_downmix;                   // sound of three channels or more
    GstSegment m_segment{};                    // streaming thread only
    std::atomic<std::int64_t> m_firstTime{-1}; // 100 ns, -1 before the first sample
    std::atomic<std::int64_t> m_lastTime{-1};
};

// LAME: MPEG-1 layer III, 48 kHz, 128 kbit/s constant (384-byte frames).
class Mp3EncoderFilter : public ElementChainFilter {
public:
    Mp3EncoderFilter() : ElementChainFilter(CLSID_Mp3Encoder) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
};

// Passes the stream on; the file writer behind it puts the WAV head in front.
class WavDestFilter : public ElementChainFilter {
public:
    WavDestFilter() : ElementChainFilter(CLSID_WavDest) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool IsRenderer() const override { return false; }
    bool AsksForWavHead() const override { return true; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
};

} // namespace zem::media
