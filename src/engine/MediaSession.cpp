#include "MediaSession.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "ConversionGraph.h"
#include "ConversionHost.h"
#include "EngineTexts.h"
#include "GraphState.h"
#include "dshowutil.h"

namespace zem {

MediaSession::MediaSession(ConversionHost& host) : m_host(host), m_conversion(std::make_unique<ConversionGraph>()) {}

MediaSession::~MediaSession() {
    ReleaseDirectShow();
}

void MediaSession::ReportFailure(const char* format, HRESULT hr, const std::string& path) {
    m_host.ShowMessage(NoteFailure(format, hr, path));
}

std::string MediaSession::NoteFailure(const char* format, HRESULT hr, const std::string& path) {
    char text[kFailureTextMax + 1]; // cut like the media layer's own reports
    if (path.empty())
        std::snprintf(text, sizeof text, format, static_cast<unsigned>(hr));
    else
        std::snprintf(text, sizeof text, format, static_cast<unsigned>(hr), path.c_str());
    // The code says which call failed and goes to the log; the cause, when
    // the layer knows it, says why in words and is what the user reads.
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    m_host.LogFailure(message);
    if (!m_lastCause.text.empty())
        message += "\n" + m_lastCause.text;
    m_lastFailure = m_lastCause.text.empty() ? UserText(message) : m_lastCause.Said();
    return message;
}

void MediaSession::NoteCause(const std::shared_ptr<IErrorDetail>& source) {
    ErrorDetail detail;
    if (source && source->GetErrorDetail(&detail) == S_OK && m_lastCause.kind == ErrorDetail::Kind::None)
        m_lastCause = detail;
}

bool MediaSession::InitDirectShow() {
    m_audioOnly = false;
    if (m_handles.Any())
        m_host.ShowMessage(kTextInitFailed);
    m_handles.pVW.reset();
    m_handles.pBV.reset();

    HRESULT hr = CreateFilterGraph(&m_handles.pGB);
    const char* failure = nullptr;
    if (FAILED(hr) || !m_handles.pGB) {
        failure =
            "FAILED(0x%x) CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC, IID_IGraphBuilder, (void "
            "**)&pGB)\n";
    } else if (!(m_handles.pMC = QueryInterface<IMediaControl>(m_handles.pGB))) {
        failure = "FAILED(0x%x) pGB->QueryInterface(IID_IMediaControl, (void **)&pMC)\n";
    } else if (!(m_handles.pMS = QueryInterface<IMediaSeeking>(m_handles.pGB))) {
        failure = "FAILED(0x%x) pGB->QueryInterface(IID_IMediaSeeking, (void **)&pMS)\n";
    } else if (!(m_handles.pBV = QueryInterface<IBasicVideo>(m_handles.pGB))) {
        failure = "FAILED(0x%x) pGB->QueryInterface(IID_IBasicVideo, (void **)&pBV)\n";
    } else if (!(m_handles.pVW = QueryInterface<IVideoWindow>(m_handles.pGB))) {
        failure = "FAILED(0x%x) pGB->QueryInterface(IID_IVideoWindow, (void **)&pVW)\n";
    } else if (!(m_handles.pME = QueryInterface<IMediaEventEx>(m_handles.pGB))) {
        failure = "FAILED(0x%x) pGB->QueryInterface(IID_IMediaEventEx, (void **)&pME)\n";
    } else if (!(m_handles.pMF = QueryInterface<IMediaFilter>(m_handles.pGB))) {
        failure = "FAILED(0x%x) pGB->QueryInterface(IID_IMediaFilter, (void **)&pMF)\n";
    }
    if (failure != nullptr) {
        ReportFailure(failure, FAILED(hr) ? hr : E_NOINTERFACE);
        ReleaseDirectShow();
        return false;
    }
    return true;
}

void MediaSession::ReleaseDirectShow() {
    if (m_handles.pMC)
        m_handles.pMC->Stop();
    m_conversion->Release();
    if (m_handles.pME)
        m_handles.pME->SetNotifyWindow(nullptr, 0, 0);
    if (m_handles.pVW) {
        m_handles.pVW->put_Visible(false);
        m_handles.pVW->put_Owner(nullptr);
    }
    m_handles.pMF.reset();
    m_handles.pMC.reset();
    m_handles.pMS.reset();
    m_handles.pVW.reset();
    m_handles.pBV.reset();
    m_handles.pME.reset();
    m_handles.pGB.reset();
}

bool MediaSession::ResetDirectShow() {
    ReleaseDirectShow();
    return InitDirectShow();
}

bool MediaSession::AddMpegDecoder() {
    CLSID id;
    IBaseFilterPtr& decoder = m_conversion->m_mpegDecoder;
    if (FAILED(CLSIDFromString(kMpeg2DecoderClsid, &id)) || FAILED(CoCreateFilter(id, &decoder)) || !decoder ||
        FAILED(m_handles.pGB->AddFilter(decoder, kNameMpeg2Decoder))) {
        m_host.LogFailure(UserText(kTextNoMpegDecoder).English());
        return false;
    }
    return true;
}

bool MediaSession::IsWindowsMediaFile(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == "asf" || ext == "wma" || ext == "wmv";
}

HRESULT MediaSession::RenderWMFile(const std::string& path) {
    IBaseFilterPtr reader;
    HRESULT hr = CoCreateFilter(CLSID_WMAsfReader, &reader);
    if (FAILED(hr))
        return hr;
    hr = m_handles.pGB->AddFilter(reader, "ASF Reader");
    if (FAILED(hr)) {
        NoteFailure("Failed to add ASF reader filter to graph!  hr=0x%x\n", hr);
        return hr;
    }
    auto source = QueryInterface<IFileSourceFilter>(reader);
    if (!source) {
        NoteFailure("FAILED(0x%x) pReader->QueryInterface(IID_IFileSourceFilter, (void **) &pFS)\n", E_NOINTERFACE);
        return E_NOINTERFACE;
    }
    hr = source->Load(path, nullptr);
    if (FAILED(hr)) {
        NoteCause(QueryInterface<IErrorDetail>(reader));
        NoteFailure("FAILED(0x%x) pFS->Load(wFile, NULL)\n", hr);
        return hr;
    }
    hr = ::RenderOutputPins(m_handles.pGB.get(), reader.get());
    if (FAILED(hr))
        NoteFailure("FAILED(0x%x) RenderOutputPins(pGB, pReader)\n", hr);
    return hr;
}

HRESULT MediaSession::RenderMediaFile(const std::string& path) {
    HRESULT hr;
    if (IsWindowsMediaFile(path)) {
        hr = RenderWMFile(path);
        if (FAILED(hr)) {
            NoteFailure("*** Failed(%08lx) to Render WM File(%s)!\r\n", hr, path);
            return hr;
        }
    } else {
        hr = m_handles.pGB->RenderFile(path, {});
        if (FAILED(hr)) {
            NoteCause(QueryInterface<IErrorDetail>(m_handles.pGB));
            NoteFailure("*** Failed(%08lx) in RenderFile(%s)!\r\n", hr, path);
            return hr;
        }
    }
    QWidget* owner = m_host.VideoOwner();
    // A file of sound alone: the preview plays it, and the window tells so
    // in the file's row.
    hr = m_handles.pVW->put_MessageDrain(owner);
    if (FAILED(hr))
        m_audioOnly = true;
    hr = m_handles.pME->SetNotifyWindow(m_host.EventTarget(), WM_GRAPH_EVENT, 0);
    if (!m_audioOnly && owner != nullptr) {
        m_handles.pVW->put_Visible(false);
        m_handles.pVW->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        m_handles.pVW->put_Owner(owner);
        m_handles.pVW->put_Visible(true);
        hr = m_handles.pVW->SetWindowForeground(true);
    }
    return hr;
}

bool MediaSession::OpenPreviewFile(const std::string& path) {
    m_lastCause = ErrorDetail{};
    m_lastFailure = UserText();
    if (!ResetDirectShow())
        return false;
    // The open goes on without the preferred decoder; the log says why.
    AddMpegDecoder();
    if (FAILED(RenderMediaFile(path))) {
        // One box for one failure, in words; the codes went to the log.
        m_host.ShowMessage(kTextRenderFailed, m_lastFailure);
        ReleaseDirectShow();
        return false;
    }
    // The mute toggle outlives the files it was set on.
    if (g_muted)
        SetMute(m_handles.pGB.get(), true);
    return true;
}

} // namespace zem
