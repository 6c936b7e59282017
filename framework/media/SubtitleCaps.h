#pragma once
// Bounds on subtitle events, so a hostile file cannot make drawing them
// crash or take time out of all proportion: an event's length, its override
// blocks ({...} in ASS/SSA) and their nesting, and the markup tags of a line
// of the other formats.

#include <cstddef>
#include <string>

namespace zem::media {

inline constexpr std::size_t kMaxSubtitleEventBytes = 1024;
inline constexpr int kMaxOverrideBlocks = 32;
inline constexpr int kMaxOverrideNesting = 4;
inline constexpr int kMaxMarkupTags = 64;

// Brings every event of `utf8` within the bounds (`ass`: an ASS/SSA script,
// else SRT, SAMI or MicroDVD text). Returns what was cut, in words ("3
// events were cut to fit the converter's bounds"), or empty when nothing was.
std::string CapSubtitleEvents(std::string& utf8, bool ass);

} // namespace zem::media
