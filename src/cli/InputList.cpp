#include "InputList.h"

#include <unistd.h>

#include "CliLanguage.h"
#include "FileIo.h"

namespace zem::cli {

InputList ReadInputList(const std::string& path, bool nulSeparated) {
    InputList list;
    const bool standardInput = path == "-";
    const UserText shownName = standardInput ? UserText(kTextStandardInput) : UserText(path);
    // Bounded, and only from a file or a pipe: /dev/zero must not fill the memory.
    std::string text;
    UserText why;
    const bool read = standardInput ? ReadWholeDescriptor(STDIN_FILENO, kMaxReadWholeBytes, text, why)
                                    : ReadWholeFile(path, kMaxReadWholeBytes, true, text, why);
    if (!read) {
        list.error = UserText(kTextFilesFromUnreadable).With("list", shownName).With("why", why);
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
        list.error = UserText(kTextFilesFromHoldsNul).With("list", shownName);
    return list;
}

} // namespace zem::cli
