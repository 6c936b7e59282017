#pragma once
// The kinds of video file the program reads: one row an ending, with what
// opening it needs and where the open dialog lists it. The one table: the
// file list, zemconvert, the open dialog, the codec check and the desktop
// entry all take their endings, demuxers and packages from here.

#include <array>
#include <cstddef>
#include <string_view>

namespace zem {

// The open dialog's entries for particular kinds, in the dialog's order
// (after its first entry, which lists every ending, and before "All Files").
inline constexpr std::array<const char*, 11> kOpenDialogEntries{
    "Video Files (*.asf)", "Video Files (*.avi)",        "Video Files (*.mpg)",         "Video Files (*.mpeg)",
    "Video Files (*.wmv)", "Video Files (*.dat)",        "Video Files (*.asx)",         "Video Files (*.vob)",
    "Video Files (*.mp4)", "Video Files (*.rm  *.rmvb)", "Phone, camera and web videos"};

struct InputKind {
    const char* ending;  // without its dot, lower case
    bool withoutDot;     // also taken with no dot before it ("clipmpeg"), as the file list always did
    const char* demuxer; // the GStreamer element that opens it; nullptr: a play list this program reads
    const char* package; // the Debian package that ships the demuxer
    int dialogEntry;     // its entry in kOpenDialogEntries
};

// In the order the user is told them: the twelve the player's own software
// always took, then the containers phones, cameras and web downloads come in.
inline constexpr std::array<InputKind, 21> kInputKinds{{
    {"avi", false, "avidemux", "gstreamer1.0-plugins-good", 1},
    {"mpg", false, "mpegpsdemux", "gstreamer1.0-plugins-bad", 2},
    {"mpeg", true, "mpegpsdemux", "gstreamer1.0-plugins-bad", 3},
    {"vob", false, "mpegpsdemux", "gstreamer1.0-plugins-bad", 7},
    {"dat", false, "mpegpsdemux", "gstreamer1.0-plugins-bad", 5},
    {"wmv", false, "asfdemux", "gstreamer1.0-plugins-ugly", 4},
    {"asf", false, "asfdemux", "gstreamer1.0-plugins-ugly", 0},
    {"asx", false, nullptr, nullptr, 6},
    {"rm", false, "rmdemux", "gstreamer1.0-plugins-ugly", 9},
    {"rmvb", true, "rmdemux", "gstreamer1.0-plugins-ugly", 9},
    {"mp4", false, "qtdemux", "gstreamer1.0-plugins-good", 8},
    {"mkv", false, "matroskademux", "gstreamer1.0-plugins-good", 10},
    {"mov", false, "qtdemux", "gstreamer1.0-plugins-good", 10},
    {"m4v", false, "qtdemux", "gstreamer1.0-plugins-good", 10},
    {"3gp", false, "qtdemux", "gstreamer1.0-plugins-good", 10},
    {"webm", false, "matroskademux", "gstreamer1.0-plugins-good", 10},
    {"ts", false, "tsdemux", "gstreamer1.0-plugins-bad", 10},
    {"m2ts", false, "tsdemux", "gstreamer1.0-plugins-bad", 10},
    {"mts", false, "tsdemux", "gstreamer1.0-plugins-bad", 10},
    {"flv", false, "flvdemux", "gstreamer1.0-plugins-good", 10},
    {"ogv", false, "oggdemux", "gstreamer1.0-plugins-base", 10},
}};

static_assert(
    [] {
        for (const InputKind& kind : kInputKinds) {
            if (kind.dialogEntry < 0 || size_t(kind.dialogEntry) >= kOpenDialogEntries.size() ||
                (kind.demuxer == nullptr) != (kind.package == nullptr))
                return false;
        }
        return true;
    }(),
    "every kind names a dialog entry, and a demuxer with its package");

// The endings alone, in the table's order.
inline constexpr auto kAcceptedInputEndings = [] {
    std::array<const char*, kInputKinds.size()> endings{};
    for (size_t i = 0; i < endings.size(); ++i)
        endings[i] = kInputKinds[i].ending;
    return endings;
}();

} // namespace zem
