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

MediaLengths::MediaLengths(int timeoutSeconds) {
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

std::optional<int64_t> MediaLengths::Length(const QString& path) {
    if (const auto known = m_lengths.find(path); known != m_lengths.end())
        return known->second;
    if (m_pending.count(path) != 0)
        return std::nullopt;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    if (!m_discoverer || uri == nullptr || !gst_discoverer_discover_uri_async(m_discoverer.get(), uri)) {
        g_free(uri);
        m_lengths[path] = 0;
        return 0;
    }
    g_free(uri);
    m_pending.insert(path);
    return std::nullopt;
}

void MediaLengths::OnDiscovered(GstDiscoverer*, GstDiscovererInfo* info, GError*, void* self) {
    auto* lengths = static_cast<MediaLengths*>(self);
    gchar* filename = g_filename_from_uri(gst_discoverer_info_get_uri(info), nullptr, nullptr);
    if (filename == nullptr)
        return;
    const QString path = QFile::decodeName(filename);
    g_free(filename);
    const bool ok = gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK;
    const GstClockTime duration = gst_discoverer_info_get_duration(info);
    lengths->m_pending.erase(path);
    lengths->m_lengths[path] = ok && GST_CLOCK_TIME_IS_VALID(duration) ? int64_t(duration) / kNanosecondsPerUnit : 0;
}

} // namespace zem::app
