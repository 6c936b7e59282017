// zemconvert: converts video files into the player's AVI files from the
// command line, with the same engine as the window.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "AutoJobs.h"
#include "BatchRun.h"
#include "CliHost.h"
#include "CliLanguage.h"
#include "CliOptions.h"
#include "ConversionPaths.h"
#include "ConversionRun.h"
#include "ConversionSettings.h"
#include "EngineTexts.h"
#include "EngineTexts.h"
#include "FailureCodes.h"
#include "FileIo.h"
#include "InputList.h"
#include "JobReport.h"
#include "MediaSession.h"
#include "SubtitleCaps.h"

using namespace zem;
using namespace zem::cli;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kTickMs = 100;

// Written by the signal handler, on whichever thread the signal lands, and
// read by the main thread's tick: an atomic, the one thing they share.
std::atomic<int> g_interrupts{0};

// Ctrl+C, a terminal closing and a polite kill all mean "stop": the first
// writes what was converted, a second gives up at once.
void OnInterrupt(int) {
    g_interrupts.fetch_add(1);
}

// The batch that started this process is gone (see BatchRun): give up at
// once, as on a second Ctrl+C, so nothing is left behind.
void OnParentGone(int) {
    g_interrupts.fetch_add(2);
}

bool StopAsked() {
    return g_interrupts.load() > 0;
}

void InstallSignalHandlers() {
    // A subtitle file being prepared when a stop comes is given up at once.
    media::SetSubtitleStopCheck(&StopAsked);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    struct sigaction orphaned {};
    orphaned.sa_handler = OnParentGone;
    sigemptyset(&orphaned.sa_mask);
    sigaction(kParentGoneSignal, &orphaned, nullptr);
    // A file-size limit then shows as a write error (EFBIG) with its message
    // instead of killing the process with its scratch files left behind.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
    // A closed pipe or terminal on the progress lines ends those lines (the
    // writes fail), not the conversion.
    sigaction(SIGPIPE, &ignore, nullptr);
}

JobReport ConvertOne(CliHost& host, ConversionRun& run, const CliOptions& options, const std::string& input,
                     const std::string& output) {
    ConversionSettings settings;
    settings.m_videoSizeIndex = options.sizeIndex;
    settings.m_qualityIndex = options.qualityIndex;
    settings.m_rotate = options.rotate;
    settings.m_keepProportions = options.keepProportions ? 1 : 0;
    settings.m_saveMp3 = options.keepMp3 ? 1 : 0;
    settings.m_monitoring = 0;
    ConversionJob job =
        settings.MakeJob(input, output, int64_t(options.start * 1e7 + 0.5), int64_t(options.end * 1e7 + 0.5));
    // zemconvert's own subtitle choices, not the window's stored ones.
    job.subtitles = !options.noSubtitles;
    job.subtitleFile = options.subtitlesFile;
    job.subtitleHeight = kSubtitleSizeOption.Resolve(options.subtitleSize).value;

    host.BeginJob();
    run.SelectJob(job);
    if (job.selectionStart > 0 && job.selectionEnd == 0)
        run.SelectToEndOfFile();

    JobReport report;
    // A stop that came while the file was opened (its subtitles prepared,
    // say) ends the job before anything is converted: nothing is written.
    if (g_interrupts.load() > 0) {
        host.EndJob();
        report.outcome = JobReport::Outcome::Stopped;
        report.message = kTextNothingConverted;
        report.warnings = run.warnings();
        return report;
    }
    const FailureCode code = run.OnConvert();
    if (code != FailureCode::None) {
        host.EndJob();
        report.code = code;
        report.message = run.failure().Said();
        return report;
    }

    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kTickMs);
    int seenInterrupts = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const int interrupts = g_interrupts.load();
        if (interrupts != seenInterrupts) {
            seenInterrupts = interrupts;
            if (interrupts == 1)
                run.OnStopClicked();
            else
                run.Abandon();
        }
        if (run.converting())
            run.UpdateProgress();
        if (!run.converting())
            loop.quit();
    });
    // While the muxer writes, this is the only place a second Ctrl+C is seen.
    host.onPump = [&] {
        if (g_interrupts.load() > 1 && seenInterrupts < 2) {
            seenInterrupts = g_interrupts.load();
            run.Abandon();
        }
    };
    tick.start();
    if (run.converting())
        loop.exec();
    tick.stop();
    host.onPump = nullptr;
    host.EndJob();

    report.warnings = run.warnings();
    switch (run.result()) {
    case JobResult::Completed:
        report.outcome = JobReport::Outcome::Completed;
        if (run.muxResult().truncated)
            report.message = run.muxResult().said.empty() ? UserText(run.muxResult().message) : run.muxResult().said;
        break;
    case JobResult::Stopped:
        report.outcome = JobReport::Outcome::Stopped;
        report.message = run.stoppedBeside().empty() ? run.stopNote() : run.stoppedBeside();
        if (!run.stoppedBeside().empty())
            std::fprintf(stderr, "zemconvert: %s\n", TerminalSafe(Say(report.message)).c_str());
        break;
    default:
        report.code = run.failure().code;
        report.message = run.failure().Said();
        break;
    }
    if (report.outcome != JobReport::Outcome::Failed && run.muxResult().ok) {
        report.frames = run.muxResult().videoChunks;
        report.bytes = run.muxResult().fileBytes;
    }
    return report;
}

} // namespace

