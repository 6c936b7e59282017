#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zem::fuzz {

namespace {

// The files this process made, by ending; removed when it ends.
std::map<std::string, std::string>& Made() {
    static std::map<std::string, std::string> made;
    return made;
}

void RemoveMade() {
    for (const auto& [ending, path] : Made())
        ::unlink(path.c_str());
}

// A new file of our own in the temporary folder: mkstemps never follows a
// name someone else put there first, as a fixed name would.
std::string MakeFile(const std::string& ending) {
    const char* base = std::getenv("TMPDIR");
    const std::string pattern = std::string(base && *base ? base : "/tmp") + "/zemfuzz-XXXXXX" + ending;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), int(ending.size()));
    if (fd < 0)
        std::abort(); // a fuzz run without its file tests nothing
    ::close(fd);
    if (Made().empty())
        std::atexit(RemoveMade);
    return Made()[ending] = name.data();
}

} // namespace

std::string WriteInput(const uint8_t* data, size_t size, const std::string& ending) {
    const auto known = Made().find(ending);
    const std::string path = known != Made().end() ? known->second : MakeFile(ending);
    // Rewritten in place, never created again: a link put in its place is refused.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid())
        std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += size_t(n);
    }
    ::close(fd);
    return path;
}

} // namespace zem::fuzz
