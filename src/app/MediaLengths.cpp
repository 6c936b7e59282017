#include "MediaLengths.h"
#include "ConversionRun.h"
#include "DlgTexts.h"

#include <QFile>
#include <QTimer>
#include <gst/pbutils/pbutils.h>

namespace zem::app {

namespace {
constexpr int64_t kNanosecondsPerUnit = 100;
constexpr gulong kIdleWaitUs = 2000;
// How often the window's thread looks for answers while files are read.
constexpr int kPollMs = 20;
} // namespace

void MediaLengths::Unref::operator()(GstDiscoverer* discoverer) const {
    gst_discoverer_stop(discoverer);
    g_object_unref(discoverer);
}

void MediaLengths::UnrefContext::operator()(GMainContext* context) const {
    g_main_context_unref(context);
}

MediaLengths::MediaLengths(int timeoutSeconds)
    : m_timeoutSeconds(timeoutSeconds), m_context(g_main_context_new()), m_poll(std::make_unique<QTimer>()) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    m_discoverer.reset(gst_discoverer_new(GstClockTime(timeoutSeconds) * GST_SECOND, nullptr));
    if (!m_discoverer)
        return;
    g_signal_connect(m_discoverer.get(), "discovered", G_CALLBACK(&MediaLengths::OnDiscovered), this);
    // The discoverer answers on a context of its own, which this object
    // drives: waiting for it never runs the window's other events.
    g_main_context_push_thread_default(m_context.get());
    gst_discoverer_start(m_discoverer.get());
    g_main_context_pop_thread_default(m_context.get());
    m_poll->setInterval(kPollMs);
    QObject::connect(m_poll.get(), &QTimer::timeout, [this] { Drain(); });
}

void MediaLengths::Drain() {
    while (g_main_context_iteration(m_context.get(), FALSE)) {}
    if (m_pending.empty())
        m_poll->stop();
}

MediaLengths::~MediaLengths() {
    m_poll->stop();
    if (!m_discoverer)
        return;
    // Stopping a discoverer in the middle of a file deadlocks inside
    // GStreamer (its stop holds the lock its own pad handlers take): the
    // files under way are let finish first, each within the timeout.
    m_onRead = nullptr;
    const gint64 deadline = g_get_monotonic_time() + (m_timeoutSeconds + 1) * G_USEC_PER_SEC;
    while (!m_pending.empty() && g_get_monotonic_time() < deadline) {
        if (!g_main_context_iteration(m_context.get(), FALSE))
            g_usleep(kIdleWaitUs);
    }
    // No answer may reach this object once it is going.
    g_signal_handlers_disconnect_by_data(m_discoverer.get(), this);
    // One that never answered is left running rather than risk the deadlock.
    if (!m_pending.empty())
        static_cast<void>(m_discoverer.release());
    m_discoverer.reset();
}

std::optional<MediaLengths::Probe> MediaLengths::Known(const QString& path) const {
    if (const auto known = m_probes.find(path); known != m_probes.end())
        return known->second;
    return std::nullopt;
}

std::optional<MediaLengths::Probe> MediaLengths::Result(const QString& path) {
    if (const auto known = Known(path))
        return known;
    if (m_pending.count(path) != 0)
        return std::nullopt;
    // A FIFO, a device or a socket is never handed to the discoverer: its
    // open would wait for a writer on the thread that drives it.
    zem::UserText problem;
    if (zem::CheckInputPath(QFile::encodeName(path).toStdString(), problem) != zem::FailureCode::None)
        return m_probes[path] = Probe{0, false, problem};
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    if (!m_discoverer || uri == nullptr || !gst_discoverer_discover_uri_async(m_discoverer.get(), uri)) {
        g_free(uri);
        return m_probes[path] = Probe{0, false, kTextProbeNoMediaLayer};
    }
    g_free(uri);
    m_pending.insert(path);
    m_poll->start();
    return std::nullopt;
}

std::optional<int64_t> MediaLengths::Length(const QString& path) {
    const std::optional<Probe> probe = Result(path);
    if (!probe)
        return std::nullopt;
    return probe->length;
}

void MediaLengths::OnDiscovered(GstDiscoverer*, GstDiscovererInfo* info, GError* error, void* self) {
    auto* lengths = static_cast<MediaLengths*>(self);
    gchar* filename = g_filename_from_uri(gst_discoverer_info_get_uri(info), nullptr, nullptr);
    if (filename == nullptr)
        return;
    const QString path = QFile::decodeName(filename);
    g_free(filename);
    Probe probe;
    const GstClockTime duration = gst_discoverer_info_get_duration(info);
    switch (gst_discoverer_info_get_result(info)) {
    case GST_DISCOVERER_OK:
        probe.length = GST_CLOCK_TIME_IS_VALID(duration) ? int64_t(duration) / kNanosecondsPerUnit : 0;
        break;
    case GST_DISCOVERER_MISSING_PLUGINS:
        probe.readable = false;
        probe.cause = kTextProbeNoDecoder;
        break;
    case GST_DISCOVERER_TIMEOUT:
        probe.readable = false;
        probe.cause = zem::UserText(kTextProbeTimeout).With("seconds", std::to_string(lengths->m_timeoutSeconds));
        break;
    default:
        probe.readable = false;
        // GStreamer's own words, after a lead in the user's language.
        probe.cause = error != nullptr && error->message != nullptr
                          ? zem::UserText(kTextProbeUnreadableBecause).With("why", error->message)
                          : zem::UserText(kTextProbeUnreadable);
        break;
    }
    // A file the discoverer opened but found neither pictures nor sound in.
    if (probe.readable) {
        GList* video = gst_discoverer_info_get_video_streams(info);
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        if (video == nullptr && audio == nullptr) {
            probe.readable = false;
            probe.cause = kTextProbeNothing;
        }
        gst_discoverer_stream_info_list_free(video);
        gst_discoverer_stream_info_list_free(audio);
    }
    lengths->m_pending.erase(path);
    lengths->m_probes[path] = probe;
    if (lengths->m_onRead)
        lengths->m_onRead(path);
}

} // namespace zem::app
