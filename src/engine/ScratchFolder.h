#pragma once
// A conversion's private folder for its intermediate files.
//
// It is made with mkdtemp (mode 0700) in the output's folder, so the finished
// output reaches its name by a rename inside one file system and nobody else
// can plant or read anything in it. The folder claims its output: it holds a
// lock for the conversion's lifetime and names the output it writes, so a
// second conversion to the same output, in this process or any other, is
// refused before it decodes anything, and a folder whose owner was killed is
// recognised (its lock is free) and removed by the next conversion there.

#include <memory>
#include <string>

namespace zem {

inline constexpr const char* kScratchFolderPrefix = ".ZemConverter-";
// The file inside a scratch folder naming the output it writes.
inline constexpr const char* kScratchClaimName = "output";
// A folder whose owner died before claiming an output is left this long, so
// an owner that has just made it is never mistaken for a dead one.
inline constexpr int kUnclaimedScratchSeconds = 60;

class ScratchFolder {
public:
    enum class Outcome { Made, OutputBusy, Failed };

    // Makes the folder beside `outputPath` after removing dead ones there.
    // OutputBusy when a live conversion already writes that output; Failed
    // (with `error` naming the folder and the system's reason) when the
    // folder cannot be made.
    static std::unique_ptr<ScratchFolder> Create(const std::string& outputPath, Outcome& outcome, std::string& error);

    // Removes every file inside and the folder itself.
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // `name` inside the folder.
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    struct Key {
        explicit Key() = default;
    };

public:
    ScratchFolder(Key, std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}

private:
    std::string m_path;
    int m_fd; // the folder, locked while it is ours
};

// Removes the scratch folders in `directory` whose owner is gone; folders of a
// running conversion, of another user, or anything that is not our folder are
// left alone. Returns how many were removed.
int RemoveDeadScratchFolders(const std::string& directory);

} // namespace zem
