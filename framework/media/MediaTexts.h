#pragma once
// The media layer's wordings for the user, in English: the keys of the
// window's language files. A name in braces is filled in after the look-up;
// {why} is a cause in GStreamer's or the system's own words.

namespace zem::media {

inline constexpr const char* kTextOpenFailed = "Cannot open {file}: {why}";
inline constexpr const char* kTextIsFolder = "{file} is a folder, not a video file";
inline constexpr const char* kTextNotAFile = "{file} is not a regular file";
inline constexpr const char* kTextEmptyFile = "{file} is empty";
inline constexpr const char* kTextCannotReadMedia = "Cannot read media files: {why}";
inline constexpr const char* kTextNotVideo = "{file} is not a video file the converter can read";
inline constexpr const char* kTextNotVideoBecause = "{file} is not a video file the converter can read ({why})";
inline constexpr const char* kTextDamaged = "{file} is damaged ({why}): what can be read is converted";
inline constexpr const char* kTextOutOfMemoryDecoding = "Cannot decode {file}: out of memory ({why})";
inline constexpr const char* kTextNeedsDecoderFor = "{file} needs a decoder that is not installed ({codec})";
inline constexpr const char* kTextNeedsDecoder = "{file} needs a decoder that is not installed";
inline constexpr const char* kTextTookTooLong = "{file} took longer than {seconds} s to open";
inline constexpr const char* kTextSoundNotDecoded =
    "The sound of {file} ({codec}) cannot be decoded: the film converts with silence";
inline constexpr const char* kTextDolbyVisionColours =
    "The colours of {file} cannot be shown right: its pictures are Dolby Vision profile {profile}";
inline constexpr const char* kTextNoTurningElement =
    "Pictures of {file} are shown as stored: the element to turn them is missing";
inline constexpr const char* kTextCannotTurn = "Pictures of {file} are shown as stored: they cannot be turned";
inline constexpr const char* kTextCannotWriteFile = "Cannot write {file}: {why}";
inline constexpr const char* kTextCannotCreateFile = "Cannot create {file}: {why}";
inline constexpr const char* kTextCannotReadFile = "Cannot read {file}: {why}";
inline constexpr const char* kTextPlaylistTooLarge = "{file} is too large for a play list";
inline constexpr const char* kTextPlaylistNoLocalFile = "{file} names no local media file";
inline constexpr const char* kTextPlaylistEntryUnopened = "{list}: its entry {file} cannot be opened: {why}";
inline constexpr const char* kTextPlaylistEntryFolder = "{list}: its entry {file} is a folder";
inline constexpr const char* kTextPlaylistEntryNotAFile = "{list}: its entry {file} is not a regular file";
inline constexpr const char* kTextBadName = "the name is not a file name";
inline constexpr const char* kTextNoThread = "no thread could be made: {why}";
inline constexpr const char* kTextInputStalled = "The input delivered nothing for {seconds} s";
inline constexpr const char* kTextNoDecoderForStream = "No decoder for a stream of {file}";

// Subtitles left out; {why} says why, in one of the wordings below or in
// GStreamer's or the system's words.
inline constexpr const char* kTextSubtitlesNotShown = "Subtitles of {file} not shown: {why}";
inline constexpr const char* kTextSubtitlesCut = "Subtitles of {file}: {why}";
inline constexpr const char* kTextSubtitleNotRegular = "{file} is not a regular file";
inline constexpr const char* kTextSubtitleTooLarge = "the file is too large ({size} MB) to be subtitles";
inline constexpr const char* kTextSubtitleUnreadable = "the file cannot be read";
inline constexpr const char* kTextSubtitleEncoding = "the file is not text in an encoding the converter knows";
inline constexpr const char* kTextSubtitleStopped = "the conversion was stopped while they were prepared";
inline constexpr const char* kTextSubtitleNoTimedLine = "no timed line could be read";
inline constexpr const char* kTextSubtitleNoDialogue = "no dialogue line could be read";
inline constexpr const char* kTextSubtitleEventsLeftOut =
    "{count} events left out, more than {limit} would have been shown at once";
inline constexpr const char* kTextSubtitleNoElement =
    "Subtitles not shown: the GStreamer element {element} is not installed";
inline constexpr const char* kTextSubtitleNoSubparse = "subparse is not installed";
inline constexpr const char* kTextSubtitleNotJoined = "the text could not be joined to the pictures";
inline constexpr const char* kTextSubtitlesNoRoom = "Subtitles not shown: the pictures of {file} cannot take them";

} // namespace zem::media
