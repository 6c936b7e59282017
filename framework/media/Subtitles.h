#pragma once
// Subtitles drawn into the decoded pictures, so the preview, the monitoring
// picture and every converted frame show them.
//
// Which text: a file beside the input with the input's base name and one of
// the endings of kSubtitleEndings (any letter case, in that order of
// preference); without one, the input's first text track. The file is read
// here: its encoding is detected (byte-order marks, UTF-8, then the legacy
// encodings of Korean and Chinese), a SAMI file keeps its first language
// class only, and the text goes through GStreamer's subparse (SRT, SAMI,
// MicroDVD) into textoverlay, or as ASS events into assrender. Nothing about a
// subtitle file stops a film from playing or converting: what cannot be read
// is left out with a warning.
#include <gst/gst.h>

#include "SubtitleCaps.h"
#include "UserText.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace zem::media {

// The endings of a subtitle file beside the film, preferred first: SAMI is
// what most of our users keep beside their films. The help, the manual pages
// and the user's guides name these.
inline constexpr std::array<const char*, 6> kSubtitleEndings{".smi", ".ass", ".ssa", ".srt", ".sub", ".vtt"};
// ".smi, .ass, .ssa, .srt, .sub, .vtt".
std::string SubtitleEndingsText();

struct SubtitleOptions {
    bool enabled = true;    // the renderer's "LoadLevel" 0
    int fontHeight = -36;   // "LOGFONT" height: character pixels in a picture 288 lines tall
    std::string forcedFile; // this file for every input instead of the one beside it
};

// The renderer's letter height until it is told another.
inline constexpr int kSubtitleHeightMiddle = -36;
// The picture height the font height is counted in.
inline constexpr int kSubtitleReferenceLines = 288;
// Larger files are not subtitles; they are skipped with a warning.
inline constexpr std::size_t kMaxSubtitleBytes = 8u << 20;

// The options every file rendered from now on uses (process-wide: the window
// sets them from its registry store, zemconvert from its command line).
void SetSubtitleOptions(const SubtitleOptions& options);
SubtitleOptions CurrentSubtitleOptions();

// The subtitle file beside `inputPath`, or empty.
std::string FindSubtitleFile(const std::string& inputPath);

struct SubtitleText {
    enum class Format { Parsed, Ass };
    Format format = Format::Parsed;
    std::string path; // where it came from
    std::string utf8; // the whole file as UTF-8 (SAMI: first class only)
};

// Reads and prepares `path`; nullopt with the reason in `warning`. Time and
// memory grow with the file's size alone, whatever its markup.
std::optional<SubtitleText> LoadSubtitleFile(const std::string& path, UserText& warning);

// The text as UTF-8: byte-order marks, valid UTF-8, then a detected legacy
// encoding (CP949, GB18030, Big5 ...); nullopt when it is not text.
std::optional<std::string> SubtitleBytesToUtf8(const std::string& bytes, std::string* encoding = nullptr);

// A SAMI document with every P element of a class other than the first removed.
std::string KeepFirstSamiClass(const std::string& sami);

// Pixel size of the font for a picture `pictureHeight` lines tall.
int SubtitlePixelSize(int fontHeight, int pictureHeight);

// The overlay element for one video stream, added to `bin`: its "video_sink"
// takes the decoded pictures, its "src" gives them with the text drawn. With
// `text` its text comes from the prepared file (a source branch is added to
// `bin` too); without, its "text_sink" waits for the input's own text track.
// nullptr (and the pictures go on unchanged) when the elements are missing.
GstElement* MakeSubtitleOverlay(GstBin* bin, const SubtitleText* text, int pictureHeight, int fontHeight,
                                UserText& warning);

} // namespace zem::media
