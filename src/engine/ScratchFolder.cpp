#include "ScratchFolder.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ConversionPaths.h"
#include "EngineTexts.h"
#include "FileIo.h"

namespace zem {

namespace {

constexpr size_t kMaxClaimBytes = 4096;
constexpr int kNameAttempts = 100;
constexpr const char* kNameCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

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

// The names of an open folder's entries, "." and ".." left out.
std::vector<std::string> ListFolder(int folderFd) {
    std::vector<std::string> names;
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return names;
    DIR* list = ::fdopendir(listFd);
    if (list == nullptr) {
        ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(list)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(list);
    return names;
}

// The names the converter itself writes into its folder.
bool IsOwnScratchFileName(const std::string& name) {
    if (name == kScratchClaimName)
        return true;
    for (const char* ending :
         {kFramesExtension, kAudioExtension, kHeaderScratchExtension, kIndexScratchExtension, kChunkScratchExtension}) {
        if (name == std::string(kScratchBaseName) + ending)
            return true;
    }
    return false;
}

// Whether an open folder is provably one this user's converter made: its
// owner and mode, and nothing inside but our own plain files.
bool ProvablyOurs(int folderFd) {
    struct stat st {};
    if (::fstat(folderFd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 07777) != kScratchFolderMode)
        return false;
    for (const std::string& name : ListFolder(folderFd)) {
        struct stat entry {};
        if (!IsOwnScratchFileName(name) || ::fstatat(folderFd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(entry.st_mode))
            return false;
    }
    return true;
}

// Opens an entry of `parentFd` when it is provably one of this user's scratch
// folders, without following a link; -1 when it is anything else.
int OpenOwnScratchFolder(int parentFd, const std::string& name) {
    if (!IsScratchFolderName(name))
        return -1;
    Fd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || !ProvablyOurs(fd.get()))
        return -1;
    return fd.release();
}

// Removes the plain files of a folder that ProvablyOurs() accepted.
void EmptyFolder(int folderFd) {
    for (const std::string& name : ListFolder(folderFd)) {
        if (IsOwnScratchFileName(name))
            ::unlinkat(folderFd, name.c_str(), 0);
    }
}

// The output a scratch folder claims, or empty when it claims none yet.
std::string ReadClaim(int folderFd) {
    Fd claim(::openat(folderFd, kScratchClaimName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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

// Whether a live conversion of this user that claimed `output` before `mine`
// runs in the folder. Other users' folders, and lookalikes, claim nothing.
bool EarlierLiveClaim(int parentFd, const std::string& ownName, const std::string& output, const ClaimTime& mine) {
    for (const std::string& name : ListFolder(parentFd)) {
        if (name == ownName)
            continue;
        Fd other(OpenOwnScratchFolder(parentFd, name));
        if (other.get() < 0 || ReadClaim(other.get()) != output)
            continue;
        ClaimTime theirs;
        if (!ClaimTimeOf(other.get(), name, theirs) || mine < theirs)
            continue;
        // Its owner holds the lock for as long as it runs.
        if (::flock(other.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            return true;
    }
    return false;
}

int RemoveDeadScratchFoldersAt(int parentFd) {
    int removed = 0;
    for (const std::string& name : ListFolder(parentFd)) {
        Fd folder(OpenOwnScratchFolder(parentFd, name));
        if (folder.get() < 0 || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // not provably ours, or its owner still runs
        // A free lock on a folder that claims no output may belong to an
        // owner that has only just made it; only an old one is dead.
        struct stat st {};
        const bool claimed = ::fstatat(folder.get(), kScratchClaimName, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!claimed &&
            (::fstat(folder.get(), &st) != 0 || std::time(nullptr) - st.st_mtim.tv_sec < kUnclaimedScratchSeconds))
            continue;
        EmptyFolder(folder.get());
        if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0)
            ++removed;
    }
    return removed;
}

// mkdtemp relative to a folder's descriptor: a new folder of mode 0700 with a
// random name; its name, or empty with errno set.
std::string MakeFolderAt(int parentFd) {
    std::random_device entropy;
    std::mt19937_64 random((uint64_t(entropy()) << 32) ^ entropy() ^ uint64_t(::getpid()));
    const size_t choices = std::strlen(kNameCharacters);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = kScratchFolderPrefix;
        for (int i = 0; i < kScratchRandomChars; ++i)
            name += kNameCharacters[random() % choices];
        if (::mkdirat(parentFd, name.c_str(), kScratchFolderMode) == 0)
            return name;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool IsScratchFolderName(const std::string& name) {
    const size_t prefix = std::strlen(kScratchFolderPrefix);
    if (name.size() != prefix + kScratchRandomChars || name.compare(0, prefix, kScratchFolderPrefix) != 0)
        return false;
    for (size_t i = prefix; i < name.size(); ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

ScratchFolder::ScratchFolder(Key, std::string directory, std::string name, int parentFd, int fd)
    : m_directory(std::move(directory)),
      m_name(std::move(name)),
      m_path((m_directory == "/" ? std::string() : m_directory) + "/" + m_name),
      m_reach("/proc/self/fd/" + std::to_string(fd)),
      m_parentFd(parentFd),
      m_fd(fd) {
    struct stat st {};
    if (::fstat(m_parentFd, &st) == 0) {
        m_parentDevice = st.st_dev;
        m_parentInode = st.st_ino;
    }
}

std::unique_ptr<ScratchFolder> ScratchFolder::Create(const std::string& outputPath, Outcome& outcome, UserText& error) {
    outcome = Outcome::Failed;
    const std::string directory = DirectoryOf(outputPath);
    const std::string output = BaseName(outputPath);
    Fd parent(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0) {
        error = UserText(kTextCannotOpenOutputFolder).With("folder", directory).With("why", SystemErrorText(errno));
        return nullptr;
    }
    RemoveDeadScratchFoldersAt(parent.get());

    const std::string name = MakeFolderAt(parent.get());
    if (name.empty()) {
        error = UserText(kTextCannotMakeScratch).With("folder", directory).With("why", SystemErrorText(errno));
        return nullptr;
    }
    const std::string shown = (directory == "/" ? std::string() : directory) + "/" + name;
    Fd fd(::openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // The mode is exact whatever the umask: the cleanup proves the folder ours by it.
    if (fd.get() < 0 || ::fchmod(fd.get(), kScratchFolderMode) != 0 || ::flock(fd.get(), LOCK_EX) != 0) {
        error = UserText(kTextCannotOpenScratch).With("folder", shown).With("why", SystemErrorText(errno));
        ::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR);
        return nullptr;
    }
    auto folder = std::make_unique<ScratchFolder>(Key{}, directory, name, parent.release(), fd.release());

    // The claim is written only after the lock is held: a folder with a claim
    // and a free lock has lost its owner.
    {
        Fd claim(::openat(folder->m_fd, kScratchClaimName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (claim.get() < 0 || ::write(claim.get(), output.data(), output.size()) != ssize_t(output.size())) {
            error = UserText(kTextCannotWriteScratch).With("folder", shown).With("why", SystemErrorText(errno));
            return nullptr;
        }
    }
    ClaimTime mine;
    if (ClaimTimeOf(folder->m_fd, name, mine) && EarlierLiveClaim(folder->m_parentFd, name, output, mine)) {
        outcome = Outcome::OutputBusy;
        error = UserText(kTextOutputBusy).With("file", outputPath);
        return nullptr;
    }
    outcome = Outcome::Made;
    return folder;
}

bool ScratchFolder::OutputFolderUnchanged(UserText& error) const {
    struct stat now {};
    if (::stat(m_directory.c_str(), &now) != 0) {
        error = UserText(kTextOutputFolderGone).With("folder", m_directory).With("why", SystemErrorText(errno));
        return false;
    }
    if (now.st_dev != m_parentDevice || now.st_ino != m_parentInode) {
        error = UserText(kTextOutputFolderReplaced).With("folder", m_directory);
        return false;
    }
    return true;
}

bool ScratchFolder::Place(const std::string& from, const std::string& to, UserText& error) const {
    if (!OutputFolderUnchanged(error))
        return false;
    if (::renameat(m_fd, BaseName(from).c_str(), m_parentFd, BaseName(to).c_str()) != 0) {
        error = UserText(kTextFileCannotCreate).With("file", to).With("why", SystemErrorText(errno));
        return false;
    }
    // The new name is on disk too, not only the data.
    if (::fsync(m_parentFd) != 0) {
        error = UserText(kTextCannotSync).With("file", to).With("why", SystemErrorText(errno));
        return false;
    }
    return true;
}

ScratchFolder::~ScratchFolder() {
    EmptyFolder(m_fd);
    ::unlinkat(m_parentFd, m_name.c_str(), AT_REMOVEDIR);
    ::close(m_fd); // frees the lock last
    ::close(m_parentFd);
}

} // namespace zem
