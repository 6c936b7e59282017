#include "FileIo.h"
#include "EngineTexts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zem {

namespace {
constexpr mode_t kNewFileMode = 0644;
constexpr size_t kFifoReadBytes = 64 * 1024;
} // namespace

std::string SystemErrorText(int error) {
    return std::strerror(error);
}

File::~File() {
    if (m_fd >= 0)
        ::close(m_fd);
}

File::File(File&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_errorText(std::move(other.m_errorText)) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        m_errorText = std::move(other.m_errorText);
        other.m_fd = -1;
    }
    return *this;
}

bool File::Fail(const char* wording) {
    const int error = errno;
    m_errorText = UserText(wording).With("file", ShownPath(m_path)).With("why", SystemErrorText(error));
    errno = error;
    return false;
}

std::string ShownPath(const std::string& path) {
    constexpr std::string_view kReach = "/proc/self/fd/";
    if (path.compare(0, kReach.size(), kReach) != 0)
        return path;
    const size_t slash = path.find('/', kReach.size());
    const std::string link = path.substr(0, slash);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return path;
    return std::string(target, size_t(n)) + (slash == std::string::npos ? std::string() : path.substr(slash));
}

bool File::Open(const std::string& path, Mode mode) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_path = path;
    m_errorText = UserText();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::CreateReadWrite:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case Mode::CreateWrite:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case Mode::CreateExclusive:
        flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    }
    do {
        m_fd = ::open(path.c_str(), flags, kNewFileMode);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        return Fail(mode == Mode::Read || mode == Mode::ReadWrite ? kTextFileCannotOpen : kTextFileCannotCreate);
    return true;
}

// Offsets below zero mean "at the file's position".
bool File::WriteSome(const void* data, size_t size, int64_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(m_fd, p, size) : ::pwrite(m_fd, p, size, off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(kTextFileCannotWrite);
        }
        if (n == 0) {
            errno = ENOSPC;
            return Fail(kTextFileCannotWrite);
        }
        p += n;
        size -= size_t(n);
        if (offset >= 0)
            offset += n;
    }
    return true;
}

int64_t File::ReadSome(void* data, size_t size, int64_t offset) {
    auto* p = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = offset < 0 ? ::read(m_fd, p + done, size - done)
                                     : ::pread(m_fd, p + done, size - done, off_t(offset + int64_t(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(kTextFileCannotRead);
            return -1;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return int64_t(done);
}

bool File::Write(const void* data, size_t size) {
    return WriteSome(data, size, -1);
}
bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
    return WriteSome(data, size, int64_t(offset));
}
int64_t File::Read(void* data, size_t size) {
    return ReadSome(data, size, -1);
}
int64_t File::ReadAt(uint64_t offset, void* data, size_t size) {
    return ReadSome(data, size, int64_t(offset));
}

bool File::Seek(uint64_t offset) {
    if (::lseek(m_fd, off_t(offset), SEEK_SET) < 0)
        return Fail(kTextFileCannotSeek);
    return true;
}

bool File::Truncate(uint64_t length) {
    if (::ftruncate(m_fd, off_t(length)) != 0)
        return Fail(kTextFileCannotShorten);
    return true;
}

int64_t File::Size() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        Fail(kTextFileCannotSize);
        return -1;
    }
    return int64_t(st.st_size);
}

bool File::CopyFrom(File& from, uint64_t offset, uint64_t length, uint64_t& copied) {
    copied = 0;
    loff_t in = loff_t(offset);
    while (copied < length) {
        const ssize_t n = ::copy_file_range(from.m_fd, &in, m_fd, nullptr, size_t(length - copied), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)
                return false;
            return Fail(kTextFileCannotWrite);
        }
        if (n == 0) {
            m_errorText = UserText(kTextUnexpectedEnd).With("file", from.m_path);
            return false;
        }
        copied += uint64_t(n);
    }
    return true;
}

bool File::Sync() {
    if (m_fd >= 0 && ::fsync(m_fd) != 0)
        return Fail(kTextFileCannotWrite);
    return true;
}

bool File::Close() {
    if (m_fd < 0)
        return true;
    const int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0 && errno != EINTR)
        return Fail(kTextFileCannotWrite);
    return true;
}

BufferedWriter::BufferedWriter(File& file, size_t capacity) : m_file(file), m_buffer(capacity) {}

