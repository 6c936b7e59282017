#pragma once
// Files damaged or altered the way real ones are, by changing a few bytes of
// a clip ffmpeg made: what ffmpeg itself cannot write.

#include <string>

namespace zem::test {

// Runs a shell command; true when it exits with 0.
bool RunCommand(const std::string& command);

// Writes `to` as a copy of `from` with the first occurrence of the
// four-character code `code` replaced by `replacement` (`to` may be `from`).
bool ReplaceFirstCode(const std::string& from, const std::string& to, const std::string& code,
                      const std::string& replacement);

// Writes `to` as a copy of the MP4 `from` whose AAC sound track has lost its
// sample description (its entry count set to 0).
bool DropSoundDescription(const std::string& from, const std::string& to);

// Writes `to` as a copy of the MP4 `from` (its header after its media data,
// as ffmpeg writes it) whose sound track has no sample description box at
// all: the box is turned into free space.
bool HideSoundDescription(const std::string& from, const std::string& to);

// Writes `to` as a copy of the MP4 `from` (header after media data) whose
// picture track's sample entry holds a Dolby Vision configuration box `box`
// ("dvcC" or "dvvC") of `profile` with base-layer compatibility id
// `compatibility`; the sample entry is renamed to `entry` unless that is empty.
bool AddDolbyVisionBox(const std::string& from, const std::string& to, const std::string& box, int profile,
                       int compatibility, const std::string& entry);

} // namespace zem::test
