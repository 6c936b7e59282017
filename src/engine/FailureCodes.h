#pragma once
// Every failure code a job can end with, shown in its row as "ERROR(n)", and
// what each means in words. The window and zemconvert both read this table;
// the message of the failure itself (the file and the system's reason) is
// carried beside the code, never parsed out of another text.

#include "UserText.h"

#include <string>

namespace zem {

// Failures of the graph rewiring (a build step that failed).
namespace graphcode {
inline constexpr int kNoVideoRenderer = 5;
inline constexpr int kNoAudioRenderer = 6;
inline constexpr int kAudioFilter = 7;
inline constexpr int kWavDest = 8;
inline constexpr int kFileWriter = 9;
inline constexpr int kSampleGrabber = 10;
inline constexpr int kVideoRendererIn = 11;
inline constexpr int kVideoOut = 12;
inline constexpr int kGrabberIn = 13;
inline constexpr int kGrabberOut = 14;
inline constexpr int kAudioRendererIn = 15;
inline constexpr int kAudioOut = 16;
inline constexpr int kEncoderIn = 17;
inline constexpr int kEncoderOut = 18;
inline constexpr int kWavDestIn = 19;
inline constexpr int kWavDestOut = 20;
inline constexpr int kWriterIn = 21;
inline constexpr int kDisconnectVideoOut = 22;
inline constexpr int kDisconnectVideoRendererIn = 23;
inline constexpr int kDisconnectAudioOut = 24;
inline constexpr int kDisconnectAudioRendererIn = 25;
inline constexpr int kRemoveVideoRenderer = 26;
inline constexpr int kAddNullRenderer = 27;
inline constexpr int kConnectVideo = 28;
inline constexpr int kConnectAudio = 29;
inline constexpr int kConnectEncoder = 30;
inline constexpr int kConnectWriter = 31;
inline constexpr int kRenderGrabber = 32;
} // namespace graphcode

// Failures of a job's start, its run and its writing.
namespace runcode {
inline constexpr int kInputEmpty = 2;
inline constexpr int kInputTooLong = 3;
inline constexpr int kInputMissing = 4;
inline constexpr int kGraphNotStopped = 33;
inline constexpr int kFramesFile = 34;
inline constexpr int kSeekFailed = 35;
inline constexpr int kDecodeFailed = 36;
inline constexpr int kWriteFailed = 37;
inline constexpr int kOutputIsInput = 38;
inline constexpr int kOutputBusy = 39;
// A -j batch's process for one file ended without its result (killed).
inline constexpr int kJobProcessEnded = 40;
} // namespace runcode

// What a code means, for a report that has no message of its own; never null.
const char* FailureCodeText(int code);

// A failed job as both front ends report it.
struct Failure {
    int code = 0;   // shown as "ERROR(n)"; 0 while nothing failed
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
