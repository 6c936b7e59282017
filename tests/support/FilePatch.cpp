#include "FilePatch.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace zem::test {

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return bool(out);
}

} // namespace

bool RunCommand(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool ReplaceFirstCode(const std::string& from, const std::string& to, const std::string& code,
                      const std::string& replacement) {
    std::string bytes = ReadBytes(from);
    const auto at = bytes.find(code);
    if (at == std::string::npos || replacement.size() != code.size())
        return false;
    bytes.replace(at, code.size(), replacement);
    return WriteBytes(to, bytes);
}

bool DropSoundDescription(const std::string& from, const std::string& to) {
    // size, "stsd", version and flags, entry count, then the entry: its size and "mp4a".
    std::string bytes = ReadBytes(from);
    const auto entry = bytes.find("mp4a");
    if (entry == std::string::npos || entry < 16 || bytes.compare(entry - 16, 4, "stsd") != 0)
        return false;
    bytes.replace(entry - 8, 4, std::string(4, '\0'));
    return WriteBytes(to, bytes);
}

} // namespace zem::test
