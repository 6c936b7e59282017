// The window's saved file list (FileList.json): any bytes as the list, each
// row's range cells taken only as the window writes them and read as times.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include "DlgConstants.h"
#include "FuzzSupport.h"
#include "SavedList.h"
#include "TimeCells.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QJsonArray rows;
    if (!zem::app::ParseSavedList(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), rows))
        return 0;
    for (const QJsonValue& value : rows) {
        const QJsonObject entry = value.toObject();
        for (const char* key : {zem::app::kSavedListStart, zem::app::kSavedListEnd}) {
            const QString cell = zem::app::SavedRangeCell(entry, key);
            for (const QChar c : cell) {
                if (c != QLatin1Char(':') && c != QLatin1Char('.') && (c < QLatin1Char('0') || c > QLatin1Char('9')))
                    __builtin_trap(); // a cell the window did not write was taken
            }
            if (zem::app::TimeCellValue(cell, false) < 0)
                __builtin_trap();
        }
    }
    return 0;
}