int main(int argc, char** argv) {
    UseUserLanguage();
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.options) {
        std::fprintf(stderr, "zemconvert: %s\n%s\n", TerminalSafe(Say(parsed.error)).c_str(),
                     Say(kTextTryHelp).c_str());
        return kExitUsage;
    }
    CliOptions options = *parsed.options;
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("%s\n", kVersionText);
        return kExitOk;
    }

    if (options.batchJob) {
        std::string jobText;
        UserText error;
        if (ReadWholeDescriptor(STDIN_FILENO, kMaxReadWholeBytes, jobText, error))
            error = TakeSingleJob(options, jobText);
        if (!error.empty()) {
            std::fprintf(stderr, "zemconvert: %s\n", Say(UserText(kTextBadBatchJob).With("why", error)).c_str());
            return kExitUsage;
        }
    }

    if (!options.filesFrom.empty()) {
        InputList list = ReadInputList(options.filesFrom, options.nulSeparated);
        if (!list.error.empty()) {
            std::fprintf(stderr, "zemconvert: %s\n", TerminalSafe(Say(list.error)).c_str());
            return kExitUsage;
        }
        options.inputs.insert(options.inputs.end(), list.paths.begin(), list.paths.end());
        // A list that names nothing (a search that found nothing) is no work, not a fault.
        if (options.inputs.empty())
            return kExitOk;
        if (const UserText error = CheckInputs(options); !error.empty()) {
            std::fprintf(stderr, "zemconvert: %s\n%s\n", Say(error).c_str(), Say(kTextTryHelp).c_str());
            return kExitUsage;
        }
    }

    // Refuse what the file list would refuse, before any work starts.
    for (const std::string& input : options.inputs) {
        if (!IsAcceptedInputPath(input)) {
            std::fprintf(
                stderr, "zemconvert: %s\n",
                Say(UserText(kTextNotAcceptedInput).With("file", input).With("endings", AcceptedInputEndingsText()))
                    .c_str());
            return kExitUsage;
        }
    }

    QCoreApplication app(argc, argv);
    InstallSignalHandlers();
    const ReportWriter writer(options.json);
    CliHost host;
    std::string currentInput;
    int lastStep = -1;
    if (options.json)
        host.onProgressStep = [&](int percent) {
            lastStep = percent;
            writer.Progress(currentInput, percent);
        };
    MediaSession session(host);
    ConversionRun run(host, session);
    run.SetReloadsPreview(false);
    host.onGraphEvent = [&] { run.OnGraphNotify(); };

    // Two inputs never write one output: later ones are numbered.
    std::vector<std::string> outputs;
    for (const std::string& input : options.inputs)
        outputs.push_back(OutputPathFor(options, input));
    outputs = DistinctOutputPaths(outputs);
    if (options.jobs == kAutoJobs)
        options.jobs = AutoJobCount(options.inputs);
    if (options.jobs > 1 && options.inputs.size() > 1)
        return RunBatch(options, outputs, g_interrupts) ? kExitOk : kExitFailed;

    bool allConverted = true;
    for (size_t i = 0; i < options.inputs.size(); ++i) {
        if (g_interrupts.load() > 0) {
            allConverted = false;
            break;
        }
        const std::string& input = options.inputs[i];
        const std::string& output = outputs[i];
        std::vector<std::string> others = options.inputs;
        others.erase(others.begin() + std::ptrdiff_t(i));
        others.insert(others.end(), options.otherInputs.begin(), options.otherInputs.end());
        run.SetOtherInputs(std::move(others));
        currentInput = input;
        lastStep = -1;
        writer.Start(input, output);
        const JobReport report = ConvertOne(host, run, options, input, output);
        // The steps count the decoding; the last tenth (and a short file's
        // every tenth) can pass between two looks at the position.
        if (options.json && report.outcome == JobReport::Outcome::Completed && lastStep < 100)
            writer.Progress(input, 100);
        writer.Finish(input, output, report);
        allConverted = allConverted && report.outcome == JobReport::Outcome::Completed;
    }
    session.ReleaseDirectShow();
    return allConverted ? kExitOk : kExitFailed;
}
