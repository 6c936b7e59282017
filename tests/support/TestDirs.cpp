#include "TestDirs.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zem::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zemtest.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr)
        m_path = buffer.data();
}

TempDir::~TempDir() {
    if (m_path.empty())
        return;
    ::chmod(m_path.c_str(), 0755);
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_path, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

FullDiskDir::FullDiskDir(uint64_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    if (::geteuid() == 0 && ::mount("tmpfs", m_dir.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
        m_mounted = true;
        return;
    }
    // Without a mount: writes beyond `bytes` fail with EFBIG instead of ENOSPC.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_oldLimit = limit.rlim_cur;
    limit.rlim_cur = bytes;
    m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FullDiskDir::~FullDiskDir() {
    if (m_mounted)
        ::umount2(m_dir.path().c_str(), MNT_DETACH);
    if (m_limited) {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = m_oldLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
}

ReadOnlyDir::ReadOnlyDir() {
    if (::geteuid() == 0) {
        // Root ignores permission bits: only a read-only file system stops it.
        m_mounted = ::mount("tmpfs", m_dir.path().c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
        m_usable = m_mounted;
    } else {
        m_usable = ::chmod(m_dir.path().c_str(), 0555) == 0;
    }
}

ReadOnlyDir::~ReadOnlyDir() {
    if (m_mounted)
        ::umount2(m_dir.path().c_str(), MNT_DETACH);
}

ReadOnlyDir::ReadOnlyDir(const std::string& name, const std::vector<uint8_t>& content) : ReadOnlyDir() {
    if (!m_usable)
        return;
    if (m_mounted) {
        // Remount writable for a moment to put the file there.
        ::mount(nullptr, path().c_str(), nullptr, MS_REMOUNT, "size=64k");
        WriteWholeFile(file(name), content);
        m_usable = ::mount(nullptr, path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    } else {
        ::chmod(path().c_str(), 0755);
        WriteWholeFile(file(name), content);
        m_usable = ::chmod(path().c_str(), 0555) == 0;
    }
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return bool(out);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

} // namespace zem::test
