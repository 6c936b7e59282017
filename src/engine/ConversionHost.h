#pragma once
// What the engine needs from the front end that runs a job (the window or
// the command line): where it reports the job, where the graph's events go
// and how pending input is handled while the output is written. The run's
// logic is the same for both; it reports to the host and reads nothing back
// from it, and it drives no timer: the front end polls UpdateProgress.
//
// Threads: every call comes from the thread that owns the graph (the window's
// or zemconvert's main thread); the graph's threads reach the host only by
// posting events to EventTarget(), which that thread's event loop delivers.

#include <cstdio>
#include <string>

#include "FailureCodes.h"
#include "UserText.h"

class QObject;
class QWidget;

namespace zem {

// A status without a percentage.
inline constexpr int kNoPercent = -1;

// Where a job is. Each change, and each new percentage while it converts,
// reaches the front end as one JobEvent.
enum class JobState { Converting, Writing, Completed, Stopped, Failed };

struct JobEvent {
    JobState state = JobState::Converting;
    int percent = kNoPercent; // while converting: the share of the job done
    Failure failure;          // when failed: its code, what and why
};

class ConversionHost {
public:
    virtual ~ConversionHost() = default;

    // The one way the engine reports a job: its state, its progress and, at
    // a failed end, why. The front end decides what to show.
    virtual void OnJobEvent(const JobEvent& event) = 0;
    // A failure of opening a file outside a job (the preview) that the user
    // must see: a message box in the window, standard error on the command
    // line, with its cause in a paragraph of its own when there is one.
    virtual void ShowMessage(const UserText& text, const UserText& cause = {}) = 0;
    // Handles whatever waits in the event queue, without waiting: the
    // output is written on the thread that owns the graph.
    virtual void PumpMessages() = 0;
    // Receives the graph's event notifications.
    virtual QObject* EventTarget() = 0;
    // The preview area that shows the picture; none on the command line.
    virtual QWidget* VideoOwner() { return nullptr; }
    // The name of each graph event as it arrives.
    virtual void LogGraphEvent(long code) { (void)code; }
    // A failure's technical text (result codes) for the log, never a box.
    virtual void LogFailure(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// The English words of each state: the front ends look them up in the
// user's language.
inline constexpr const char* kTextConverting = "Converting ...";
inline constexpr const char* kTextWriting = "Writing ...";
inline constexpr const char* kTextCompleted = "Completed";
inline constexpr const char* kTextStopped = "Stopped";

} // namespace zem
