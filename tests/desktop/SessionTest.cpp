// The file list outlives the window: inputs, outputs and ranges come back at
// the next start, files that went meanwhile are left out with one line.

#include "AppTestSupport.h"
#include "ReplaceFile.h"
#include "TestClips.h"
#include "TestDirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;

using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

// How long a file's reading in the background may take on a loaded machine.
constexpr int kReadWaitMs = 20000;

struct Row {
    QString input, output, start, end;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(const CCompressorDlg& window) {
    std::vector<Row> rows;
    for (int row = 0; row < window.RowCount(); ++row)
        rows.push_back({window.CellText(row, kColInput), window.CellText(row, kColOutput),
                        window.CellText(row, kColSelStart), window.CellText(row, kColSelEnd)});
    return rows;
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.input.toStdString() << " -> " << row.output.toStdString() << " [" << row.start.toStdString() << ", "
         << row.end.toStdString() << "]";
}

} // namespace

TEST(Session, TheListComesBackAfterARestartWithoutTheFilesThatWent) {
    zem::testclips::TempDir clips;
    fs::create_directories(clips.path() / "a");
    fs::create_directories(clips.path() / "b");
    fs::create_directories(clips.path() / "c");
    const fs::path first = zem::testclips::MakeClip(clips.path() / "a", "mp4", 2.0);
    const fs::path second = zem::testclips::MakeClip(clips.path() / "b", "avi", 2.0);
    const fs::path third = zem::testclips::MakeClip(clips.path() / "c", "mkv", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    ASSERT_FALSE(third.empty());
    const QString elsewhere = Path(clips.path() / "out" / "second.avi");

    WindowFixture fixture;
    std::vector<Row> before;
    {
        auto window = fixture.MakeWindow();
        window->show();
        window->AddDroppedFiles({Path(first), Path(second), Path(third)});
        ASSERT_EQ(window->RowCount(), 3);
        // A new output for the second row, a range on the first.
        window->SelectRow(1);
        fixture.m_fileDialogAnswer = {elsewhere};
        fixture.m_answer = IDNO; // only this row's output
        window->OnChangeOutput();
        window->SelectRow(0);
        window->SetTimeCell(kColSelStart, 5'000'000, true);
        window->SetTimeCell(kColSelEnd, 15'000'000, true);
        before = Rows(*window);
        ASSERT_EQ(before[1].output, elsewhere);
        ASSERT_EQ(before[0].start, QStringLiteral("00:00.500"));
        window->close();
    }
    // Nothing but the list itself is left beside the settings.
    const QString saved = QFileInfo(fixture.SettingsFile()).absolutePath() + QStringLiteral("/FileList.json");
    EXPECT_TRUE(QFileInfo(saved).isFile());
    const QStringList hidden =
        QDir(QFileInfo(saved).absolutePath()).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot);
    EXPECT_EQ(hidden, (QStringList{QStringLiteral("FileList.json"), QStringLiteral("ZemConverter.ini")}));

    {
        // The same list, range and changed output included.
        auto window = fixture.MakeWindow();
        window->show();
        EXPECT_EQ(Rows(*window), before);
        EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_COUNT)->text(), QStringLiteral("3"));
        EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QString());
        // The last row is the open one, as after adding, once it has been
        // read in the background; every row's Time is filled, a range row's
        // with its range's length.
        EXPECT_EQ(window->GetSelectedRow(), 2);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->m_inputFile == Path(third); }, kReadWaitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->CellText(1, kColTime).isEmpty(); }, kReadWaitMs));
        EXPECT_EQ(window->CellText(0, kColTime), QStringLiteral("00:01"));
        EXPECT_EQ(window->CellText(1, kColTime), QStringLiteral("00:02"));
        EXPECT_EQ(window->CellText(2, kColTime), QStringLiteral("00:01"));
        window->close();
    }

    fs::remove(second);
    {
        auto window = fixture.MakeWindow();
        window->show();
        EXPECT_EQ(Rows(*window), (std::vector<Row>{before[0], before[2]}));
        EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(),
                  QStringLiteral("1 file(s) of the last list no longer exist: left out"));
        window->OnDeleteAll();
        window->close();
    }
    {
        // An emptied list stays empty, and starting says nothing.
        const size_t told = fixture.m_messages.size();
        auto window = fixture.MakeWindow();
        EXPECT_EQ(window->RowCount(), 0);
        EXPECT_EQ(fixture.m_messages.size(), told);
        EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QString());
    }
}

