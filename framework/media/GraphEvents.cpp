#include "GraphEvents.h"

#include "GraphEventNames.h"
#include "MediaTexts.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QEvent>

#include <chrono>
#include <string>

namespace zem::media {

namespace {

constexpr gint64 kStallMs = 15000; // running without any data for this long is an error
constexpr int kWatchdogPeriodMs = 250;

// Which side of the conversion a GStreamer error lies on.
ErrorDetail::Kind ErrorKindOf(const GError* error) {
    if (!error || error->domain != GST_RESOURCE_ERROR)
        return ErrorDetail::Kind::Decode;
    switch (error->code) {
    case GST_RESOURCE_ERROR_OPEN_WRITE:
    case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
    case GST_RESOURCE_ERROR_WRITE:
    case GST_RESOURCE_ERROR_NO_SPACE_LEFT:
        return ErrorDetail::Kind::Output;
    case GST_RESOURCE_ERROR_NOT_FOUND:
    case GST_RESOURCE_ERROR_OPEN_READ:
    case GST_RESOURCE_ERROR_READ:
    case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
        return ErrorDetail::Kind::Input;
    default:
        return ErrorDetail::Kind::Decode;
    }
}

} // namespace

GraphEvents::GraphEvents(std::function<void(const std::string&)> trace) : m_trace(std::move(trace)) {}

GraphEvents::~GraphEvents() {
    StopWatchdog();
}

void GraphEvents::Post(long code, LONG_PTR param1, LONG_PTR param2) {
    // Told in the graph log only: the window and the command line say what matters in their own words.
    const char* name = EventName(code);
    m_trace(name ? std::string(name) : "Event " + std::to_string(code));
    std::lock_guard lock(m_eventMutex);
    m_events.push_back({code, param1, param2});
    m_eventReady.notify_all();
    if (m_notifyWindow)
        QCoreApplication::postEvent(m_notifyWindow, new QEvent(static_cast<QEvent::Type>(m_notifyMessage)));
}

void GraphEvents::KeepError(const ErrorDetail& detail) {
    std::lock_guard lock(m_errorMutex);
    if (m_firstError.kind == ErrorDetail::Kind::None)
        m_firstError = detail;
}

HRESULT GraphEvents::FirstError(ErrorDetail* detail) {
    std::lock_guard lock(m_errorMutex);
    *detail = m_firstError;
    return m_firstError.kind == ErrorDetail::Kind::None ? S_FALSE : S_OK;
}

void GraphEvents::SetNotifyWindow(QObject* window, long message) {
    std::lock_guard lock(m_eventMutex);
    m_notifyWindow = window;
    m_notifyMessage = message;
    if (window && !m_events.empty())
        QCoreApplication::postEvent(window, new QEvent(static_cast<QEvent::Type>(message)));
}

HRESULT GraphEvents::Get(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) {
    std::unique_lock lock(m_eventMutex);
    const auto ready = [this] { return !m_events.empty(); };
    if (timeoutMs < 0)
        m_eventReady.wait(lock, ready);
    else if (!m_eventReady.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return E_ABORT;
    const Event event = m_events.front();
    m_events.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

void GraphEvents::Attach(GstBus* bus, std::shared_ptr<StreamGate> gate) {
    {
        std::lock_guard lock(m_toleratedMutex);
        m_gate = std::move(gate);
    }
    gst_bus_set_sync_handler(bus, &GraphEvents::OnBusMessage, this, nullptr);
}

void GraphEvents::Detach(GstBus* bus) {
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
}

void GraphEvents::TolerateError(const std::string& text) {
    std::lock_guard lock(m_toleratedMutex);
    m_tolerated.push_back(text);
}

void GraphEvents::ClearToleratedErrors() {
    std::lock_guard lock(m_toleratedMutex);
    m_tolerated.clear();
}

void GraphEvents::NewRun() {
    m_errorPosted.store(false);
    m_eos.store(false);
}

bool GraphEvents::PlaysThrough(GstMessage* message, const GError* error, const std::string& text) {
    std::lock_guard lock(m_toleratedMutex);
    if (std::find(m_tolerated.begin(), m_tolerated.end(), text) != m_tolerated.end())
        return true;
    // A demuxer that finds damage in the file's index reports it before any
    // data flows and often goes on with the streams it can read (MP4 with a
    // track that has no sample description). Whether it does shows next:
    // pictures come, or the preroll fails with this error kept as the reason.
    if (!error || error->domain != GST_STREAM_ERROR || error->code != GST_STREAM_ERROR_DEMUX || !m_gate ||
        m_gate->dataSeen.load() || !GST_IS_ELEMENT(GST_MESSAGE_SRC(message)))
        return false;
    GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(GST_MESSAGE_SRC(message)));
    const gchar* klass = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    return klass && std::strstr(klass, "Demux") != nullptr;
}

GstBusSyncReply GraphEvents::OnBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* events = static_cast<GraphEvents*>(self);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        if (!events->m_eos.exchange(true))
            events->Post(EC_COMPLETE, S_OK);
        break;
    case GST_MESSAGE_ERROR: {
        GError* raw = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        ErrorRef error(raw);
        GCharRef debugText(debug);
        ErrorDetail detail;
        detail.kind = ErrorKindOf(error.get());
        detail.element = GST_MESSAGE_SRC(message) ? GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) : "";
        detail.text = error ? error->message : "";
        detail.debug = debug ? debug : "";
        if (events->PlaysThrough(message, error.get(), detail.text)) {
            // Kept, so that a file which then does not play says why.
            events->KeepError(detail);
            events->m_trace("Damage reported by " + detail.element + ": " + detail.text + " (played through)");
            break;
        }
        events->m_trace("Error from " + detail.element + ": " + detail.text + " (" + detail.debug + ")");
        events->KeepError(detail);
        events->m_errorPosted.store(true);
        events->Post(EC_ERRORABORT, E_FAIL);
        break;
    }
    default:
        break;
    }
    return GST_BUS_DROP;
}

void GraphEvents::StartWatchdog(std::shared_ptr<StreamGate> gate) {
    StopWatchdog();
    gate->lastActivityMs.store(MonotonicMs());
    m_watchdog = std::jthread([this, gate](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!stop.stop_requested()) {
            wake.wait_for(lock, stop, std::chrono::milliseconds(kWatchdogPeriodMs), [] { return false; });
            if (stop.stop_requested())
                break;
            if (!m_eos.load() && MonotonicMs() - gate->lastActivityMs.load() > kStallMs) {
                // A stream that stopped delivering without an end is reported, once.
                const UserText said = UserText(kTextInputStalled).With("seconds", std::to_string(kStallMs / 1000));
                KeepError(ErrorDetail{ErrorDetail::Kind::Decode, {}, said.English(), {}, said});
                Post(EC_ERRORABORT, VFW_E_TIMEOUT);
                break;
            }
        }
    });
}

void GraphEvents::StopWatchdog() {
    if (m_watchdog.joinable()) {
        m_watchdog.request_stop();
        m_watchdog.join();
    }
}

} // namespace zem::media
