// The file list's rows as data: what each report of the engine makes of a
// row, read back from the row's fields, never from a cell's text.

#include "DlgConstants.h"
#include "FileListModel.h"
#include "TestDirs.h"

#include <QPersistentModelIndex>
#include <fstream>
#include <gtest/gtest.h>

using zem::FailureCode;
using zem::JobEvent;
using zem::JobState;
using zem::app::FileListModel;
using zem::app::FileRow;
using zem::app::RowState;

TEST(FileListModel, EachReportOfTheEngineGivesItsRowState) {
    zem::test::TempDir dir;
    const std::string output = dir.file("out.avi");
    std::ofstream(output, std::ios::binary) << std::string(3000, 'x');
    FileListModel rows([](const char* key) { return QString::fromLatin1(key); });
    FileRow row;
    row.input = QStringLiteral("/films/a.mp4");
    row.output = QString::fromStdString(output);
    rows.Append({row});

    struct Step {
        JobEvent event;
        RowState state;
        int percent;
        FailureCode failure;
        int64_t outputBytes; // -1: the row shows no size
    };
    zem::Failure writeFailed;
    writeFailed.code = FailureCode::WriteFailed;
    const Step steps[] = {
        {{JobState::Converting, 0, {}}, RowState::Converting, 0, FailureCode::None, -1},
        {{JobState::Converting, 42, {}}, RowState::Converting, 42, FailureCode::None, -1},
        {{JobState::Writing, zem::kNoPercent, {}}, RowState::Writing, -1, FailureCode::None, -1},
        {{JobState::Completed, zem::kNoPercent, {}}, RowState::Completed, -1, FailureCode::None, 3000},
        {{JobState::Converting, 5, {}}, RowState::Converting, 5, FailureCode::None, -1},
        {{JobState::Stopped, zem::kNoPercent, {}}, RowState::Stopped, -1, FailureCode::None, 3000},
        {{JobState::Failed, zem::kNoPercent, writeFailed}, RowState::Failed, -1, FailureCode::WriteFailed, -1},
    };
    for (const Step& step : steps) {
        rows.ApplyJobEvent(0, step.event, QStringLiteral("why"));
        const FileRow& now = rows.Row(0);
        SCOPED_TRACE(int(step.event.state));
        EXPECT_EQ(now.state, step.state);
        EXPECT_EQ(now.percent, step.percent);
        EXPECT_EQ(now.failure, step.failure);
        const bool sized = now.state == RowState::Completed || now.state == RowState::Stopped;
        EXPECT_EQ(sized ? now.outputBytes : -1, step.outputBytes);
        // Only a finished row shows a size, and only a failed one a code.
        EXPECT_EQ(rows.CellText(0, zem::app::kColSize).isEmpty(), step.outputBytes < 0);
        EXPECT_EQ(rows.CellText(0, zem::app::kColStatus).startsWith(QStringLiteral("ERROR(")),
                  step.state == RowState::Failed);
    }
}

TEST(FileListModel, SortingKeepsARunsRowAndTheRangesTimes) {
    FileListModel rows([](const char* key) { return QString::fromLatin1(key); });
    std::vector<FileRow> added(3);
    added[0].input = QStringLiteral("/c.mp4");
    added[1].input = QStringLiteral("/a.mp4");
    added[2].input = QStringLiteral("/b.mp4");
    added[2].start = zem::app::MakeRangeEdge(15'000'000, true, false);
    added[2].end = zem::app::MakeRangeEdge(40'000'000, true, true);
    added[2].length = 600'000'000;
    rows.Append(added);
    const QPersistentModelIndex running(rows.index(2, 0));
    rows.sort(zem::app::kColInput, Qt::AscendingOrder);
    ASSERT_EQ(running.row(), 1);
    EXPECT_EQ(rows.Row(1).input, QStringLiteral("/b.mp4"));
    // The range's length is the work and the Time; the end covers its last millisecond.
    EXPECT_EQ(rows.WorkLength(1), 40'009'999 - 15'000'000);
    EXPECT_EQ(rows.ShownTime(1), rows.WorkLength(1));
    // Without a range, the whole length; unknown until read.
    EXPECT_EQ(rows.WorkLength(0), -1);
    rows.SetLength(0, 90'000'000);
    EXPECT_EQ(rows.WorkLength(0), 90'000'000);
}