TEST(Session, ADamagedSavedRowIsMarkedWithoutABoxAndTheWindowShowsAtOnce) {
    zem::testclips::TempDir clips;
    const fs::path good = zem::testclips::MakeClip(clips.path(), "mp4", 2.0);
    ASSERT_FALSE(good.empty());
    const fs::path damaged = clips.path() / "damaged.mp4";
    {
        std::ofstream out(damaged, std::ios::binary);
        for (int i = 0; i < 8192; ++i)
            out.put(char((i * 131) & 0xff));
    }
    WindowFixture fixture;
    {
        auto window = fixture.MakeWindow();
        window->AddFile(Path(good));
        window->close();
    }
    {
        // Saved as a good file, damaged since: the last row, the one that opens.
        QFile list(QFileInfo(fixture.SettingsFile()).absolutePath() + QStringLiteral("/FileList.json"));
        ASSERT_TRUE(list.open(QIODevice::ReadWrite));
        QByteArray text = list.readAll();
        const qsizetype at = text.indexOf("]");
        ASSERT_GT(at, 0);
        text.insert(at, ",{\"input\":\"" + Path(damaged).toUtf8() + "\"}");
        list.resize(0);
        list.write(text);
    }
    fixture.m_messages.clear();
    auto window = fixture.MakeWindow();
    window->show();
    ASSERT_EQ(window->RowCount(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->CellText(1, kColStatus).isEmpty(); }, kReadWaitMs));
    EXPECT_EQ(window->CellText(1, kColStatus), QStringLiteral("Cannot be read"));
    EXPECT_FALSE(window->CellToolTip(1, kColStatus).isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->CellText(0, kColTime).isEmpty(); }, kReadWaitMs));
    EXPECT_EQ(window->CellText(0, kColTime), QStringLiteral("00:02"));
    EXPECT_TRUE(fixture.m_messages.empty()) << fixture.m_messages.front().text.toStdString();
    window->close();
}

TEST(Session, ReplacingTheListNeverWritesThroughAPlantedLink) {
    zem::testclips::TempDir folder;
    const QString target = Path(folder.path() / "FileList.json");
    const QString victim = Path(folder.path() / "victim.txt");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("untouched");
    }
    ASSERT_TRUE(QFile::link(victim, target));

    QString error;
    ASSERT_TRUE(zem::os::ReplaceFileContents(target, "new list", error)) << error.toStdString();
    // The link itself was replaced by a plain file; what it pointed at is as it was.
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("new list"));
    QFile untouched(victim);
    ASSERT_TRUE(untouched.open(QIODevice::ReadOnly));
    EXPECT_EQ(untouched.readAll(), QByteArray("untouched"));
    EXPECT_EQ(QFileInfo(target).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

TEST(Session, AListThatCannotBeWrittenSaysWhereAndLeavesNothing) {
    // Read-only by its mode, or (for root, who ignores modes) by its mount.
    zem::test::ReadOnlyDir locked("FileList.json", {'o', 'l', 'd'});
    if (!locked.usable())
        GTEST_SKIP() << "no read-only folder here (root needs to mount one)";
    const QString folder = QString::fromStdString(locked.path());
    QString error;
    EXPECT_FALSE(zem::os::ReplaceFileContents(folder + QStringLiteral("/FileList.json"), "new list", error));
    EXPECT_TRUE(error.contains(folder)) << error.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("FileList.json")});
    EXPECT_EQ(zem::test::ReadWholeFile(locked.file("FileList.json")), (std::vector<uint8_t>{'o', 'l', 'd'}));
}
