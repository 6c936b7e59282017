#include "AsxPlaylist.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "MediaTexts.h"

namespace zem::media {

namespace {

// A play list is a few lines of XML; anything far larger is not one.
constexpr std::uintmax_t kMaxPlaylistBytes = 1 << 20;

// More entries than a list of films could sensibly hold are not read.
constexpr size_t kMaxPlaylistEntries = 1000;

void Say(UserText* why, UserText text) {
    if (why)
        *why = std::move(text);
}

UserText SystemCause() {
    return UserText(std::string(std::strerror(errno)));
}

bool ReadList(const std::string& listPath, std::string& text, UserText* why) {
    struct stat st {};
    if (::stat(listPath.c_str(), &st) != 0) {
        Say(why, UserText(kTextOpenFailed).With("file", listPath).With("why", SystemCause()));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Say(why, UserText(kTextNotAFile).With("file", listPath));
        return false;
    }
    if (std::uintmax_t(st.st_size) > kMaxPlaylistBytes) {
        Say(why, UserText(kTextPlaylistTooLarge).With("file", listPath));
        return false;
    }
    // Opened without waiting, and looked at again: the name may have been
    // swapped for a FIFO since.
    const int fd = ::open(listPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Say(why, UserText(kTextOpenFailed).With("file", listPath).With("why", SystemCause()));
        return false;
    }
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok)
        Say(why, UserText(kTextNotAFile).With("file", listPath));
    char piece[4096];
    while (ok && text.size() <= kMaxPlaylistBytes) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Say(why, UserText(kTextCannotReadFile).With("file", listPath).With("why", SystemCause()));
            ok = false;
        }
        if (n <= 0)
            break;
        text.append(piece, size_t(n));
    }
    ::close(fd);
    if (ok && text.size() > kMaxPlaylistBytes) {
        Say(why, UserText(kTextPlaylistTooLarge).With("file", listPath));
        ok = false;
    }
    return ok;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Whether `word` (lower case) starts at `at`, in any case.
bool WordAt(const std::string& text, size_t at, std::string_view word) {
    if (text.size() - at < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i])
            return false;
    }
    return true;
}

// The targets of `<ref href="...">` (either quote, any case, blanks where XML
// allows them), in one pass over the text: a hostile list costs time in
// proportion to its size, never more.
std::vector<std::string> RefTargets(const std::string& text) {
    std::vector<std::string> targets;
    size_t at = 0;
    while ((at = text.find('<', at)) != std::string::npos && targets.size() < kMaxPlaylistEntries) {
        size_t p = at + 1;
        const auto skipSpace = [&] {
            while (p < text.size() && IsSpace(text[p]))
                ++p;
        };
        at = p;
        skipSpace();
        if (!WordAt(text, p, "ref"))
            continue;
        p += 3;
        const size_t afterRef = p;
        skipSpace();
        if (p == afterRef || !WordAt(text, p, "href"))
            continue;
        p += 4;
        skipSpace();
        if (p >= text.size() || text[p] != '=')
            continue;
        ++p;
        skipSpace();
        if (p >= text.size() || (text[p] != '"' && text[p] != '\''))
            continue;
        const size_t begin = ++p;
        const size_t end = text.find_first_of("\"'", begin);
        if (end == std::string::npos)
            break; // no quote ends this value, so none ends a later one
        if (end == begin)
            continue;
        targets.push_back(text.substr(begin, end - begin));
        at = end + 1;
    }
    return targets;
}

} // namespace

bool IsAsxPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".asx";
}

std::vector<std::string> AsxLocalEntries(const std::string& listPath, UserText* why) {
    std::string text;
    if (!ReadList(listPath, text, why))
        return {};
    const auto folder = std::filesystem::path(listPath).parent_path();
    std::vector<std::string> entries;
    for (std::string target : RefTargets(text)) {
        if (g_str_has_prefix(target.c_str(), "file://")) {
            gchar* local = g_filename_from_uri(target.c_str(), nullptr, nullptr);
            if (!local)
                continue;
            target = local;
            g_free(local);
        } else if (target.find("://") != std::string::npos) {
            continue; // streams on the network are not played
        }
        if (target.size() >= PATH_MAX)
            continue; // no file has such a name
        std::filesystem::path candidate(target);
        if (candidate.is_relative())
            candidate = folder / candidate;
        entries.push_back(candidate.string());
    }
    if (entries.empty())
        Say(why, UserText(kTextPlaylistNoLocalFile).With("file", listPath));
    return entries;
}

std::string FirstPlaylistEntry(const std::string& listPath, UserText* why) {
    const std::vector<std::string> entries = AsxLocalEntries(listPath, why);
    UserText firstProblem;
    for (const std::string& entry : entries) {
        struct stat st {};
        const int rc = ::stat(entry.c_str(), &st);
        const int error = errno;
        if (rc == 0 && S_ISREG(st.st_mode))
            return entry;
        if (firstProblem.empty()) {
            const char* wording = rc != 0               ? kTextPlaylistEntryUnopened
                                  : S_ISDIR(st.st_mode) ? kTextPlaylistEntryFolder
                                                        : kTextPlaylistEntryNotAFile;
            firstProblem = UserText(wording).With("list", listPath).With("file", entry);
            if (rc != 0)
                firstProblem.With("why", std::string(std::strerror(error)));
        }
    }
    if (!firstProblem.empty())
        Say(why, std::move(firstProblem));
    return {};
}

} // namespace zem::media
