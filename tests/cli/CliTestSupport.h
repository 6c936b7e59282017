#pragma once
// Running zemconvert as a user would, and looking at what it left.

#include <cstdint>
#include <string>
#include <vector>

namespace zem::test {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path);

// Whether this build (and the converter it starts) runs under a sanitizer
// that reserves terabytes of address space for its shadow at start.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizerShadow = true;
#else
inline constexpr bool kSanitizerShadow = false;
#endif

struct RunOptions {
    long long fileSizeLimit = -1; // RLIMIT_FSIZE for the converter, bytes
    int uid = -1;                 // run as this user (and group) when root
    int timeoutSeconds = 0;       // killed (SIGALRM) after this long; 0: no limit
    long long memoryLimit = -1;   // RLIMIT_AS for the converter, bytes (none under a sanitizer)
    std::string stdinFile;        // standard input read from this file (empty: the test's own)
};

// Runs zemconvert with `args`, standard output and error caught in files in
// `scratch`; the exit code is 128 + n when signal n ended it.
Outcome RunZemconvert(const std::vector<std::string>& args, const std::string& scratch, const RunOptions& options = {});

// Starts zemconvert with `args` and its output thrown away (or written to
// `logFile`, standard output and error together); the caller waits.
int StartZemconvert(const std::vector<std::string>& args, const std::string& logFile = {});

// The ffmpeg tool decodes the whole file; anything it complains about is returned.
std::string DecodeComplaints(const std::string& path);

// The n-th picture of an output, decoded by ffmpeg to RGB rows (empty when
// it cannot be read or has another size).
std::vector<uint8_t> DecodePicture(const std::string& avi, int index, int width, int height);

// Names in a folder, sorted, hidden ones included.
std::vector<std::string> Entries(const std::string& dir);

// The size of the frames file a running conversion writes in its scratch
// folder inside `outputDir`; -1 while there is none.
long long ScratchFramesSize(const std::string& outputDir);

// Waits (up to `seconds`) until the frames file in `outputDir` has `bytes`.
bool WaitForFrames(const std::string& outputDir, long long bytes, int seconds = 60);

// Size of the scratch file the muxer writes the movie data into; -1 while
// there is none.
long long ScratchMovieSize(const std::string& outputDir);

// What became of a conversion given a second signal while the output of
// the first was being written.
struct SecondSignal {
    bool caughtWriting = false; // frozen with the movie data half written or less
    std::string why;            // when it was not
    long long framesBytes = 0;  // pictures the stopped job had taken
    long long movieBytes = 0;   // movie data written when the second signal went
    bool exited = false;        // the process ended within the bound
    int exitCode = -1;          // its exit status, or 128 + the signal
};

// Sends `first` to the conversion `pid` (a child of this process) writing
// into `outputDir`, waits until the stopped job's output is being written,
// freezes the process there (SIGSTOP) to send `second`, lets it go on and
// waits up to `boundSeconds` for it to end (then kills it). The writing is
// short: a caller tries again when it was not caught (`why` says so).
SecondSignal StopThenSignalWhileWriting(int pid, const std::string& outputDir, int first, int second, int boundSeconds);

} // namespace zem::test
