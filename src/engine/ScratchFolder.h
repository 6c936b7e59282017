#pragma once
// A conversion's private folder for its intermediate files.
//
// It is made (mode 0700, a random six-character name like mkdtemp's) in the
// output's folder, so the finished output reaches its name by a rename inside
// one file system and nobody else can plant or read anything in it. The run
// holds a descriptor of the output's folder from the start and does every
// step relative to it: a folder renamed or swapped for a link meanwhile makes
// the run fail instead of writing somewhere else.
//
// The folder claims its output: it holds a lock for the conversion's lifetime
// and names the output it writes, so a second conversion of this user to the
// same output, in this process or any other, is refused before it decodes
// anything, and a folder whose owner was killed is recognised (its lock is
// free) and removed by the next conversion there. Only folders that are
// provably ours count: our name pattern, our user, mode 0700, nothing inside
// but our own scratch names.

#include <memory>
#include <string>

#include "UserText.h"

namespace zem {

inline constexpr const char* kScratchFolderPrefix = ".ZemConverter-";
// The random part of a scratch folder's name: as many characters as mkdtemp's.
inline constexpr int kScratchRandomChars = 6;
inline constexpr unsigned kScratchFolderMode = 0700;
// The file inside a scratch folder naming the output it writes.
inline constexpr const char* kScratchClaimName = "output";
// A folder whose owner died before claiming an output is left this long, so
// an owner that has just made it is never mistaken for a dead one.
inline constexpr int kUnclaimedScratchSeconds = 60;

class ScratchFolder {
public:
    enum class Outcome { Made, OutputBusy, Failed };

    // Makes the folder beside `outputPath` after removing dead ones there.
    // OutputBusy when a live conversion of this user already writes that
    // output; Failed (with `error` naming the folder and the system's reason)
    // when the folder cannot be made.
    static std::unique_ptr<ScratchFolder> Create(const std::string& outputPath, Outcome& outcome, UserText& error);

    // Removes every file inside and the folder itself, through the folders'
    // descriptors (so also after the output's folder was renamed).
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder as the user knows it, for messages.
    const std::string& Path() const { return m_path; }
    // A path that reaches the folder through its descriptor, whatever becomes
    // of the names above it: the intermediates are opened through it.
    const std::string& Reach() const { return m_reach; }
    // `name` inside the folder, through its descriptor.
    std::string File(const std::string& name) const { return m_reach + "/" + name; }

    // Whether the output's folder still has the name it had at the start;
    // else false with the cause in `error`.
    bool OutputFolderUnchanged(UserText& error) const;
    // Gives the intermediate `from` (a path inside this folder) the output's
    // name `to` in the output's folder, then flushes that folder to disk. The
    // caller has flushed the file itself.
    bool Place(const std::string& from, const std::string& to, UserText& error) const;

private:
    struct Key {
        explicit Key() = default;
    };

public:
    ScratchFolder(Key, std::string directory, std::string name, int parentFd, int fd);

private:
    std::string m_directory; // the output's folder, as given
    std::string m_name;      // the folder's own name in it
    std::string m_path;
    std::string m_reach;
    int m_parentFd; // the output's folder, held from the start
    int m_fd;       // the folder, locked while it is ours
    unsigned long m_parentDevice = 0, m_parentInode = 0;
};

// Whether `name` has the form of a scratch folder's name: the prefix and
// exactly kScratchRandomChars letters or digits.
bool IsScratchFolderName(const std::string& name);

} // namespace zem
