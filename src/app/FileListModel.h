#pragma once
// The window's file list as data: one typed row per file. The view shows it,
// the saved list stores it, probing fills in lengths, a run moves its rows
// through their states. Every text a cell shows is made here from the row's
// fields; nothing decides anything by reading a cell's text.

#include "ConversionHost.h"
#include "FailureCodes.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace zem::app {

// Where a row's file stands.
enum class RowState {
    Waiting,    // listed, not converted in this session
    Converting, // with a percentage
    Writing,    // the pictures are in; the output is being written
    Completed,  // with the output's size
    Stopped,    // with the size of what was written
    Failed,     // with its failure code
    Unreadable, // the file could not be read when it was listed
    SoundOnly,  // opened, with sound and no picture: it cannot be converted
};

// One edge of a row's range: unset, or a time (100 ns) shown with or without
// milliseconds. The time is the one its cell text stands for, so a range
// read back from the saved list converts the same frames.
struct RangeEdge {
    bool set = false;
    int64_t time = 0;
    bool withMilliseconds = true;
};

struct FileRow {
    QString input;
    QString output;
    RangeEdge start;
    RangeEdge end;
    int64_t length = -1; // the file's length (100 ns); -1 while not known
    RowState state = RowState::Waiting;
    int percent = -1;          // Converting: the share done, -1 when not known
    int64_t outputBytes = -1;  // Completed, Stopped: the output's size, -1 when absent
    FailureCode failure = FailureCode::None;
    QString reason; // why it failed or could not be read, where a stopped part went
};

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `translate` gives a wording's text in the window's language.
    explicit FileListModel(std::function<QString(const char*)> translate, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const FileRow& Row(int row) const { return m_rows[size_t(row)]; }
    const std::vector<FileRow>& Rows() const { return m_rows; }
    int Find(const QString& input) const;

    // Appends rows; returns the first new row's number.
    int Append(std::vector<FileRow> rows);
    void Remove(int row);
    void Clear();

    // Changes one row; `change` edits it in place and the view is told.
    void Change(int row, const std::function<void(FileRow&)>& change);
    void SetOutput(int row, const QString& output);
    void SetRange(int row, RangeEdge start, RangeEdge end);
    void SetLength(int row, int64_t length);
    void SetState(int row, RowState state, int percent = -1);
    // A completed or stopped row: its state with the output's size read from disk.
    void SetFinished(int row, RowState state, const QString& reason = {});
    void SetFailed(int row, FailureCode code, const QString& reason);
    void SetUnreadable(int row, const QString& reason);
    // What the engine reported of the row's job; `reason` goes to the status
    // tooltip of a finished or failed row.
    void ApplyJobEvent(int row, const JobEvent& event, const QString& reason = {});

    // Media the row has to convert: its range's length, else its length
    // from the range's start; -1 while the length is not known.
    int64_t WorkLength(int row) const;
    // The Time cell's value: the range's length, else the file's length.
    int64_t ShownTime(int row) const;

    // The header and status texts follow the window's language.
    void Retranslate();

    // The texts the cells show (columns as in DlgConstants.h).
    static QString FileSizeText(int64_t bytes);
    QString StatusText(const FileRow& row) const;
    QString CellText(int row, int column) const;
    QString ToolTip(int row, int column) const;

private:
    void Changed(int row, int firstColumn, int lastColumn);

    std::function<QString(const char*)> m_translate;
    std::vector<FileRow> m_rows;
};

// `time` as a range edge shows it, and the value its text stands for.
RangeEdge MakeRangeEdge(int64_t time, bool withMilliseconds, bool isEnd);
// A range edge from its cell's text (the saved list keeps the texts).
RangeEdge RangeEdgeFromText(const QString& text, bool isEnd);
QString RangeEdgeText(const RangeEdge& edge);

} // namespace zem::app
