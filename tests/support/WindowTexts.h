#pragma once
// Every English text the window looks up: control labels, list column headers,
// the conversion status texts and the Messages line's texts. The language files
// carry exactly these keys.

#include <array>

namespace zem::test {

inline constexpr std::array<const char*, 50> kWindowTexts = {
    "Add ...",
    "Change Output ...",
    "Delete",
    "Delete All",
    "Estimated Size:",
    "Files:",
    "Language:",
    "Video",
    "Frame/Sec",
    "Quality",
    "high definition",
    "high frame",
    "Standard",
    "Middle",
    "Low",
    "Audio",
    "Extra Files",
    "Save audio to MP3 file",
    "Save frames to BMP files",
    "Files to Convert",
    "Selected file",
    "All files",
    "Video Monitoring",
    "Convert",
    "Stop",
    "Rotate",
    "Help ...",
    "Input File",
    "Output File",
    "|<",
    ">|",
    "Time",
    "Size",
    "Status",
    "Converting ...",
    "Writing ...",
    "Completed",
    "Stopped",
    "{count} file(s) of the last list no longer exist: left out",
    "{time} left",
    "{n} of {count}: {time} left (all: {total})",
    "{output} is already the output of {input}: choose another name",
    "{output} is an input of the list: choose another name",
    "The saved list could not be read: kept as {file}",
    "The settings could not be read: kept as {file}",
    "Cannot be read",
    "{count} file(s) cannot be read:",
    "{count} converted",
    "{failed} of {count} failed: point at a row for the cause",
    "{n} of {count}",
};

} // namespace zem::test
