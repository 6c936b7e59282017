// The file list: one row per input file, its output name, the preview
// selection cells and the conversion status.

#include "CompressorDlg.h"
#include "ConversionPaths.h"
#include "DialogSeam.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "FileListModel.h"
#include "GraphState.h"
#include "MessageBoxSeam.h"
#include "NiceSliderCtrl.h"
#include "TimeCells.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <array>
#include <sys/stat.h>

#include <functional>

using namespace zem::app;

namespace {

// One file by either name: the same text once cleaned, or the same file on disk.
bool SameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath()))
        return true;
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

void CCompressorDlg::InitFileList() {
    QStringList headers;
    for (int column = 0; column < kColumnCount; ++column)
        headers.append(m_rows->headerData(column, Qt::Horizontal).toString());
    // The columns share the list's width in their set proportions, room left
    // for the vertical scroll bar: no sideways scrolling at the start.
    int designed = 0;
    for (const ColumnLayout& column : kColumns)
        designed += column.widthPx;
    const int frame = 2 * m_fileList->frameWidth();
    const int bar = m_fileList->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_fileList);
    const int room = std::max(int(kColumnCount), m_fileList->width() - frame - bar);
    std::array<int, kColumnCount> widths{};
    int given = 0;
    for (int column = 0; column < kColumnCount; ++column) {
        widths[column] = column + 1 < kColumnCount ? kColumns[column].widthPx * room / designed : room - given;
        given += widths[column];
    }
    // The range and time cells show their whole time, and their header, in
    // whatever font the language brings; the file-name columns give up the room.
    const QFontMetrics metrics = m_fileList->fontMetrics();
    const QString widestTime = FormatTime(kWidestRangeTime, true);
    int taken = 0;
    for (int column : {int(kColSelStart), int(kColSelEnd), int(kColTime)}) {
        const int needed = std::max(metrics.horizontalAdvance(widestTime),
                                    metrics.horizontalAdvance(headers[column]) + kHeaderArrowRoomPx) +
                           kCellTextMarginPx;
        if (widths[column] < needed) {
            taken += needed - widths[column];
            widths[column] = needed;
        }
    }
    widths[kColInput] -= taken / 2;
    widths[kColOutput] -= taken - taken / 2;
    for (int column = 0; column < kColumnCount; ++column)
        m_fileList->setColumnWidth(column, widths[column]);
    m_fileList->verticalHeader()->hide();
    m_fileList->verticalHeader()->setDefaultSectionSize(m_fileList->fontMetrics().height() + 4);
    m_fileList->horizontalHeader()->setHighlightSections(false);
    m_fileList->setShowGrid(true);
    m_fileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_fileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fileList->setWordWrap(false);
    // Paths lose their middle: the file's own name stays in view.
    m_fileList->setTextElideMode(Qt::ElideMiddle);
    m_fileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

bool CCompressorDlg::IsAcceptedPath(const QString& path) {
    return zem::IsAcceptedInputPath(path.toStdString());
}

QString CCompressorDlg::FreeOutputPath(const QString& wanted) const {
    // Two rows never write one file: a name another row has gets a number.
    std::vector<std::string> outputs;
    for (const FileRow& row : m_rows->Rows())
        outputs.push_back(row.output.toStdString());
    outputs.push_back(wanted.toStdString());
    return QString::fromStdString(zem::DistinctOutputPaths(outputs).back());
}

CCompressorDlg::OutputClash CCompressorDlg::OutputConflict(int row, const QString& output, bool earlierOnly,
                                                           QString& why) const {
    why.clear();
    for (int other = 0; other < RowCount(); ++other) {
        if (SameFile(output, CellText(other, kColInput))) {
            why = Translate(QString::fromLatin1(kTextOutputIsInput)).replace(QLatin1String("{output}"), output);
            return OutputClash::IsInput;
        }
        if (other != row && (!earlierOnly || other < row) && SameFile(output, CellText(other, kColOutput))) {
            why = Translate(QString::fromLatin1(kTextOutputTaken))
                      .replace(QLatin1String("{output}"), output)
                      .replace(QLatin1String("{input}"), CellText(other, kColInput));
            return OutputClash::Taken;
        }
    }
    return OutputClash::None;
}

QString CCompressorDlg::OutputConflict(int row, const QString& output, bool earlierOnly) const {
    QString why;
    OutputConflict(row, output, earlierOnly, why);
    return why;
}

int CCompressorDlg::RowCount() const {
    return m_rows->rowCount();
}

QString CCompressorDlg::CellToolTip(int row, int column) const {
    return m_rows->ToolTip(row, column);
}

