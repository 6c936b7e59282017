// The graph object: construction, its log and errors, the video window, the
// volume and the description. Building, state and seeking have files of their own.
#include "FilterGraph.h"

#include "VideoView.h"

#include <algorithm>
#include <cstdarg>
#include <sstream>

namespace zem::media {

namespace {

void GraphLogFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file, const gchar* function,
                      gint line, GObject*, GstDebugMessage* message, gpointer graph) {
    static_cast<FilterGraph*>(graph)->Trace("%s %s %s:%d:%s %s", gst_debug_level_get_name(level),
                                            gst_debug_category_get_name(category), file, line, function,
                                            gst_debug_message_get(message));
}

} // namespace

FilterGraph::FilterGraph() {
    EnsureGstInitialised();
}

FilterGraph::~FilterGraph() {
    m_events.StopWatchdog();
    SetLogFile(nullptr);
    Teardown();
    for (auto& filter : m_filters)
        filter->Finish();
}

void FilterGraph::Trace(const char* format, ...) {
    std::lock_guard lock(m_logMutex);
    if (!m_logFile)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(m_logFile, format, args);
    va_end(args);
    std::fputc('\n', m_logFile);
}

std::vector<UserText> FilterGraph::Warnings() {
    std::vector<UserText> all;
    for (const auto& filter : m_filters) {
        const auto detail = std::dynamic_pointer_cast<IErrorDetail>(filter);
        if (!detail)
            continue;
        for (const UserText& warning : detail->Warnings()) {
            const std::string english = warning.English();
            if (std::none_of(all.begin(), all.end(), [&](const UserText& had) { return had.English() == english; }))
                all.push_back(warning);
        }
    }
    return all;
}

HRESULT FilterGraph::GetErrorDetail(ErrorDetail* detail) {
    if (!detail)
        return E_POINTER;
    return m_events.FirstError(detail);
}

HRESULT FilterGraph::SetLogFile(std::FILE* file) {
    std::FILE* previous = nullptr;
    {
        std::lock_guard lock(m_logMutex);
        previous = m_logFile;
        m_logFile = file;
    }
    if (file && !previous) {
        // GStreamer's own trace goes into the log while it is attached, not to the terminal.
        m_savedThreshold = gst_debug_get_default_threshold();
        gst_debug_remove_log_function(gst_debug_log_default);
        gst_debug_add_log_function(&GraphLogFunction, this, nullptr);
        gst_debug_set_default_threshold(GST_LEVEL_INFO);
    } else if (!file && previous) {
        gst_debug_remove_log_function_by_data(this);
        gst_debug_set_default_threshold(m_savedThreshold);
        gst_debug_add_log_function(gst_debug_log_default, nullptr, nullptr);
    }
    return S_OK;
}

// ---------------------------------------------------------------- events

HRESULT FilterGraph::SetNotifyWindow(QObject* window, long message, LONG_PTR) {
    m_events.SetNotifyWindow(window, message);
    return S_OK;
}

HRESULT FilterGraph::GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) {
    if (!code || !param1 || !param2)
        return E_POINTER;
    return m_events.Get(code, param1, param2, timeoutMs);
}

HRESULT FilterGraph::FreeEventParams(long, LONG_PTR, LONG_PTR) {
    return S_OK;
}

// ---------------------------------------------------------------- video window, basic video and audio

std::shared_ptr<BaseFilter> FilterGraph::FindVideoRenderer(bool connectedOnly) const {
    for (auto& f : m_filters)
        if (f->Pictures() && (!connectedOnly || f->HasConnectedPin()))
            return f;
    return nullptr;
}

SoundOutput* FilterGraph::FindSoundOutput() const {
    for (auto& f : m_filters)
        if (f->Sound() && f->HasConnectedPin())
            return f->Sound();
    return nullptr;
}

QWidget* FilterGraph::VideoWidget() {
    auto renderer = FindVideoRenderer(false);
    VideoView* view = renderer ? renderer->Pictures()->View() : nullptr;
    return view ? view->Widget() : nullptr;
}

VideoView* FilterGraph::ShownView() {
    auto renderer = FindVideoRenderer(false);
    VideoView* view = renderer ? renderer->Pictures()->View() : nullptr;
    return view && view->Widget() ? view : nullptr;
}

HRESULT FilterGraph::put_MessageDrain(QWidget*) {
    // Qt hands input to the picture widget itself; only the presence of a picture matters.
    return FindVideoRenderer(true) ? S_OK : E_NOINTERFACE;
}

HRESULT FilterGraph::put_Visible(bool visible) {
    VideoView* view = ShownView();
    if (!view)
        return E_NOINTERFACE;
    view->SetVisible(visible);
    return S_OK;
}

HRESULT FilterGraph::put_WindowStyle(long style) {
    if (!ShownView())
        return E_NOINTERFACE;
    m_windowStyle = style;
    return S_OK;
}

HRESULT FilterGraph::put_Owner(QWidget* owner) {
    VideoView* view = ShownView();
    if (!view)
        return E_NOINTERFACE;
    view->SetOwner(owner);
    return S_OK;
}

HRESULT FilterGraph::SetWindowPosition(long left, long top, long width, long height) {
    VideoView* view = ShownView();
    if (!view)
        return E_NOINTERFACE;
    view->SetGeometry(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height));
    return S_OK;
}

