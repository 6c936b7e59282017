#include "TimeLeft.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zem::app {

void TimeLeftEstimate::StartRun() {
    m_previousEndMs = -1;
    m_overheadTotalMs = 0;
    m_overheadCount = 0;
    m_fileStartMs = -1;
    m_runRate = 0;
}

void TimeLeftEstimate::StartFile(int64_t length, int64_t nowMs) {
    if (m_fileStartMs >= 0 && m_firstDone >= 0)
        m_previousEndMs = m_lastMs;
    // A file too short to be measured on its own still tells the next ones
    // how fast this run goes.
    if (m_fileStartMs >= 0 && m_length > 0 && Rate() > 0)
        m_runRate = Rate();
    m_length = length;
    m_fileStartMs = nowMs;
    m_firstDone = -1;
    m_lastDone = 0;
    m_lastMs = nowMs;
}

void TimeLeftEstimate::Update(int64_t done, int64_t nowMs) {
    if (m_fileStartMs < 0)
        return;
    if (m_firstDone < 0) {
        // The graph has not delivered a picture until the position moves.
        if (done <= 0)
            return;
        m_firstDone = done;
        m_firstDoneMs = nowMs;
        if (m_previousEndMs >= 0) {
            m_overheadTotalMs += std::max<int64_t>(0, nowMs - m_previousEndMs);
            ++m_overheadCount;
            m_previousEndMs = -1;
        }
    }
    m_lastDone = std::max(m_lastDone, done);
    m_lastMs = nowMs;
}

double TimeLeftEstimate::Rate() const {
    if (m_firstDone < 0 || m_lastMs <= m_firstDoneMs || m_lastDone <= m_firstDone)
        return 0;
    return double(m_lastDone - m_firstDone) / double(m_lastMs - m_firstDoneMs);
}

bool TimeLeftEstimate::FileMeasured() const {
    return m_fileStartMs >= 0 && m_lastMs - m_fileStartMs >= m_delayMs && Rate() > 0;
}

double TimeLeftEstimate::EstimateRate() const {
    return FileMeasured() ? Rate() : m_runRate;
}

bool TimeLeftEstimate::Ready() const {
    return m_fileStartMs >= 0 && m_length > 0 && EstimateRate() > 0;
}

double TimeLeftEstimate::FileSecondsLeft() const {
    const double rate = EstimateRate();
    if (rate <= 0)
        return 0;
    return double(std::max<int64_t>(0, m_length - m_lastDone)) / rate / 1000.0;
}

double TimeLeftEstimate::RunSecondsLeft(int64_t laterLength, int laterFiles) const {
    const double rate = EstimateRate();
    if (rate <= 0)
        return 0;
    const double overheadMs = m_overheadCount > 0 ? double(m_overheadTotalMs) / m_overheadCount : 0.0;
    return FileSecondsLeft() + (double(std::max<int64_t>(0, laterLength)) / rate + overheadMs * laterFiles) / 1000.0;
}

std::string TimeLeftEstimate::Format(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace zem::app
