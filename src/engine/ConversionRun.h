#pragma once
// One conversion job from start to finish: check the input, seek to the
// selection, rewire the graph, capture frames and sound while the graph runs
// without a clock, then mux the output and remove the intermediates.
//
// Threads: every operation runs on the thread that owns the graph (the
// window's or zemconvert's main thread). While the graph runs, its streaming
// thread calls the frame encoder, which writes the frames file and publishes
// the position; the fields it touches are grouped at the end of the class.
//
// How a failure reaches the user. A GStreamer element posts an error on the
// bus (domain, code, message, debug text). The graph's bus watch
// (framework/media/GraphEvents.cpp) keeps the first one as an ErrorDetail
// (kind: input, output or decode; the element; the text in words; the debug
// text for the log) and posts EC_ERRORABORT to the host's event target.
// OnGraphNotify, on the owner thread, reads the detail back through
// IErrorDetail and makes the job's one Failure record: its code (ERROR(36)
// decode, ERROR(37) write), what failed ("Could not decode /films/a.mp4") and
// why (the element's text). Failures found before the graph runs (the input,
// the output, the scratch folder, the graph's build or start) make the same
// record. FinishConversion ends the job; the row's status becomes "ERROR(n)"
// and Failure::Text() is the one text both front ends show: the window in
// its box (or, in a run, its log), the status cell's tooltip and the
// Messages line; zemconvert on the line under the file's status.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ConversionGraph.h"
#include "ConversionJob.h"
#include "ConversionPaths.h"
#include "FailureCodes.h"
#include "FileIo.h"
#include "FrameEncoder.h"
#include "GraphLog.h"
#include "MediaSession.h"
#include "Muxer.h"
#include "ScratchFolder.h"

namespace zem {

// 0 when `path` is a regular file this process can read, else the failure
// code with the cause in words. A FIFO, a socket or a device is refused
// without being opened, so nothing waits for a writer that never comes.
FailureCode CheckInputPath(const std::string& path, UserText& problem);

class ConversionHost;

enum class JobResult { None, Completed, Stopped, Failed };

// "x.mpg: the input ended at 0:10.8 of 1:00" when `reached` falls well short
// of `length` (100 ns units), else empty.
UserText InputEndedText(const std::string& input, int64_t reached, int64_t length);

class ConversionRun {
public:
    ConversionRun(ConversionHost& host, MediaSession& session);
    ~ConversionRun();

    // Makes `job` the current one: paths, selection, conversion numbers and
    // subtitles, and the file opened in the graph.
    void SelectJob(const ConversionJob& job);
    // Starts the job selected last: FailureCode::None when the graph runs,
    // else why not (reported as a failed job too).
    FailureCode OnConvert();
    // Whether a finished job opens its file again for the preview (the
    // window's, until it closes); zemconvert has no preview.
    void SetReloadsPreview(bool reload) { m_reloadsPreview = reload; }
    // None, or one of the input's codes with InputProblem() saying why in words.
    FailureCode CheckInputFile() const;
    UserText InputProblem() const;
    // Whether the output (or the kept ".mp3") would replace the input, a file
    // its play list plays, or another input of the same call or list; the
    // reason goes to `why`.
    bool OutputReplacesInput(UserText& why) const;
    // The other files the front end converts in this session (the rest of
    // the list, or the other inputs of the command line): no output may
    // replace one of them.
    void SetOtherInputs(std::vector<std::string> inputs) { m_otherInputs = std::move(inputs); }
    // The selection of the job just selected runs from its start to the end
    // of the file (zemconvert's --start without --end); a file of unknown
    // length is converted to its end.
    void SelectToEndOfFile();
    FailureCode SeekToSelectionStart();
    FailureCode CreateFramesFile();
    // The work of each 100 ms tick while a job runs.
    void UpdateProgress();
    // Ends the current job: stop, reload, mux, report.
    void FinishConversion(bool stopped);
    void OnStopClicked();
    // Drains the graph's events; the end of the stream finishes the job, an
    // error ends it as failed.
    void OnGraphNotify();
    // Gives up at once: the graph stops, nothing is written, the scratch
    // folder goes (a second Ctrl+C on the command line).
    void Abandon();

