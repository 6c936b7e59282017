#pragma once
// Interleaves the frames file and the MP3 file of one conversion into the
// output file, then removes the intermediates.
//
// Time is counted in audio bytes at 16000 bytes a second; each cycle moves one
// 384-byte audio block and, while the audio clock is ahead of the video clock,
// one frame. Pictures and sound thus alternate so that every 125 audio chunks
// (3 s) carry 48 frames at 16 frames per second.

#include <cstdint>
#include <functional>
#include <string>

#include "ConversionPaths.h"
#include "UserText.h"

namespace zem {

// How much longer than the pictures the sound must run for the last picture
// to be held (see MuxSettings::holdLastPicture).
inline constexpr double kHoldPictureMinSeconds = 0.5;

struct MuxSettings {
    int32_t frameRate = 16;
    int32_t videoWidth = 320; // before any quarter turn
    int32_t videoHeight = 240;
    int32_t rotate = 0;   // a quarter turn swaps the stored sides
    bool saveMp3 = false; // keep the ".mp3" beside the output (paths.keptMp3Path)
    // The 32-bit size fields cannot describe a larger file; the movie data
    // ends with the last cycle that keeps the file within this many bytes.
    uint64_t maxFileBytes = 0xFFFFFFFFull;
    // Moves the sound against the pictures so both start together: a positive
    // count puts that many silent audio frames (24 ms each) first, a negative
    // one leaves out that many frames at the start of the audio file.
    int64_t audioLeadInFrames = 0;
    // Sound that goes on more than kHoldPictureMinSeconds past the last
    // picture is kept, that picture shown again at each step until the sound
    // ends, as players show it. Less is a film's ordinary ragged end and is
    // cut with the pictures, as always. Off: the output ends with the pictures.
    bool holdLastPicture = false;
    // The output ends this many seconds in (the lead-in counted), pictures
    // held or not: a range's end. 0: where the sound or the pictures end.
    double maxSeconds = 0;
    // Gives a finished intermediate (flushed to disk) its final name; empty:
    // RenameFile. A conversion places through its output folder's descriptor.
    std::function<bool(const std::string& from, const std::string& to, UserText& error)> place;
};

// The lead-in that makes sound first heard at `soundStart` and the picture
// first shown at `pictureStart` (seconds on one clock) start together.
int64_t AudioLeadInFrames(double pictureStart, double soundStart);

// One MPEG-1 layer III frame of silence at 48 kHz, 128 kbit/s: a header and
// empty side information, so it depends on no other frame.
const uint8_t* SilentAudioFrame();

struct MuxProgress {
    uint64_t bytesRead = 0;  // of the frames and audio files together
    uint64_t writeTotal = 0; // their sizes at the start of the mux
};

struct MuxResult {
    bool ok = false;
    bool truncated = false; // the file was cut to stay within the size limit
    bool abandoned = false; // the caller asked to give up
    std::string message;    // why it failed, or why it was cut
    UserText said;          // the same, in wordings the window translates
    UserText warning;       // the output is written, but the ".mp3" could not be kept
    uint32_t videoChunks = 0;
    uint32_t audioChunks = 0;
    uint64_t movieBytes = 0;
    uint64_t fileBytes = 0;
    uint32_t storedWidth = 0;
    uint32_t storedHeight = 0;
};

// Called once per cycle, on the caller's thread; the window pumps its
// messages here, the command line shows progress. Returning false abandons
// the mux: nothing is written and the intermediates are removed.
using MuxCycleCallback = std::function<bool(const MuxProgress&)>;

// Reads paths.tmpPath and paths.mp3Path, writes paths.outputPath by renaming
// the finished movie file onto it (the output never appears cut). Whatever the
// outcome, the intermediates are removed, except a kept ".mp3", which is
// renamed to paths.keptMp3Path; on failure the output is left as it was.
MuxResult MuxOutputFile(const ConversionPaths& paths, const MuxSettings& settings,
                        const MuxCycleCallback& onCycle = {});

} // namespace zem
