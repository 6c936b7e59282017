#pragma once
// Every failure code a job can end with, shown in its row as "ERROR(n)", and
// what each means in words. The window and zemconvert both read this table;
// the message of the failure itself (the file and the system's reason) is
// carried beside the code, never parsed out of another text.

#include "UserText.h"

#include <string>

namespace zem {

// Every code a job can end with. The numbers are what the row shows as
// "ERROR(n)" and what --json reports, so they never change.
enum class FailureCode : int {
    None = 0,
    // A job's start: the input.
    InputEmpty = 2,
    InputTooLong = 3,
    InputMissing = 4,
    // The graph rewiring (a build step that failed).
    NoVideoRenderer = 5,
    NoAudioRenderer = 6,
    AudioFilter = 7,
    WavDest = 8,
    FileWriter = 9,
    SampleGrabber = 10,
    VideoRendererIn = 11,
    VideoOut = 12,
    GrabberIn = 13,
    GrabberOut = 14,
    AudioRendererIn = 15,
    AudioOut = 16,
    EncoderIn = 17,
    EncoderOut = 18,
    WavDestIn = 19,
    WavDestOut = 20,
    WriterIn = 21,
    DisconnectVideoOut = 22,
    DisconnectVideoRendererIn = 23,
    DisconnectAudioOut = 24,
    DisconnectAudioRendererIn = 25,
    RemoveVideoRenderer = 26,
    AddNullRenderer = 27,
    ConnectVideo = 28,
    ConnectAudio = 29,
    ConnectEncoder = 30,
    ConnectWriter = 31,
    RenderGrabber = 32,
    // The run and its writing.
    GraphNotStopped = 33,
    FramesFile = 34,
    SeekFailed = 35,
    DecodeFailed = 36,
    WriteFailed = 37,
    OutputIsInput = 38,
    OutputBusy = 39,
    // A -j batch's process for one file ended without its result (killed).
    JobProcessEnded = 40,
};

// What a code means, for a report that has no message of its own; never null.
const char* FailureCodeText(FailureCode code);
// The number a row and --json show for the code.
constexpr int FailureNumber(FailureCode code) {
    return static_cast<int>(code);
}
// The status of a failed job, "ERROR(n)": made here and nowhere else.
std::string FailureStatusText(FailureCode code);

// A failed job as both front ends report it.
struct Failure {
    FailureCode code = FailureCode::None; // shown as "ERROR(n)"
    UserText what;  // what failed, naming the file: "Could not decode {file}"
    UserText cause; // why: "No space left on device" (the system's words); may be empty

    bool HasReason() const { return !what.empty() || !cause.empty(); }
    // The text the user reads: what and why, or the code's meaning when
    // nothing more is known. The only place that chooses between them.
    UserText Said() const;
    // The same in English.
    std::string Text() const { return Said().English(); }
};

} // namespace zem
