#pragma once
// Bounds on subtitle events, so a hostile file cannot make drawing them
// crash or take time out of all proportion: an event's length, its override
// blocks ({...} in ASS/SSA) and their nesting, and the markup tags of an
// event of the other formats (SRT, SAMI).

#include <cstddef>
#include <string>

namespace zem::media {

inline constexpr std::size_t kMaxSubtitleEventBytes = 1024;
inline constexpr int kMaxOverrideBlocks = 32;
inline constexpr int kMaxOverrideNesting = 4;
inline constexpr int kMaxMarkupTags = 64;
// ASS/SSA events shown at the same time; those past it are left out.
inline constexpr std::size_t kMaxAssEventsAtOnce = 32;

// Asked now and then while a subtitle file is prepared: true gives the file
// up (the film goes on without it), so a stop asked for meanwhile is answered
// at once. Process-wide; none by default.
using SubtitleStopCheck = bool (*)();
void SetSubtitleStopCheck(SubtitleStopCheck check);
// Whether the check says stop; the readers of subtitle text ask it every
// kStopCheckLines lines and end early when it does.
bool SubtitleStopAsked();
inline constexpr std::size_t kStopCheckLines = 1024;

// Brings every event of `utf8` within the bounds (`ass`: an ASS/SSA script,
// else SRT or SAMI text). Returns what was cut, in words ("3
// events were cut to fit the converter's bounds"), or empty when nothing was.
std::string CapSubtitleEvents(std::string& utf8, bool ass);

} // namespace zem::media
