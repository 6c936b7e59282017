// The file list kept from one session to the next: inputs, outputs and ranges
// are written beside the settings file when the window closes and read back
// when it opens. Files that have gone meanwhile are left out.

#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "FileListModel.h"
#include "FileIo.h"
#include "MediaLengths.h"
#include "ReplaceFile.h"
#include "SavedList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cstdio>

using namespace zem::app;

namespace {

constexpr const char* kUnreadableSuffix = ".unreadable";

} // namespace

QString CCompressorDlg::KeepAside(const QString& path) {
    // Kept for whoever wants to look at it; the next save starts afresh.
    const QString aside = path + QLatin1String(kUnreadableSuffix);
    QFile::remove(aside);
    if (!QFile::rename(path, aside))
        return {};
    return aside;
}

QString CCompressorDlg::SavedListPath() const {
    return QFileInfo(m_environment.settingsFile).absolutePath() + QLatin1Char('/') + QLatin1String(kSavedListFile);
}

void CCompressorDlg::SaveFileList() {
    QJsonArray rows;
    for (const FileRow& row : m_rows->Rows()) {
        rows.append(QJsonObject{
            {QLatin1String(kSavedListInput), row.input},
            {QLatin1String(kSavedListOutput), row.output},
            {QLatin1String(kSavedListStart), RangeEdgeText(row.start)},
            {QLatin1String(kSavedListEnd), RangeEdgeText(row.end)},
        });
    }
    const QString path = SavedListPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // A list written since this window read its own (by a window of another
    // session, or an older program) is not lost: its rows that this one
    // lacks are kept after this one's.
    std::string read;
    zem::UserText why;
    // Bounded and only a file: a name that became /dev/zero or a FIFO is replaced, never read.
    if (zem::ReadWholeFile(QFile::encodeName(path).toStdString(), zem::kMaxReadWholeBytes, false, read, why)) {
        const QByteArray onDisk = QByteArray::fromStdString(read);
        QJsonArray theirs;
        if (onDisk != m_listSeen && zem::app::ParseSavedList(onDisk, theirs)) {
            for (const QJsonValue& value : theirs)
                m_keptRows.append(value);
        }
    }
    QSet<QString> inputs;
    for (const FileRow& row : m_rows->Rows())
        inputs.insert(row.input);
    for (const QJsonValue& value : m_keptRows) {
        const QString input = value.toObject().value(QLatin1String(kSavedListInput)).toString();
        if (!input.isEmpty() && !inputs.contains(input)) {
            inputs.insert(input);
            rows.append(value);
        }
    }
    QString error;
    const QByteArray contents = QJsonDocument(QJsonObject{{QLatin1String(kSavedListRows), rows}}).toJson();
    // The window is going away: a list that cannot be kept is only worth a line on standard error.
    if (!zem::os::ReplaceFileContents(path, contents, error))
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    else
        m_listSeen = contents;
}

void CCompressorDlg::RestoreFileList() {
    const QString path = SavedListPath();
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return;
    QJsonArray rows;
    // Bounded and only a file: /dev/zero or a FIFO under the list's name is
    // kept aside like any other list that cannot be read.
    std::string read;
    zem::UserText why;
    const bool opened =
        zem::ReadWholeFile(QFile::encodeName(path).toStdString(), zem::kMaxReadWholeBytes, false, read, why);
    const QByteArray contents = opened ? QByteArray::fromStdString(read) : QByteArray();
    if (!opened || !zem::app::ParseSavedList(contents, rows)) {
        const QString aside = KeepAside(SavedListPath());
        SetMessageText(Translate(QString::fromLatin1(kTextListUnreadable))
                           .replace(QLatin1String("{file}"), aside.isEmpty() ? SavedListPath() : aside)
                           .toStdString());
        return;
    }
    m_listSeen = contents;
    int gone = 0;
    // The rows are only listed here, all at once; they are read in the
    // background, and the last one opens once it has been read: the window
    // shows at once, whatever state or number the files are in.
    std::vector<FileRow> listed;
    QSet<QString> inputs;
    for (const FileRow& row : m_rows->Rows())
        inputs.insert(row.input);
    for (const QJsonValue& value : rows) {
        const QJsonObject entry = value.toObject();
        FileRow row;
        row.input = entry.value(QLatin1String(kSavedListInput)).toString();
        if (row.input.isEmpty() || !IsAcceptedPath(row.input) || inputs.contains(row.input))
            continue;
        if (!QFileInfo(row.input).isFile()) {
            ++gone;
            continue;
        }
        inputs.insert(row.input);
        row.output = entry.value(QLatin1String(kSavedListOutput)).toString();
        row.start = RangeEdgeFromText(zem::app::SavedRangeCell(entry, kSavedListStart), false);
        row.end = RangeEdgeFromText(zem::app::SavedRangeCell(entry, kSavedListEnd), true);
        listed.push_back(std::move(row));
    }
    // Rows saved without an output get the usual name, numbered apart from
    // every other row's, in one pass over the whole list.
    std::vector<std::string> outputs;
    for (const FileRow& row : m_rows->Rows())
        outputs.push_back(row.output.toStdString());
    const size_t earlier = outputs.size();
    for (const FileRow& row : listed)
        outputs.push_back(row.output.isEmpty() ? zem::DefaultOutputPath(row.input.toStdString())
                                               : row.output.toStdString());
    outputs = zem::DistinctOutputPaths(outputs);
    for (size_t each = 0; each < listed.size(); ++each) {
        if (listed[each].output.isEmpty())
            listed[each].output = QString::fromStdString(outputs[earlier + each]);
    }
    QStringList restored;
    for (const FileRow& row : listed)
        restored.append(row.input);
    if (!listed.empty()) {
        m_selectingForRun = true;
        m_rows->Append(std::move(listed));
        if (!m_runActive)
            SelectRow(RowCount() - 1);
        m_selectingForRun = false;
        UpdateFileCount();
        m_openWhenRead = restored.back();
        for (const QString& path : restored) {
            if (m_mediaLengths->Result(path))
                OnProbed(path);
        }
    }
    if (gone > 0)
        SetMessageText(Translate(QString::fromLatin1(kTextFilesGone))
                           .replace(QLatin1String("{count}"), QString::number(gone))
                           .toStdString());
}
