#pragma once
// Small RAII wrappers over POSIX files that report every failure with the
// path and the system's reason, so a full disk never goes unnoticed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "UserText.h"

namespace zem {

class File {
public:
    // CreateExclusive makes a new file, read and write, and fails when the
    // name exists in any form (a file, a link, a folder): what the program
    // writes is never opened through a name someone else could have planted.
    enum class Mode { Read, ReadWrite, CreateReadWrite, CreateWrite, CreateExclusive };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Create modes empty an existing file. Returns false and keeps the reason.
    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }

    // Writes all `size` bytes or fails.
    bool Write(const void* data, size_t size);
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    // Reads up to `size` bytes, fewer only at the end of the file; -1 on error.
    int64_t Read(void* data, size_t size);
    int64_t ReadAt(uint64_t offset, void* data, size_t size);
    bool Seek(uint64_t offset);
    bool Truncate(uint64_t length);
    int64_t Size();
    // Appends `length` bytes of `from`, starting at `offset`, at this file's
    // position, inside the kernel. Returns false with no Error() when the
    // kernel cannot do it for these files (the caller copies the rest,
    // `copied` says how much is done), and false with Error() on a real failure.
    bool CopyFrom(File& from, uint64_t offset, uint64_t length, uint64_t& copied);
    // Flushes what was written to the disk itself, so a power cut after a
    // rename finds the data under the new name.
    bool Sync();
    // Closing can report a late write failure (a full disk on some file systems).
    bool Close();

    // "Cannot write /x/y.zem: No space left on device"
    std::string Error() const { return m_errorText.English(); }
    // The same, in wordings the window translates.
    const UserText& ErrorText() const { return m_errorText; }

private:
    // `wording` names the file as {file} and the system's reason as {why}.
    bool Fail(const char* wording);
    bool WriteSome(const void* data, size_t size, int64_t offset);
    int64_t ReadSome(void* data, size_t size, int64_t offset);

    int m_fd = -1;
    std::string m_path;
    UserText m_errorText;
};

// Collects small writes into large ones.
class BufferedWriter {
public:
    BufferedWriter(File& file, size_t capacity);
    bool Write(const void* data, size_t size);
    bool Flush();

private:
    File& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
};

// Serves small reads from large ones and knows how far the caller has read.
class BufferedReader {
public:
    BufferedReader(File& file, size_t capacity, uint64_t startOffset);
    // Up to `size` bytes, fewer only at the end of the file; -1 on error.
    int64_t Read(void* data, size_t size);
    // The offset just after the last byte handed to the caller.
    uint64_t Position() const { return m_position; }

private:
    File& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;
    uint64_t m_position;
    uint64_t m_fileOffset;
};

bool RemoveFile(const std::string& path);
// Gives `from` the name `to` (replacing a file or a link there, never writing
// through it) and flushes the folder of `to` to disk; false with "Cannot
// create TO: reason" in `error`.
bool RenameFile(const std::string& from, const std::string& to, UserText& error);
// A path for messages: one that reaches a folder through a descriptor
// ("/proc/self/fd/N/name") is shown by the folder's own name.
std::string ShownPath(const std::string& path);
bool FileExists(const std::string& path);
std::string SystemErrorText(int error);

// The most a list or a saved file of the program is read into memory.
inline constexpr uint64_t kMaxReadWholeBytes = 64ull << 20;

// Reads all of `path` into `contents` when it is a regular file (with
// `pipeToo`, also a FIFO or a pipe such as /dev/fd/N) of at most `limit`
// bytes. A device, folder or socket is refused without being read, so
// /dev/zero cannot fill the memory and an idle FIFO cannot hold the caller.
// False with the reason in words in `error` ("it is not a regular file").
bool ReadWholeFile(const std::string& path, uint64_t limit, bool pipeToo, std::string& contents, UserText& error);
// The same for an open descriptor (standard input), read to its end.
bool ReadWholeDescriptor(int fd, uint64_t limit, std::string& contents, UserText& error);

} // namespace zem
