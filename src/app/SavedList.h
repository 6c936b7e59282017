#pragma once
// The window's file list as it is kept from one session to the next
// (FileList.json beside the settings file): {"files": [{"input", "output",
// "start", "end"}, ...]}.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace zem::app {

// The rows of a saved list; false when it is no list the window wrote.
bool ParseSavedList(const QByteArray& contents, QJsonArray& rows);

// A range cell of a saved row ("start" or "end") as the window writes it
// ("mm:ss.mmm", ASCII digits), or empty.
QString SavedRangeCell(const QJsonObject& entry, const char* key);

} // namespace zem::app
