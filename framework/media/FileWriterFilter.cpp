#include "FileWriterFilter.h"

#include "MediaTexts.h"
#include "WavHead.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zem::media {

FileWriterFilter::~FileWriterFilter() {
    Finish();
}

void FileWriterFilter::CreatePins() {
    AddPin(PINDIR_INPUT, "in");
}

HRESULT FileWriterFilter::SetFileName(const std::string& path, const AM_MEDIA_TYPE*) {
    if (path.empty())
        return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    m_path = path;
    return S_OK;
}

HRESULT FileWriterFilter::GetErrorDetail(ErrorDetail* detail) {
    if (!detail)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *detail = m_error;
    return m_error.kind == ErrorDetail::Kind::None ? S_FALSE : S_OK;
}

bool FileWriterFilter::Realize(GstBin* bin, const RealizeContext& context) {
    GstElement* sink = MakeElement(bin, "appsink");
    SetChain(sink, sink);
    if (!sink)
        return false;
    g_object_set(sink, "sync", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &FileWriterFilter::OnSample;
    callbacks.eos = [](GstAppSink* sink, gpointer self) { OnEos(GST_ELEMENT(sink), self); };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    std::lock_guard lock(m_mutex);
    m_gate = context.gate;
    m_finished = false;
    auto in = PinAt(PINDIR_INPUT, 0);
    auto peer = in ? in->Peer() : nullptr;
    auto upstream = peer ? peer->Owner() : nullptr;
    m_wavHead = upstream && upstream->AsksForWavHead();
    return true;
}

bool FileWriterFilter::Failed(const char* wording, int error) {
    if (m_error.kind == ErrorDetail::Kind::None) {
        m_error.kind = ErrorDetail::Kind::Output;
        m_error.element = Last() ? GST_OBJECT_NAME(Last()) : "";
        m_error.said = UserText(wording).With("file", m_path).With("why", std::strerror(error));
        m_error.text = m_error.said.English();
        m_error.debug = std::string("write failed with errno ") + std::to_string(error);
        m_errno = error;
    }
    return false;
}

bool FileWriterFilter::WriteAll(const void* data, std::size_t size, off_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(m_fd, p, size) : ::pwrite(m_fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Failed(kTextCannotWriteFile, n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
    }
    return true;
}

bool FileWriterFilter::OpenFile() {
    // The file is made new, never opened through a name that exists: a link
    // or file planted there makes the write fail instead of landing elsewhere.
    // A pipeline built again for the same run replaces what this filter made.
    if (m_created)
        ::unlink(m_path.c_str());
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return Failed(kTextCannotCreateFile, errno);
    m_created = true;
    m_dataBytes = 0;
    if (!m_wavHead)
        return true;
    const auto head = BuildWavHead(0);
    return WriteAll(head.data(), head.size(), -1);
}

void FileWriterFilter::PostWriteError() {
    // The pipeline stops on our error, and the graph reports its text rather
    // than the "Internal data stream error" that follows upstream.
    GstElement* sink = Last();
    if (!sink)
        return;
    const GstResourceError code = m_errno == ENOSPC ? GST_RESOURCE_ERROR_NO_SPACE_LEFT : GST_RESOURCE_ERROR_WRITE;
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, code, m_error.text.c_str());
    gst_element_post_message(sink, gst_message_new_error(GST_OBJECT(sink), error, m_error.debug.c_str()));
    g_error_free(error);
}

GstFlowReturn FileWriterFilter::OnSample(GstAppSink* sink, gpointer self) {
    auto* writer = static_cast<FileWriterFilter*>(self);
    std::unique_ptr<GstSample, decltype(&gst_sample_unref)> sample(gst_app_sink_pull_sample(sink), &gst_sample_unref);
    if (!sample)
        return GST_FLOW_OK;
    std::lock_guard lock(writer->m_mutex);
    if (writer->m_finished || !writer->m_gate || !writer->m_gate->deliver.load() || writer->m_path.empty())
        return GST_FLOW_OK;
    if (writer->m_error.kind != ErrorDetail::Kind::None)
        return GST_FLOW_ERROR;
    if (writer->m_fd < 0 && !writer->OpenFile()) {
        writer->PostWriteError();
        return GST_FLOW_ERROR;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const bool written = writer->WriteAll(map.data, map.size, -1);
        if (written)
            writer->m_dataBytes += map.size;
        gst_buffer_unmap(buffer, &map);
        if (!written) {
            writer->PostWriteError();
            return GST_FLOW_ERROR;
        }
    }
    return GST_FLOW_OK;
}

void FileWriterFilter::OnEos(GstElement*, gpointer self) {
    static_cast<FileWriterFilter*>(self)->Finish();
}

void FileWriterFilter::Finish() {
    std::lock_guard lock(m_mutex);
    m_finished = true;
    if (m_fd < 0)
        return;
    if (m_wavHead && m_error.kind == ErrorDetail::Kind::None) {
        const auto head = BuildWavHead(m_dataBytes);
        WriteAll(head.data(), head.size(), 0);
    }
    // Closing can be where a full disk shows first.
    if (::close(m_fd) != 0 && errno != EINTR)
        Failed(kTextCannotWriteFile, errno);
    m_fd = -1;
}

void FileWriterFilter::Unrealize() {
    Finish();
    ElementChainFilter::Unrealize();
}

} // namespace zem::media
