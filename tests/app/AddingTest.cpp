// Adding files never makes the window wait: rows appear at once, each file is
// read in the background, and files that cannot be read are told together,
// with their causes, in one message.

#include "AppTestSupport.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;
using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

constexpr int kReadWaitMs = 20000;

// The first half of a real clip: its index (written at the end) is gone.
fs::path Truncated(const fs::path& clip, const fs::path& target) {
    std::ifstream in(clip, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(target, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    return target;
}

} // namespace

TEST(Adding, DamagedFilesAreReadInTheBackgroundAndToldTogether) {
    zem::testclips::TempDir clips;
    const fs::path good = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path whole =
        zem::testclips::MakeClip(clips.path(), "mp4", 2.0, 160, 128, 25, zem::testclips::Pattern::Moving);
    ASSERT_FALSE(good.empty());
    ASSERT_FALSE(whole.empty());
    const fs::path damaged = Truncated(whole, clips.path() / "damaged.mp4");
    const fs::path text = clips.path() / "notes.avi";
    std::ofstream(text) << "Not a film, only words.\n";

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    // A FIFO would hold the window in its open: it makes no row.
    const fs::path fifo = clips.path() / "pipe.avi";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fixture.m_fileDialogAnswer = {Path(damaged), Path(text), Path(good), Path(fifo)};
    window->ControlAs<QAbstractButton>(IDC_ADD)->click();

    // The rows are there as the dialog closes; nothing has been opened yet,
    // so nothing has been reported yet.
    ASSERT_EQ(window->RowCount(), 3);
    EXPECT_TRUE(window->m_messageText.endsWith(QStringLiteral("pipe.avi is not a regular file")))
        << window->m_messageText.toStdString();
    EXPECT_TRUE(fixture.m_messages.empty()) << fixture.m_messages.front().text.toStdString();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !fixture.m_messages.empty(); }, kReadWaitMs));
    QTest::qWait(200);
    // One message for both, each named with its cause; none is called slow.
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    const QString report = fixture.m_messages[0].text;
    EXPECT_TRUE(report.startsWith(QStringLiteral("2 file(s) cannot be read:"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("damaged.mp4: "))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("notes.avi: "))) << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("longer"))) << report.toStdString();
    for (int row : {0, 1}) {
        EXPECT_EQ(window->CellText(row, kColStatus), QStringLiteral("Cannot be read"));
        EXPECT_FALSE(window->CellToolTip(row, kColStatus).isEmpty());
    }
    // The good file got its length and is the one open in the preview.
    EXPECT_EQ(window->CellText(2, kColStatus), QString());
    EXPECT_EQ(window->CellText(2, kColTime), QStringLiteral("00:01"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Control(IDC_PLAY)->isEnabled(); }, kReadWaitMs));
    EXPECT_EQ(window->m_inputFile, Path(good));

    // Choosing a damaged row tells its cause instead of trying it again.
    fixture.m_messages.clear();
    window->SelectRow(0);
    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_FALSE(window->Session().Handles().pGB);
    EXPECT_FALSE(window->Control(IDC_PLAY)->isEnabled());
    EXPECT_TRUE(window->m_messageText.startsWith(QStringLiteral("damaged.mp4: ")))
        << window->m_messageText.toStdString();
}

TEST(Adding, AGoodFileAloneOpensWithoutAMessage) {
    zem::testclips::TempDir clips;
    const fs::path good = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    ASSERT_FALSE(good.empty());
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddDroppedFiles({Path(good)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Control(IDC_PLAY)->isEnabled(); }, kReadWaitMs));
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QStringLiteral("160 x 128"));
    EXPECT_TRUE(fixture.m_messages.empty());
}

TEST(Adding, EveryNameTypedInTheOpenDialogIsTakenWhateverTheFilter) {
    WindowFixture fixture;
    zem::app::SetFileDialogHandler({}); // the real dialog, typed into below
    const QString mp4 = fixture.TouchFile(QStringLiteral("a.mp4"));
    const QString mkv = fixture.TouchFile(QStringLiteral("b.mkv"));
    fixture.TouchFile(QStringLiteral("c.txt"));
    auto window = fixture.MakeWindow();
    window->show();
    bool typed = false;
    QTimer::singleShot(200, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        dialog->setDirectory(fixture.DataDir());
        dialog->selectNameFilter(dialog->nameFilters().at(0)); // the films the filter lists
        // The folder's listing is read in the background; the user sees it before typing.
        auto* listing = dialog->findChild<QFileSystemModel*>();
        if (!QTest::qWaitFor([&] { return listing && listing->rowCount(listing->index(fixture.DataDir())) > 0; },
                             kReadWaitMs)) {
            dialog->reject();
            return;
        }
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (edit == nullptr) {
            dialog->reject();
            return;
        }
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("\"a.mp4\" \"b.mkv\" \"c.txt\""));
        typed = true;
        QTest::keyClick(edit, Qt::Key_Return);
    });
    window->ControlAs<QAbstractButton>(IDC_ADD)->click();
    ASSERT_TRUE(typed) << "no open dialog came up";
    // Both films; the text file is no film.
    ASSERT_EQ(window->RowCount(), 2);
    QStringList inputs{window->CellText(0, kColInput), window->CellText(1, kColInput)};
    inputs.sort();
    EXPECT_EQ(inputs, (QStringList{mp4, mkv}));
}

TEST(Adding, TypedNamesJoinWhatTheDialogsViewHadSelected) {
    // The dialog's view selects the typed names its filter shows and then
    // reports only those: the others are added back.
    WindowFixture fixture;
    const QString mp4 = fixture.TouchFile(QStringLiteral("a.mp4"));
    const QString mkv = fixture.TouchFile(QStringLiteral("b.mkv"));
    EXPECT_EQ(zem::app::WithTypedFiles({mp4}, QStringLiteral("\"a.mp4\" \"b.mkv\" \"gone.avi\""), fixture.DataDir()),
              (QStringList{mp4, mkv}));
    EXPECT_EQ(zem::app::WithTypedFiles({}, QStringLiteral("b.mkv"), fixture.DataDir()), (QStringList{mkv}));
}
