#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace zem::fuzz {

std::string WriteInput(const uint8_t* data, size_t size, const std::string& ending) {
    const char* base = std::getenv("TMPDIR");
    const std::string path =
        std::string(base && *base ? base : "/tmp") + "/zemfuzz-" + std::to_string(::getpid()) + "-input" + ending;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort(); // a fuzz run without its file tests nothing
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
