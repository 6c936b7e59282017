#pragma once
// What differs between the window and the command line while a file is
// converted: where messages go, how a row's status is shown, how pending
// messages are handled and whether the run pauses. The run's logic is the
// same for both; it reports to the host and reads nothing back from it.
//
// Threads: every call comes from the thread that owns the graph (the window's
// or zemconvert's main thread); the graph's threads reach the host only by
// posting events to EventTarget(), which that thread's event loop delivers.

#include <cstdio>
#include <string>

#include "UserText.h"

class QObject;
class QWidget;

namespace zem {

class ConversionHost {
public:
    virtual ~ConversionHost() = default;

    // A failure the user must see: a message box in the window, standard
    // error on the command line, with its cause in a paragraph of its own
    // when there is one. The host words both in the user's language.
    virtual void ShowMessage(const UserText& text, const UserText& cause = {}) = 0;
    // The job's status: one of the texts below (the host shows it in the
    // user's language; the English text is the key) or "ERROR(n)", with the
    // percentage converted so far, or kNoPercent.
    virtual void SetStatus(const std::string& text, int percent) = 0;
    // The "Messages" line under the list, likewise in the user's language.
    virtual void SetMessageText(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    // Handles whatever waits in the event queue, without waiting.
    virtual void PumpMessages() = 0;
    // The fixed pauses the window makes between steps; the command line skips them.
    virtual void Pause(int milliseconds) = 0;
    virtual void Beep() = 0;
    // The position timer drives progress while a job runs.
    virtual void StartPositionTimer() = 0;
    virtual void StopPositionTimer() = 0;
    // Receives the graph's event notifications.
    virtual QObject* EventTarget() = 0;
    // The preview area that shows the picture; none on the command line.
    virtual QWidget* VideoOwner() { return nullptr; }
    // The name of each graph event as it arrives.
    virtual void LogGraphEvent(long code) { (void)code; }
    // A failure's technical text (result codes) for the log, never a box.
    virtual void LogFailure(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// Status and message texts of a run.
inline constexpr const char* kTextConverting = "Converting ...";
inline constexpr const char* kTextWriting = "Writing ...";
inline constexpr const char* kTextCompleted = "Completed";
inline constexpr const char* kTextStopped = "Stopped";
inline constexpr const char* kFormatError = "ERROR(%d)";
// A status without a percentage.
inline constexpr int kNoPercent = -1;

} // namespace zem