HRESULT FilterGraph::SetWindowForeground(bool) {
    VideoView* view = ShownView();
    if (!view)
        return E_NOINTERFACE;
    view->Raise();
    return S_OK;
}

HRESULT FilterGraph::NotifyOwnerMessage(QWidget*, long, LONG_PTR, LONG_PTR) {
    return S_OK;
}

HRESULT FilterGraph::GetVideoSize(long* width, long* height) {
    if (!width || !height)
        return E_POINTER;
    auto renderer = FindVideoRenderer(true);
    if (!renderer)
        return E_NOINTERFACE;
    const auto in = renderer->PinAt(PINDIR_INPUT, 0);
    *width = in->Format().width;
    *height = in->Format().height;
    return S_OK;
}

HRESULT FilterGraph::GetPreferredAspectRatio(long* x, long* y) {
    if (!x || !y)
        return E_POINTER;
    auto renderer = FindVideoRenderer(true);
    if (!renderer)
        return E_NOINTERFACE;
    const MediaFormat& format = renderer->PinAt(PINDIR_INPUT, 0)->Format();
    *x = long(format.width) * format.pixelAspectN;
    *y = long(format.height) * format.pixelAspectD;
    return S_OK;
}

HRESULT FilterGraph::get_Volume(long* volume) {
    if (!volume)
        return E_POINTER;
    SoundOutput* sound = FindSoundOutput();
    if (!sound)
        return E_NOTIMPL;
    *volume = sound->Volume();
    return S_OK;
}

HRESULT FilterGraph::put_Volume(long volume) {
    SoundOutput* sound = FindSoundOutput();
    if (!sound)
        return E_NOTIMPL;
    if (volume < -10000 || volume > 0)
        return E_INVALIDARG;
    sound->SetVolume(volume);
    return S_OK;
}

HRESULT FilterGraph::HasSoundOutput() {
    SoundOutput* sound = FindSoundOutput();
    if (!sound)
        return E_NOTIMPL;
    if (!m_pipeline || m_dirty || !m_prerolled)
        return VFW_E_NOT_CONNECTED;
    return sound->ReachesOutput() ? S_OK : S_FALSE;
}

// ---------------------------------------------------------------- frame step, clock

HRESULT FilterGraph::CanStep(long, IUnknown*) {
    return FindVideoRenderer(true) ? S_OK : S_FALSE;
}

HRESULT FilterGraph::Step(std::uint32_t frames, IUnknown*) {
    auto renderer = FindVideoRenderer(true);
    if (!renderer || frames == 0)
        return E_FAIL;
    if (m_state != State_Paused) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    // Stepped from the picture on screen, by an exact seek to the start of the
    // one after it. A step event would go on from the clock's time instead, and
    // a sound output's clock runs on while paused (its queued sound still
    // plays): the sink would drop every picture before that time.
    gint64 shown = 0;
    gint64 length = 0;
    if (!renderer->Pictures()->ShownPicture(&shown, &length))
        return E_FAIL;
    const auto picture = static_cast<gint64>(FrameSeconds() * GST_SECOND);
    if (length <= 0)
        length = picture;
    // Rounded up: the shown picture must end at or before the new position.
    const gint64 next = shown + length + (static_cast<gint64>(frames) - 1) * picture - OriginNs();
    const REFERENCE_TIME target = (next + 99) / 100;
    const REFERENCE_TIME duration = LongestDuration();
    if (duration > 0 && target >= duration)
        return S_FALSE; // nothing after the picture on screen
    m_position = target;
    m_events.ClearEnd();
    // Exactly: a demuxer landing one picture late would make it a double step.
    HRESULT hr = Reposition(target, true);
    if (FAILED(hr))
        return hr;
    gint64 now = 0;
    if (!renderer->Pictures()->ShownPicture(&now, &length) || now <= shown) {
        // The sound goes on past the last picture: back to that picture.
        m_position = (shown - OriginNs() + 99) / 100;
        hr = Reposition(m_position, true);
        return FAILED(hr) ? hr : S_FALSE;
    }
    m_events.Post(EC_STEP_COMPLETE);
    return S_OK;
}

HRESULT FilterGraph::SetSyncSource(IReferenceClock* clock) {
    if (clock)
        return E_NOTIMPL; // the layer only knows its own clock or none
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    m_noClock = true;
    if (m_pipeline)
        gst_pipeline_use_clock(GST_PIPELINE(m_pipeline.get()), nullptr);
    return S_OK;
}

// ---------------------------------------------------------------- description

std::string FilterGraph::Describe() const {
    std::ostringstream out;
    out << "digraph FilterGraph {\n";
    for (std::size_t i = 0; i < m_filters.size(); ++i) {
        const auto& f = m_filters[i];
        out << "  f" << i << " [label=\"" << f->Name() << "\\n" << StringFromCLSID(f->ClassId()) << "\"];\n";
    }
    for (std::size_t i = 0; i < m_filters.size(); ++i) {
        for (const auto& pin : m_filters[i]->Pins()) {
            auto peer = pin->Peer();
            if (pin->Direction() != PINDIR_OUTPUT || !peer)
                continue;
            auto down = peer->Owner();
            const auto j = std::find(m_filters.begin(), m_filters.end(), down) - m_filters.begin();
            out << "  f" << i << " -> f" << j << " [taillabel=\"" << pin->Name() << "\", headlabel=\"" << peer->Name()
                << "\"];\n";
        }
    }
    out << "}\n";
    return out.str();
}

} // namespace zem::media
