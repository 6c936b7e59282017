#include "InputList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zem::cli {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

InputList ReadInputList(const std::string& path, bool nulSeparated) {
    InputList list;
    const bool standardInput = path == "-";
    const std::string shownName = standardInput ? "standard input" : path;
    std::unique_ptr<std::FILE, FileCloser> opened;
    if (!standardInput) {
        opened.reset(std::fopen(path.c_str(), "rb"));
        if (!opened) {
            list.error = "cannot read the list " + shownName + ": " + std::strerror(errno);
            return list;
        }
    }
    std::FILE* file = standardInput ? stdin : opened.get();
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    if (std::ferror(file)) {
        list.error = "cannot read the list " + shownName + ": " + std::strerror(errno);
        return list;
    }
    const char separator = nulSeparated ? '\0' : '\n';
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        std::string entry = text.substr(start, end - start);
        if (!nulSeparated && !entry.empty() && entry.back() == '\r')
            entry.pop_back();
        if (!entry.empty())
            list.paths.push_back(std::move(entry));
        start = end + 1;
    }
    if (!nulSeparated && text.find('\0') != std::string::npos)
        list.error = "the list " + shownName + " holds NUL characters: give -0 for a list that find -print0 wrote";
    return list;
}

} // namespace zem::cli
