#include "BatchRun.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include "CliLanguage.h"
#include "FailureCodes.h"
#include "JobReport.h"

namespace zem::cli {

namespace {

constexpr int kTickMs = 100;
constexpr int kPercentDone = 100;

// One input of the batch and, while it runs, its process.
struct BatchJob {
    std::string input;
    std::string output;
    std::unique_ptr<QProcess> process;
    std::string pendingError; // the part of a line the process has not ended yet
    std::string report;       // its "Input:", "Output:" and "Status:" lines, or the part of a JSON line
    bool started = false;     // its start line (of --json) is out
    bool reported = false;    // its result line (of --json) is out
    int percent = 0;
    bool finished = false;
    bool converted = false;
};

// "KILL" for SIGKILL; the number when the system knows no name.
std::string SignalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return name != nullptr ? name : std::to_string(signal);
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Batch {
public:
    Batch(const CliOptions& options, const std::vector<std::string>& outputs, const std::atomic<int>& interrupts)
        : m_options(options),
          m_jobInputs(options.inputs),
          m_writer(options.json),
          m_interrupts(interrupts),
          m_terminal(::isatty(STDERR_FILENO) != 0) {
        for (size_t i = 0; i < options.inputs.size(); ++i)
            m_jobs.push_back(BatchJob{options.inputs[i], outputs[i], nullptr, {}, {}, false, false, 0, false, false});
    }

    bool Run() {
        m_start = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer tick;
        tick.setInterval(kTickMs);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            PassOnInterrupts();
            StartJobs();
            Draw();
            if (Running() == 0 && (m_next == m_jobs.size() || m_seenInterrupts > 0))
                loop.quit();
        });
        tick.start();
        StartJobs();
        loop.exec();
        ClearProgress();
        bool all = true;
        for (const BatchJob& job : m_jobs)
            all = all && job.converted;
        return all;
    }

private:
    size_t Running() const {
        size_t running = 0;
        for (const BatchJob& job : m_jobs)
            running += job.process && !job.finished ? 1 : 0;
        return running;
    }

    void StartJobs() {
        while (m_seenInterrupts == 0 && m_next < m_jobs.size() && Running() < size_t(m_options.jobs))
            Start(m_jobs[m_next++]);
    }

