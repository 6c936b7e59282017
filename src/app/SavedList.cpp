#include "SavedList.h"

#include "DlgConstants.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace zem::app {

bool ParseSavedList(const QByteArray& contents, QJsonArray& rows) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(contents, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue value = document.object().value(QLatin1String(kSavedListRows));
    if (!value.isArray())
        return false;
    rows = value.toArray();
    return true;
}

QString SavedRangeCell(const QJsonObject& entry, const char* key) {
    // Anchored at the very end: '$' would let a cell ending in a line break through.
    static const QRegularExpression kTimeCell(QRegularExpression::anchoredPattern(QLatin1String(kRangeCellPattern)));
    const QString text = entry.value(QLatin1String(key)).toString();
    return kTimeCell.match(text).hasMatch() ? text : QString();
}

} // namespace zem::app
