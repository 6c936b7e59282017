#include "ProfileString.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace zem::os {

std::optional<QString> ReadProfileString(const QString& file, const QString& section, const QString& key) {
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read by its size (0 for a device or a FIFO): a buffer of the whole
    // bound for every value would cost more than the file does.
    QString text = QString::fromUtf8(input.read(std::min(input.size(), kMaxProfileBytes)));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    bool inSection = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            inSection = close > 0 && line.mid(1, close - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

} // namespace zem::os
