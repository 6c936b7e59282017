#pragma once
// ".asx" play lists: the graph plays the first local media file one names.

#include <string>
#include <vector>

#include "UserText.h"

namespace zem::media {

// Every local file the list references, in its order, made absolute against
// the list's folder; network streams are left out. Empty when the list
// cannot be read, with the reason in `why` (when given).
std::vector<std::string> AsxLocalEntries(const std::string& listPath, UserText* why = nullptr);

// The first entry that is a regular file, or empty with the reason in `why`:
// the list cannot be read, names no local file, or which entry failed and why.
std::string FirstPlaylistEntry(const std::string& listPath, UserText* why = nullptr);

bool IsAsxPath(const std::string& path);

} // namespace zem::media
