#pragma once
// An ASS/SSA script drawn by assrender: its Dialogue lines read by the
// script's own Format line and handed on in time order as the events of a
// Matroska ASS track, again from the sought time after every seek.

#include <gst/gst.h>

#include <string>

#include "Subtitles.h"

namespace zem::media {

// The appsrc feeding `text`'s events, added to `bin` (its "src" goes to
// assrender's "text_sink"); nullptr with the reason in `warning` when no
// event can be read. Events past kMaxAssEventsAtOnce shown at once are left
// out, with a warning.
GstElement* MakeAssBranch(GstBin* bin, const SubtitleText& text, UserText& warning);

} // namespace zem::media
