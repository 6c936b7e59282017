#pragma once
// Folders for tests: a fresh temporary one, one whose file system is full
// after a few kilobytes, and one nobody may write to.

#include <cstdint>
#include <string>
#include <vector>

namespace zem::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::string m_path;
};

// A folder on a small file system of `bytes` (a tmpfs mount where the test may
// mount, otherwise a file-size limit on this process, so writes past `bytes`
// fail either way with a "no space" or "too large" error).
class FullDiskDir {
public:
    explicit FullDiskDir(uint64_t bytes);
    ~FullDiskDir();
    FullDiskDir(const FullDiskDir&) = delete;
    FullDiskDir& operator=(const FullDiskDir&) = delete;
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    std::vector<std::string> entries() const { return m_dir.entries(); }
    bool mounted() const { return m_mounted; }

private:
    TempDir m_dir;
    bool m_mounted = false;
    bool m_limited = false;
    uint64_t m_oldLimit = 0;
};

// A folder in which no file can be created: a read-only mount for root (who
// ignores permission bits), mode 0555 for everyone else.
class ReadOnlyDir {
public:
    ReadOnlyDir();
    // With one file put into the folder before it is made read-only.
    ReadOnlyDir(const std::string& name, const std::vector<uint8_t>& content);
    ~ReadOnlyDir();
    ReadOnlyDir(const ReadOnlyDir&) = delete;
    ReadOnlyDir& operator=(const ReadOnlyDir&) = delete;
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    bool usable() const { return m_usable; }

private:
    TempDir m_dir;
    bool m_mounted = false;
    bool m_usable = false;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data);
bool PathExists(const std::string& path);
int64_t FileSizeOf(const std::string& path);

} // namespace zem::test
