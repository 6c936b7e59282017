#pragma once
// Leaving pictures undecoded that the conversion would throw away. The output
// takes a few pictures a second; of a denser source, a picture no other
// picture refers to (an H.264 picture whose slices all have nal_ref_idc 0, an
// HEVC sub-layer non-reference picture, an MPEG-1/2 B picture)
// can stay undecoded when no output frame time falls in its display span,
// and the output keeps every byte, because the same pictures are shown.
//
// The frame pacing still has to hear of every skipped picture, in display
// order: it judges gaps between pictures, and a gap it has not been told the
// pictures of looks like a sparse source to it. So each skipped picture's
// time is queued here, and the grabber hands the queued times to its callback
// before the next decoded picture that comes after them.
#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

#include "MpegPictureTimes.h"

namespace zem::media {

// How far (seconds) a frame time must stay from a picture's span for the picture
// to be skipped: the pacing adds up its frame times, the skip rule multiplies.
inline constexpr double kSkipMargin = 0.002;
// The decoders whose input is read for pictures that need not be decoded.
inline constexpr const char* kSkippingDecoders[] = {"avdec_h264", "avdec_h265", "avdec_mpeg2video"};
// Earlier picture times kept to find a picture's predecessor in display order.
inline constexpr std::size_t kSkipHistory = 64;

// How the H.264 access unit in `data` is coded: `lengthSize` 1..4 for
// length-prefixed NAL units (MP4 "avc"), 0 for start codes (byte-stream).
enum class PictureRole { Reference, NonReference, Unknown };
PictureRole H264PictureRole(const std::uint8_t* data, std::size_t size, int lengthSize);

// The same for an HEVC access unit in length-prefixed form (MP4 "hvc1"/"hev1"),
// in a stream of one temporal sub-layer: there the sub-layer non-reference
// picture types (TRAIL_N, RASL_N ...) are referred to by no other picture.
PictureRole HevcPictureRole(const std::uint8_t* data, std::size_t size, int lengthSize);

// The output frame times: first, first + interval, first + 2 interval, ...
struct FrameGrid {
    double first = -1.0; // negative: no frame taken yet
    double interval = 0.0;
};

// Whether a frame time falls in (previous, time], widened by kSkipMargin on
// both sides: the pacing then takes the picture at `time`, whose predecessor in
// display order is at `previous`.
bool SpanHoldsFrame(double previous, double time, const FrameGrid& grid);

// The skip state of one graph. The decoder's input probe (one streaming thread)
// and the grabber (the queue's streaming thread) meet here; the window's thread
// resets it before a run. The lock protects the grid and the queue.
class PictureSkip {
public:
    // Grabber side: the callback's grid, or none (skipping off).
    void SetGrid(const FrameGrid& grid);
    void Disable();
    // The skipped times (ns of running time) before `runningTime`, in order; all
    // of them when `runningTime` is GST_CLOCK_TIME_NONE (end of the stream).
    std::deque<GstClockTime> TakeSkippedBefore(GstClockTime runningTime);

    // Decoder side: whether a picture that refers to nothing, at `runningTime`,
    // whose display predecessor is at `previous` (both ns), stays undecoded;
    // when it does, its time is queued for the grabber.
    bool Skip(GstClockTime previous, GstClockTime runningTime);
    // A flush: pictures queued before it never reach the grabber.
    void Flush();

    void Reset();

private:
    std::mutex m_lock;
    bool m_enabled = false;
    FrameGrid m_grid;
    std::deque<GstClockTime> m_queue; // skipped running times, ascending
};

// The probe on a decoder's input pad: reads each access unit's role and time
// and asks the graph's PictureSkip whether it stays undecoded. One instance a
// decoder; the decoder's streaming thread alone touches it.
class DecoderInputProbe {
public:
    explicit DecoderInputProbe(std::shared_ptr<PictureSkip> skip) : m_skip(std::move(skip)) {}
    // Watches what enters the decoder through `decoderSink`; the pad keeps the probe.
    static void Attach(GstPad* decoderSink, std::shared_ptr<PictureSkip> skip);
    enum class Coding { None, H264, Hevc, Mpeg };

private:
    static GstPadProbeReturn OnProbe(GstPad*, GstPadProbeInfo* info, gpointer self);
    GstPadProbeReturn Event(GstEvent* event);
    GstPadProbeReturn Buffer(GstPadProbeInfo* info);

    std::shared_ptr<PictureSkip> m_skip;
    GstSegment m_segment{};
    bool m_haveSegment = false;
    Coding m_coding = Coding::None; // None: a form this does not read
    int m_lengthSize = 0;           // H.264 and HEVC: 0 for start codes
    // A picture came without a time: the decoder invents it from the pictures
    // before it, which must then all be decoded.
    bool m_untimed = false;
    std::set<GstClockTime> m_recent; // running times of the latest pictures
    MpegPictureClock m_clock;        // MPEG-1/2: the times of pictures without one
};

} // namespace zem::media
