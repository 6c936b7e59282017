#pragma once
// The filters of the factory table (inside of the graph layer).
#include "Downmix.h"
#include "GraphImpl.h"
#include "Subtitles.h"
#include "VideoWidget.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QPointer>

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace zem::media {

// The 68-byte head WavDest puts in front of the MPEG audio stream: RIFF/WAVE with
// an MPEG-1 layer III format block (48 kHz, stereo, 128 kbit/s) and the data chunk.
constexpr int kWavHeadSize = 68;
std::vector<std::uint8_t> BuildWavHead(std::uint64_t dataBytes);

// File source: one output pin per decodable stream, found when the file is loaded.
class SourceFilter : public BaseFilter, public IFileSourceFilter, public IErrorDetail {
public:
    explicit SourceFilter(const CLSID& clsid) : BaseFilter(clsid) {}
    ~SourceFilter() override;
    HRESULT Load(const std::string& path, const AM_MEDIA_TYPE* type) override;
    // Why Load failed: the file and the system's or GStreamer's reason.
    HRESULT GetErrorDetail(ErrorDetail* detail) override;
    std::vector<std::string> Warnings() override;

    bool Accepts(const Pin&, const MediaFormat&) const override { return false; }
    bool IsSource() const override { return true; }
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int) override { return nullptr; }
    GstPad* OutputPad(int) override { return nullptr; }
    void Unrealize() override;

    REFERENCE_TIME Duration() const { return m_duration; }
    const std::string& Path() const { return m_path; }
    bool Seekable() const { return m_seekable; }
    // Decode MPEG-1/2 video with libmpeg2 (the GPL decoder) instead of the default.
    void PreferMpeg2Decoder(bool prefer) { m_preferMpeg2 = prefer; }

    struct PadState {
        SourceFilter* owner = nullptr;
        bool video = false;
        GstSegment original{};
        bool haveSegment = false;
        int rate = 0;  // decoded sound: samples per second and bytes per frame
        int bytesPerFrame = 0;
        guint32 segmentSeqnum = 0;
        GstClockTime lastPts = GST_CLOCK_TIME_NONE;      // of the last buffer let through
        GstClockTime repeatUntil = GST_CLOCK_TIME_NONE;  // a resent range is dropped up to here
    };

private:
    ErrorDetail m_error;
    static void OnPadAdded(GstElement*, GstPad* pad, gpointer self);
    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer state);
    static gint OnAutoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, gpointer self);
    void PadAdded(GstPad* pad);
    // These run with m_mutex held, on the streaming thread that adds the pads.
    GstPad* DrawSubtitlesOn(GstPad* pictures);
    bool JoinTextTrack(GstPad* text);

    std::string m_path;
    std::string m_uri;
    REFERENCE_TIME m_duration = 0;
    bool m_seekable = true;
    bool m_preferMpeg2 = false;
    // Subtitles drawn into the first video stream: a prepared file, or the
    // input's own text track.
    std::optional<SubtitleText> m_subtitle;
    bool m_embeddedText = false;
    int m_subtitleHeight = kSubtitleHeightMiddle;
    int m_pictureHeight = 0;

    // Realised state, touched from streaming threads while the pipeline exists.
    std::mutex m_mutex;
    GstBin* m_bin = nullptr;
    GstElement* m_decodeBin = nullptr;
    std::shared_ptr<StreamGate> m_gate;
    std::vector<GstRef<GstPad>> m_routes;  // by output pin order; empty ref = unconnected
    std::vector<std::unique_ptr<PadState>> m_padStates;
    int m_videoSeen = 0;
    int m_audioSeen = 0;
    GstElement* m_overlay = nullptr;      // waiting for a text track when it has no file
    GstRef<GstPad> m_pendingText;         // a text track that came before its pictures
    std::vector<std::string> m_warnings;  // also written by Load, before any stream runs
};

class VideoRendererFilter : public BaseFilter {
public:
    VideoRendererFilter();
    ~VideoRendererFilter() override;
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int) override { return nullptr; }
    void Unrealize() override;

    // Creates the widget on first use (needs a QApplication); nullptr without one.
    QWidget* Widget();
    GstElement* Sink() const { return m_sink; }

private:
    static GstFlowReturn OnSample(GstElement* sink, gpointer self, bool preroll);
    std::shared_ptr<FrameSlot> m_slot = std::make_shared<FrameSlot>();
    QPointer<QWidget> m_widget;
    GstElement* m_convert = nullptr;
    GstElement* m_sink = nullptr;
};

class AudioRendererFilter : public BaseFilter {
public:
    AudioRendererFilter() : BaseFilter(CLSID_AudioRenderer) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int) override { return nullptr; }
    void Unrealize() override;

    long Volume() const { return m_volume; }
    void SetVolume(long volume);

private:
    long m_volume = 0;
    GstElement* m_first = nullptr;
    GstElement* m_volumeElement = nullptr;
};

class NullRendererFilter : public BaseFilter {
public:
    NullRendererFilter() : BaseFilter(CLSID_NullRenderer) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat&) const override { return true; }
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int) override { return nullptr; }
    void Unrealize() override { m_sink = nullptr; }

private:
    GstElement* m_sink = nullptr;
};

class SampleGrabberFilter : public BaseFilter, public ISampleGrabber {
public:
    SampleGrabberFilter() : BaseFilter(CLSID_SampleGrabber) {}
    void CreatePins() override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT SetBufferSamples(bool buffer) override;
    HRESULT SetOneShot(bool oneShot) override;
    HRESULT SetCallback(ISampleGrabberCB* callback, long which) override;

    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    MediaFormat OutputFormat(const Pin& out) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int index) override;
    void Unrealize() override;

    // Set by the graph: posts an event (used by one-shot mode).
    std::function<void(long)> m_post;

