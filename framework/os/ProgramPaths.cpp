#include "ProgramPaths.h"

#include <QDir>
#include <QFileInfo>

namespace zem::os {

QString ExecutablePath() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString ExecutableFolder() {
    const QString path = ExecutablePath();
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    return cut < 0 ? QString() : path.left(cut);
}

QString ProgramDataFolder() {
    const QString folder = ExecutableFolder();
    if (QDir(folder).exists(QStringLiteral("Lang")))
        return folder;
    const QString shared = QDir::cleanPath(folder + QStringLiteral("/../share/zemconverter"));
    if (QDir(shared).exists(QStringLiteral("Lang")))
        return shared;
    return folder;
}

} // namespace zem::os
