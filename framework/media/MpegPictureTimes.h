#pragma once
// Display times of MPEG-1/2 pictures that reach the decoder without one.
// Program streams stamp only some pictures; GStreamer's decoder base class
// invents the others' times from the pictures it has output, and for a
// reference picture that comes ahead of its B pictures it invents a time
// too late, after which the B pictures are pushed later still: the film
// then shows its pictures one or two pictures late. The true time follows
// from the picture's place in display order (its group's start plus its
// temporal_reference) and the time of a stamped picture. Program streams
// also give a packet's stamp to the wrong picture when several pictures share
// the packet: a stamp a few pictures earlier than the picture's place is
// taken for one of those.
#include <gst/gst.h>

#include <cstddef>
#include <cstdint>

namespace zem::media {

// What the headers in one parsed MPEG-1/2 picture buffer say.
struct MpegPictureHeader {
    bool groupStart = false; // a group-of-pictures header comes first
    bool picture = false;    // a picture header was found
    int temporalReference = 0;
    int codingType = 0; // 1 I, 2 P, 3 B, 4 D
};
inline constexpr int kMpegBPicture = 3;
MpegPictureHeader ReadMpegPicture(const std::uint8_t* data, std::size_t size);

// Follows one stream's pictures in decoding order. Times are the stream's
// own (buffer times), in ns.
class MpegPictureClock {
public:
    // The picture period from the stream's frame rate; 0 when unknown.
    void SetPeriod(GstClockTime period) { m_period = period; }
    // A new segment or a flush: places start again.
    void Reset();
    // Notes a picture and returns its display time: the time its place gives
    // from the latest stamped picture, or its own stamp where that is later
    // or far off (a jump in the stream's clock), or NONE when neither is
    // known (no stamped picture yet, or no frame rate).
    GstClockTime Place(const MpegPictureHeader& header, GstClockTime pts);

private:
    GstClockTime m_period = 0;
    std::int64_t m_groupBase = 0; // display place of the current group's first picture
    std::int64_t m_groupSpan = 0; // pictures in the current group so far (largest reference + 1)
    bool m_anchored = false;
    GstClockTime m_anchorPts = 0;
    std::int64_t m_anchorPlace = 0;
};

} // namespace zem::media
