#include "LanguageFile.h"

#include "ProfileString.h"
#include "SystemLocale.h"

namespace zem::os {

QString UserLanguageFile(const QString& dataFolder) {
    return dataFolder + QLatin1Char('/') + QLatin1String(kLanguageFolder) + QLatin1Char('/') +
           LanguageAbbreviation(UserLocale()) + QStringLiteral(".ini");
}

QString LookUpWording(const QString& languageFile, const QString& english) {
    return ReadProfileString(languageFile, QString::fromLatin1(kLanguageSection), english).value_or(english);
}

} // namespace zem::os
