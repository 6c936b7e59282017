#pragma once
// Display times of MPEG-1/2 pictures that reach the decoder without one.
// Program streams stamp only some pictures; GStreamer's decoder base class
// invents the others' times from the pictures it has output, and for a
// reference picture that comes ahead of its B pictures it invents a time
// too late, after which the B pictures are pushed later still: the film
// then shows its pictures one or two pictures late. The true time follows
// from the picture's place in display order (its group's start plus its
// temporal_reference) and the time of any stamped picture.
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
    // Notes a picture and returns its display time: `pts` when it has one,
    // else the time its place gives, or NONE when that cannot be known (no
    // stamped picture yet, no frame rate, or stamps that do not follow the
    // places, as with pulled-down film).
    GstClockTime Place(const MpegPictureHeader& header, GstClockTime pts);

private:
    GstClockTime m_period = 0;
    std::int64_t m_groupBase = 0; // display place of the current group's first picture
    std::int64_t m_groupSpan = 0; // pictures in the current group so far (largest reference + 1)
    bool m_anchored = false;
    bool m_trusted = true; // the stamps agree with the places
    GstClockTime m_anchorPts = 0;
    std::int64_t m_anchorPlace = 0;
};

} // namespace zem::media
