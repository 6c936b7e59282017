#pragma once
// Values of profile-style INI files, as the program's language files are
// written: "[Section]" lines, "Key=Value" lines, ';' comments.

#include <QString>

#include <optional>

namespace zem::os {

// Only this much of a file is read: the language files are a few kilobytes.
inline constexpr qint64 kMaxProfileBytes = 4 << 20;

// One value of `file`: UTF-8 (a byte-order mark skipped), section and key
// names compared without regard to case, the value taken as it stands after
// "=" (commas and backslashes included), one pair of surrounding quotes
// removed. nullopt when the file, the section or the key is missing.
std::optional<QString> ReadProfileString(const QString& file, const QString& section, const QString& key);

} // namespace zem::os
