#pragma once
// The File Writer: writes what reaches it into a file made new, with the WAV
// head in front when a WavDest feeds it.
#include "GraphImpl.h"

#include <gst/app/gstappsink.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace zem::media {

class FileWriterFilter : public ElementChainFilter, public IFileSinkFilter, public IErrorDetail {
public:
    FileWriterFilter() : ElementChainFilter(CLSID_FileWriter) {}
    ~FileWriterFilter() override;
    void CreatePins() override;
    HRESULT SetFileName(const std::string& path, const AM_MEDIA_TYPE* type) override;
    // Why the file could not be created or written (path and the system's reason).
    HRESULT GetErrorDetail(ErrorDetail* detail) override;
    bool Accepts(const Pin&, const MediaFormat&) const override { return true; }
    bool IsRenderer() const override { return false; } // never picked by Render
    bool Delivers() const override { return true; }
    bool Realize(GstBin* bin, const RealizeContext& context) override;
    void Unrealize() override;
    void Finish() override;

private:
    static GstFlowReturn OnSample(GstAppSink* sink, gpointer self);
    static void OnEos(GstElement* sink, gpointer self);
    // These run with m_mutex held.
    bool OpenFile();
    bool WriteAll(const void* data, std::size_t size, off_t offset);
    // `wording` names the file as {file} and the system's reason as {why}.
    bool Failed(const char* wording, int error);
    void PostWriteError();

    // Streaming thread (samples, end of stream) and window thread (name,
    // realise, finish) meet here: the lock protects the fields below.
    std::mutex m_mutex;
    std::string m_path;
    int m_fd = -1;
    bool m_created = false; // this filter made the file at m_path
    bool m_wavHead = false;
    bool m_finished = false;
    std::uint64_t m_dataBytes = 0;
    ErrorDetail m_error;
    int m_errno = 0; // of the first failure
    std::shared_ptr<StreamGate> m_gate;
};

} // namespace zem::media
