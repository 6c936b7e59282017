#pragma once
// Decoded picture -> 24-bit BGR, bottom row first, rows padded to 4 bytes, in one
// pass (libyuv converts and flips together), or one row at a time for a
// consumer that shrinks the picture as the rows come.
#include <gst/video/video.h>

#include <cstdint>

#include "PictureColour.h"
#include "YuvRows.h"

namespace zem::media {

// The formats of more than 8 bits the colour work reads from their own
// samples, as a caps format list; the grabber and the renderer take them as
// they come.
#define ZEM_WIDE_FORMATS                                                                                       \
    "I420_10LE, I420_12LE, I422_10LE, I422_12LE, Y444_10LE, Y444_12LE, P010_10LE, P012_LE, P016_LE"

// The raw formats the conversion takes directly; anything else is converted by
// videoconvert in front of it. Listed in order of preference for negotiation.
extern const char* const kGrabberInputCaps;
// Pictures the grabber's queue holds while the callback works on an earlier one:
// enough to keep the decoder busy meanwhile, each one a decoded picture held.
constexpr unsigned kGrabberQueuePictures = 2;
// ... and no more bytes than this, unless one picture alone is larger: two
// 1080p pictures fit, a 4K picture of 10-bit samples (25 MB) waits alone, so
// a phone's 4K film keeps one picture fewer alive.
constexpr unsigned kGrabberQueueBytes = 16u << 20;

// Writes the picture into dst (Rgb24Stride(width) * height bytes). False when the
// format is not one of kGrabberInputCaps.
bool ConvertToBgrBottomUp(const GstVideoFrame& frame, std::uint8_t* dst);

// Whether the frame's format is one of kGrabberInputCaps.
bool CanConvertToBgr(const GstVideoInfo& info);

// One row of the picture ConvertToBgrBottomUp would write, `row` counted from
// the bottom, width * 3 bytes into dst, with the same bytes.
bool ConvertRowToBgr(const GstVideoFrame& frame, int row, std::uint8_t* dst);

// Where the frame's YUV planes are and which conversion ConvertRowToBgr uses
// for them; false for the RGB formats.
bool YuvPlanesOf(const GstVideoFrame& frame, zem::YuvPlanes& planes);

// What the picture's samples mean, from its caps: matrix, range, primaries,
// transfer, bits, and the HDR light levels the caps carry.
zem::colour::PictureColour PictureColourOf(const GstVideoInfo& info, const GstCaps* caps);

// Whether pictures of this format and colour go through the colour work
// rather than the plain 8-bit conversion.
bool NeedsWidePath(const GstVideoInfo& info, const zem::colour::PictureColour& colour);

// The frame's planes for the colour work; false for a format it does not read.
bool WidePlanesOf(const GstVideoFrame& frame, const zem::colour::PictureColour& colour,
                  zem::colour::WidePlanes& planes);

} // namespace zem::media
