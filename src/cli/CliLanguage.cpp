#include "CliLanguage.h"

#include <QString>

#include "LanguageFile.h"
#include "ProgramPaths.h"

namespace zem::cli {

namespace {
// Set once at start-up, read by the main thread only.
QString g_languageFile;
} // namespace

void UseUserLanguage() {
    g_languageFile = os::UserLanguageFile(os::ProgramDataFolder());
}

std::string Say(const UserText& text) {
    if (g_languageFile.isEmpty())
        return text.English();
    return text.Shown([](const std::string& english) {
        return os::LookUpWording(g_languageFile, QString::fromStdString(english)).toStdString();
    });
}

std::string ProgressLine(int percent) {
    return Say(UserText(kTextProgressLine).With("percent", std::to_string(percent)));
}

int ProgressLinePercent(const std::string& line) {
    // The wording in this language, its blank left open, gives the words
    // around the number.
    const std::string wording = Say(kTextProgressLine);
    const std::string blank = "{percent}";
    const size_t at = wording.find(blank);
    if (at == std::string::npos || line.compare(0, at, wording, 0, at) != 0)
        return -1;
    const std::string after = wording.substr(at + blank.size());
    size_t digits = at;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    if (digits == at || digits - at > 3 || line.compare(digits, std::string::npos, after) != 0)
        return -1;
    return std::stoi(line.substr(at, digits - at));
}

} // namespace zem::cli
