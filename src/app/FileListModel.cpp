#include "FileListModel.h"

#include "ConversionHost.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "TimeCells.h"

#include <QFileInfo>

#include <algorithm>

namespace zem::app {

namespace {
// The size of the file at `path`, or -1 when no file is there.
int64_t OutputBytes(const QString& path) {
    const QFileInfo file(path);
    return file.isFile() ? file.size() : -1;
}
} // namespace

RangeEdge MakeRangeEdge(int64_t time, bool withMilliseconds, bool isEnd) {
    return {true, TimeCellValue(FormatTimeCell(time, withMilliseconds), isEnd), withMilliseconds};
}

RangeEdge RangeEdgeFromText(const QString& text, bool isEnd) {
    if (text.trimmed().isEmpty())
        return {};
    return {true, TimeCellValue(text, isEnd), text.contains(QLatin1Char('.'))};
}

QString RangeEdgeText(const RangeEdge& edge) {
    return edge.set ? FormatTimeCell(edge.time, edge.withMilliseconds) : QString();
}

FileListModel::FileListModel(std::function<QString(const char*)> translate, QObject* parent)
    : QAbstractTableModel(parent), m_translate(std::move(translate)) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return CellText(index.row(), index.column());
    case Qt::ToolTipRole: {
        const QString tip = ToolTip(index.row(), index.column());
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::TextAlignmentRole:
        return int((kColumns[size_t(index.column())].rightAligned ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return m_translate(kColumns[size_t(section)].key);
    if (role == Qt::TextAlignmentRole)
        return int((kColumns[size_t(section)].rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> places(m_rows.size());
    for (size_t i = 0; i < places.size(); ++i)
        places[i] = int(i);
    // By the cell's text, as a person reads the column; equal rows keep their order.
    std::stable_sort(places.begin(), places.end(), [&](int a, int b) {
        const int compared = QString::localeAwareCompare(CellText(a, column), CellText(b, column));
        return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
    });
    std::vector<FileRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPlace(m_rows.size());
    for (size_t i = 0; i < places.size(); ++i) {
        sorted.push_back(std::move(m_rows[size_t(places[i])]));
        newPlace[size_t(places[i])] = int(i);
    }
    m_rows = std::move(sorted);
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after.append(this->index(newPlace[size_t(index.row())], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::Find(const QString& input) const {
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].input == input)
            return int(row);
    }
    return -1;
}

int FileListModel::Append(std::vector<FileRow> rows) {
    const int first = rowCount();
    if (rows.empty())
        return first;
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    for (FileRow& row : rows)
        m_rows.push_back(std::move(row));
    endInsertRows();
    return first;
}

void FileListModel::Remove(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void FileListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void FileListModel::Changed(int row, int firstColumn, int lastColumn) {
    emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

void FileListModel::Change(int row, const std::function<void(FileRow&)>& change) {
    if (row < 0 || row >= rowCount())
        return;
    change(m_rows[size_t(row)]);
    Changed(row, 0, kColumnCount - 1);
}

void FileListModel::SetOutput(int row, const QString& output) {
    Change(row, [&](FileRow& each) {
        each.output = output;
        // A finished row's size is its output's: another name has none yet.
        if (each.state == RowState::Completed || each.state == RowState::Stopped)
            each.outputBytes = OutputBytes(output);
    });
}

void FileListModel::SetRange(int row, RangeEdge start, RangeEdge end) {
    Change(row, [&](FileRow& each) {
        each.start = start;
        each.end = end;
    });
}

void FileListModel::SetLength(int row, int64_t length) {
    Change(row, [&](FileRow& each) { each.length = length; });
}

void FileListModel::SetState(int row, RowState state, int percent) {
    if (row < 0 || row >= rowCount())
        return;
    FileRow& each = m_rows[size_t(row)];
    if (each.state == state && each.percent == percent)
        return;
    each.state = state;
    each.percent = percent;
    Changed(row, kColSize, kColStatus);
}

void FileListModel::SetFinished(int row, RowState state, const QString& reason) {
    Change(row, [&](FileRow& each) {
        each.state = state;
        each.percent = -1;
        each.failure = FailureCode::None;
        each.reason = reason;
        each.outputBytes = OutputBytes(each.output);
    });
}

void FileListModel::SetFailed(int row, FailureCode code, const QString& reason) {
    Change(row, [&](FileRow& each) {
        each.state = RowState::Failed;
        each.percent = -1;
        each.failure = code;
        each.reason = reason;
        each.outputBytes = -1;
    });
}

void FileListModel::SetUnreadable(int row, const QString& reason) {
    Change(row, [&](FileRow& each) {
        each.state = RowState::Unreadable;
        each.reason = reason;
    });
}

void FileListModel::ApplyJobEvent(int row, const JobEvent& event, const QString& reason) {
    switch (event.state) {
    case JobState::Converting:
        SetState(row, RowState::Converting, event.percent);
        break;
    case JobState::Writing:
        SetState(row, RowState::Writing);
        break;
    case JobState::Completed:
        SetFinished(row, RowState::Completed, reason);
        break;
    case JobState::Stopped:
        SetFinished(row, RowState::Stopped, reason);
        break;
    case JobState::Failed:
        SetFailed(row, event.failure.code, reason);
        break;
    }
}

namespace {
int64_t RangeStart(const FileRow& row) {
    return row.start.set ? row.start.time : 0;
}
// The range's length, or 0 when the row has no end past its start.
int64_t RangeLength(const FileRow& row) {
    return row.end.set && row.end.time > RangeStart(row) ? row.end.time - RangeStart(row) : 0;
}
} // namespace

int64_t FileListModel::WorkLength(int row) const {
    const FileRow& each = Row(row);
    if (const int64_t range = RangeLength(each); range > 0)
        return range;
    if (each.length < 0)
        return -1;
    return std::max<int64_t>(0, each.length - RangeStart(each));
}

int64_t FileListModel::ShownTime(int row) const {
    const FileRow& each = Row(row);
    const int64_t range = RangeLength(each);
    return range > 0 ? range : each.length;
}

void FileListModel::Retranslate() {
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
    if (!m_rows.empty())
        emit dataChanged(index(0, kColStatus), index(rowCount() - 1, kColStatus));
}

QString FileListModel::FileSizeText(int64_t bytes) {
    const int64_t mb = bytes / kBytesPerMb;
    if (mb > 0) {
        // One figure for the part below a whole megabyte: tenths, never more.
        const int tenths = int((bytes % kBytesPerMb) * 10 / kBytesPerMb);
        return QString::asprintf(kFileSizeMbFormat, int(mb), tenths);
    }
    return QString::asprintf(kFileSizeKbFormat, int(bytes / kBytesPerKb));
}

QString FileListModel::StatusText(const FileRow& row) const {
    switch (row.state) {
    case RowState::Waiting:
        return {};
    case RowState::Converting:
        if (row.percent < 0)
            return m_translate(kTextConverting);
        return QStringLiteral("%1 %2%").arg(m_translate(kTextConverting)).arg(row.percent);
    case RowState::Writing:
        return m_translate(kTextWriting);
    case RowState::Completed:
        return m_translate(kTextCompleted);
    case RowState::Stopped:
        return m_translate(kTextStopped);
    case RowState::Failed:
        return QString::fromStdString(FailureStatusText(row.failure));
    case RowState::Unreadable:
        return m_translate(kTextUnreadable);
    case RowState::SoundOnly:
        return m_translate(kTextSoundOnly);
    }
    return {};
}

QString FileListModel::CellText(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    const FileRow& each = Row(row);
    switch (column) {
    case kColInput:
        return each.input;
    case kColOutput:
        return each.output;
    case kColSelStart:
        return RangeEdgeText(each.start);
    case kColSelEnd:
        return RangeEdgeText(each.end);
    case kColTime: {
        const int64_t time = ShownTime(row);
        return time > 0 ? FormatTimeCell(time, false) : QString();
    }
    case kColSize:
        return (each.state == RowState::Completed || each.state == RowState::Stopped) && each.outputBytes >= 0
                   ? FileSizeText(each.outputBytes)
                   : QString();
    case kColStatus:
        return StatusText(each);
    default:
        return {};
    }
}

QString FileListModel::ToolTip(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    const FileRow& each = Row(row);
    // The columns are often too narrow for whole paths; the status tells why.
    switch (column) {
    case kColInput:
        return each.input;
    case kColOutput:
        return each.output;
    case kColStatus:
        return each.reason;
    default:
        return {};
    }
}

} // namespace zem::app
