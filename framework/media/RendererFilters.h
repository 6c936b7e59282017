#pragma once
// The renderers: pictures to a VideoView, sound to the sound card, anything to nowhere.
#include "GraphImpl.h"
#include "VideoView.h"
#include "WidePicture.h"

#include <gst/video/video.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace zem::media {

// Threads: the window's thread makes, realises and asks it; the appsink's
// streaming thread hands every picture to the view (VideoView::Show), which
// copies it under its own lock, and notes its time (atomics).
class VideoRendererFilter : public ElementChainFilter, public PictureOutput {
public:
    VideoRendererFilter();
    ~VideoRendererFilter() override;
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool Realize(GstBin* bin, const RealizeContext& context) override;

    PictureOutput* Pictures() override { return this; }
    VideoView* View() override { return m_view.get(); }
    bool ShownPicture(gint64* streamTime, gint64* duration) const override;

private:
    static GstFlowReturn OnSample(GstElement* sink, gpointer self, bool preroll);
    // A picture that needs the colour work, made into the BGRx picture shown.
    void ShowWide(const GstVideoFrame& frame, const GstCaps* caps);
    const std::unique_ptr<VideoView> m_view; // nullptr without zem_media_widgets
    // The appsink's streaming thread alone.
    zem::colour::WidePicture m_widePicture;
    std::vector<std::uint8_t> m_shown;
    std::atomic<gint64> m_shownTime{-1};
    std::atomic<gint64> m_shownDuration{0};
};

// Window's thread only (the volume is set on the element, which GStreamer guards).
class AudioRendererFilter : public ElementChainFilter, public SoundOutput {
public:
    AudioRendererFilter() : ElementChainFilter(CLSID_AudioRenderer) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool Realize(GstBin* bin, const RealizeContext& context) override;
    void Unrealize() override;

    SoundOutput* Sound() override { return this; }
    long Volume() const override { return m_volume; }
    void SetVolume(long volume) override;
    bool ReachesOutput() const override;

private:
    long m_volume = 0;
    GstElement* m_volumeElement = nullptr;
    GstElement* m_sink = nullptr;
};

class NullRendererFilter : public ElementChainFilter {
public:
    NullRendererFilter() : ElementChainFilter(CLSID_NullRenderer) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat&) const override { return true; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
};

} // namespace zem::media
