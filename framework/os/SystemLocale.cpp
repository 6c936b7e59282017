#include "SystemLocale.h"

#include <array>
#include <cstdlib>

namespace zem::os {

namespace {
constexpr std::array<const char*, 3> kLocaleVariables{"LC_ALL", "LC_MESSAGES", "LANG"};
}

QLocale UserLocale() {
    for (const char* variable : kLocaleVariables) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0')
            continue;
        const QString name = QString::fromLocal8Bit(value);
        // The C library's own locale speaks English.
        if (name == QLatin1String("C") || name.startsWith(QLatin1String("C.")) || name == QLatin1String("POSIX"))
            return QLocale(QLocale::English, QLocale::UnitedStates);
        return QLocale(name);
    }
    return QLocale::system();
}

QString LanguageAbbreviation(const QLocale& locale) {
    switch (locale.language()) {
    case QLocale::C:
    case QLocale::English:
        return QStringLiteral("ENG");
    case QLocale::Korean:
        return QStringLiteral("KOR");
    case QLocale::Chinese:
        // Taiwan, Hong Kong and Macau write the traditional script even when
        // the locale name does not say so.
        if (locale.script() == QLocale::TraditionalHanScript)
            return QStringLiteral("CHT");
        return QStringLiteral("CHS");
    default:
        return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T).toUpper();
    }
}

} // namespace zem::os