    void Start(BatchJob& job) {
        job.process = std::make_unique<QProcess>();
        QProcess& process = *job.process;
        // Its own process group: a Ctrl+C in the terminal reaches this process
        // only, which passes each one on exactly once.
        // It dies with the batch: the kernel signals it when this process
        // ends, and one that ended between the fork and here is seen at once.
        process.setChildProcessModifier([batch = ::getpid()] {
            ::setpgid(0, 0);
            if (::prctl(PR_SET_PDEATHSIG, kParentGoneSignal) != 0 || ::getppid() != batch)
                ::_exit(EXIT_FAILURE);
        });
        QStringList args;
        for (const std::string& arg : SingleJobArguments(m_options))
            args << QString::fromStdString(arg);
        QObject::connect(&process, &QProcess::readyReadStandardError, [this, &job] { ReadErrors(job); });
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this, &job] { ReadOutput(job); });
        QObject::connect(&process, &QProcess::finished, [this, &job](int code, QProcess::ExitStatus status) {
            Finish(job, status == QProcess::NormalExit && code == 0, status == QProcess::CrashExit ? code : 0);
        });
        QObject::connect(&process, &QProcess::errorOccurred, [this, &job](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                Finish(job, false, 0);
        });
        process.start(QCoreApplication::applicationFilePath(), args);
        // The names go byte for byte through a pipe; a process that ends
        // before reading them all is seen by its end, not by this write.
        const std::string jobText = m_jobInputs.Text(job.input, job.output);
        process.write(jobText.data(), qint64(jobText.size()));
        process.closeWriteChannel();
    }

    // Text is kept until the process ends, so each file's lines stay together;
    // JSON lines name their input and go out as they come.
    void ReadOutput(BatchJob& job) {
        job.report += job.process->readAllStandardOutput().toStdString();
        if (!m_options.json)
            return;
        size_t end;
        while ((end = job.report.find('\n')) != std::string::npos) {
            const std::string line = job.report.substr(0, end);
            job.report.erase(0, end + 1);
            if (const int percent = JsonProgressPercent(line); percent >= 0)
                job.percent = percent;
            job.started = job.started || IsJsonStart(line);
            job.reported = job.reported || IsJsonResult(line);
            ClearProgress();
            std::fputs((line + "\n").c_str(), stdout);
        }
        std::fflush(stdout);
    }

    // Progress lines are taken in; anything else (the process's messages) is passed on.
    void ReadErrors(BatchJob& job) {
        job.pendingError += job.process->readAllStandardError().toStdString();
        size_t end;
        while ((end = job.pendingError.find('\n')) != std::string::npos) {
            const std::string line = job.pendingError.substr(0, end);
            job.pendingError.erase(0, end + 1);
            // A job's process prints one line a tenth of its progress.
            if (const int percent = ProgressLinePercent(line); percent >= 0) {
                job.percent = percent;
                if (!m_terminal)
                    std::fprintf(stderr, "%s: %s\n", BaseName(job.input).c_str(), line.c_str());
                continue;
            }
            ClearProgress();
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }

    // `signal`: the one that killed the process, 0 when it ended by itself.
    void Finish(BatchJob& job, bool converted, int signal) {
        if (job.finished)
            return;
        job.finished = true;
        job.converted = converted;
        job.percent = kPercentDone;
        if (job.process)
            ReadOutput(job);
        ClearProgress();
        if (!m_options.json) {
            std::fputs(job.report.c_str(), stdout);
            std::fflush(stdout);
            job.started = job.report.find(Say(kTextInputLabel)) != std::string::npos;
            job.reported = job.report.find(Say(kTextStatusLabel)) != std::string::npos;
        }
        if (!job.reported) {
            // The process ended without its result: its start line, when it
            // wrote one, stands, and the result says how it ended.
            JobReport ended;
            ended.code = FailureCode::JobProcessEnded;
            ended.message =
                signal > 0 ? UserText(kTextJobKilled)
                                 .With("signal", std::to_string(signal))
                                 .With("name", "SIG" + SignalName(signal))
                                 .With("description", std::string(::strsignal(signal)))
                           : UserText(kTextJobEnded)
                                 .With("why", job.process ? job.process->errorString().toStdString() : std::string());
            if (!job.started)
                m_writer.Start(job.input, job.output);
            m_writer.Finish(job.input, job.output, ended);
        }
        if (!m_terminal)
            std::fprintf(stderr, "%s\n", Summary().c_str());
    }

    void PassOnInterrupts() {
        const int interrupts = m_interrupts.load();
        while (m_seenInterrupts < interrupts) {
            ++m_seenInterrupts;
            for (BatchJob& job : m_jobs)
                if (job.process && !job.finished && job.process->processId() > 0)
                    ::kill(pid_t(job.process->processId()), SIGINT);
        }
    }

    // "3 of 8 done, about 01:20 left": each running file counts by its share done.
    std::string Summary() const {
        double done = 0;
        size_t finished = 0;
        for (const BatchJob& job : m_jobs) {
            done += job.finished ? 1.0 : job.percent / double(kPercentDone);
            finished += job.finished ? 1 : 0;
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        UserText text = UserText(kTextBatchDone);
        if (done > 0 && finished < m_jobs.size()) {
            const int left = int(elapsed * (double(m_jobs.size()) - done) / done + 0.5);
            char time[16];
            std::snprintf(time, sizeof time, "%02d:%02d", left / 60, left % 60);
            text = UserText(kTextBatchLeft).With("time", time);
        }
        return Say(text.With("done", std::to_string(finished)).With("count", std::to_string(m_jobs.size())));
    }

    // On a terminal: a line for each running file and one for the batch,
    // drawn over the last ones.
    void Draw() {
        if (!m_terminal)
            return;
        ClearProgress();
        for (const BatchJob& job : m_jobs) {
            if (!job.process || job.finished)
                continue;
            std::fprintf(stderr, "%3d%%  %s\n", job.percent, BaseName(job.input).c_str());
            ++m_drawnLines;
        }
        std::fprintf(stderr, "%s\n", Summary().c_str());
        ++m_drawnLines;
        std::fflush(stderr);
    }

    void ClearProgress() {
        if (!m_terminal)
            return;
        for (; m_drawnLines > 0; --m_drawnLines)
            std::fputs("\x1b[1A\x1b[2K", stderr);
        std::fflush(stderr);
    }

    // Threads: the batch is the main thread's (its processes report through
    // its event loop) except m_interrupts, which the signal handler counts up.
    const CliOptions& m_options;
    const JobInputs m_jobInputs;
    const ReportWriter m_writer;
    const std::atomic<int>& m_interrupts;
    const bool m_terminal;
    std::vector<BatchJob> m_jobs;
    size_t m_next = 0;
    int m_seenInterrupts = 0;
    int m_drawnLines = 0;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace

bool RunBatch(const CliOptions& options, const std::vector<std::string>& outputs, const std::atomic<int>& interrupts) {
    Batch batch(options, outputs, interrupts);
    return batch.Run();
}

} // namespace zem::cli
