#pragma once
// The sample grabber: hands every decoded picture to a callback, as 24-bit BGR.
#include "GraphImpl.h"

#include <gst/video/video.h>

#include <functional>
#include <memory>
#include <vector>

namespace zem::media {

// Threads: the window's thread sets it up (the ISampleGrabber calls, Realize)
// while the graph is stopped; the queue's streaming thread then runs the probe
// and the callback. The two never run at once, so no lock is needed; the gate's
// atomics say whether pictures are handed on.
class SampleGrabberFilter : public ElementChainFilter, public ISampleGrabber {
public:
    SampleGrabberFilter() : ElementChainFilter(CLSID_SampleGrabber) {}
    void CreatePins() override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT SetBufferSamples(bool buffer) override;
    HRESULT SetOneShot(bool oneShot) override;
    HRESULT SetCallback(ISampleGrabberCB* callback, long which) override;

    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    MediaFormat OutputFormat(const Pin& out) const override;
    bool IsRenderer() const override { return false; }
    bool Delivers() const override { return true; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
    void Unrealize() override;

private:
    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    GstPadProbeReturn Handle(GstPadProbeInfo* info);
    // Ends the stream after the first picture in one-shot mode.
    void FinishShot();

    // Set up on the window's thread.
    bool m_typeSet = false;
    bool m_oneShot = false;
    bool m_bufferSamples = false;  // kept for the caller; the layer hands pictures only to the callback
    ISampleGrabberCB* m_callback = nullptr;
    long m_which = 0;
    std::function<void(long)> m_post;  // posts a graph event (one-shot mode's end)
    std::shared_ptr<StreamGate> m_gate;

    // Streaming-thread state, reset by Realize.
    GstSegment m_segment{};
    GstVideoInfo m_info{};
    bool m_infoValid = false;
    bool m_shotTaken = false;
    double m_lastTime = -1.0;  // seconds; -1 at the start of a range
    std::vector<std::uint8_t> m_bgr;
};

}  // namespace zem::media