    bool converting() const { return m_converting != 0; }
    // The pictures are all in; the output is being written.
    bool writing() const { return m_writing != 0; }
    bool finishing() const { return m_finishing; }
    JobResult result() const { return m_result; }
    // Why the job failed: its code, what failed and why, for both front ends.
    const Failure& failure() const { return m_failure; }
    // Why a stopped job's output is not there (the mux was abandoned), or empty.
    const UserText& stopNote() const { return m_stopNote; }
    // After a stop that kept an earlier output: where the stopped part went; else empty.
    const UserText& stoppedBeside() const { return m_stoppedBeside; }
    const MuxResult& muxResult() const { return m_muxResult; }
    // What the job left out without failing (subtitles that could not be
    // read, an input that ended early); each is also in the log.
    const std::vector<UserText>& warnings() const { return m_warnings; }
    // "x.mpg: the input ended at 0:10.8 of 1:00" when the last job's input
    // ended well before its length (cut or shrunk while it converted); empty
    // otherwise.
    const UserText& inputEndedEarly() const { return m_inputEndedEarly; }
    // Position of the job in 100 ns, and the same as a percentage of the job.
    int64_t Position();
    int Percent(int64_t position) const;
    int64_t Duration() const { return m_duration; }
    // The part of the file the running job converts, in 100 ns: where it
    // starts (0 for the whole file) and how long it is.
    int64_t JobStart() const;
    int64_t JobLength() const;

private:
    // Ends the job as failed with `code`; the first reason given is kept.
    void Fail(FailureCode code, const UserText& what, const UserText& cause = {});
    // Records why, before the code is known.
    void TellWhy(const UserText& what, const UserText& cause = {}) {
        m_failure.what = ShownScratchPaths(what);
        m_failure.cause = ShownScratchPaths(cause);
    }
    // `text` with the scratch folder named as the user finds it (its folder's
    // path) instead of by the descriptor it is reached through.
    UserText ShownScratchPaths(UserText text) const;
    void RemoveIntermediates();
    // OnConvert's steps up to the running graph.
    FailureCode StartJob();
    FailureCode MakeScratchFolder();
    FailureCode StartGraph();
    // The graph's first error, when it has one.
    bool GraphError(ErrorDetail& detail) const;
    // The cause, in words, when the conversion graph would not start.
    UserText WhyTheGraphDidNotRun(HRESULT hr) const;
    void CollectWarnings();
    void Warn(const UserText& text);
    // "The start (1:40) lies past the end of the film (0:03)", or empty.
    UserText StartPastEndText() const;
    // Whether `output` exists as something a finished file cannot replace
    // (a folder, a FIFO, a device, another user's name in a sticky folder);
    // what and why go to `what` and `cause`.
    bool OutputCannotBeReplaced(const std::string& output, UserText& what, UserText& cause) const;
    // Called when the graph ran to its end: whether it came short of the length.
    void CheckForEarlyEnd();

    // The three steps of finishing a job: the graph stopped and what it left
    // collected, the output written from that, the end reported.
    struct Captured {
        bool haveSoundStart = false;
        int64_t soundStart = 0;     // 100 ns
        double pictureStart = -1.0; // seconds
        bool framesFailed = false;
        std::string framesError;
        bool framesClosed = true;
        uint64_t framesTaken = 0;
        bool soundlessFilm = false;
        bool soundFailed = false;
        std::string soundError;
    };
    Captured StopCapture();
    void WriteOutput(const Captured& captured, bool stopped);
    void ReportEnd(bool stopped);

    bool HasRange() const { return m_selectionActive && m_selectionEnd > m_selectionStart; }
    // The film's length where its file states it; 0 where it is unknown or
    // only GStreamer's guess (which then serves the progress alone).
    int64_t KnownLength() const { return m_lengthStated ? m_duration : 0; }

    ConversionHost& m_host;
    MediaSession& m_session;
    bool m_reloadsPreview = true;

    // The owner thread's; the streaming thread touches none of these.
    // The job as the front end handed it; the paths and the range below
    // start from it.
    ConversionJob m_job;
    std::string m_inputPath, m_outputPath, m_zemPath, m_mp3Path, m_tmpPath;
    GraphLogFile m_logFile;
    int64_t m_selectionStart = 0;
    int64_t m_selectionEnd = 0;
    int m_selectionActive = 0;
    int m_converting = 0;
    int m_writing = 0;
    uint64_t m_writeTotal = 0;
    int m_progress = 0;
    ConversionPaths m_paths;
    std::vector<std::string> m_otherInputs;
    // The job's intermediates live here from its start to its end.
    std::unique_ptr<ScratchFolder> m_scratch;
    MuxSettings m_muxSettings;
    int64_t m_duration = 0;
    bool m_lengthStated = false;
    bool m_finishing = false;
    bool m_failedWhileRunning = false;
    FailureCode m_runningFailureCode = FailureCode::None;
    bool m_abandonRequested = false;
    int m_soundWaitTicks = 0;
    JobResult m_result = JobResult::None;
    Failure m_failure;
    UserText m_stopNote;
    UserText m_stoppedBeside;
    std::vector<UserText> m_warnings;
    UserText m_inputEndedEarly;
    MuxResult m_muxResult;

    // Shared with the graph's streaming thread while the graph runs. The
    // owner sets them up before pMC->Run(), and closes the frames file,
    // finishes and reads the frame encoder only after pMC->Stop() has taken
    // the pipeline down (the encoder's own lock orders that hand-over).
    // While the graph runs the owner reads the position alone, hence atomic.
    File m_framesFile;                                // the encoder writes, the owner opens and closes
    std::unique_ptr<FrameCaptureContext> m_capture;   // called through m_callback
    std::unique_ptr<FrameGrabberCallback> m_callback; // handed to the grabber
    std::atomic<int64_t> m_conversionPosition{0};     // the encoder's latest frame time
};

} // namespace zem
