// The file list: which files are taken, duplicates, dialogs, drops,
// deleting, new output folders and the selection time cells.

#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using enum zem::app::ControlId;

using apptest::WindowFixture;

TEST(FileList, AddFileAcceptsTheListedEndingsOnly) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();

    EXPECT_EQ(window->AddFile(QStringLiteral("/v/Movie.RMVB")), 0);
    EXPECT_EQ(window->AddFile(QStringLiteral("/v/clip.Rm")), 1);
    EXPECT_EQ(window->AddFile(QStringLiteral("/v/stream.ram")), -1);
    EXPECT_EQ(window->AddFile(QStringLiteral("/v/notes.txt")), -1);
    EXPECT_EQ(window->AddFile(QStringLiteral("/v/a.MpG")), 2);
    // Same path again: refused; same file in other letter case: a new row.
    EXPECT_EQ(window->AddFile(QStringLiteral("/v/a.MpG")), -1);
    EXPECT_EQ(window->AddFile(QStringLiteral("/v/A.MpG")), 3);
    // "mpeg" matches without a dot; a name without a dot keeps all of it.
    EXPECT_EQ(window->AddFile(QStringLiteral("mpeg")), 4);
    EXPECT_EQ(window->CellText(4, 1), QStringLiteral("mpeg_ZM.avi"));
    EXPECT_EQ(window->CellText(0, 1), QStringLiteral("/v/Movie_ZM.avi"));
    EXPECT_EQ(window->CellText(2, 1), QStringLiteral("/v/a_ZM.avi"));

    // The new row is selected and taken as the current job; the count follows.
    EXPECT_EQ(window->GetSelectedRow(), 4);
    EXPECT_EQ(window->m_inputFile, QStringLiteral("mpeg"));
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_COUNT)->text(), QStringLiteral("5"));
}

TEST(FileList, OpenDialogAndDroppedFiles) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    const QString mp4 = fixture.TouchFile(QStringLiteral("one.mp4"));
    const QString wmv = fixture.TouchFile(QStringLiteral("two.WMV"));
    const QString txt = fixture.TouchFile(QStringLiteral("three.txt"));
    fixture.m_fileDialogAnswer = {mp4, txt, wmv};
    window->ControlAs<QAbstractButton>(IDC_ADD)->click();

    ASSERT_EQ(fixture.m_fileDialogs.size(), 1u);
    const auto& request = fixture.m_fileDialogs.front();
    EXPECT_EQ(request.title, QStringLiteral("Select input files ..."));
    ASSERT_EQ(request.nameFilters.size(), 13);
    EXPECT_TRUE(request.nameFilters.front().startsWith(QStringLiteral("Open possible  Video files (")));
    // The first entry lists every kind the list takes, Matroska too.
    for (const char* pattern : {"*.asf", "*.mpeg", "*.rmvb", "*.mkv", "*.webm", "*.ogv"})
        EXPECT_TRUE(request.nameFilters.front().contains(QLatin1String(pattern))) << pattern;
    EXPECT_EQ(request.nameFilters[10], QStringLiteral("Video Files (*.rm  *.rmvb) (*.rm *.rmvb)"));
    EXPECT_TRUE(request.nameFilters[11].contains(QStringLiteral("*.webm")));
    EXPECT_TRUE(request.nameFilters.back().startsWith(QStringLiteral("All Files (*.*)")));
    EXPECT_EQ(window->RowCount(), 2);
    EXPECT_EQ(window->CellText(1, 0), wmv);

    // A Matroska file is taken when dropped on the window.
    const QString mkv = fixture.TouchFile(QStringLiteral("four.mkv"));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(mkv), QUrl::fromLocalFile(txt)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(window->RowCount(), 3);
    EXPECT_EQ(window->CellText(2, 0), mkv);

    // Cancelling the dialog adds nothing.
    fixture.m_fileDialogAnswer.clear();
    window->ControlAs<QAbstractButton>(IDC_ADD)->click();
    EXPECT_EQ(window->RowCount(), 3);
}

