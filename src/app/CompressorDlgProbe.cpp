// Files added by the open dialog, a drop or a later start: their rows appear
// at once and are read in the background (length, and whether they open at
// all). The window never waits for a slow or damaged file; the files that
// cannot be read are told in one message once the last of them is read.

#include "CompressorDlg.h"
#include "ConversionRun.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "FileListModel.h"
#include "MediaLengths.h"
#include "MessageBoxSeam.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>

using namespace zem::app;

namespace {
zem::UserText FileAndCause(const QString& path, const zem::UserText& cause) {
    return zem::UserText(kTextFileAndCause).With("file", QFileInfo(path).fileName().toStdString()).With("why", cause);
}
} // namespace

void CCompressorDlg::AddFiles(const QStringList& paths) {
    int last = -1;
    // A name that is not there (mistyped on the command line, gone before
    // it was handed over) makes no row: the Messages line says so.
    QStringList missing;
    QStringList refused;
    QStringList added;
    // The rows are only listed here; the last one opens once it has been read.
    m_selectingForRun = true;
    for (const QString& path : paths) {
        if (!QFileInfo::exists(path)) {
            missing.append(path);
            continue;
        }
        // A FIFO, a device or a socket would hold the window in its open:
        // refused by the engine's own check, which opens nothing that waits.
        zem::UserText problem;
        if (zem::CheckInputPath(QFile::encodeName(path).toStdString(), problem) != zem::FailureCode::None) {
            refused.append(Shown(problem));
            continue;
        }
        const int row = AddFile(path);
        if (row < 0)
            continue;
        last = row;
        added.append(path);
        m_addProbing.insert(path);
    }
    m_selectingForRun = false;
    if (!missing.isEmpty())
        SetMessageText(Translate(QString::fromLatin1(kTextFileMissing))
                           .replace(QLatin1String("{file}"), missing.join(QStringLiteral(", ")))
                           .toStdString());
    if (!refused.isEmpty())
        SetMessageText(refused.join(QStringLiteral(", ")).toStdString());
    if (last < 0)
        return;
    m_openWhenRead = CellText(last, kColInput);
    for (const QString& path : added) {
        if (const auto probe = m_mediaLengths->Result(path))
            OnProbed(path);
    }
}

void CCompressorDlg::OnProbed(const QString& path) {
    const std::optional<MediaLengths::Probe> probe = m_mediaLengths->Known(path);
    if (!probe)
        return;
    const bool fromAdding = m_addProbing.erase(path) != 0;
    if (const int row = m_rows->Find(path); row >= 0) {
        // A file that cannot be read has nothing to convert: its length is known too.
        if (m_rows->Row(row).length < 0)
            m_rows->SetLength(row, probe->length);
        if (!probe->readable) {
            if (row != RunRow())
                m_rows->SetUnreadable(row, Shown(probe->cause));
            if (fromAdding)
                m_addFailures.append(Shown(FileAndCause(path, probe->cause)));
        }
    }
    if (path == m_openWhenRead) {
        m_openWhenRead.clear();
        const int row = GetSelectedRow();
        if (row >= 0 && CellText(row, kColInput) == path && !m_runActive)
            OpenSelectedRow(row);
    }
    if (m_addProbing.empty() && !m_addFailures.isEmpty()) {
        const QString report = Translate(QString::fromLatin1(kTextUnreadableFiles))
                                   .replace(QLatin1String("{count}"), QString::number(m_addFailures.size())) +
                               QLatin1Char('\n') + m_addFailures.join(QLatin1Char('\n'));
        m_addFailures.clear();
        ShowMessageBox(report.toStdString(), kMessageBoxCaption, MB_OK | MB_ICONWARNING, this);
    }
}

void CCompressorDlg::OpenSelectedRow(int row) {
    const QString path = CellText(row, kColInput);
    if (m_addProbing.count(path) != 0 || m_mediaLengths->Pending(path)) {
        // Still being read: it opens when the reading ends.
        m_openWhenRead = path;
        return;
    }
    if (const auto probe = m_mediaLengths->Known(path); probe && !probe->readable) {
        // Opening it would only fail again, slowly: its cause is told instead.
        ClearPreview();
        SetMessageText(Shown(FileAndCause(path, probe->cause)).toStdString());
        return;
    }
    UpdateData(true);
    SelectJob(row);
    UpdateData(false);
}
