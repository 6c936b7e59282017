#pragma once
// Cutting decoded sound at the instant a played range begins.
#include <gst/gst.h>

namespace zem::media {

// A buffer of interleaved sound starting at `streamTime` (ns, stream time) and
// stamped `pts`, when the range begins at `until` inside it: a new buffer with
// the samples before `until` cut off, stamped and timed to match; it takes the
// caller's reference to `buffer`. nullptr, leaving `buffer` alone, when there is
// nothing to cut (the range begins at or before the buffer's first sample, or
// after its last).
GstBuffer* TrimSoundBefore(GstBuffer* buffer, GstClockTime pts, gint64 streamTime, gint64 until, int rate,
                           int bytesPerFrame);

} // namespace zem::media
