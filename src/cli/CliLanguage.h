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

// --help's frame around the option table's own texts.
inline constexpr const char* kTextUsage = "Usage: {usage}";
inline constexpr const char* kTextHelpChoices = "{help}: {choices}";
inline constexpr const char* kTextHelpDefault = "{help} (default {choice})";

// The command line's faults.
inline constexpr const char* kTextUnknownOption = "unknown option {option}";
inline constexpr const char* kTextTakesNoValue = "option {option} takes no value";
inline constexpr const char* kTextNeedsValue = "option {option} needs a {noun}";
inline constexpr const char* kTextUnknownChoice = "unknown {noun} '{value}' (choose {choices})";
inline constexpr const char* kTextBadTime = "cannot read the time '{value}' (seconds, or mm:ss.mmm)";
inline constexpr const char* kTextBadJobs = "cannot read the number of jobs '{value}' (1 to {max})";
inline constexpr const char* kTextOutputOrDir = "--output and --output-dir exclude each other";
inline constexpr const char* kTextEndBeforeStart = "--end must lie after --start";
inline constexpr const char* kTextNulWithoutList = "-0 reads the list of --files-from, and none is given";
inline constexpr const char* kTextNoInput = "no input file given";
inline constexpr const char* kTextOutputOneInput = "--output takes one input only; use --output-dir for several";
inline constexpr const char* kTextBadBatchJob = "cannot read the batch's job: {why}";
inline constexpr const char* kTextJobListUnended = "the job's list does not end with a NUL";
inline constexpr const char* kTextJobListEmpty = "the job's list names no input and output";

// The list of --files-from.
inline constexpr const char* kTextStandardInput = "standard input";
inline constexpr const char* kTextFilesFromUnreadable = "cannot read the list {list}: {why}";
inline constexpr const char* kTextFilesFromHoldsNul =
    "the list {list} holds NUL characters: give -0 for a list that find -print0 wrote";

// A process of a -j batch that ended without its result.
inline constexpr const char* kTextJobKilled = "zemconvert was killed by signal {signal} ({name}: {description})";
inline constexpr const char* kTextJobEnded = "zemconvert ended ({why})";

} // namespace zem::cli
