// The Messages line: whole sentences, wrapped; only texts too long for its
// lines lose their middle, and are whole in the tooltip; a notice stays until
// read; during a run, where it is from the first file on; a failure stays
// in view until the end, which counts what converted and what failed.

#include "AppTestSupport.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;
using apptest::WindowFixture;
namespace fs = std::filesystem;

TEST(MessagesLine, SentencesShowWholeAndOnlyTooLongTextsLoseTheirMiddle) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    auto* line = window->ControlAs<QLabel>(IDC_MESSAGE);
    const auto fits = [line](const QString& text) {
        const QRect room = line->contentsRect();
        const QRect needed =
            line->fontMetrics().boundingRect(QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap, text);
        return needed.width() <= room.width() && needed.height() <= room.height();
    };
    struct Case {
        QString text;
        bool whole;
    };
    // A path too wide for a line, which no space lets wrap.
    const QString folders =
        QStringLiteral("/home/someone/Videos/") + QStringLiteral("a_folder_with_a_long_name/").repeated(4);
    const Case cases[] = {
        {QStringLiteral("No sound output: the preview plays without sound"), true},
        {QStringLiteral("/home/someone/Videos/holiday 2026 part one.mp4 is not a video file the converter can read"),
         true},
        {folders + QStringLiteral("holiday 2026 part one.mp4 is not a video file the converter can read"), false},
    };
    for (const Case& c : cases) {
        window->SetMessageText(std::string());
        window->SetMessageText(c.text.toStdString());
        const QString shown = line->text();
        EXPECT_TRUE(fits(shown)) << shown.toStdString();
        EXPECT_EQ(shown == c.text, c.whole) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("No sound")) || shown.startsWith(QStringLiteral("/home")))
            << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(c.text.right(8))) << shown.toStdString();
        EXPECT_EQ(line->toolTip(), c.text);
        // Reading the controls back keeps the whole text.
        window->UpdateData(true);
        EXPECT_EQ(window->m_messageText, c.text);
    }
}

TEST(MessagesLine, ANoticeStaysAboveTheNextTextUntilItHasBeenRead) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    auto* line = window->ControlAs<QLabel>(IDC_MESSAGE);
    const QString first = QStringLiteral("1 file of the last list no longer exists");
    const QString second = QStringLiteral("No sound output: the preview plays without sound");
    window->SetMessageText(first.toStdString());
    window->SetMessageText(second.toStdString());
    EXPECT_EQ(window->m_messageText, second);
    EXPECT_EQ(line->text(), first + QLatin1Char('\n') + second);
    // Once read, the first goes; the newest stays.
    EXPECT_TRUE(QTest::qWaitFor([&] { return line->text() == second; }, 30000)) << line->text().toStdString();
    EXPECT_EQ(line->toolTip(), second);
    // Clearing the line clears a held notice too.
    window->SetMessageText(first.toStdString());
    window->SetMessageText(second.toStdString());
    window->SetMessageText(std::string());
    EXPECT_EQ(line->text(), QString());
}

TEST(MessagesLine, ARunTellsWhereItIsKeepsItsFailureAndCountsAtTheEnd) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 2.0);
    const fs::path last = zem::testclips::MakeClip(clips.path(), "mkv", 2.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(last.empty());
    const fs::path broken = clips.path() / "broken.avi";
    {
        std::ofstream out(broken, std::ios::binary);
        for (int i = 0; i < 4096; ++i)
            out.put(char((i * 37) & 0xff));
    }
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(first));
    window->AddFile(Path(broken));
    window->AddFile(Path(last));
    window->ControlAs<QAbstractButton>(IDC_ALL_FILES)->click();

    QStringList seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString text = window->m_messageText;
        if (seen.isEmpty() || seen.back() != text)
            seen.append(text);
    });
    watch.start(10);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    watch.stop();
    seen.append(window->m_messageText);

    // Where the run is, from its first file on.
    EXPECT_TRUE(seen.contains(QStringLiteral("1 of 3"))) << seen.join(QStringLiteral(" | ")).toStdString();
    // From the failure on, nothing but the failure until the count at the end.
    const qsizetype failure = seen.indexOf(window->CellToolTip(1, kColStatus));
    ASSERT_GE(failure, 0) << seen.join(QStringLiteral(" | ")).toStdString();
    const QStringList after = seen.mid(failure + 1);
    ASSERT_FALSE(after.isEmpty());
    for (qsizetype i = 0; i + 1 < after.size(); ++i)
        EXPECT_EQ(after[i], after.back()) << seen.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(after.back(), QStringLiteral("1 of 3 failed: point at a row for the cause"));
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    EXPECT_EQ(window->CellText(2, kColStatus), QStringLiteral("Completed"));

    // A new run starts without the last one's count, and an emptied list has none.
    window->SelectRow(0);
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    seen.clear();
    watch.start(10);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    watch.stop();
    EXPECT_FALSE(seen.contains(QStringLiteral("1 of 3 failed: point at a row for the cause")))
        << seen.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(window->m_messageText, QStringLiteral("Completed"));
    window->ControlAs<QAbstractButton>(IDC_ALL_FILES)->click();
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    ASSERT_EQ(window->m_messageText, QStringLiteral("1 of 3 failed: point at a row for the cause"));
    window->ControlAs<QAbstractButton>(IDC_DELETE_ALL)->click();
    EXPECT_EQ(window->m_messageText, QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QString());
}

TEST(MessagesLine, AMissingFileHandedOverMakesNoRowAndIsToldThere) {
    zem::testclips::TempDir clips;
    const fs::path clip = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    ASSERT_FALSE(clip.empty());
    const QString missing = Path(clips.path() / "typo.mp4");
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    // As named on the command line, and as a later start hands them over.
    window->AddDroppedFiles({missing});
    EXPECT_EQ(window->RowCount(), 0);
    EXPECT_EQ(window->m_messageText, missing + QStringLiteral(" does not exist: not added"));
    window->TakeHandedFiles({Path(clip), missing});
    EXPECT_EQ(window->RowCount(), 1);
    EXPECT_EQ(window->CellText(0, kColInput), Path(clip));
    EXPECT_EQ(window->m_messageText, missing + QStringLiteral(" does not exist: not added"));
    EXPECT_TRUE(fixture.m_messages.empty());
}
