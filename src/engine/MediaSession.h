#pragma once
// The one media graph of the program and the opening of a file in it: the
// preview shows it, a conversion rewires it.

#include <memory>
#include <string>

#include "MediaInterfaces.h"

namespace zem {

class ConversionHost;
struct ConversionGraph;

// Handles of the one graph; all empty when there is none.
struct GraphHandles {
    std::shared_ptr<IGraphBuilder> pGB;
    std::shared_ptr<IMediaControl> pMC;
    std::shared_ptr<IMediaSeeking> pMS;
    std::shared_ptr<IBasicVideo> pBV;
    std::shared_ptr<IVideoWindow> pVW;
    std::shared_ptr<IMediaEventEx> pME;
    std::shared_ptr<IMediaFilter> pMF;

    bool Any() const { return pGB || pMC || pMS || pBV || pVW || pME || pMF; }
};

// Private message that carries graph events to the window.
inline constexpr long WM_GRAPH_EVENT = 0x8000 + 1;

inline constexpr const char* kTextRenderFailed = "File failed to render!";

class MediaSession {
public:
    explicit MediaSession(ConversionHost& host);
    ~MediaSession();

    // Creates the graph and takes its handles; false after a reported failure.
    bool InitDirectShow();
    // Tears the graph down; safe to repeat.
    void ReleaseDirectShow();
    bool ResetDirectShow();

    // Opens `path` in a fresh graph, stopped. False (after telling the user)
    // when the file cannot be rendered; no graph is left then.
    bool OpenPreviewFile(const std::string& path);

    // Adds the preferred MPEG-2 decoder; false (logged) when it is missing.
    bool AddMpegDecoder();
    HRESULT RenderMediaFile(const std::string& path);
    HRESULT RenderWMFile(const std::string& path);
    static bool IsWindowsMediaFile(const std::string& path);

    GraphHandles& Handles() { return m_handles; }
    ConversionGraph& Conversion() { return *m_conversion; }
    bool AudioOnly() const { return m_audioOnly; }
    // The message of the latest failure, for the command line's summary.
    const UserText& LastFailure() const { return m_lastFailure; }
    void ReportFailure(const char* format, HRESULT hr, const std::string& path = {});
    // The same text, logged and kept as the latest failure but not shown.
    std::string NoteFailure(const char* format, HRESULT hr, const std::string& path = {});

private:
    ConversionHost& m_host;
    GraphHandles m_handles;
    std::unique_ptr<ConversionGraph> m_conversion;
    bool m_audioOnly = false;
    void NoteCause(const std::shared_ptr<IErrorDetail>& source);

    UserText m_lastFailure;
    ErrorDetail m_lastCause;
};

} // namespace zem
