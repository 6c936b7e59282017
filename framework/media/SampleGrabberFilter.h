#pragma once
// The sample grabber: hands every decoded picture to a callback, as 24-bit BGR.
#include "GraphImpl.h"
#include "PictureColour.h"
#include "WidePicture.h"

#include <gst/video/video.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zem::media {

// Threads: the window's thread sets the grabber up (the ISampleGrabber calls,
// Realize, Unrealize); the queue's streaming thread runs the probe and the
// callback. The callback settings may change while the pipeline runs, so the
// probe reads them under m_settingsMutex, once a picture. The per-run state
// passes between the window's thread (reset between runs) and the streaming
// threads of successive pipelines under m_runMutex, which the probe holds while
// it runs: that hand-over is otherwise ordered only by GStreamer stopping the
// old pipeline's threads, which ThreadSanitizer cannot see. The lock is never
// contended, as no streaming thread runs while the window's thread resets it.
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
    // What the callback is and how it is called, read together once a picture.
    struct Settings {
        ISampleGrabberCB* callback = nullptr;
        long which = 0;
        bool oneShot = false;
    };

    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    // The probe's work, with m_runMutex held.
    GstPadProbeReturn Handle(GstPadProbeInfo* info);
    GstPadProbeReturn HandlePicture(GstBuffer* buffer, const Settings& settings);
    // Running time (ns) of a picture; 0 before the range or without a time.
    GstClockTime RunningTime(GstClockTime pts) const;
    // The time the callback gets for a picture, in seconds, never at or before the last.
    double PictureTime(GstClockTime running);
    // Tells the callback the pictures left undecoded before `before` (all: NONE).
    void TellSkipped(GstClockTime before, const Settings& settings);
    // Ends the stream after the first picture in one-shot mode.
    void FinishShot(const Settings& settings);
    Settings CurrentSettings() const;

    // The window's thread alone.
    bool m_typeSet = false;
    bool m_bufferSamples = false; // kept for the caller; the layer hands pictures only to the callback

    // Written by the window's thread at any time; the lock protects the field below.
    mutable std::mutex m_settingsMutex;
    Settings m_settings;

    // Reset by Realize, then the streaming thread's while the pipeline runs; the
    // lock protects the fields below.
    std::mutex m_runMutex;
    std::function<void(long)> m_post; // posts a graph event (one-shot mode's end)
    std::shared_ptr<StreamGate> m_gate;
    GstSegment m_segment{};
    GstVideoInfo m_info{};
    bool m_infoValid = false;
    zem::colour::PictureColour m_colour; // what the pictures' samples mean
    bool m_wide = false;                  // they need the colour work
    zem::colour::WidePicture m_widePicture;
    bool m_shotTaken = false;
    double m_lastTime = -1.0; // seconds; -1 at the start of a range
    std::vector<std::uint8_t> m_bgr;
};

} // namespace zem::media
