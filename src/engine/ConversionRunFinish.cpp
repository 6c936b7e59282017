// The end of a job: the graph stopped and what it left collected, the
// output written from that, and the end reported; or, on a second stop while
// it writes, everything given up.

#include "ConversionRun.h"

#include <sys/stat.h>

#include "ConversionHost.h"
#include "EngineTexts.h"
#include "SilentTrack.h"

namespace zem {

namespace {
// Whether `path` names a regular file (through a link too).
bool PlainFileAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

void ConversionRun::RemoveIntermediates() {
    // Everything the job wrote lies in its folder; the output and a kept
    // ".mp3" have left it by then.
    m_scratch.reset();
}

void ConversionRun::FinishConversion(bool stopped) {
    if (!m_converting || m_finishing)
        return;
    m_finishing = true;
    const Captured captured = StopCapture();
    m_progress = 0;
    m_writing = 1;
    m_host.OnJobEvent({JobState::Writing, kNoPercent, {}});
    WriteOutput(captured, stopped);
    ReportEnd(stopped);
}

ConversionRun::Captured ConversionRun::StopCapture() {
    GraphHandles& h = m_session.Handles();
    if (h.pMC)
        h.pMC->Stop();
    Captured captured;
    // The pipeline is down: the streaming thread is done with the frame
    // encoder and the frames file, whose results are read from here on.
    if (m_capture) {
        m_capture->FinishFrames();
        m_logFile.AppendLine(SkipCountsText(m_capture->skipCounts()));
        captured.pictureStart = m_capture->firstFrameTime();
        captured.framesFailed = m_capture->writeFailed();
        captured.framesError = m_capture->writeError();
        captured.framesTaken = m_capture->framesWritten();
    }
    // The pictures start with the first frame taken, the sound with its first
    // sample: line the sound up with the pictures.
    auto times = QueryInterface<IStreamTimes>(m_session.Conversion().m_audioProcessor);
    REFERENCE_TIME soundStart = 0;
    captured.haveSoundStart = times && times->GetFirstSampleTime(&soundStart) == S_OK;
    captured.soundStart = soundStart;
    // A film without sound gets silence as long as its pictures.
    captured.soundlessFilm = !m_session.Conversion().HasSound();
    CollectWarnings();
    // The sound file is complete (or has failed) once the graph lets go of its writer.
    auto soundWriter = QueryInterface<IErrorDetail>(m_session.Conversion().m_fileWriter);
    // Releasing the graph completes the ".mp3"; the window shows the file again.
    if (m_reloadsPreview)
        m_session.OpenPreviewFile(m_inputPath);
    else
        m_session.ReleaseDirectShow();
    m_callback.reset();
    m_capture.reset();
    captured.framesClosed = m_framesFile.Close();
    ErrorDetail soundFailure;
    captured.soundFailed = soundWriter && soundWriter->GetErrorDetail(&soundFailure) == S_OK;
    captured.soundError = soundFailure.text;
    return captured;
}

void ConversionRun::WriteOutput(const Captured& captured, bool stopped) {
    std::string silenceError;
    if (m_failedWhileRunning) {
        Fail(m_runningFailureCode, m_failure.what, m_failure.cause);
        RemoveIntermediates();
    } else if (captured.framesFailed || !captured.framesClosed) {
        Fail(FailureCode::WriteFailed, captured.framesFailed ? UserText(captured.framesError) : m_framesFile.ErrorText());
        RemoveIntermediates();
    } else if (captured.framesTaken == 0 && !stopped) {
        // A video track that never gave a picture: as a file of sound alone,
        // refused, and an earlier output stays as it was.
        Fail(FailureCode::NoVideoRenderer, JoinCause(FailureCodeText(FailureCode::NoVideoRenderer), m_inputPath));
        RemoveIntermediates();
    } else if (captured.soundFailed) {
        Fail(FailureCode::WriteFailed, captured.soundError);
        RemoveIntermediates();
    } else if ((captured.soundlessFilm || !FileExists(m_paths.mp3Path)) && // a sound track that gave no sample
               !WriteSilentTrack(m_paths.mp3Path, SilentFramesFor(captured.framesTaken, m_muxSettings.frameRate),
                                 silenceError)) {
        Fail(FailureCode::WriteFailed, silenceError);
        RemoveIntermediates();
    } else {
        // Sound that runs on well past the last picture is heard with that
        // picture held, up to the end of the asked range: the sound decodes
        // ahead of the pictures and may reach past it. A stopped run ends
        // with its pictures.
        m_muxSettings.holdLastPicture = !stopped;
        const bool rangeEndsInside =
            m_selectionEnd > m_selectionStart && (KnownLength() <= 0 || m_selectionEnd < KnownLength());
        if (rangeEndsInside)
            m_muxSettings.maxSeconds = double(m_selectionEnd - m_selectionStart) / kTicksPerSecond;
        // Sound that starts later than the pictures gets silence before it.
        if (captured.haveSoundStart && (captured.pictureStart > 0 || captured.soundStart > 0))
            m_muxSettings.audioLeadInFrames =
                AudioLeadInFrames(captured.pictureStart, double(captured.soundStart) / kTicksPerSecond);
        // A stopped run never replaces a file of the output's name (an earlier,
        // complete output): its part goes beside it under a name that says so.
        ConversionPaths paths = m_paths;
        if (stopped && PlainFileAt(m_outputPath)) {
            paths.outputPath = StoppedOutputPath(m_outputPath);
            paths.keptMp3Path = StoppedOutputPath(m_paths.keptMp3Path);
            m_stoppedBeside = UserText(kTextStoppedBeside).With("output", m_outputPath).With("file", paths.outputPath);
        }
        m_muxResult = MuxOutputFile(paths, m_muxSettings, [this](const MuxProgress& progress) {
            m_writeTotal = progress.writeTotal;
            m_host.PumpMessages();
            return !m_abandonRequested;
        });
        if (!m_muxResult.ok)
            m_stoppedBeside = {};
        else if (!m_stoppedBeside.empty())
            m_host.LogFailure(m_stoppedBeside.English());
        if (m_muxResult.abandoned) {
            RemoveIntermediates();
            m_result = JobResult::Stopped;
            m_stopNote = m_muxResult.said.empty() ? UserText(m_muxResult.message) : m_muxResult.said;
        } else if (!m_muxResult.ok) {
            Fail(FailureCode::WriteFailed, m_muxResult.said.empty() ? UserText(m_muxResult.message) : m_muxResult.said);
        } else if (!m_muxResult.warning.empty()) {
            Warn(m_muxResult.warning);
        }
        RemoveIntermediates();
    }
}

void ConversionRun::ReportEnd(bool stopped) {
    m_writing = 0;
    m_converting = 0;
    m_selectionActive = 0;
    m_selectionStart = 0;
    m_selectionEnd = 0;
    m_writeTotal = 0;
    m_progress = 0;
    if (m_result != JobResult::Failed && m_result != JobResult::Stopped)
        m_result = stopped ? JobResult::Stopped : JobResult::Completed;
    m_finishing = false;
    const JobState state = m_result == JobResult::Failed    ? JobState::Failed
                           : m_result == JobResult::Stopped ? JobState::Stopped
                                                            : JobState::Completed;
    m_host.OnJobEvent({state, kNoPercent, m_result == JobResult::Failed ? m_failure : Failure{}});
}

void ConversionRun::OnStopClicked() {
    if (m_converting && !m_finishing)
        FinishConversion(true);
}

void ConversionRun::Abandon() {
    if (!m_converting)
        return;
    if (m_finishing) {
        // The mux is under way further up this thread's stack: it gives up at
        // its next cycle and removes what it wrote.
        m_abandonRequested = true;
        return;
    }
    m_finishing = true;
    if (m_session.Handles().pMC)
        m_session.Handles().pMC->Stop();
    m_session.ReleaseDirectShow();
    m_callback.reset();
    m_capture.reset();
    m_framesFile.Close();
    RemoveIntermediates();
    m_converting = 0;
    m_writing = 0;
    m_result = JobResult::Stopped;
    m_finishing = false;
    m_host.OnJobEvent({JobState::Stopped, kNoPercent, {}});
}

} // namespace zem
