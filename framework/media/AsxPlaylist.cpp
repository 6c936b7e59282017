#include "AsxPlaylist.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>

namespace zem::media {

namespace {

// A play list is a few lines of XML; anything far larger is not one.
constexpr std::uintmax_t kMaxPlaylistBytes = 1 << 20;

void Say(std::string* why, const std::string& text) {
    if (why)
        *why = text;
}

} // namespace

bool IsAsxPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".asx";
}

std::vector<std::string> AsxLocalEntries(const std::string& listPath, std::string* why) {
    struct stat st {};
    if (::stat(listPath.c_str(), &st) != 0) {
        Say(why, "Cannot open " + listPath + ": " + std::strerror(errno));
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        Say(why, listPath + " is not a plain file");
        return {};
    }
    if (std::uintmax_t(st.st_size) > kMaxPlaylistBytes) {
        Say(why, listPath + " is too large for a play list");
        return {};
    }
    std::ifstream in(listPath, std::ios::binary);
    if (!in) {
        Say(why, "Cannot open " + listPath + ": " + std::strerror(errno));
        return {};
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const std::regex ref(R"(<\s*ref\s+href\s*=\s*["']([^"']+)["'])", std::regex::icase);
    const auto folder = std::filesystem::path(listPath).parent_path();
    std::vector<std::string> entries;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), ref); it != std::sregex_iterator(); ++it) {
        std::string target = (*it)[1].str();
        if (g_str_has_prefix(target.c_str(), "file://")) {
            gchar* local = g_filename_from_uri(target.c_str(), nullptr, nullptr);
            if (!local)
                continue;
            target = local;
            g_free(local);
        } else if (target.find("://") != std::string::npos) {
            continue; // streams on the network are not played
        }
        std::filesystem::path candidate(target);
        if (candidate.is_relative())
            candidate = folder / candidate;
        entries.push_back(candidate.string());
    }
    if (entries.empty())
        Say(why, listPath + " names no local media file");
    return entries;
}

std::string FirstPlaylistEntry(const std::string& listPath, std::string* why) {
    const std::vector<std::string> entries = AsxLocalEntries(listPath, why);
    std::string firstProblem;
    for (const std::string& entry : entries) {
        struct stat st {};
        const int rc = ::stat(entry.c_str(), &st);
        const int error = errno;
        if (rc == 0 && S_ISREG(st.st_mode))
            return entry;
        if (firstProblem.empty()) {
            const std::string problem = rc != 0 ? " cannot be opened: " + std::string(std::strerror(error))
                                        : S_ISDIR(st.st_mode) ? " is a folder"
                                                              : " is not a plain file";
            firstProblem = listPath + ": its entry " + entry + problem;
        }
    }
    if (!firstProblem.empty())
        Say(why, firstProblem);
    return {};
}

} // namespace zem::media
