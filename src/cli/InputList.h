#pragma once
// The list of --files-from: one path a line (a "\r" before the line end is
// dropped, as lists written on Windows carry one), or with -0 each path ended
// by a NUL, as `find -print0` writes them. Empty entries are skipped; the
// last entry needs no line end or NUL. The list is read from a file or a
// pipe of at most 64 MB (kMaxReadWholeBytes); anything else is refused.

#include <string>
#include <vector>

#include "UserText.h"

namespace zem::cli {

struct InputList {
    std::vector<std::string> paths;
    UserText error; // why the list could not be read, naming it; empty when it was
};

// Reads the list at `path` ("-": standard input).
InputList ReadInputList(const std::string& path, bool nulSeparated);

} // namespace zem::cli
