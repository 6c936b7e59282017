#pragma once
// Turns the decoded pictures of a conversion into frame records: paced to the
// output frame rate, near-black and near-white pixels pulled in, resampled to
// the target size, turned a quarter if asked, JPEG-coded and appended to the
// frames file.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "CxImage.h"
#include "FileIo.h"
#include "OptionChoices.h"
#include "PicturePath.h"

namespace zem {

// Per-pixel extremes the device's decoder shows badly: groups of three bytes
// all below 4 become 4, all above 250 become 250. Groups are counted from the
// start of the data, whole groups only.
inline constexpr uint8_t kClampLowLimit = 4;
inline constexpr uint8_t kClampHighLimit = 250;

void ClampPixelExtremes(uint8_t* data, size_t length);
// The plain byte-by-byte walk; ClampPixelExtremes gives the same bytes faster.
void ClampPixelExtremesReference(uint8_t* data, size_t length);

// Resamples `source` to the target size with the shrinking or enlarging
// routine, each direction with the one that fits it.
void ScalePicture(const uint8_t* source, uint16_t sourceWidth, uint16_t sourceHeight, uint8_t* target,
                  uint16_t targetWidth, uint16_t targetHeight);

// Codes one picture (24-bit, bottom row first) as JPEG into `jpeg`, turned by
// `rotation` (1 left, 2 right). Returns false when the coder failed, leaving
// `jpeg` empty.
bool CodeFrameJpeg(const uint8_t* picture, uint32_t width, uint32_t height, int32_t rotation, int quality,
                   CxImage& image, std::vector<uint8_t>& jpeg);

// Set to 1 in the environment, every picture is decoded, also those the
// output does not show (for comparing outputs with and without skipping).
inline constexpr const char* kDecodeAllVariable = "ZEM_DECODE_ALL";
bool DecodeAllAsked();
// Set to 1, pictures go through BGR rows even where the one-pass path from
// their planes could take them (for comparing outputs).
inline constexpr const char* kPictureRowsVariable = "ZEM_PICTURE_ROWS";
bool PictureRowsAsked();

// The frame callback's record for one conversion.
//
// Threads: the thread that owns the conversion (the window's or zemconvert's
// main thread) fills the settings before the pipeline runs and never changes
// them while it runs. WillTakeSample, OnFrameSample and OnFrameRows then run
// on the pipeline's streaming thread, one call at a time. The owner reads the
// position and pastStop() while the pipeline runs (atomics); it calls
// FinishFrames and reads the results only after the pipeline has stopped.
// Every entry point holds m_lock, so that hand-over does not rest on how the
// media layer stops its streaming threads (GLib's own locks and joins are
// invisible to ThreadSanitizer); the lock is never contended.
struct FrameCaptureContext {
    // Settings: written by the owner before the pipeline runs, read-only after.
    uint16_t sourceWidth = 0;
    uint16_t sourceHeight = 0;
    uint16_t targetWidth = 320;
    uint16_t targetHeight = 240;
    int jpegQuality = kQualityOption.Default().value;
    int32_t rotate = 0;
    // The picture keeps its display proportions (its pixels' aspect
    // `pixelAspectN`:`pixelAspectD` included) inside the target, centred on
    // black; off, it is stretched to the target.
    bool keepProportions = false;
    uint32_t pixelAspectN = 1;
    uint32_t pixelAspectD = 1;
    double frameInterval = 1.0 / 16;
    File* framesFile = nullptr;                  // open for writing; never closed here
    std::atomic<int64_t>* positionOut = nullptr; // latest frame time, 100 ns units
    // Pictures at or after this time (seconds) are not taken: the end of a
    // selection is kept to the frame although the run stops a tick later.
    double stopTime = -1.0; // negative: no end
    // Pictures this would refuse may stay undecoded; set only where the frame
    // times follow from the first one alone (no range, normal speed).
    bool skipAllowed = false;

    // Pacing state: reset by the owner before the pipeline runs, then the
    // streaming thread's (under m_lock).
    double lastSampleTime = 0.0; // time of the latest frame written
    bool frameTaken = false;     // whether lastSampleTime holds a frame yet

