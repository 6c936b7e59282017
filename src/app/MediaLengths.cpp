#include "MediaLengths.h"

#include <QFile>
#include <gst/pbutils/pbutils.h>

namespace zem::app {

namespace {
constexpr int64_t kNanosecondsPerUnit = 100;
}

void MediaLengths::Unref::operator()(GstDiscoverer* discoverer) const {
    gst_discoverer_stop(discoverer);
    g_object_unref(discoverer);
}

MediaLengths::MediaLengths(int timeoutSeconds) : m_timeoutSeconds(timeoutSeconds) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    m_discoverer.reset(gst_discoverer_new(GstClockTime(timeoutSeconds) * GST_SECOND, nullptr));
    if (!m_discoverer)
        return;
    g_signal_connect(m_discoverer.get(), "discovered", G_CALLBACK(&MediaLengths::OnDiscovered), this);
    gst_discoverer_start(m_discoverer.get());
}

MediaLengths::~MediaLengths() {
    // No answer may reach this object once it is going; the discoverer
    // itself stops after this body.
    if (m_discoverer)
        g_signal_handlers_disconnect_by_data(m_discoverer.get(), this);
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
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    if (!m_discoverer || uri == nullptr || !gst_discoverer_discover_uri_async(m_discoverer.get(), uri)) {
        g_free(uri);
        return m_probes[path] = Probe{0, false, QStringLiteral("the media layer cannot read it")};
    }
    g_free(uri);
    m_pending.insert(path);
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
        probe.cause = QStringLiteral("no decoder for its format is installed");
        break;
    case GST_DISCOVERER_TIMEOUT:
        probe.readable = false;
        probe.cause = QStringLiteral("it gave no picture or sound within %1 s").arg(lengths->m_timeoutSeconds);
        break;
    default:
        probe.readable = false;
        probe.cause = error != nullptr && error->message != nullptr ? QString::fromUtf8(error->message)
                                                                    : QStringLiteral("it cannot be read");
        break;
    }
    // A file the discoverer opened but found neither pictures nor sound in.
    if (probe.readable) {
        GList* video = gst_discoverer_info_get_video_streams(info);
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        if (video == nullptr && audio == nullptr) {
            probe.readable = false;
            probe.cause = QStringLiteral("it holds neither pictures nor sound");
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
