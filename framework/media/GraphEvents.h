#pragma once
// The graph's events: the queue IMediaEventEx reads, the bus handler that turns
// pipeline messages into events, the watchdog that reports a running graph
// which stopped delivering, and the first failure the graph reports.
#include "GraphImpl.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QObject;

namespace zem::media {

// Threads: events are posted from streaming threads (the bus's sync handler,
// the grabber), the watchdog's own thread and the window's thread; they are
// taken, and the notify window set, on the window's thread. The watchdog is
// started and stopped on the window's thread.
class GraphEvents {
public:
    // `trace` writes a line to the graph log; it is called from any thread.
    explicit GraphEvents(std::function<void(const std::string&)> trace);
    ~GraphEvents();
    GraphEvents(const GraphEvents&) = delete;
    GraphEvents& operator=(const GraphEvents&) = delete;

    // Any thread.
    void Post(long code, LONG_PTR param1 = 0, LONG_PTR param2 = 0);
    // Keeps the first failure only.
    void KeepError(const ErrorDetail& detail);

    // Window's thread.
    HRESULT Get(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs);
    // Posts a QEvent of type `message` to the window at every event (nullptr: none).
    void SetNotifyWindow(QObject* window, long message);
    // S_OK with the first failure, S_FALSE when nothing failed.
    HRESULT FirstError(ErrorDetail* detail);

    // The pipeline's bus: its messages are handled on the thread that posts them.
    // `gate` tells whether data has flowed yet (see OnBusMessage).
    void Attach(GstBus* bus, std::shared_ptr<StreamGate> gate);
    static void Detach(GstBus* bus);
    // A new pipeline: no error posted and no end reached yet.
    void NewRun();
    // Errors with these texts are logged and dropped (see RealizeContext).
    void TolerateError(const std::string& text);
    void ClearToleratedErrors();
    // A new range was started: its end has not been reached.
    void ClearEnd() { m_eos.store(false); }
    bool ErrorPosted() const { return m_errorPosted.load(); }

    // Reports VFW_E_TIMEOUT once when no buffer passes for kStallMs while running.
    void StartWatchdog(std::shared_ptr<StreamGate> gate);
    void StopWatchdog();

private:
    struct Event {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    // Whether an error is damage the pipeline may play through.
    bool PlaysThrough(GstMessage* message, const GError* error, const std::string& text);

    const std::function<void(const std::string&)> m_trace;

    // Set by the bus handler, cleared by the window's thread at a new run or range.
    std::atomic<bool> m_errorPosted{false};
    std::atomic<bool> m_eos{false};

    // The lock protects the fields below.
    std::mutex m_eventMutex;
    std::condition_variable m_eventReady;
    std::deque<Event> m_events;

    // The lock protects the texts below: set while the pipeline is built,
    // read on streaming threads.
    std::mutex m_toleratedMutex;
    std::vector<std::string> m_tolerated;
    std::shared_ptr<StreamGate> m_gate;
    QObject* m_notifyWindow = nullptr;
    long m_notifyMessage = 0;

    // The lock protects the first failure.
    std::mutex m_errorMutex;
    ErrorDetail m_firstError;

    std::jthread m_watchdog; // window's thread starts and stops it
};

} // namespace zem::media
