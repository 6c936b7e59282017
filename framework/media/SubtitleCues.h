#pragma once
// Timed text as people's files really have it, made plain for the parsers
// behind it: SubRip and WebVTT read leniently into a clean SubRip document
// (subparse stops the whole pipeline on one bad time), and ASS/SSA events
// read by their own Format line into the full layout assrender expects.
#include <cstdint>
#include <string>
#include <vector>

namespace zem::media {

struct TimedCue {
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::string text; // lines joined by '\n'
};

// A time as SubRip and WebVTT write it, "[-][hh:]mm:ss[,.]mmm", with hours,
// the fraction or both left out as some writers do; false when it is none.
bool ParseCueTime(const std::string& text, int64_t& ms);

// The cues of a SubRip or WebVTT document: blocks with a "-->" line, numbers
// optional, blank lines in any number, WebVTT headers, notes, styles and cue
// settings skipped. Times before zero start at zero; cues that end there or
// earlier are dropped. WebVTT's own tags other than <b>, <i> and <u> are taken
// out of the text.
std::vector<TimedCue> ReadTimedCues(const std::string& utf8);

// The cues of a MicroDVD document ("{start}{end}text", frame numbers, '|'
// between lines), timed at `fps` unless its first line says otherwise as
// "{1}{1}25". Style blocks ("{y:i}") are left out; a cue without an end
// lasts kMicroDvdOpenEndMs.
inline constexpr double kMicroDvdDefaultFps = 24000.0 / 1001.0; // as subparse assumes
inline constexpr int64_t kMicroDvdOpenEndMs = 3000;
std::vector<TimedCue> ReadMicroDvdCues(const std::string& utf8, double fps = kMicroDvdDefaultFps);

// The cues as a SubRip document.
std::string WriteSubRip(const std::vector<TimedCue>& cues);

// Whether `utf8` is a document ReadTimedCues is for (SubRip or WebVTT).
bool LooksLikeSubRipOrWebVtt(const std::string& utf8);

// The plain text of a cue as a Matroska WebVTT block stores it: the text
// alone, or, as some muxers write it, after a line with the cue's name and one
// with its settings. Tags are taken out and the common entities read.
std::string CueTextFromBlock(const std::string& block);

// One ASS/SSA event in the layout a Matroska ASS track carries, as assrender
// takes it: "Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text" (the read
// order is put in front by the caller), with its start and end.
struct AssDialogue {
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::string fields;
};

// Reads a Dialogue line's value (after "Dialogue:") by the [Events] section's
// Format line, field names in any order and number; the fields a file leaves
// out get their defaults. False when it has no usable times or text.
bool ReadAssDialogue(const std::vector<std::string>& format, const std::string& value, AssDialogue& dialogue);

// The field names of a Format line's value ("Layer, Start, End, Style, Text"),
// in lower case.
std::vector<std::string> ReadAssFormat(const std::string& value);

// The Format line of the [Events] section that the events handed on follow.
inline constexpr const char* kAssFullEventFormat =
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";

} // namespace zem::media
