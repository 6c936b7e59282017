#pragma once
// The command line's side of a conversion: messages to standard error, a
// progress bar (or a line per 10 % when standard error is not a terminal).
//
// Threads: all of it is the main thread's; the graph's threads post their
// events to it, and event() runs them on the main thread.

#include <chrono>
#include <functional>
#include <string>

#include <QObject>

#include "ConversionHost.h"

namespace zem::cli {

class CliHost : public QObject, public ConversionHost {
public:
    CliHost();

    // Progress moves the bar; the end of a job is told by its report.
    void OnJobEvent(const JobEvent& event) override;
    void ShowMessage(const UserText& text, const UserText& cause = {}) override;
    // Every failure reaches the user in the report's lines, in the user's
    // language; the media layer's code-level notes are the window's log's.
    void LogFailure(const std::string&) override {}
    void PumpMessages() override;
    QObject* EventTarget() override { return this; }

    // Called when the graph posts its event message.
    std::function<void()> onGraphEvent;
    // Set: each tenth of the progress is handed here and no bar is drawn.
    std::function<void(int percent)> onProgressStep;
    // Called on every pump while work goes on (Ctrl+C checks).
    std::function<void()> onPump;

    // Starts a new job's progress display.
    void BeginJob();
    // Ends the progress line so the next output starts on a new line.
    void EndJob();

protected:
    bool event(QEvent* e) override;

private:
    void Draw();

    bool m_terminal = false;
    bool m_lineOpen = false;
    int m_percent = 0;
    int m_lastDecile = -1;
    bool m_writing = false;
    std::chrono::steady_clock::time_point m_jobStart;
};

} // namespace zem::cli