bool BufferedWriter::Write(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (m_used + size > m_buffer.size()) {
        if (!Flush())
            return false;
        if (size >= m_buffer.size())
            return m_file.Write(p, size);
    }
    std::memcpy(m_buffer.data() + m_used, p, size);
    m_used += size;
    return true;
}

bool BufferedWriter::Flush() {
    if (m_used == 0)
        return true;
    const bool ok = m_file.Write(m_buffer.data(), m_used);
    m_used = 0;
    return ok;
}

BufferedReader::BufferedReader(File& file, size_t capacity, uint64_t startOffset)
    : m_file(file), m_buffer(capacity), m_position(startOffset), m_fileOffset(startOffset) {}

int64_t BufferedReader::Read(void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        if (m_begin == m_end) {
            if (size - done >= m_buffer.size()) {
                // Large reads go straight to the caller's buffer.
                const int64_t n = m_file.ReadAt(m_fileOffset, p + done, size - done);
                if (n < 0)
                    return -1;
                m_fileOffset += uint64_t(n);
                m_position += uint64_t(n);
                done += size_t(n);
                break;
            }
            const int64_t n = m_file.ReadAt(m_fileOffset, m_buffer.data(), m_buffer.size());
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            m_fileOffset += uint64_t(n);
            m_begin = 0;
            m_end = size_t(n);
        }
        const size_t take = std::min(size - done, m_end - m_begin);
        std::memcpy(p + done, m_buffer.data() + m_begin, take);
        m_begin += take;
        done += take;
        m_position += take;
    }
    return int64_t(done);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool RenameFile(const std::string& from, const std::string& to, UserText& error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = UserText(kTextFileCannotCreate).With("file", to).With("why", SystemErrorText(errno));
        return false;
    }
    const auto slash = to.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : to.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (!synced)
        error = UserText(kTextCannotSync).With("file", to).With("why", SystemErrorText(errno));
    if (fd >= 0)
        ::close(fd);
    return synced;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool ReadWholeDescriptor(int fd, uint64_t limit, std::string& contents, UserText& error) {
    contents.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = UserText(SystemErrorText(errno));
            return false;
        }
        if (got == 0)
            return true;
        if (contents.size() + size_t(got) > limit) {
            error = UserText(kTextLargerThan).With("size", std::to_string(limit >> 20));
            contents.clear();
            return false;
        }
        contents.append(buffer, size_t(got));
    }
}

namespace {
// Reads a FIFO opened without waiting until its writer closes it: waits for
// data without holding a second descriptor; a signal ends the wait.
bool ReadFifo(int fd, uint64_t limit, std::string& contents, UserText& error) {
    char buffer[kFifoReadBytes];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, -1) < 0) {
            error = UserText(SystemErrorText(errno));
            return false;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            error = UserText(SystemErrorText(errno));
            return false;
        }
        if (contents.size() + uint64_t(got) > limit) {
            error = UserText(kTextLargerThan).With("size", std::to_string(limit >> 20));
            return false;
        }
        contents.append(buffer, size_t(got));
    }
}
} // namespace

bool ReadWholeFile(const std::string& path, uint64_t limit, bool pipeToo, std::string& contents, UserText& error) {
    contents.clear();
    // Opened without waiting: a FIFO without a writer must not hold us here.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = UserText(SystemErrorText(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = UserText(SystemErrorText(errno));
        ::close(fd);
        return false;
    }
    const bool pipe = S_ISFIFO(st.st_mode);
    if (!S_ISREG(st.st_mode) && !(pipeToo && pipe)) {
        ::close(fd);
        error = S_ISDIR(st.st_mode) ? kTextItIsAFolder : kTextItIsNotAFile;
        return false;
    }
    if (S_ISREG(st.st_mode) && uint64_t(st.st_size) > limit) {
        ::close(fd);
        error = UserText(kTextLargerThan).With("size", std::to_string(limit >> 20));
        return false;
    }
    if (pipe) {
        // A FIFO the caller asked for is read through this one descriptor: a
        // writer already waiting in its open goes on now, and closing and
        // opening again would let it go with its list unread.
        const bool read = ReadFifo(fd, limit, contents, error);
        ::close(fd);
        return read;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const bool read = ReadWholeDescriptor(fd, limit, contents, error);
    ::close(fd);
    return read;
}

} // namespace zem
