#pragma once
// The program's language files: Lang/<language>.ini beside the program's
// data (KOR.ini, ENG.ini, CHS.ini, CHT.ini), one section whose keys are the
// English wordings and whose values are their translations. The window and
// zemconvert read the same files.

#include <QString>

namespace zem::os {

inline constexpr const char* kLanguageFolder = "Lang";
inline constexpr const char* kLanguageSection = "ZemConverter";

// The language file for the user's language (LC_ALL, LC_MESSAGES, LANG) under
// `dataFolder`, whether or not it exists.
QString UserLanguageFile(const QString& dataFolder);

// The translation of `english` in `languageFile`; `english` itself when the
// file or the key is missing.
QString LookUpWording(const QString& languageFile, const QString& english);

} // namespace zem::os
