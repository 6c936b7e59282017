#include "CliTestSupport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zem::test {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

namespace {
[[noreturn]] void ExecZemconvert(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(ZEMCONVERT_PATH)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(ZEMCONVERT_PATH, argv.data());
    ::_exit(127);
}
} // namespace

Outcome RunZemconvert(const std::vector<std::string>& args, const std::string& scratch, const RunOptions& options) {
    const std::string outFile = scratch + "/stdout.txt";
    const std::string errFile = scratch + "/stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!options.stdinFile.empty()) {
            const int in = ::open(options.stdinFile.c_str(), O_RDONLY);
            if (in < 0 || ::dup2(in, 0) < 0)
                ::_exit(125);
        }
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.uid >= 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(options.uid) != 0 || ::setuid(options.uid) != 0))
            ::_exit(126);
        // Under a limit on its address space a sanitized converter could not start at all.
        if (options.memoryLimit >= 0 && !kSanitizerShadow) {
            const rlimit limit{rlim_t(options.memoryLimit), rlim_t(options.memoryLimit)};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        if (options.timeoutSeconds > 0)
            ::alarm(unsigned(options.timeoutSeconds));
        ExecZemconvert(args);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome o;
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.out = Slurp(outFile);
    o.err = Slurp(errFile);
    ::unlink(outFile.c_str());
    ::unlink(errFile.c_str());
    return o;
}

int StartZemconvert(const std::vector<std::string>& args, const std::string& logFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = logFile.empty() ? ::open("/dev/null", O_WRONLY)
                                            : ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ExecZemconvert(args);
    }
    return pid;
}

std::string DecodeComplaints(const std::string& path) {
    const std::string err = path + ".decode.txt";
    const std::string command = "ffmpeg -v error -i '" + path + "' -f null - 2> '" + err + "'";
    const int rc = std::system(command.c_str());
    std::string text = Slurp(err);
    ::unlink(err.c_str());
    if (rc != 0 && text.empty())
        text = "ffmpeg exited with " + std::to_string(rc);
    return text;
}

std::vector<uint8_t> DecodePicture(const std::string& avi, int index, int width, int height) {
    const std::string raw = avi + ".frame.rgb";
    const std::string command = "ffmpeg -v error -i '" + avi + "' -vf 'select=eq(n\\," + std::to_string(index) +
                                ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -y '" + raw + "'";
    std::vector<uint8_t> pixels;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(raw, std::ios::binary);
        pixels.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ::unlink(raw.c_str());
    if (pixels.size() != size_t(width) * height * 3)
        pixels.clear();
    return pixels;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
constexpr int kLowestPriority = 19;

// The size of `file` in the scratch folder inside `outputDir`, or -1.
long long ScratchFileSize(const std::string& outputDir, const char* file) {
    for (const std::string& name : Entries(outputDir)) {
        if (name.rfind(".ZemConverter-", 0) != 0)
            continue;
        std::error_code ec;
        const auto size = fs::file_size(fs::path(outputDir) / name / file, ec);
        if (!ec)
            return static_cast<long long>(size);
    }
    return -1;
}
} // namespace

long long ScratchFramesSize(const std::string& outputDir) {
    return ScratchFileSize(outputDir, "scratch.tmp");
}

long long ScratchMovieSize(const std::string& outputDir) {
    return ScratchFileSize(outputDir, "scratch.zem");
}

bool WaitForFrames(const std::string& outputDir, long long bytes, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (ScratchFramesSize(outputDir) < bytes) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

SecondSignal StopThenSignalWhileWriting(int pid, const std::string& outputDir, int first, int second,
                                        int boundSeconds) {
    using Clock = std::chrono::steady_clock;
    SecondSignal result;
    // The converter yields the processor to this watcher on a busy machine.
    ::setpriority(PRIO_PROCESS, id_t(pid), kLowestPriority);
    ::kill(pid, first);
    // The muxer creates the movie file when it starts (after the graph is
    // down) and fills it a megabyte at a time: it is looked for without pause.
    const auto seen = Clock::now() + std::chrono::seconds(60);
    long long movie = -1;
    while ((movie = ScratchMovieSize(outputDir)) < 0 && Clock::now() < seen)
        std::this_thread::yield();
    result.framesBytes = ScratchFramesSize(outputDir);
    ::kill(pid, SIGSTOP);
    int status = 0;
    const bool stopped = ::waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status);
    if (!stopped) {
        result.why = "the converter ended before the second signal";
        result.exited = WIFEXITED(status) || WIFSIGNALED(status);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }
    // Frozen: what is on disk now is what the muxer had written.
    result.movieBytes = ScratchMovieSize(outputDir);
    if (movie < 0) {
        result.why = "no movie file appeared within a minute of the first signal";
    } else if (result.movieBytes < 0 || result.framesBytes <= 0 || result.movieBytes * 2 > result.framesBytes) {
        result.why = "writing was too far on when seen (" + std::to_string(result.movieBytes) + " of about " +
                     std::to_string(result.framesBytes) + " bytes): a longer stretch of film is needed";
    } else {
        result.caughtWriting = true;
    }
    ::kill(pid, second);
    ::kill(pid, SIGCONT);
    const auto bound = Clock::now() + std::chrono::seconds(boundSeconds);
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (Clock::now() > bound) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.exited = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace zem::test
