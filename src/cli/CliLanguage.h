#pragma once
// zemconvert's words in the user's language (LC_ALL, then LC_MESSAGES, then
// LANG), from the window's own language files; English under LC_ALL=C and
// for a language without a file. --json output never goes through here: it
// stays English for scripts.

#include <string>

#include "UserText.h"

namespace zem::cli {

// Finds the language file once, before any text is shown.
void UseUserLanguage();

// `text` in the user's language, its blanks filled after the look-up.
std::string Say(const UserText& text);

// A progress line of a log or a batch's process: "Converting 40%".
std::string ProgressLine(int percent);
// The percent a progress line gives; -1 when `line` is none.
int ProgressLinePercent(const std::string& line);

// zemconvert's own wordings (keys of the language files).
inline constexpr const char* kTextTryHelp = "Try 'zemconvert --help'.";
inline constexpr const char* kTextNotAcceptedInput = "{file}: not a video file the converter reads ({endings})";
inline constexpr const char* kTextProgressLine = "Converting {percent}%";
inline constexpr const char* kTextBarTimeLeft = "{time} left";
inline constexpr const char* kTextOutputLabel = "Output:";
inline constexpr const char* kTextWarningLabel = "Warning:";
inline constexpr const char* kTextBatchDone = "Batch: {done} of {count} done";
inline constexpr const char* kTextBatchLeft = "Batch: {done} of {count} done, about {time} left";

} // namespace zem::cli
