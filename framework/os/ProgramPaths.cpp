#include "ProgramPaths.h"

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

} // namespace zem::os
