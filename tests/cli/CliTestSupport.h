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

struct RunOptions {
    long long fileSizeLimit = -1; // RLIMIT_FSIZE for the converter, bytes
    int uid = -1;                 // run as this user (and group) when root
    std::string stdinFile;        // standard input read from this file (empty: the test's own)
};

// Runs zemconvert with `args`, standard output and error caught in files in
// `scratch`; the exit code is 128 + n when signal n ended it.
Outcome RunZemconvert(const std::vector<std::string>& args, const std::string& scratch, const RunOptions& options = {});

// Starts zemconvert with `args` and its output thrown away; the caller waits.
int StartZemconvert(const std::vector<std::string>& args);

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

} // namespace zem::test
