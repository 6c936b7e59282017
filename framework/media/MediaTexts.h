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

} // namespace zem::media
