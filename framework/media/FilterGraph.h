#pragma once
// The graph object (inside of the graph layer). One object answers all the
// graph-level interfaces; its filters are realised as one GStreamer pipeline,
// rebuilt whenever the topology changed while stopped.
#include "Filters.h"
#include "GraphImpl.h"

#include <QPointer>
#include <QRect>

#include <thread>

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
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Volume(long volume) override;
    // IVideoFrameStep
    HRESULT CanStep(long multiple, IUnknown* filter) override;
    HRESULT Step(std::uint32_t frames, IUnknown* filter) override;
    // IMediaFilter
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    // IErrorDetail: the first failure of RenderFile or of the running pipeline.
    HRESULT GetErrorDetail(ErrorDetail* detail) override;
    // What the filters left out without failing, each told once.
    std::vector<std::string> Warnings() override;

    GstElement* Pipeline() const { return m_pipeline.get(); }
    std::string Describe() const;
    void Trace(const char* format, ...) G_GNUC_PRINTF(2, 3);

private:
    struct Event {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    std::shared_ptr<BaseFilter> AsFilter(const IBaseFilterPtr& filter) const;
    bool Contains(const std::shared_ptr<BaseFilter>& filter) const;
    HRESULT ConnectPins(const std::shared_ptr<Pin>& out, const std::shared_ptr<Pin>& in);
    void BreakConnection(const std::shared_ptr<Pin>& pin);
    void TopologyChanged();
    HRESULT Realize();
    void Teardown();
    HRESULT EnsurePrerolled();
    HRESULT Reposition(REFERENCE_TIME target);
    bool SeekFrom(gint64 start, REFERENCE_TIME target, GstStateChangeReturn* result);
    HRESULT RebuildDiscardingTo(REFERENCE_TIME target);
    GstStateChangeReturn WaitForState(int timeoutMs);
    HRESULT SetPipelineState(GstState state);
    gint64 OriginNs() const;
    REFERENCE_TIME QueryPosition() const;
    double FrameSeconds() const;
    bool HasDeliveringFilters() const;
    std::shared_ptr<VideoRendererFilter> FindVideoRenderer(bool connectedOnly) const;
    std::shared_ptr<AudioRendererFilter> FindAudioRenderer() const;
    void QueueEvent(long code, LONG_PTR param1 = 0, LONG_PTR param2 = 0);
    void KeepError(const ErrorDetail& detail);
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void StartWatchdog();
    void StopWatchdog();

    std::vector<std::shared_ptr<BaseFilter>> m_filters;
    std::shared_ptr<StreamGate> m_gate = std::make_shared<StreamGate>();
    GstRef<GstElement> m_pipeline;
    std::vector<std::shared_ptr<BaseFilter>> m_realized;
    bool m_dirty = true;
    bool m_prerolled = false;
    OAFilterState m_state = State_Stopped;
    REFERENCE_TIME m_position = 0;
    bool m_noClock = false;
    bool m_seekBroken = false;
    std::atomic<bool> m_errorPosted{false};
    std::atomic<bool> m_eos{false};

    // Event queue, filled from streaming threads.
    std::mutex m_eventMutex;
    std::condition_variable m_eventReady;
    std::deque<Event> m_events;
    QObject* m_notifyWindow = nullptr;
    long m_notifyMessage = 0;

    // The first failure; written from streaming threads, read on the window's.
    std::mutex m_errorMutex;
    ErrorDetail m_firstError;

    // Graph log.
    std::mutex m_logMutex;
    std::FILE* m_logFile = nullptr;
    GstDebugLevel m_savedThreshold = GST_LEVEL_NONE;

    // Video window.
    QPointer<QWidget> m_owner;
    long m_windowStyle = 0;

    std::jthread m_watchdog;
};

}  // namespace zem::media
