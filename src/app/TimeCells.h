#pragma once
// The list's time cells ("Start", "End", "Time") as text: "mm:ss" and
// "mm:ss.mmm", minutes in as many digits as they need.

#include <QString>

#include <cstdint>

namespace zem::app {

// Times past this many minutes read as this many: no film lasts so long, and
// every value read stays far inside what a 100-ns count holds.
inline constexpr int64_t kMaxCellMinutes = 99999;

// `time` (100-ns units) as a cell shows it.
QString FormatTimeCell(int64_t time, bool withMilliseconds);

// The time in a cell (100-ns units): "mm:ss.mmm", "mm:ss" or "mm", parts left
// out read as 0; anything else as 0. An end covers its whole last millisecond.
int64_t TimeCellValue(const QString& text, bool isEnd);

} // namespace zem::app