QString CCompressorDlg::CellText(int row, int column) const {
    return m_rows->CellText(row, column);
}

int CCompressorDlg::AddFile(const QString& path) {
    if (!IsAcceptedPath(path) || m_rows->Find(path) >= 0)
        return -1;
    FileRow added;
    added.input = path;
    added.output = FreeOutputPath(QString::fromStdString(zem::DefaultOutputPath(path.toStdString())));
    const int row = m_rows->Append({std::move(added)});
    // During a run the new row only joins the list: the run's row stays in
    // view and selected, and the new file waits for the next run.
    if (!m_runActive) {
        m_fileList->setFocus();
        m_fileList->scrollTo(m_rows->index(row, kColInput));
        SelectRow(row);
    }
    UpdateFileCount();
    return row;
}

int CCompressorDlg::GetSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : m_fileList->selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return first;
}

void CCompressorDlg::SelectRow(int row) {
    if (row < 0 || row >= RowCount())
        return;
    m_fileList->selectionModel()->setCurrentIndex(m_rows->index(row, kColInput),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_fileList->setFocus();
}

void CCompressorDlg::OnRowSelectionChanged() {
    const int row = GetSelectedRow();
    // The graph belongs to the run until its last file is done.
    if (m_selectingForRun || m_runActive || row < 0 || row >= RowCount())
        return;
    OpenSelectedRow(row);
    m_fileList->setFocus();
}

void CCompressorDlg::ClearPreview() {
    // No row is left to show: the graph and its picture go too.
    StopPositionTimer();
    StopGraph(m_session.Handles().pMC.get());
    m_session.ReleaseDirectShow();
    m_positionSlider->ClearSelection();
    EnableTransport(false);
    m_inputFile.clear();
    m_outputFile.clear();
    m_duration = 0;
    m_videoSizeText.clear();
    m_fileSizeText.clear();
    m_sliderPos = 0;
    ControlAs<QLabel>(IDC_POSITION)->setText(QString::fromLatin1(kEmptyTimeText));
    ControlAs<QLabel>(IDC_DURATION)->setText(QString::fromLatin1(kEmptyTimeText));
    UpdateData(false);
}

void CCompressorDlg::UpdateFileCount() {
    m_fileCountText = QString::number(RowCount());
    UpdateData(false);
}

namespace {
// The open dialog's entries: every ending the program reads, an entry for
// each group of kinds, and any file.
QStringList OpenDialogFilters(const std::function<QString(const char*)>& translate) {
    const auto entry = [&translate](const char* label, const QStringList& patterns) {
        return QStringLiteral("%1 (%2)").arg(translate(label), patterns.join(QLatin1Char(' ')));
    };
    const auto patternsOf = [](const std::function<bool(const zem::InputKind&)>& wanted) {
        QStringList patterns;
        for (const zem::InputKind& kind : zem::kInputKinds) {
            if (wanted(kind))
                patterns.append(QStringLiteral("*.") + QLatin1String(kind.ending));
        }
        return patterns;
    };
    QStringList filters{entry(kOpenAllVideosLabel, patternsOf([](const zem::InputKind&) { return true; }))};
    for (size_t e = 0; e < zem::kOpenDialogEntries.size(); ++e)
        filters.append(entry(zem::kOpenDialogEntries[e],
                             patternsOf([e](const zem::InputKind& kind) { return size_t(kind.dialogEntry) == e; })));
    filters.append(entry(kOpenAnyFileFilter.label, {QLatin1String(kOpenAnyFileFilter.patterns)}));
    return filters;
}
} // namespace

void CCompressorDlg::OnAdd() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::OpenFiles;
    request.title = Translate(QString::fromLatin1(kOpenDialogTitle));
    request.nameFilters =
        OpenDialogFilters([this](const char* label) { return Translate(QString::fromLatin1(label)); });
    request.minimumSize = QSize(kFileDialogMinWidth, kFileDialogMinHeight);
    QSettings store(m_environment.settingsFile, QSettings::IniFormat);
    request.initialFolder = store.value(WindowKey(kKeyLastFolder)).toString();
    const QStringList paths = RunFileDialog(this, request);
    if (paths.isEmpty())
        return;
    store.setValue(WindowKey(kKeyLastFolder), QFileInfo(paths.front()).absolutePath());
    UpdateData(true);
    m_messageText.clear();
    UpdateData(false);
    AddFiles(paths);
}

void CCompressorDlg::AddDroppedFiles(const QStringList& paths) {
    AddFiles(paths);
}

