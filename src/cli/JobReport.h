#pragma once
// What zemconvert says about each input on standard output: as text
// ("Input:", "Output:", "Warning:", "Status:" lines, in the user's language)
// or, with --json, as one JSON object a line for each start, progress step,
// warning and result, always in English.
//
//   {"event":"start","input":"a.mp4","output":"a_ZM.avi"}
//   {"event":"progress","input":"a.mp4","percent":40}
//   {"event":"warning","input":"a.mp4","text":"..."}
//   {"event":"result","input":"a.mp4","output":"a_ZM.avi","status":"completed",
//    "frames":160,"size":1234944,"duration":10.0,"code":0,"text":""}
//
// "status" is "completed", "stopped" (what was converted is written) or
// "failed" (nothing written: frames and size 0, code and text say why).

#include <cstdint>
#include <string>
#include <vector>

#include "FailureCodes.h"
#include "UserText.h"

namespace zem::cli {

struct JobReport {
    enum class Outcome { Completed, Stopped, Failed };
    Outcome outcome = Outcome::Failed;
    FailureCode code = FailureCode::None; // the failure code when failed
    UserText message;               // why it failed, stopped or was cut; may be empty
    std::vector<UserText> warnings; // printed before the status
    uint32_t frames = 0;            // pictures in the output
    uint64_t bytes = 0;             // size of the output
};

class ReportWriter {
public:
    explicit ReportWriter(bool json) : m_json(json) {}

    void Start(const std::string& input, const std::string& output) const;
    void Progress(const std::string& input, int percent) const;
    void Finish(const std::string& input, const std::string& output, const JobReport& report) const;

private:
    bool m_json;
};

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 become
// the escapes \udc80 to \udcff, so a file name that is no text still reads
// back to its bytes (Python's "surrogateescape").
std::string JsonString(const std::string& text);

// `text` with its control characters (below 0x20, and DEL) shown as "\xHH",
// for a line written to a terminal.
std::string TerminalSafe(const std::string& text);

// The percent of a progress line of --json; -1 when `line` is none.
int JsonProgressPercent(const std::string& line);

// Whether `line` is the result line of --json.
bool IsJsonResult(const std::string& line);
// Whether `line` is the start line of --json.
bool IsJsonStart(const std::string& line);

// The labels of the text report's first and last lines (in the user's language).
inline constexpr const char* kTextInputLabel = "Input:";
inline constexpr const char* kTextStatusLabel = "Status:";

} // namespace zem::cli
