#pragma once
// The engine's wordings for the user, in English: each is the key under which
// the window's language files hold its translation. A name in braces is
// filled in after the look-up (a file, a time, a codec, or a cause in the
// words of the system or of GStreamer).

namespace zem {

// What failed and why, joined.
inline constexpr const char* kTextWhatAndWhy = "{what}: {why}";
inline constexpr const char* kTextWithElement = "{why} ({element})";

// The input.
inline constexpr const char* kTextInputTooLong =
    "The input path is too long ({size} bytes, the limit is {limit}): {file}...";
inline constexpr const char* kTextCannotOpen = "Cannot open {file}";
inline constexpr const char* kTextIsFolder = "{file} is a folder, not a video file";
inline constexpr const char* kTextNotRegular = "{file} is not a regular file";
inline constexpr const char* kTextReplacesInput = "The output {output} would replace the input {file}";
inline constexpr const char* kTextReplacesListed =
    "The output {output} would replace the file {file} that {list} plays";

// The output and the scratch folder.
inline constexpr const char* kTextCannotCreate = "Cannot create {file}";
inline constexpr const char* kTextOutputPathTooLong = "The output path is too long: {file}";
inline constexpr const char* kTextPathTooLong = "Path too long: {file}";

// A file the engine reads or writes ({why}: the system's reason).
inline constexpr const char* kTextFileCannotOpen = "Cannot open {file}: {why}";
inline constexpr const char* kTextFileCannotCreate = "Cannot create {file}: {why}";
inline constexpr const char* kTextFileCannotWrite = "Cannot write {file}: {why}";
inline constexpr const char* kTextFileCannotRead = "Cannot read {file}: {why}";
inline constexpr const char* kTextFileCannotSeek = "Cannot seek in {file}: {why}";
inline constexpr const char* kTextFileCannotShorten = "Cannot shorten {file}: {why}";
inline constexpr const char* kTextFileCannotSize = "Cannot read the size of {file}: {why}";

// The run.
inline constexpr const char* kTextStoppedBeside = "{output} stays as it was. The part converted so far is in {file}";
inline constexpr const char* kTextCannotDecode = "Could not decode {file}";
inline constexpr const char* kTextInputGone = "the input is damaged, unreadable or gone ({code})";
inline constexpr const char* kTextOutOfMemory = "out of memory ({cause})";
inline constexpr const char* kTextDidNotStart = "its pictures and sound did not start in time (no decoder took them)";
inline constexpr const char* kTextGraphDidNotRun = "the graph did not run ({code})";

} // namespace zem
