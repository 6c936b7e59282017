#include "InputList.h"

#include <unistd.h>

#include "FileIo.h"

namespace zem::cli {

InputList ReadInputList(const std::string& path, bool nulSeparated) {
    InputList list;
    const bool standardInput = path == "-";
    const std::string shownName = standardInput ? "standard input" : path;
    // Bounded, and only from a file or a pipe: /dev/zero must not fill the memory.
    std::string text;
    std::string why;
    const bool read = standardInput ? ReadWholeDescriptor(STDIN_FILENO, kMaxReadWholeBytes, text, why)
                                    : ReadWholeFile(path, kMaxReadWholeBytes, true, text, why);
    if (!read) {
        list.error = "cannot read the list " + shownName + ": " + why;
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
