#include "TimeCells.h"

#include "DlgConstants.h"

#include <algorithm>

namespace zem::app {

namespace {

// Digits a part of a cell may have; more are no time the window wrote.
constexpr int kMaxPartDigits = 9;

} // namespace

QString FormatTimeCell(int64_t time, bool withMilliseconds) {
    const int64_t ms = time / kUnitsPerMs;
    const int64_t s = ms / 1000;
    if (withMilliseconds)
        return QString::asprintf("%02lld:%02lld.%03lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60),
                                 static_cast<long long>(ms % 1000));
    return QString::asprintf("%02lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
}

int64_t TimeCellValue(const QString& text, bool isEnd) {
    if (text.isEmpty())
        return 0;
    // Minutes, seconds and milliseconds, each ended by the next one's mark.
    int64_t parts[3] = {0, 0, 0};
    constexpr char kMarks[2] = {':', '.'};
    const QByteArray latin = text.toLatin1();
    const char* at = latin.constData();
    for (int part = 0; part < 3; ++part) {
        int digits = 0;
        int64_t value = 0;
        for (; *at >= '0' && *at <= '9'; ++at) {
            if (++digits > kMaxPartDigits)
                return isEnd ? kEndCellExtra : 0;
            value = value * 10 + (*at - '0');
        }
        if (digits == 0)
            break;
        parts[part] = value;
        if (part == 2 || *at != kMarks[part])
            break;
        ++at;
    }
    const int64_t ms = std::min((parts[0] * 60 + parts[1]) * 1000 + parts[2], kMaxCellMinutes * 60 * 1000);
    return ms * kUnitsPerMs + (isEnd ? kEndCellExtra : 0);
}

} // namespace zem::app
