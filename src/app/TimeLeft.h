#pragma once
// How long a conversion still takes, from how fast it has gone so far. Pure
// arithmetic on times the caller hands in, so it can be checked without
// waiting for a real conversion.

#include <cstdint>
#include <string>

namespace zem::app {

class TimeLeftEstimate {
public:
    explicit TimeLeftEstimate(int64_t delayMs) : m_delayMs(delayMs) {}
    void SetDelay(int64_t delayMs) { m_delayMs = delayMs; }

    // A new run of files (the overhead between files is measured again).
    void StartRun();
    // The next file starts converting: `length` of media (100 ns units).
    void StartFile(int64_t length, int64_t nowMs);
    // How far the current file has got (100 ns units from its start).
    void Update(int64_t done, int64_t nowMs);

    // Whether there is a speed to go by: the current file's, once it has run
    // long enough to be measured, or else that of an earlier file of the run.
    bool Ready() const;
    // Seconds left for the current file.
    double FileSecondsLeft() const;
    // Seconds left for the current file and `laterFiles` more after it,
    // `laterLength` of media in all.
    double RunSecondsLeft(int64_t laterLength, int laterFiles) const;

    // "0:42", "12:05", "1:02:09".
    static std::string Format(double seconds);

private:
    // Media converted per millisecond of wall time, measured from the first
    // progress the file reported; 0 before there is any.
    double Rate() const;
    bool FileMeasured() const;
    double EstimateRate() const;

    int64_t m_delayMs;
    int64_t m_length = 0;
    int64_t m_fileStartMs = -1;
    // The first progress seen in this file and the latest.
    int64_t m_firstDone = -1;
    int64_t m_firstDoneMs = 0;
    int64_t m_lastDone = 0;
    int64_t m_lastMs = 0;
    // Between one file's last progress and the next one's first: writing the
    // output, opening the next file.
    int64_t m_previousEndMs = -1;
    int64_t m_overheadTotalMs = 0;
    int m_overheadCount = 0;
    // The speed of the run's last measured file.
    double m_runRate = 0;
};

} // namespace zem::app
