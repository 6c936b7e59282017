#pragma once
// The file source: one output pin per decodable stream, found when the file is loaded.
#include "AvDemuxSource.h"
#include "GraphImpl.h"
#include "Subtitles.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zem::media {

// Threads: Load, Realize, Unrealize and the getters run on the window's thread.
// The decoding bins add their pads (PadAdded, OnAutoplugSelect) on streaming threads,
// which meet the window's thread under m_mutex. Each decoded pad's probe runs on
// that pad's streaming thread and touches only its own PadState and the gate's
// atomics; the thread that adds the pad publishes the PadState to it through
// PadState::ready.
class SourceFilter : public BaseFilter, public IFileSourceFilter, public IErrorDetail {
public:
    explicit SourceFilter(const CLSID& clsid) : BaseFilter(clsid) {}
    ~SourceFilter() override;
    HRESULT Load(const std::string& path, const AM_MEDIA_TYPE* type) override;
    // Why Load failed: the file and the system's or GStreamer's reason.
    HRESULT GetErrorDetail(ErrorDetail* detail) override;
    std::vector<UserText> Warnings() override;

    bool Accepts(const Pin&, const MediaFormat&) const override { return false; }
    bool IsSource() const override { return true; }
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
    void Unrealize() override;

    REFERENCE_TIME Duration() const override { return m_duration; }
    const std::string& Path() const { return m_path; }

private:
    // One decoded pad's state. PadAdded fills the first fields and then sets
    // `ready` (release); the probe reads it (acquire) before anything else, so the
    // hand-over does not rest on GStreamer's own locks, which ThreadSanitizer
    // cannot see. From then on the pad's streaming thread alone touches it.
    struct PadState {
        SourceFilter* owner = nullptr;
        std::shared_ptr<StreamGate> gate;
        bool video = false;
        std::atomic<bool> ready{false};
        GstSegment original{};
        bool haveSegment = false;
        int rate = 0; // decoded sound: samples per second and bytes per frame
        int bytesPerFrame = 0;
        guint32 segmentSeqnum = 0;
        GstClockTime lastPts = GST_CLOCK_TIME_NONE;     // of the last buffer let through
        GstClockTime repeatUntil = GST_CLOCK_TIME_NONE; // a resent range is dropped up to here
    };

    static void OnPadAdded(GstElement*, GstPad* pad, gpointer self);
    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer state);
    static void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self);
    static gint OnAutoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, gpointer self);
    void PadAdded(GstPad* pad);
    // The probe's two cases, on the pad's streaming thread.
    GstPadProbeReturn PassSegment(PadState& state, GstPadProbeInfo* info);
    GstPadProbeReturn PassBuffer(PadState& state, GstPadProbeInfo* info);
    // These run with m_mutex held, on the streaming thread that adds the pads.
    GstPad* DrawSubtitlesOn(GstPad* pictures);
    GstPad* TurnUpright(GstPad* pictures);
    GstPad* PlainTextFrom(GstPad* stored);
    static GstPadProbeReturn OnCueText(GstPad* pad, GstPadProbeInfo* info, gpointer);
    bool JoinTextTrack(GstPad* text);

    // Written by Load on the window's thread before any stream runs.
    ErrorDetail m_error;
    std::string m_path;
    std::string m_uri;
    REFERENCE_TIME m_duration = 0;
    // The first picture stream's orientation from the container; empty when
    // the stored picture is shown as it is.
    std::string m_orientation;
    // The error a damaged file's demuxer reports and plays through.
    std::string m_knownDamage;
    // The streams libavformat reads, for a file whose pictures GStreamer's
    // demuxer drops or refuses; empty for every other file.
    std::optional<AvFileStreams> m_avStreams;
    // Subtitles drawn into the first video stream: a prepared file, or the
    // input's own text track.
    std::optional<SubtitleText> m_subtitle;
    bool m_embeddedText = false;
    bool m_unknownText = false; // the text track is one without a parser
    int m_subtitleHeight = kSubtitleHeightMiddle;
    int m_pictureHeight = 0;

    // Set by Realize before the pipeline runs; read by OnAutoplugSelect.
    std::atomic<bool> m_preferMpeg2{false};

    // Realised state, touched from streaming threads while the pipeline exists:
    // the lock protects the fields below.
    std::mutex m_mutex;
    GstBin* m_bin = nullptr;
    std::unique_ptr<AvDemuxFeed> m_feed;  // feeds the decoders of a file libavformat reads
    std::shared_ptr<StreamGate> m_gate;   // each PadState holds its own copy for the probe
    std::vector<GstRef<GstPad>> m_routes; // by output pin order; empty ref = unconnected
    std::vector<std::unique_ptr<PadState>> m_padStates;
    int m_videoSeen = 0;
    int m_audioSeen = 0;
    bool m_oneVideo = false;
    bool m_skipWatched = false;       // the picture decoder's input is watched for pictures to skip
    GstElement* m_overlay = nullptr;  // waiting for a text track when it has no file
    GstRef<GstPad> m_pendingText;     // a text track that came before its pictures
    std::vector<UserText> m_warnings; // also written by Load, before any stream runs
};

// The GPL MPEG-2 decoder: while it is in the graph, sources decode MPEG-1/2
// video with libav's threaded decoder. Its own pins take compressed MPEG video
// only, which the layer's sources never offer, so it stays unconnected.
class Mpeg2DecoderFilter : public BaseFilter {
public:
    Mpeg2DecoderFilter() : BaseFilter(CLSID_GplMpeg2Decoder) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat&) const override { return false; }
    bool IsRenderer() const override { return false; }
    bool SelectsMpeg2Decoder() const override { return true; }
    bool Realize(GstBin*, const RealizeContext&) override { return true; }
};

} // namespace zem::media
