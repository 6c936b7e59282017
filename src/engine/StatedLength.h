#pragma once
// Whether a film's file states how long it is. A Matroska file or a
// fragmented MP4 written as a stream (to a pipe, by a live recorder, or cut
// off by a crash) leaves its length out; GStreamer then guesses one from the
// last cluster or fragment it finds, which may lie far before the real end
// (10 s of a 30 s film whose sound sits in one large cluster). Such a guess
// serves for progress only: it never ends a range nor refuses a start.

#include <string>

namespace zem {

// False when `path` is a Matroska/WebM file whose segment information holds
// no duration (or one of 0), or an MP4/QuickTime file whose movie header says
// 0 and whose fragments state no length either; true for every other file
// (other containers state their length or GStreamer reports none at all).
bool FileStatesItsLength(const std::string& path);

} // namespace zem