TEST(FileList, DeleteMovesTheSelection) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    for (const char* name : {"/v/1.avi", "/v/2.avi", "/v/3.avi"})
        window->AddFile(QString::fromLatin1(name));

    // The last of three: the new last row is selected.
    window->SelectRow(2);
    window->ControlAs<QAbstractButton>(IDC_DELETE)->click();
    EXPECT_EQ(window->RowCount(), 2);
    EXPECT_EQ(window->GetSelectedRow(), 1);
    EXPECT_EQ(window->m_inputFile, QStringLiteral("/v/2.avi"));

    // The Delete key in the list deletes the first row; its successor moves up.
    window->SelectRow(0);
    QTest::keyClick(window->FileList(), Qt::Key_Delete);
    EXPECT_EQ(window->RowCount(), 1);
    EXPECT_EQ(window->GetSelectedRow(), 0);
    EXPECT_EQ(window->CellText(0, 0), QStringLiteral("/v/2.avi"));

    // The only row: the preview is cleared and the count shows 0.
    window->m_videoSizeText = QStringLiteral("320 x 240");
    window->UpdateData(false);
    window->OnDelete();
    EXPECT_EQ(window->RowCount(), 0);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_COUNT)->text(), QStringLiteral("0"));
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_POSITION)->text(), QStringLiteral("00:00"));
    EXPECT_TRUE(window->m_inputFile.isEmpty());

    // Delete All empties the list.
    window->AddFile(QStringLiteral("/v/4.vob"));
    window->AddFile(QStringLiteral("/v/5.vob"));
    window->ControlAs<QAbstractButton>(IDC_DELETE_ALL)->click();
    EXPECT_EQ(window->RowCount(), 0);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_COUNT)->text(), QStringLiteral("0"));
}

TEST(FileList, ChangeOutputKeepsEachFileName) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();

    // Nothing selected: no dialog.
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    EXPECT_TRUE(fixture.m_fileDialogs.empty());

    // One row: no question.
    window->AddFile(QStringLiteral("/in/a.avi"));
    // The made-up file cannot be opened for the preview; only the questions
    // of the output change are looked at here.
    fixture.m_messages.clear();
    fixture.m_fileDialogAnswer = {QStringLiteral("/out/first.avi")};
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    ASSERT_EQ(fixture.m_fileDialogs.size(), 1u);
    EXPECT_EQ(fixture.m_fileDialogs[0].initialPath, QStringLiteral("/in/a_ZM.avi"));
    EXPECT_EQ(fixture.m_fileDialogs[0].defaultSuffix, QStringLiteral("avi"));
    EXPECT_EQ(fixture.m_fileDialogs[0].nameFilters, QStringList{QStringLiteral("AVI Files (.avi) (*.avi)")});
    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->CellText(0, 1), QStringLiteral("/out/first.avi"));

    // Several rows, answer No: only the selected row changes.
    window->AddFile(QStringLiteral("/in/b.mp4"));
    window->AddFile(QStringLiteral("/in/sub/c.wmv"));
    window->SelectRow(1);
    fixture.m_messages.clear();
    fixture.m_answer = IDNO;
    fixture.m_fileDialogAnswer = {QStringLiteral("/elsewhere/bee.avi")};
    window->OnChangeOutput();
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    EXPECT_EQ(fixture.m_messages[0].text, QStringLiteral("Change all remaining files' output to this folder ?"));
    EXPECT_EQ(fixture.m_messages[0].buttons(), MB_YESNO);
    EXPECT_EQ(window->CellText(1, 1), QStringLiteral("/elsewhere/bee.avi"));
    EXPECT_EQ(window->CellText(2, 1), QStringLiteral("/in/sub/c_ZM.avi"));

    // Yes: every row moves to the folder and keeps its own name.
    fixture.m_answer = IDYES;
    fixture.m_fileDialogAnswer = {QStringLiteral("/target/dir/new.avi")};
    window->OnChangeOutput();
    EXPECT_EQ(window->CellText(0, 1), QStringLiteral("/target/dir/first.avi"));
    EXPECT_EQ(window->CellText(1, 1), QStringLiteral("/target/dir/new.avi"));
    EXPECT_EQ(window->CellText(2, 1), QStringLiteral("/target/dir/c_ZM.avi"));
}

TEST(FileList, TimeCellsOfTheSelectedRow) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    // No row: nothing written, zero read.
    EXPECT_EQ(window->SetTimeCell(2, 10'000'000, true), 10'000'000);
    EXPECT_EQ(window->GetTimeCell(2), 0);

    window->AddFile(QStringLiteral("/v/x.avi"));
    const int64_t sixtyOneAndHalf = 615'000'000; // 61.5 s in 100 ns units
    window->SetTimeCell(2, sixtyOneAndHalf, true);
    window->SetTimeCell(4, sixtyOneAndHalf, false);
    EXPECT_EQ(window->CellText(0, 2), QStringLiteral("01:01.500"));
    EXPECT_EQ(window->CellText(0, 4), QStringLiteral("01:01"));
    EXPECT_EQ(window->GetTimeCell(2), sixtyOneAndHalf);

    window->SetTimeCell(3, 10'000'000, true);
    EXPECT_EQ(window->CellText(0, 3), QStringLiteral("00:01.000"));
    EXPECT_EQ(window->GetTimeCell(3), 10'009'999); // the end covers its last millisecond
    EXPECT_EQ(window->GetTimeCell(5), 0);          // empty cell
    // Minutes go past 59.
    window->SetTimeCell(2, int64_t(125) * 60 * 10'000'000, true);
    EXPECT_EQ(window->CellText(0, 2), QStringLiteral("125:00.000"));
}