private:
    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    GstPadProbeReturn Handle(GstPadProbeInfo* info);
    // Ends the stream after the first picture in one-shot mode.
    void FinishShot();

    bool m_typeSet = false;
    bool m_oneShot = false;
    bool m_bufferSamples = false;  // kept for the caller; the layer hands pictures only to the callback
    ISampleGrabberCB* m_callback = nullptr;
    long m_which = 0;

    GstElement* m_convert = nullptr;
    GstElement* m_filter = nullptr;
    GstElement* m_queue = nullptr;
    std::shared_ptr<StreamGate> m_gate;
    // Streaming-thread state.
    GstSegment m_segment{};
    GstVideoInfo m_info{};
    bool m_infoValid = false;
    bool m_shotTaken = false;
    double m_lastTime = -1.0;  // seconds; -1 at the start of a range
    std::vector<std::uint8_t> m_bgr;
};

// Any decoded sound -> 48 kHz stereo 16-bit PCM; remembers when the sound
// it passed starts and how far it has come.
class AudioProcessorFilter : public BaseFilter, public IStreamTimes {
public:
    AudioProcessorFilter() : BaseFilter(CLSID_AudioProcessor) {}
    HRESULT GetFirstSampleTime(REFERENCE_TIME* time) override;
    HRESULT GetLastSampleTime(REFERENCE_TIME* time) override;
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    MediaFormat OutputFormat(const Pin& out) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int index) override;
    void Unrealize() override
    {
        m_first = m_last = nullptr;
        m_downmix.Unrealize();
    }

private:
    static GstPadProbeReturn OnProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    GstElement* m_first = nullptr;
    GstElement* m_last = nullptr;
    StereoDownmix m_downmix;                    // sound of three channels or more
    GstSegment m_segment{};                     // streaming thread only
    std::atomic<std::int64_t> m_firstTime{-1};  // 100 ns, -1 before the first sample
    std::atomic<std::int64_t> m_lastTime{-1};
};

// LAME: MPEG-1 layer III, 48 kHz, 128 kbit/s constant (384-byte frames).
class Mp3EncoderFilter : public BaseFilter {
public:
    Mp3EncoderFilter() : BaseFilter(CLSID_Mp3Encoder) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    MediaFormat OutputFormat(const Pin& out) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int index) override;
    void Unrealize() override { m_first = m_last = nullptr; }

private:
    GstElement* m_first = nullptr;
    GstElement* m_last = nullptr;
};

// Passes the stream on; the file writer behind it puts the WAV head in front.
class WavDestFilter : public BaseFilter {
public:
    WavDestFilter() : BaseFilter(CLSID_WavDest) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    MediaFormat OutputFormat(const Pin& out) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int index) override;
    void Unrealize() override { m_element = nullptr; }

private:
    GstElement* m_element = nullptr;
};

class FileWriterFilter : public BaseFilter, public IFileSinkFilter, public IErrorDetail {
public:
    FileWriterFilter() : BaseFilter(CLSID_FileWriter) {}
    ~FileWriterFilter() override;
    void CreatePins() override;
    HRESULT SetFileName(const std::string& path, const AM_MEDIA_TYPE* type) override;
    // Why the file could not be created or written (path and the system's reason).
    HRESULT GetErrorDetail(ErrorDetail* detail) override;
    bool Accepts(const Pin&, const MediaFormat&) const override { return true; }
    bool IsRenderer() const override { return false; }  // never picked by Render
    bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) override;
    GstPad* InputPad(int index) override;
    GstPad* OutputPad(int) override { return nullptr; }
    void Unrealize() override;
    void Finish() override;

private:
    static GstFlowReturn OnSample(GstAppSink* sink, gpointer self);
    static void OnEos(GstElement* sink, gpointer self);
    // These run with m_mutex held.
    bool OpenFile();
    bool WriteAll(const void* data, std::size_t size, off_t offset);
    bool Failed(const char* what, int error);
    void PostWriteError();

    // Streaming thread (samples, end of stream) and window thread (name,
    // realise, finish) meet here: the lock protects the fields below.
    std::mutex m_mutex;
    std::string m_path;
    int m_fd = -1;
    bool m_created = false;  // this filter made the file at m_path
    bool m_wavHead = false;
    bool m_finished = false;
    std::uint64_t m_dataBytes = 0;
    ErrorDetail m_error;
    int m_errno = 0;  // of the first failure
    std::shared_ptr<StreamGate> m_gate;

    GstElement* m_sink = nullptr;
};

// The GPL MPEG-2 decoder: while it is in the graph, renders decode MPEG-1/2
// video with libmpeg2. Its own pins take compressed MPEG video only, which the
// layer's sources never offer, so it stays unconnected.
class Mpeg2DecoderFilter : public BaseFilter {
public:
    Mpeg2DecoderFilter() : BaseFilter(CLSID_GplMpeg2Decoder) {}
    void CreatePins() override;
    bool Accepts(const Pin&, const MediaFormat& upstream) const override;
    bool IsRenderer() const override { return false; }
    bool Realize(GstBin*, const std::shared_ptr<StreamGate>&) override { return true; }
    GstPad* InputPad(int) override { return nullptr; }
    GstPad* OutputPad(int) override { return nullptr; }
    void Unrealize() override {}
};

}  // namespace zem::media
