#pragma once
// The graph object (inside of the graph layer). One object answers all the
// graph-level interfaces; its filters are realised as one GStreamer pipeline,
// rebuilt whenever the topology changed while stopped. Its parts are
// FilterGraph.cpp (log, errors, video window, volume, description),
// FilterGraphBuild.cpp (filters, connections, rendering), FilterGraphState.cpp
// (realisation and the media control) and FilterGraphSeek.cpp (positions).
//
// Threads: every interface call comes from the window's thread, which owns the
// filters, the pipeline and the fields below. Streaming threads reach the graph
// only through the StreamGate (atomics), the events (GraphEvents) and the log.
#include "GraphEvents.h"
#include "GraphImpl.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

namespace zem::media {

class FilterGraph : public IGraphBuilder,
                    public IMediaControl,
                    public IMediaSeeking,
                    public IMediaEventEx,
                    public IVideoWindow,
                    public IBasicVideo,
                    public IBasicAudio,
                    public IVideoFrameStep,
                    public IMediaFilter,
                    public IErrorDetail,
                    public std::enable_shared_from_this<FilterGraph> {
public:
    FilterGraph();
    ~FilterGraph() override;

    // IFilterGraph / IGraphBuilder
    HRESULT AddFilter(const IBaseFilterPtr& filter, const std::string& name) override;
    HRESULT RemoveFilter(const IBaseFilterPtr& filter) override;
    HRESULT EnumFilters(std::shared_ptr<IEnumFilters>* filters) override;
    HRESULT Disconnect(const IPinPtr& pin) override;
    HRESULT Connect(const IPinPtr& out, const IPinPtr& in) override;
    HRESULT Render(const IPinPtr& out) override;
    HRESULT RenderFile(const std::string& path, const std::string& playList) override;
    HRESULT SetLogFile(std::FILE* file) override;
    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT StopWhenReady() override;
    HRESULT GetState(long timeoutMs, OAFilterState* state) override;
    // IMediaSeeking
    HRESULT GetCapabilities(std::uint32_t* caps) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(REFERENCE_TIME* duration) override;
    HRESULT GetCurrentPosition(REFERENCE_TIME* position) override;
    HRESULT SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME* stop,
                         std::uint32_t stopFlags) override;
    // IMediaEventEx
    HRESULT SetNotifyWindow(QObject* window, long message, LONG_PTR lParam) override;
    HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) override;
    HRESULT FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) override;
    // IVideoWindow
    HRESULT put_MessageDrain(QWidget* drain) override;
    HRESULT put_Visible(bool visible) override;
    HRESULT put_WindowStyle(long style) override;
    HRESULT put_Owner(QWidget* owner) override;
    HRESULT SetWindowPosition(long left, long top, long width, long height) override;
    HRESULT SetWindowForeground(bool focus) override;
    HRESULT NotifyOwnerMessage(QWidget* owner, long message, LONG_PTR wParam, LONG_PTR lParam) override;
    QWidget* VideoWidget() override;
    // IBasicVideo, IBasicAudio
    HRESULT GetVideoSize(long* width, long* height) override;
    HRESULT GetPreferredAspectRatio(long* x, long* y) override;
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Volume(long volume) override;
    HRESULT HasSoundOutput() override;
    // IVideoFrameStep
    HRESULT CanStep(long multiple, IUnknown* filter) override;
    HRESULT Step(std::uint32_t frames, IUnknown* filter) override;
    // IMediaFilter
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    // IErrorDetail: the first failure of RenderFile or of the running pipeline.
    HRESULT GetErrorDetail(ErrorDetail* detail) override;
    // What the filters left out without failing, each told once.
    std::vector<UserText> Warnings() override;

    GstElement* Pipeline() const { return m_pipeline.get(); }
    std::string Describe() const;
    void Trace(const char* format, ...) G_GNUC_PRINTF(2, 3);

private:
    std::shared_ptr<BaseFilter> AsFilter(const IBaseFilterPtr& filter) const;
    bool Contains(const std::shared_ptr<BaseFilter>& filter) const;
    HRESULT ConnectPins(const std::shared_ptr<Pin>& out, const std::shared_ptr<Pin>& in);
    void BreakConnection(const std::shared_ptr<Pin>& pin);
    void TopologyChanged();
    HRESULT Realize();
    HRESULT RealizeFilters(GstBin* bin, const std::vector<std::shared_ptr<BaseFilter>>& order);
    HRESULT LinkFilters(GstBin* bin, const std::vector<std::shared_ptr<BaseFilter>>& order);
    void Teardown();
    // `deliver`: the pipeline built hands its pictures and sound on from its first one.
    HRESULT EnsurePrerolled(bool deliver = false);
    // `exact`: the first picture must start at the target (within a millisecond),
    // not up to a picture after it.
    HRESULT Reposition(REFERENCE_TIME target, bool exact = false);
    bool SeekFrom(gint64 start, REFERENCE_TIME target, GstStateChangeReturn* result);
    HRESULT RebuildDiscardingTo(REFERENCE_TIME target);
    GstStateChangeReturn WaitForState(int timeoutMs);
    HRESULT SetPipelineState(GstState state);
    gint64 OriginNs() const;
    REFERENCE_TIME QueryPosition() const;
    // The position while paused: inside the picture on screen.
    REFERENCE_TIME PausedPosition() const;
    REFERENCE_TIME LongestDuration() const;
    double FrameSeconds() const;
    bool HasSourceVideo() const;
    bool HasDeliveringFilters() const;
    // The same for the filters a pipeline built now would hold.
    bool ConnectsDeliveringFilters() const;
    // The connected video renderer (or any, for the widget) and the connected audio renderer.
    std::shared_ptr<BaseFilter> FindVideoRenderer(bool connectedOnly) const;
    SoundOutput* FindSoundOutput() const;
    // The video renderer's view once its widget exists; nullptr otherwise.
    VideoView* ShownView();

    // Window's thread.
    std::vector<std::shared_ptr<BaseFilter>> m_filters;
    GstRef<GstElement> m_pipeline;
    std::vector<std::shared_ptr<BaseFilter>> m_realized;
    bool m_dirty = true;
    bool m_prerolled = false;
    OAFilterState m_state = State_Stopped;
    REFERENCE_TIME m_position = 0;
    bool m_noClock = false;
    bool m_seekBroken = false;
    long m_windowStyle = 0;

    // Shared with the streaming threads (atomics).
    const std::shared_ptr<StreamGate> m_gate = std::make_shared<StreamGate>();

    // Graph log, written from any thread: the lock protects the fields below.
    std::mutex m_logMutex;
    std::FILE* m_logFile = nullptr;
    GstDebugLevel m_savedThreshold = GST_LEVEL_NONE;

    // Event queue, bus handler and watchdog; last, so it goes (and its
    // watchdog stops) before the log it writes to.
    GraphEvents m_events{[this](const std::string& line) { Trace("%s", line.c_str()); }};
};

} // namespace zem::media