void CCompressorDlg::TakeHandedFiles(const QStringList& paths) {
    AddFiles(paths);
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void CCompressorDlg::OnDelete() {
    // The buttons are off during a run; a key or a queued click is refused too.
    if (m_runActive)
        return;
    const int row = GetSelectedRow();
    if (row >= 0) {
        m_rows->Remove(row);
        if (RowCount() > 0)
            SelectRow(row < RowCount() ? row : row - 1);
        else
            ClearPreview();
    }
    m_fileList->setFocus();
    UpdateFileCount();
}

void CCompressorDlg::OnDeleteAll() {
    if (m_runActive)
        return;
    UpdateData(true);
    m_rows->Clear();
    // Nothing the Messages line said about the rows (a run's failures) holds any more.
    m_failureShown = false;
    m_messageText.clear();
    ClearPreview();
    UpdateFileCount();
}

void CCompressorDlg::OnChangeOutput() {
    const int row = GetSelectedRow();
    if (row < 0 || m_runActive)
        return;
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::SaveFile;
    request.title = Translate(QString::fromLatin1(kSaveDialogTitle));
    request.nameFilters = {QStringLiteral("%1 (%2)").arg(Translate(QString::fromLatin1(kSaveFilter.label)),
                                                         QLatin1String(kSaveFilter.patterns))};
    request.initialPath = CellText(row, kColOutput);
    request.defaultSuffix = QString::fromLatin1(kSaveDefaultSuffix);
    request.minimumSize = QSize(kFileDialogMinWidth, kFileDialogMinHeight);
    const QStringList chosen = RunFileDialog(this, request);
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return;
    const QString path = chosen.front();
    // Two rows never write one file, and no output replaces an input.
    if (const QString conflict = OutputConflict(row, path); !conflict.isEmpty()) {
        ShowMessageBox(conflict.toStdString(), kMessageBoxCaption, MB_OK | MB_ICONWARNING, this);
        return;
    }
    m_rows->SetOutput(row, path);
    if (RowCount() <= 1)
        return;
    if (ShowMessageBox(Translate(QString::fromLatin1(kChangeAllQuestion)).toStdString(), kMessageBoxCaption,
                       MB_YESNO | MB_ICONQUESTION, this) != IDYES)
        return;
    const QString folder = path.left(path.lastIndexOf(QLatin1Char('/')));
    std::vector<std::string> moved;
    for (const FileRow& each : m_rows->Rows()) {
        const QString& current = each.output;
        const QString name = current.mid(current.lastIndexOf(QLatin1Char('/')) + 1);
        moved.push_back((folder + QLatin1Char('/') + name).toStdString());
    }
    // Rows whose names met in the new folder are numbered apart.
    moved = zem::DistinctOutputPaths(moved);
    for (int each = 0; each < RowCount(); ++each)
        m_rows->SetOutput(each, QString::fromStdString(moved[size_t(each)]));
}

QString CCompressorDlg::FormatTime(int64_t time, bool withMilliseconds) {
    return zem::app::FormatTimeCell(time, withMilliseconds);
}

int64_t CCompressorDlg::SetTimeCell(int column, int64_t time, bool withMilliseconds) {
    SetRowTimeCell(GetSelectedRow(), column, time, withMilliseconds);
    return time;
}

int64_t CCompressorDlg::GetTimeCell(int column) const {
    return RowTimeCell(GetSelectedRow(), column);
}

void CCompressorDlg::SetRowTimeCell(int row, int column, int64_t time, bool withMilliseconds) {
    if (row < 0 || row >= RowCount())
        return;
    const FileRow& each = m_rows->Row(row);
    if (column == kColSelStart)
        m_rows->SetRange(row, MakeRangeEdge(time, withMilliseconds, false), each.end);
    else if (column == kColSelEnd)
        m_rows->SetRange(row, each.start, MakeRangeEdge(time, withMilliseconds, true));
    else if (column == kColTime)
        m_rows->SetLength(row, time);
}

int64_t CCompressorDlg::RowTimeCell(int row, int column) const {
    if (row < 0 || row >= RowCount())
        return 0;
    const FileRow& each = m_rows->Row(row);
    if (column == kColSelStart)
        return each.start.set ? each.start.time : 0;
    if (column == kColSelEnd)
        return each.end.set ? each.end.time : 0;
    if (column == kColTime)
        return std::max<int64_t>(0, m_rows->ShownTime(row));
    return 0;
}

int64_t CCompressorDlg::TimeCellValue(const QString& text, bool isEnd) {
    return zem::app::TimeCellValue(text, isEnd);
}
