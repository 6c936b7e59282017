// The list's time cells: any text read as a time is a time from the start,
// and written as a cell reads back the same.

#include <QString>

#include "DlgConstants.h"
#include "FuzzSupport.h"
#include "TimeCells.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const int64_t start = zem::app::TimeCellValue(text, false);
    const int64_t end = zem::app::TimeCellValue(text, true);
    // An empty cell is no time at all, an end included.
    const int64_t extra = text.isEmpty() ? 0 : zem::app::kEndCellExtra;
    if (start < 0 || start > zem::app::kMaxCellMinutes * 60 * 1000 * zem::app::kUnitsPerMs || end != start + extra)
        __builtin_trap();
    if (zem::app::TimeCellValue(zem::app::FormatTimeCell(start, true), false) != start)
        __builtin_trap();
    return 0;
}
