#pragma once
// Texts the window looks up in the language files beyond its labels: refusals,
// reports and the Messages line's summaries. A name in braces is filled in by
// the program.

namespace zem::app {

// An output that another row writes, or that is one of the list's inputs.
inline constexpr const char* kTextOutputTaken = "{output} is already the output of {input}: choose another name";
inline constexpr const char* kTextOutputIsInput = "{output} is an input of the list: choose another name";

// The saved list or the settings could not be read and were put aside.
inline constexpr const char* kTextListUnreadable = "The saved list could not be read: kept as {file}";
inline constexpr const char* kTextSettingsUnreadable = "The settings could not be read: kept as {file}";

// Files added that cannot be opened: the row's status and the one report.
inline constexpr const char* kTextUnreadable = "Cannot be read";
inline constexpr const char* kTextUnreadableFiles = "{count} file(s) cannot be read:";
// Files named on the command line or handed over that are not there.
inline constexpr const char* kTextFileMissing = "{file} does not exist: not added";

// Closing the window while files convert.
inline constexpr const char* kTextStopAndQuit =
    "Stop the conversion and quit? An earlier output stays and the part converted so far goes beside it as (stopped).";

// The end of a run in the Messages line.
inline constexpr const char* kTextRunConverted = "{count} converted";
inline constexpr const char* kTextRunFailed = "{failed} of {count} failed: point at a row for the cause";
// The file a run is at, before its time left is known.
inline constexpr const char* kTextRunAt = "{n} of {count}";

// Why a file added cannot be read ({why}: GStreamer's own words).
inline constexpr const char* kTextProbeNoMediaLayer = "the media layer cannot read it";
inline constexpr const char* kTextProbeNoDecoder = "no decoder for its format is installed";
inline constexpr const char* kTextProbeTimeout = "it gave no picture or sound within {seconds} s";
inline constexpr const char* kTextProbeUnreadable = "it cannot be read";
inline constexpr const char* kTextProbeUnreadableBecause = "it cannot be read: {why}";
inline constexpr const char* kTextProbeNothing = "it holds neither pictures nor sound";
// A file and what is wrong with it, one to a line of a report.
inline constexpr const char* kTextFileAndCause = "{file}: {why}";

// Media packages the program needs and does not find.
inline constexpr const char* kTextInstallPackages = "Please... Install {packages}";

// The start-up picture's lines under the program's name.
inline constexpr const char* kTextSplashVersion = "Version {version}";
inline constexpr const char* kTextSplashPurpose = "Video files to Motion-JPEG AVI for portable players";

// A file of sound alone in the preview: its row's status and the whole cause.
inline constexpr const char* kTextSoundOnly = "Sound only";
inline constexpr const char* kTextNoPreviewPictures =
    "The preview cannot show pictures: the film plays with its sound only";

// Where the window was and its size (Qt's saved geometry, which knows the
// frame from the client area), in the settings file beside the conversion
// settings.
inline constexpr const char* kKeyWindowGeometry = "WindowGeometry";
// The folder files were last added from: the open dialog starts there.
inline constexpr const char* kKeyLastFolder = "LastFolder";

} // namespace zem::app
