#include "ScratchFolder.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ConversionPaths.h"
#include "FileIo.h"

namespace zem {

namespace {

constexpr size_t kMaxClaimBytes = 4096;

// A descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool HasScratchPrefix(const char* name) {
    return std::strncmp(name, kScratchFolderPrefix, std::strlen(kScratchFolderPrefix)) == 0;
}

// Removes every plain entry of an open folder (scratch folders hold no folders).
void EmptyFolder(int folderFd) {
    const int listFd = ::dup(folderFd);
    if (listFd < 0)
        return;
    DIR* list = ::fdopendir(listFd);
    if (list == nullptr) {
        ::close(listFd);
        return;
    }
    ::rewinddir(list);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(list)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(list);
    for (const std::string& name : names)
        ::unlinkat(folderFd, name.c_str(), 0);
}

// The output a scratch folder claims, or empty when it claims none yet.
std::string ReadClaim(int folderFd) {
    Fd claim(::openat(folderFd, kScratchClaimName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (claim.get() < 0)
        return {};
    char text[kMaxClaimBytes];
    const ssize_t n = ::read(claim.get(), text, sizeof text);
    return n > 0 ? std::string(text, size_t(n)) : std::string();
}

struct ClaimTime {
    timespec when{};
    std::string folder;
    bool operator<(const ClaimTime& other) const {
        if (when.tv_sec != other.when.tv_sec)
            return when.tv_sec < other.when.tv_sec;
        if (when.tv_nsec != other.when.tv_nsec)
            return when.tv_nsec < other.when.tv_nsec;
        return folder < other.folder;
    }
};

bool ClaimTimeOf(int folderFd, const std::string& folder, ClaimTime& time) {
    struct stat st {};
    if (::fstatat(folderFd, kScratchClaimName, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    time.when = st.st_mtim;
    time.folder = folder;
    return true;
}

// Opens an entry of `parentFd` as one of our scratch folders, without
// following a link; -1 when it is anything else.
int OpenScratchEntry(int parentFd, const char* name, bool mineOnly) {
    if (!HasScratchPrefix(name))
        return -1;
    Fd fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode))
        return -1;
    if (mineOnly && st.st_uid != ::getuid())
        return -1;
    return fd.release();
}

// Whether a live conversion that claimed `output` before `mine` runs in the folder.
bool EarlierLiveClaim(int parentFd, const std::string& ownName, const std::string& output, const ClaimTime& mine) {
    const int listFd = ::dup(parentFd);
    if (listFd < 0)
        return false;
    DIR* list = ::fdopendir(listFd);
    if (list == nullptr) {
        ::close(listFd);
        return false;
    }
    ::rewinddir(list);
    bool busy = false;
    while (const dirent* entry = ::readdir(list)) {
        if (ownName == entry->d_name)
            continue;
        Fd other(OpenScratchEntry(parentFd, entry->d_name, false));
        if (other.get() < 0 || ReadClaim(other.get()) != output)
            continue;
        ClaimTime theirs;
        if (!ClaimTimeOf(other.get(), entry->d_name, theirs) || mine < theirs)
            continue;
        // Its owner holds the lock for as long as it runs.
        if (::flock(other.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            busy = true;
            break;
        }
    }
    ::closedir(list);
    return busy;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int RemoveDeadScratchFolders(const std::string& directory) {
    Fd parent(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0)
        return 0;
    const int listFd = ::dup(parent.get());
    DIR* list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (list == nullptr) {
        if (listFd >= 0)
            ::close(listFd);
        return 0;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(list)) {
        if (HasScratchPrefix(entry->d_name))
            names.emplace_back(entry->d_name);
    }
    ::closedir(list);

    int removed = 0;
    for (const std::string& name : names) {
        Fd folder(OpenScratchEntry(parent.get(), name.c_str(), true));
        if (folder.get() < 0 || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // not ours, or its owner still runs
        // A free lock on a folder that claims no output may belong to an
        // owner that has only just made it; only an old one is dead.
        struct stat st {};
        const bool claimed = ::fstatat(folder.get(), kScratchClaimName, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!claimed &&
            (::fstat(folder.get(), &st) != 0 || std::time(nullptr) - st.st_mtim.tv_sec < kUnclaimedScratchSeconds))
            continue;
        EmptyFolder(folder.get());
        if (::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) == 0)
            ++removed;
    }
    return removed;
}

std::unique_ptr<ScratchFolder> ScratchFolder::Create(const std::string& outputPath, Outcome& outcome,
                                                     std::string& error) {
    outcome = Outcome::Failed;
    const std::string directory = DirectoryOf(outputPath);
    const std::string output = BaseName(outputPath);
    RemoveDeadScratchFolders(directory);

    std::string pattern = (directory == "/" ? std::string() : directory) + "/" + kScratchFolderPrefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "Cannot make a scratch folder in " + directory + ": " + SystemErrorText(errno);
        return nullptr;
    }
    Fd fd(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX) != 0) {
        error = "Cannot open the scratch folder " + pattern + ": " + SystemErrorText(errno);
        ::rmdir(pattern.c_str());
        return nullptr;
    }
    auto folder = std::make_unique<ScratchFolder>(Key{}, pattern, fd.release());

    // The claim is written only after the lock is held: a folder with a claim
    // and a free lock has lost its owner.
    {
        Fd claim(::openat(folder->m_fd, kScratchClaimName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (claim.get() < 0 || ::write(claim.get(), output.data(), output.size()) != ssize_t(output.size())) {
            error = "Cannot write in the scratch folder " + pattern + ": " + SystemErrorText(errno);
            return nullptr;
        }
    }
    Fd parent(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ClaimTime mine;
    const std::string ownName = BaseName(pattern);
    if (parent.get() >= 0 && ClaimTimeOf(folder->m_fd, ownName, mine) &&
        EarlierLiveClaim(parent.get(), ownName, output, mine)) {
        outcome = Outcome::OutputBusy;
        error = "another conversion is writing " + outputPath;
        return nullptr;
    }
    outcome = Outcome::Made;
    return folder;
}

ScratchFolder::~ScratchFolder() {
    EmptyFolder(m_fd);
    ::rmdir(m_path.c_str());
    ::close(m_fd); // frees the lock last
}

} // namespace zem