    // Called for every decoded picture: `sampleTime` in seconds from the start
    // of the played range; `data` 24-bit BGR, bottom row first. Always 0.
    //
    // Frames follow at frameInterval from the first picture's time. With at
    // least as many pictures as frames, each frame shows the first picture at
    // or after its time. With fewer, each frame shows the picture on screen
    // at its time, give or take half a frame: a new picture starts at the
    // frame nearest its time and the frames before that repeat the last one.
    int OnFrameSample(double sampleTime, uint8_t* data, size_t length);
    // The same for a picture still in the decoder's format: only the rows the
    // resampling reads are converted, and the picture is left as it is.
    int OnFrameRows(double sampleTime, PictureRowReader& rows);

    // Whether a picture at this time would be taken; the decoder skips colour
    // conversion for the others. A refused picture still counts as shown.
    bool WillTakeSample(double sampleTime);
    // The frame times, for leaving pictures undecoded: false when that is not
    // allowed; `first` is negative until the first frame is taken.
    bool SkipGrid(double& first, double& interval) const;
    // A picture left undecoded: paced as a refused one. Had it been due, it
    // counts as skipped wrongly (the output then differs from decoding all).
    void OnSkippedSample(double sampleTime);

    // Called once the pictures have stopped coming: with fewer pictures than
    // frames, the last picture stays for as long as the one before it did
    // (not past the stop time), so the frames cover the whole film.
    void FinishFrames();
    // A picture at or after the stop time has arrived: the pictures of the
    // range are all in the frames file. Read from another thread.
    bool pastStop() const { return m_pastStop.load(std::memory_order_acquire); }

    // Results, read by the owner once the pipeline has stopped: frames
    // written, pictures refused as malformed, and the first write error.
    uint64_t framesWritten() const;
    // Time of the first frame taken, seconds; negative before it.
    double firstFrameTime() const;
    uint64_t picturesRejected() const;
    // Pictures seen (offered to the pacing, skipped ones included), skipped,
    // and skipped although a frame was due at them.
    struct SkipCounts {
        uint64_t seen = 0;
        uint64_t skipped = 0;
        uint64_t wronglySkipped = 0;
    };
    SkipCounts skipCounts() const;
    bool writeFailed() const;
    std::string writeError() const;

private:
    // WillTakeSample without taking the lock.
    bool TakesSample(double sampleTime);
    bool SizesUsable() const;
    // Paces the picture into frames; `scale` fills the work area once it is taken.
    template <typename ScaleInto>
    void TakePicture(double sampleTime, ScaleInto&& scale);
    void Publish(double seconds);
    bool WriteRecord();
    bool BeforeStop(double frameTime) const { return stopTime < 0 || frameTime < stopTime; }
    // Whether the picture at `sampleTime` comes more than a frame after the one before it.
    bool SparseStep(double sampleTime) const;
    void NotePicture(double sampleTime);

    // m_lock protects the pacing state above and the fields below it: the
    // streaming thread's while the pipeline runs, the owner's after it stopped.
    mutable std::mutex m_lock;
    std::vector<uint8_t> m_workArea;  // the scaled picture, reused for every frame
    std::vector<uint8_t> m_innerArea; // the picture scaled to keep its proportions, before its bars
    PicturePath m_picturePath;
    std::vector<uint8_t> m_jpeg;   // the latest coded picture
    std::vector<uint8_t> m_record; // length field + picture, written in one go
    CxImage m_image;
    double m_lastPictureTime = -1.0; // the latest picture delivered, taken or not
    double m_lastPictureSpan = 0.0;  // its distance from the one before it
    // The results.
    uint64_t m_framesWritten = 0;
    double m_firstFrameTime = -1.0;
    uint64_t m_picturesRejected = 0;
    SkipCounts m_skipCounts;
    bool m_writeFailed = false;
    std::string m_writeError;

    // Read by the owner while the pipeline runs.
    std::atomic<bool> m_pastStop{false};
};

// The counters as the run's log line: "Pictures: N seen, M left undecoded, K of them wrongly".
std::string SkipCountsText(const FrameCaptureContext::SkipCounts& counts);

} // namespace zem
