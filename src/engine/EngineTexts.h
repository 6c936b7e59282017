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

// The scratch folder beside the output, and putting the output in place.
inline constexpr const char* kTextCannotOpenOutputFolder = "Cannot open the output folder {folder}: {why}";
inline constexpr const char* kTextCannotMakeScratch = "Cannot make a scratch folder in {folder}: {why}";
inline constexpr const char* kTextCannotOpenScratch = "Cannot open the scratch folder {folder}: {why}";
inline constexpr const char* kTextCannotWriteScratch = "Cannot write in the scratch folder {folder}: {why}";
inline constexpr const char* kTextOutputBusy = "another conversion is writing {file}";
inline constexpr const char* kTextOutputFolderGone =
    "The output folder {folder} was moved or removed during the conversion: {why}";
inline constexpr const char* kTextOutputFolderReplaced =
    "The output folder {folder} was replaced by another during the conversion";
inline constexpr const char* kTextCannotSync = "Cannot write {file} to disk: {why}";

// An output that is there already and cannot be replaced.
inline constexpr const char* kTextCannotReplace = "Cannot replace {file}";
inline constexpr const char* kTextNotRegularBut = "it is not a regular file but {kind}";
inline constexpr const char* kTextKindFifo = "a FIFO";
inline constexpr const char* kTextKindSocket = "a socket";
inline constexpr const char* kTextKindDevice = "a device";
inline constexpr const char* kTextOtherUsersFile =
    "it belongs to another user, in a folder where only its owner may replace it";
inline constexpr const char* kTextStartPastEnd = "The start ({start}) lies past the end of the film ({length})";
inline constexpr const char* kTextInputEndedEarly = "{file}: the input ended at {reached} of {length}";
inline constexpr const char* kTextLengthUnknown =
    "{file} does not state its length: it was converted as far as it could be read ({reached})";

// The media layer's parts that a conversion needs.
inline constexpr const char* kTextInitFailed = "InitDirectShow failed";
inline constexpr const char* kTextNoMpegDecoder = "Could not create the MPEG decoder: please install the program again";

// The muxer.
inline constexpr const char* kTextAudioFileEmpty = "The audio file {file} is empty";
inline constexpr const char* kTextCutAtLargestSize =
    "The output reached the largest size an AVI file can describe and was cut at {frames} frames";
inline constexpr const char* kTextAbandoned = "Abandoned before the output was complete";
inline constexpr const char* kTextNothingConverted = "Stopped before anything was converted: nothing was written";
inline constexpr const char* kTextUnexpectedEnd = "Unexpected end of {file}";
inline constexpr const char* kTextSoundNotKeptAs = "The sound was not kept as {file}: {why}";
inline constexpr const char* kTextSoundNotKept = "The sound was not kept: {why}";

// Why a list or a saved file was not read.
inline constexpr const char* kTextLargerThan = "it is larger than {size} MB";
inline constexpr const char* kTextItIsAFolder = "it is a folder";
inline constexpr const char* kTextItIsNotAFile = "it is not a regular file";

} // namespace zem
