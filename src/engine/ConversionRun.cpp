#include "ConversionRun.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ConversionHost.h"
#include "EngineTexts.h"
#include "GraphState.h"
#include "GstPtr.h"
#include "SilentTrack.h"
#include "StatedLength.h"
#include "Subtitles.h"

namespace zem {

namespace {
// Ticks a range's end waits for sound that lags behind its pictures.
constexpr int kMaxSoundWaitTicks = 30;

// "what failed (element)", the element left out when the graph did not name one.
UserText TextWithElement(const ErrorDetail& detail) {
    if (detail.element.empty())
        return detail.Said();
    return UserText(kTextWithElement).With("why", detail.Said()).With("element", detail.element);
}

// Replaces `from` by `to` in the words taken from elsewhere (paths, the
// system's messages); a wording of this program names no path itself.
void ReplaceInWords(UserText& text, const std::string& from, const std::string& to) {
    if (text.verbatim) {
        for (size_t at = text.key.find(from); at != std::string::npos; at = text.key.find(from, at + to.size()))
            text.key.replace(at, from.size(), to);
    }
    for (UserTextArg& arg : text.args)
        ReplaceInWords(arg.value, from, to);
}
} // namespace

ConversionRun::ConversionRun(ConversionHost& host, MediaSession& session) : m_host(host), m_session(session) {}

ConversionRun::~ConversionRun() {
    if (m_converting)
        Abandon();
}

void ConversionRun::SelectJob(const ConversionJob& job) {
    m_job = job;
    // The subtitles are drawn by the graph the file opens in.
    media::SubtitleOptions subtitles;
    subtitles.enabled = job.subtitles;
    subtitles.fontHeight = job.subtitleHeight;
    subtitles.forcedFile = job.subtitleFile;
    media::SetSubtitleOptions(subtitles);
    m_inputPath = job.inputPath;
    m_outputPath = job.outputPath;
    // The intermediates get their names when the job starts and its scratch
    // folder exists.
    m_paths = ConversionPaths{};
    m_paths.inputPath = m_inputPath;
    m_paths.outputPath = m_outputPath;
    m_zemPath.clear();
    m_mp3Path.clear();
    m_tmpPath.clear();
    m_selectionStart = job.selectionStart;
    m_selectionEnd = job.selectionEnd;
    m_duration = 0;
    m_lengthStated = false;
    m_warnings.clear();
    if (!m_inputPath.empty() && m_session.OpenPreviewFile(m_inputPath)) {
        CollectWarnings();
        auto& seeking = m_session.Handles().pMS;
        if (!seeking || FAILED(seeking->GetDuration(&m_duration)))
            m_duration = 0;
        m_lengthStated = m_duration > 0 && FileStatesItsLength(m_inputPath);
        // A range to the end of a guessed length (the slider's end) goes to the film's real end.
        if (!m_lengthStated && m_duration > 0 && m_selectionEnd == m_duration)
            m_selectionEnd = INT64_MAX;
    }
}

void ConversionRun::SelectToEndOfFile() {
    m_selectionEnd = KnownLength() > m_selectionStart ? KnownLength() : INT64_MAX;
}

int64_t ConversionRun::JobStart() const {
    return HasRange() ? m_selectionStart : 0;
}

int64_t ConversionRun::JobLength() const {
    return HasRange() ? m_selectionEnd - m_selectionStart : m_duration;
}

bool ConversionRun::GraphError(ErrorDetail& detail) const {
    const auto source = QueryInterface<IErrorDetail>(m_session.Handles().pGB);
    return source && source->GetErrorDetail(&detail) == S_OK;
}

UserText ConversionRun::WhyTheGraphDidNotRun(HRESULT hr) const {
    ErrorDetail detail;
    if (GraphError(detail))
        return TextWithElement(detail);
    if (hr == VFW_E_TIMEOUT) {
        // A decoder that could not be loaded for want of memory takes nothing either.
        const media::PluginLoadFailure load = media::LastPluginLoadFailure();
        if (load.outOfMemory)
            return UserText(kTextOutOfMemory).With("cause", load.text);
        return kTextDidNotStart;
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", unsigned(hr));
    return UserText(kTextGraphDidNotRun).With("code", code);
}

void ConversionRun::CollectWarnings() {
    const auto source = QueryInterface<IErrorDetail>(m_session.Handles().pGB);
    if (!source)
        return;
    for (const UserText& said : source->Warnings()) {
        const std::string warning = said.English();
        if (std::any_of(m_warnings.begin(), m_warnings.end(),
                        [&](const UserText& had) { return had.English() == warning; }))
            continue;
        m_warnings.push_back(said);
        m_host.LogFailure(warning);
    }
}

void ConversionRun::Warn(const UserText& text) {
    m_warnings.push_back(text);
    m_host.LogFailure(text.English());
}

UserText ConversionRun::ShownScratchPaths(UserText text) const {
    if (!m_scratch || m_scratch->Reach().empty())
        return text;
    ReplaceInWords(text, m_scratch->Reach() + "/", m_scratch->Path() + "/");
    return text;
}

void ConversionRun::Fail(FailureCode code, const UserText& what, const UserText& cause) {
    m_result = JobResult::Failed;
    m_failure.code = code;
    // The first reason found is the one the user is told.
    if (!m_failure.HasReason())
        TellWhy(what, cause);
}

FailureCode ConversionRun::MakeScratchFolder() {
    ScratchFolder::Outcome outcome = ScratchFolder::Outcome::Failed;
    UserText error;
    m_scratch = ScratchFolder::Create(m_outputPath, outcome, error);
    if (!m_scratch) {
        const FailureCode code =
            outcome == ScratchFolder::Outcome::OutputBusy ? FailureCode::OutputBusy : FailureCode::FramesFile;
        Fail(code, error);
        return code;
    }
    // The intermediates are reached through the folder's descriptor, never by
    // a name someone could move or swap meanwhile.
    m_paths = DeriveConversionPaths(m_inputPath, m_outputPath, m_scratch->Reach());
    m_zemPath = m_paths.zemPath;
    m_mp3Path = m_paths.mp3Path;
    m_tmpPath = m_paths.tmpPath;
    if (!PathsFitLimit(m_paths)) {
        m_scratch.reset();
        Fail(FailureCode::FramesFile, UserText(kTextOutputPathTooLong).With("file", m_outputPath));
        return FailureCode::FramesFile;
    }
    return FailureCode::None;
}

FailureCode ConversionRun::SeekToSelectionStart() {
    GraphHandles& h = m_session.Handles();
    if (h.pMC) {
        OAFilterState state = State_Stopped;
        if (FAILED(h.pMC->GetState(kStateWaitMs, &state)) || state != State_Stopped)
            return FailureCode::GraphNotStopped;
    }
    m_selectionActive = (m_selectionStart != 0 || m_selectionEnd != 0) ? 1 : 0;
    if (m_selectionActive && h.pMS) {
        REFERENCE_TIME start = m_selectionStart;
        if (FAILED(h.pMS->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning)))
            return FailureCode::SeekFailed;
    }
    return FailureCode::None;
}

FailureCode ConversionRun::CreateFramesFile() {
    if (m_tmpPath.size() >= PATH_MAX || !m_framesFile.Open(m_tmpPath, File::Mode::CreateExclusive)) {
        TellWhy(m_framesFile.Error().empty() ? UserText(kTextPathTooLong).With("file", m_tmpPath)
                                             : m_framesFile.ErrorText());
        m_session.OpenPreviewFile(m_inputPath);
        return FailureCode::FramesFile;
    }
    return FailureCode::None;
}

FailureCode ConversionRun::OnConvert() {
    const FailureCode code = StartJob();
    if (code != FailureCode::None) {
        m_result = JobResult::Failed;
        m_failure.code = code;
        m_host.OnJobEvent({JobState::Failed, kNoPercent, m_failure});
    }
    return code;
}

FailureCode ConversionRun::StartJob() {
    m_result = JobResult::None;
    m_failure = Failure{};
    m_stopNote = {};
    m_stoppedBeside = {};
    m_muxResult = MuxResult{};
    m_inputEndedEarly = {};
    m_failedWhileRunning = false;
    m_runningFailureCode = FailureCode::None;
    m_abandonRequested = false;
    m_soundWaitTicks = 0;

    IGraphBuilder* graph = m_session.Handles().pGB.get();
    OpenGraphLog(m_logFile, graph);
    // What the file's opening left out (unreadable subtitles) goes into the log too.
    if (std::FILE* log = m_logFile.Handle()) {
        for (const UserText& warning : m_warnings)
            std::fprintf(log, "Warning: %s\n", warning.English().c_str());
    }
    SaveGraphSnapshot(graph, "OnConvert()");
    m_paths.keptMp3Path = DeriveConversionPaths(m_inputPath, m_outputPath, {}).keptMp3Path;
    FailureCode code = CheckInputFile();
    if (code != FailureCode::None) {
        CloseGraphLog(m_logFile, graph);
        Fail(code, InputProblem());
        return code;
    }
    UserText why;
    if (OutputReplacesInput(why)) {
        CloseGraphLog(m_logFile, graph);
        Fail(FailureCode::OutputIsInput, why);
        return FailureCode::OutputIsInput;
    }
    // Refused before anything is decoded, not after the whole film.
    std::vector<std::string> written{m_outputPath};
    if (m_job.keepMp3)
        written.push_back(m_paths.keptMp3Path);
    for (const std::string& out : written) {
        UserText what;
        UserText cause;
        if (OutputCannotBeReplaced(out, what, cause)) {
            CloseGraphLog(m_logFile, graph);
            Fail(FailureCode::WriteFailed, what, cause);
            return FailureCode::WriteFailed;
        }
    }
    if (const UserText pastEnd = StartPastEndText(); !pastEnd.empty()) {
        CloseGraphLog(m_logFile, graph);
        Fail(FailureCode::SeekFailed, pastEnd);
        return FailureCode::SeekFailed;
    }
    // Before anything is decoded: the scratch folder claims the output, so
    // a second conversion to it is refused here.
    code = MakeScratchFolder();
    if (code != FailureCode::None) {
        CloseGraphLog(m_logFile, graph);
        return code;
    }
    code = SeekToSelectionStart();
    if (code == FailureCode::None)
        code = StartGraph();
    if (code != FailureCode::None) {
        if (!m_failure.HasReason() && !m_session.LastFailure().empty())
            TellWhy(m_session.LastFailure());
        Fail(code, JoinCause(FailureCodeText(code), m_inputPath));
        CloseGraphLog(m_logFile, m_session.Handles().pGB.get());
        m_framesFile.Close();
        RemoveIntermediates();
        return code;
    }
    m_converting = 1;
    m_host.OnJobEvent({JobState::Converting, 0, {}});
    CloseGraphLog(m_logFile, m_session.Handles().pGB.get());
    return FailureCode::None;
}

FailureCode ConversionRun::StartGraph() {
    GraphHandles& h = m_session.Handles();
    ConversionGraphSetup setup;
    setup.graph = h.pGB.get();
    setup.host = &m_host;
    setup.mp3Path = m_mp3Path;
    setup.monitoring = m_job.monitoring;
    setup.reopenPreview = [this] { m_session.OpenPreviewFile(m_inputPath); };
    setup.saveSnapshot = [graph = h.pGB.get()](const char* label) { SaveGraphSnapshot(graph, label); };
    FailureCode code = BuildConversionGraph(m_session.Conversion(), setup);
    if (code != FailureCode::None)
        return code;
    SaveGraphSnapshot(h.pGB.get(), "Before_pMC_Run()");
    code = CreateFramesFile();
    if (code != FailureCode::None)
        return code;

    m_conversionPosition.store(0);
    m_capture = std::make_unique<FrameCaptureContext>();
    m_capture->targetWidth = uint16_t(m_job.videoWidth);
    m_capture->targetHeight = uint16_t(m_job.videoHeight);
    m_capture->jpegQuality = m_job.jpegQuality;
    m_capture->rotate = m_job.rotate;
    m_capture->keepProportions = m_job.keepProportions;
    m_capture->frameInterval = 1.0 / kFrameRate;
    m_capture->framesFile = &m_framesFile;
    m_capture->positionOut = &m_conversionPosition;
    if (HasRange())
        m_capture->stopTime = double(m_selectionEnd - m_selectionStart) / kTicksPerSecond;
    // A range starts at a position the demuxer reaches its own way and stops at
    // a time; monitoring shows every picture: there every picture is decoded.
    m_capture->skipAllowed = !HasRange() && !m_job.monitoring && !DecodeAllAsked();
    m_callback = std::make_unique<FrameGrabberCallback>(*m_capture);
    StartFrameCapture(m_session.Conversion(), *m_capture, *m_callback, h.pMF.get());

    m_muxSettings = MuxSettings{};
    m_muxSettings.frameRate = kFrameRate;
    m_muxSettings.videoWidth = m_job.videoWidth;
    m_muxSettings.videoHeight = m_job.videoHeight;
    m_muxSettings.rotate = m_job.rotate;
    m_muxSettings.saveMp3 = m_job.keepMp3;
    m_muxSettings.place = [scratch = m_scratch.get()](const std::string& from, const std::string& to, UserText& error) {
        return scratch->Place(from, to, error);
    };

    const HRESULT hr = h.pMC ? h.pMC->Run() : E_POINTER;
    if (FAILED(hr)) {
        TellWhy(UserText(kTextCannotDecode).With("file", m_inputPath), WhyTheGraphDidNotRun(hr));
        if (h.pMC)
            h.pMC->Stop();
        m_callback.reset();
        m_capture.reset();
        m_session.OpenPreviewFile(m_inputPath);
        return FailureCode::DecodeFailed;
    }
    return FailureCode::None;
}

int64_t ConversionRun::Position() {
    // While converting, the pictures decide when the job is done: the graph's
    // own position follows whichever stream is ahead (the sound decodes much
    // faster), so the frame encoder's position is the progress. It counts from
    // the start of the played range.
    if (m_converting)
        return (m_selectionActive ? m_selectionStart : 0) + m_conversionPosition.load(std::memory_order_acquire);
    auto& seeking = m_session.Handles().pMS;
    REFERENCE_TIME position = 0;
    if (seeking && SUCCEEDED(seeking->GetCurrentPosition(&position)))
        return position;
    return 0;
}

int ConversionRun::Percent(int64_t position) const {
    int64_t percent = 0;
    // A range to the end of a film of unknown length counts to its guessed length.
    const int64_t end = m_selectionEnd == INT64_MAX && m_duration > m_selectionStart ? m_duration : m_selectionEnd;
    if (HasRange())
        percent = (position - m_selectionStart) * 100 / (end - m_selectionStart);
    else if (m_duration > 0)
        percent = position * 100 / m_duration;
    return int(std::clamp<int64_t>(percent, 0, 100));
}

void ConversionRun::UpdateProgress() {
    if (!m_converting)
        return;
    if (m_writing)
        return;
    const int64_t position = Position();
    m_progress = Percent(position);
    m_host.OnJobEvent({JobState::Converting, m_progress, {}});
    // The range ends when its pictures are all taken and its sound has all
    // passed; the graph's own position follows whichever stream is ahead.
    bool reachedEnd = position >= m_selectionEnd;
    if (m_capture && m_capture->stopTime >= 0) {
        reachedEnd = m_capture->pastStop();
        REFERENCE_TIME soundEnd = 0;
        auto times = QueryInterface<IStreamTimes>(m_session.Conversion().m_audioProcessor);
        const bool soundBehind = times && times->GetLastSampleTime(&soundEnd) == S_OK &&
                                 double(soundEnd) < m_capture->stopTime * kTicksPerSecond;
        if (reachedEnd && soundBehind && ++m_soundWaitTicks <= kMaxSoundWaitTicks)
            reachedEnd = false;
    }
    if (m_selectionActive && reachedEnd && !m_finishing) {
        m_selectionActive = 0;
        FinishConversion(false);
    }
}

void ConversionRun::OnGraphNotify() {
    for (;;) {
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        {
            // No reference to the graph may outlive this block: finishing
            // releases the graph, and only its last release stops the
            // streaming threads that call into the frame encoder.
            auto events = m_session.Handles().pME;
            if (!events || FAILED(events->GetEvent(&code, &param1, &param2, 0)))
                return;
            events->FreeEventParams(code, param1, param2);
        }
        m_host.LogGraphEvent(code);
        const bool running = m_converting && !m_finishing;
        if (code == EC_COMPLETE && running) {
            CheckForEarlyEnd();
            FinishConversion(false);
            continue;
        }
        if ((code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) && running) {
            // What was captured is not the file the user asked for, so
            // nothing is written. The graph says what failed and why.
            ErrorDetail detail;
            const bool known = GraphError(detail);
            if (known && detail.kind == ErrorDetail::Kind::Output) {
                m_runningFailureCode = FailureCode::WriteFailed;
                TellWhy(detail.Said());
            } else {
                m_runningFailureCode = FailureCode::DecodeFailed;
                char text[16];
                std::snprintf(text, sizeof text, "0x%08x", unsigned(param1));
                TellWhy(UserText(kTextCannotDecode).With("file", m_inputPath),
                        known ? TextWithElement(detail) : UserText(kTextInputGone).With("code", text));
            }
            m_failedWhileRunning = true;
            FinishConversion(false);
        }
    }
}

} // namespace zem
