#pragma once
// The user's language as the three-letter name the language and help files
// are named after: "KOR", "ENG", "CHS" (Simplified Chinese), "CHT"
// (Traditional Chinese), other languages their ISO 639-2 (terminology) code in capitals.

#include <QLocale>
#include <QString>

namespace zem::os {

// The locale the user asked for: LC_ALL, then LC_MESSAGES, then LANG, as the
// C library orders them; without any of them the system's locale.
QLocale UserLocale();

QString LanguageAbbreviation(const QLocale& locale);

} // namespace zem::os
