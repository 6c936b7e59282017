// The window with real clips: opening a row fills the preview labels, Convert
// turns the selected row or every row into the player's AVI files, a failing
// row does not end the run, and Stop or closing the window ends a job with
// what was captured so far.

#include "AppTestSupport.h"
#include "AviParse.h"
#include "DlgTexts.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include "FileListModel.h"
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;

using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

// Every text the rows' Status cells were given, in order.
struct StatusLog {
    explicit StatusLog(const zem::app::FileListModel& rows) {
        QObject::connect(&rows, &QAbstractItemModel::dataChanged,
                         [this, &rows](const QModelIndex& top, const QModelIndex& bottom) {
                             if (top.column() > kColStatus || bottom.column() < kColStatus)
                                 return;
                             for (int row = top.row(); row <= bottom.row(); ++row) {
                                 const QString text = rows.CellText(row, kColStatus);
                                 if (texts.isEmpty() || texts.back() != text)
                                     texts.append(text);
                             }
                         });
    }
    QStringList texts;
};

// A file with a video ending that no decoder can read.
fs::path WriteGarbage(const fs::path& dir, const std::string& name) {
    const fs::path path = dir / name;
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 4096; ++i)
        out.put(char((i * 37) & 0xff));
    return path;
}

void ExpectPlayableOutput(const QString& path, size_t minFrames, size_t maxFrames) {
    const zem::test::AviFile avi = zem::test::ParseAvi(path.toStdString());
    EXPECT_TRUE(avi.problems.empty()) << path.toStdString() << ": " << (avi.problems.empty() ? "" : avi.problems[0]);
    EXPECT_EQ(avi.videoRate, 16u);
    EXPECT_EQ(avi.microSecPerFrame, 62500u);
    EXPECT_EQ(avi.width, 160u);
    EXPECT_EQ(avi.height, 128u);
    EXPECT_GE(avi.videoCount(), minFrames);
    EXPECT_LE(avi.videoCount(), maxFrames);
    EXPECT_GT(avi.audioCount(), 0u);
}

// The frames and sound files beside the output and the muxer's scratch file
// beside the input are gone once a job is written.
void ExpectNoIntermediates(const QString& input, const QString& output) {
    const fs::path out = output.toStdString();
    EXPECT_FALSE(fs::exists(fs::path(out).replace_extension(".tmp")));
    EXPECT_FALSE(fs::exists(fs::path(out).replace_extension(".mp3")));
    EXPECT_FALSE(fs::exists(fs::path(input.toStdString()).replace_extension(".zem")));
}

} // namespace

TEST(Preview, OpeningARowDescribesTheFile) {
    zem::testclips::TempDir clips;
    const fs::path clip = zem::testclips::MakeClip(clips.path(), "mp4", 2.0);
    ASSERT_FALSE(clip.empty());
    const fs::path broken = WriteGarbage(clips.path(), "broken.mp4");

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    // Adding selects the new row, which opens it in the preview.
    ASSERT_EQ(window->AddFile(Path(clip)), 0);
    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QStringLiteral("160 x 128"));
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_DURATION)->text(), QStringLiteral("00:02"));
    EXPECT_EQ(window->CellText(0, kColTime), QStringLiteral("00:02"));
    const qint64 bytes = QFileInfo(Path(clip)).size();
    ASSERT_LT(bytes, 1024 * 1024);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILE_SIZE_TEXT)->text(), QStringLiteral("%1KB").arg(bytes / 1024));
    EXPECT_TRUE(window->Control(IDC_PLAY)->isEnabled());
    EXPECT_TRUE(window->Control(IDC_POSITION_SLIDER)->isEnabled());
    EXPECT_GT(window->m_duration, 19'000'000);
    // The picture fills the video area inside its frame.
    auto* area = qobject_cast<QFrame*>(window->Control(IDC_VIDEO_AREA));
    const auto pictures = area->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_EQ(pictures[0]->geometry(), area->contentsRect());
    EXPECT_TRUE(pictures[0]->isVisible());

    // A file nothing can decode: the user is told, and the labels no longer
    // describe the previous file.
    fixture.m_messages.clear();
    ASSERT_EQ(window->AddFile(Path(broken)), 1);
    // One box, in words: what failed and why, no result codes.
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    const QString told = fixture.m_messages[0].text;
    EXPECT_TRUE(told.startsWith(QStringLiteral("File failed to render!\n\n"))) << told.toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("%1 is not a video file").arg(Path(broken)))) << told.toStdString();
    EXPECT_FALSE(told.contains(QStringLiteral("Failed("))) << told.toStdString();
    EXPECT_FALSE(window->Control(IDC_PLAY)->isEnabled());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QString());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_DURATION)->text(), QStringLiteral("00:00"));
    EXPECT_FALSE(window->Session().Handles().pGB);

    // Back to the good row: a fresh graph describes it again.
    window->SelectRow(0);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QStringLiteral("160 x 128"));
    EXPECT_TRUE(window->Control(IDC_PLAY)->isEnabled());

    // An empty list leaves no graph and no picture behind.
    window->OnDeleteAll();
    EXPECT_FALSE(window->Session().Handles().pGB);
    EXPECT_TRUE(area->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).isEmpty());
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QString());
}

TEST(Conversion, SelectedFileBecomesAPlayerFile) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 2.0);
    const fs::path second = zem::testclips::MakeClip(clips.path(), "avi", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(first));
    window->AddFile(Path(second));
    window->SelectRow(0);
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();
    StatusLog log(window->Rows());

    testing::internal::CaptureStdout();
    // Returns once the job is finished.
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    const std::string events = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    EXPECT_EQ(window->CellText(1, kColStatus), QString()); // only the selected row
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QStringLiteral("Completed"));
    EXPECT_EQ(log.texts.back(), QStringLiteral("Completed"));
    EXPECT_EQ(window->ControlAs<QProgressBar>(IDC_PROGRESS)->value(), 0);
    // The graph's events are for its log, not for the terminal.
    EXPECT_EQ(events.find("EC_"), std::string::npos) << events;
    EXPECT_FALSE(window->Run().converting());
    EXPECT_EQ(window->m_timerId, 0);
    // The options are usable again and the row is back in the preview.
    EXPECT_TRUE(window->Control(IDC_CONVERT)->isEnabled());
    EXPECT_EQ(window->GetSelectedRow(), 0);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text(), QStringLiteral("160 x 128"));

    ExpectPlayableOutput(window->CellText(0, 1), 30, 34);
    EXPECT_FALSE(QFileInfo::exists(window->CellText(1, 1)));
    // Only the output is left beside the clips.
    ExpectNoIntermediates(window->CellText(0, 0), window->CellText(0, 1));

    // With a selection range in the row only that second is converted.
    window->SetTimeCell(2, 5'000'000, true);
    window->SetTimeCell(3, 15'000'000, true);
    EXPECT_EQ(window->CellText(0, 2), QStringLiteral("00:00.500"));
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    ExpectPlayableOutput(window->CellText(0, 1), 15, 18);
}

TEST(Conversion, AllFilesGoesOnAfterARowThatFails) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path broken = WriteGarbage(clips.path(), "broken.avi");
    const fs::path last = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(last.empty());

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(first));
    window->AddFile(Path(broken));
    window->AddFile(Path(last));
    window->ControlAs<QAbstractButton>(IDC_ALL_FILES)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();
    fixture.m_messages.clear();

    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();

    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    const QString failed = window->CellText(1, kColStatus);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ERROR\\(\\d+\\)$")).match(failed).hasMatch())
        << failed.toStdString();
    EXPECT_EQ(window->CellText(2, kColStatus), QStringLiteral("Completed"));
    ExpectPlayableOutput(window->CellText(0, 1), 14, 18);
    ExpectPlayableOutput(window->CellText(2, 1), 14, 18);
    EXPECT_FALSE(QFileInfo::exists(window->CellText(1, 1)));
    // The run went on unattended: no box; the broken row says why in words.
    EXPECT_TRUE(fixture.m_messages.empty()) << fixture.m_messages.front().text.toStdString();
    const QString why = QStringLiteral("%1 is not a video file the converter can read").arg(Path(broken));
    EXPECT_TRUE(window->CellToolTip(1, kColStatus).startsWith(why)) << window->CellToolTip(1, kColStatus).toStdString();
    // The last row stays selected and is shown again.
    EXPECT_EQ(window->GetSelectedRow(), 2);
    EXPECT_TRUE(window->Control(IDC_CONVERT)->isEnabled());
}

TEST(Conversion, TwoRowsNeverWriteOneFile) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path second = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    const fs::path third = zem::testclips::MakeClip(clips.path(), "avi", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    ASSERT_FALSE(third.empty());

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(first));
    window->AddFile(Path(second));
    window->AddFile(Path(third));
    window->ControlAs<QAbstractButton>(IDC_ALL_FILES)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();
    // Names that met after they were chosen (a list from an older program,
    // a name typed into the cell): row 2 writes row 1's output, row 3 its own input.
    const QString shared = window->CellText(0, kColOutput);
    window->Rows().SetOutput(1, shared);
    window->Rows().SetOutput(2, Path(first));
    const QByteArray inputBefore = [&] {
        QFile file(Path(first));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    fixture.m_messages.clear();

    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();

    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    EXPECT_EQ(window->CellText(1, kColStatus), QStringLiteral("ERROR(39)"));
    EXPECT_EQ(window->CellText(2, kColStatus), QStringLiteral("ERROR(38)"));
    EXPECT_TRUE(window->CellToolTip(1, kColStatus).contains(Path(first)))
        << window->CellToolTip(1, kColStatus).toStdString();
    EXPECT_FALSE(window->CellToolTip(2, kColStatus).isEmpty());
    // Row 1's output is row 1's work, and the input is untouched.
    ExpectPlayableOutput(shared, 14, 18);
    QFile input(Path(first));
    ASSERT_TRUE(input.open(QIODevice::ReadOnly));
    EXPECT_EQ(input.readAll(), inputBefore);
    EXPECT_TRUE(fixture.m_messages.empty());
    // The end of the run counts: 2 of 3 failed.
    const QString summary = window->m_messageText;
    EXPECT_EQ(summary, QStringLiteral("2 of 3 failed: point at a row for the cause"));
}

TEST(Conversion, StopAndCloseEndTheJobWithWhatWasCaptured) {
    zem::testclips::TempDir clips;
    // Long enough that the job is still decoding when the first wait ends.
    const fs::path clip =
        zem::testclips::MakeClip(clips.path(), "mp4", 60.0, 320, 240, 25, zem::testclips::Pattern::Moving);
    ASSERT_FALSE(clip.empty());
    constexpr size_t kFullFrames = 60 * 16;

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(clip));
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();

    // Stop is pressed at the first look at the running job (after the first
    // half-second wait), well before the clip's end.
    StatusLog log(window->Rows());
    QStringList progressSeen;
    int barSeen = -1;
    const auto pressWhenRunning = [&](const std::function<void()>& press) {
        auto* watch = new QTimer(window.get());
        QObject::connect(watch, &QTimer::timeout, [&, watch, press] {
            if (window->Run().converting() && !window->Run().finishing() && window->Run().Position() > 0) {
                watch->stop();
                // What the position timer does on its next tick.
                EXPECT_NE(window->m_timerId, 0);
                window->OnPositionTimer();
                progressSeen.append(window->CellText(0, kColStatus));
                barSeen = window->ControlAs<QProgressBar>(IDC_PROGRESS)->value();
                press();
            }
        });
        watch->start(10);
        return watch;
    };
    QTimer* watch = pressWhenRunning([&] { window->ControlAs<QAbstractButton>(IDC_STOP_CONVERSION)->click(); });
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    EXPECT_FALSE(watch->isActive()) << "the job ended before Stop was pressed";
    delete watch;

    EXPECT_TRUE(fixture.m_messages.empty());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Stopped"));
    EXPECT_EQ(log.texts.back(), QStringLiteral("Stopped"));
    ASSERT_EQ(progressSeen.size(), 1);
    const QRegularExpressionMatch percent =
        QRegularExpression(QStringLiteral("^Converting \\.\\.\\. (\\d+)%$")).match(progressSeen[0]);
    ASSERT_TRUE(percent.hasMatch()) << progressSeen[0].toStdString();
    EXPECT_EQ(percent.captured(1).toInt(), barSeen);
    EXPECT_LT(barSeen, 100);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->text(), QStringLiteral("Stopped"));
    ExpectPlayableOutput(window->CellText(0, 1), 1, kFullFrames * 3 / 4);
    // What was written has its size, as a completed output does.
    EXPECT_EQ(window->CellText(0, kColSize), zem::app::FileListModel::FileSizeText(QFileInfo(window->CellText(0, 1)).size()));
    EXPECT_FALSE(window->CellText(0, kColSize).isEmpty());
    ExpectNoIntermediates(window->CellText(0, 0), window->CellText(0, 1));

    // Closing the window while converting ends the job the same way, before
    // the window is gone; no later row is started and nothing is reloaded.
    const QString output = window->CellText(0, 1);
    ASSERT_TRUE(QFile::remove(output));
    watch = pressWhenRunning([&] { window->close(); });
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    EXPECT_FALSE(watch->isActive()) << "the job ended before the window was closed";
    delete watch;
    EXPECT_FALSE(window->Run().converting());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Stopped"));
    ExpectPlayableOutput(output, 1, kFullFrames * 3 / 4);
    EXPECT_FALSE(window->Session().Handles().pGB);
    EXPECT_EQ(window->m_timerId, 0);
}

TEST(Conversion, ClosingWhileTheOutputIsWrittenAbandonsIt) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "mp4", 3.0));
    auto& window = w.window;
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();
    // The muxer handles the window's messages once per cycle; the close
    // request arrives in its first cycle.
    int pumpsWhileWriting = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window->Run().writing())
            return;
        if (++pumpsWhileWriting == 1)
            window->close();
    });
    watch.start(0);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    watch.stop();
    ASSERT_GE(pumpsWhileWriting, 1);
    EXPECT_FALSE(window->Run().converting());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Stopped"));
    // The one question before a running job is stopped, and nothing else.
    ASSERT_EQ(w.fixture.m_messages.size(), 1u);
    EXPECT_EQ(w.fixture.m_messages[0].text, QString::fromLatin1(zem::app::kTextStopAndQuit));
    // What the muxer had written is removed, with the intermediates.
    EXPECT_FALSE(QFileInfo::exists(window->CellText(0, 1)));
    ExpectNoIntermediates(window->CellText(0, 0), window->CellText(0, 1));
    EXPECT_FALSE(window->Session().Handles().pGB);
}

TEST(Conversion, AnInputCutWhileItConvertsIsWrittenAndTheRowSaysWhereItEnded) {
    zem::testclips::TempDir clips;
    const fs::path clip =
        zem::testclips::MakeClip(clips.path(), "mpg", 60.0, 640, 360, 25, zem::testclips::Pattern::Moving);
    ASSERT_FALSE(clip.empty());

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(clip));
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();

    // Cut to a tenth at the first look at the running job.
    auto* watch = new QTimer(window.get());
    QObject::connect(watch, &QTimer::timeout, [&] {
        if (window->Run().converting() && !window->Run().finishing() && window->Run().Position() > 0) {
            watch->stop();
            fs::resize_file(clip, fs::file_size(clip) / 10);
        }
    });
    watch->start(10);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    EXPECT_FALSE(watch->isActive()) << "the job ended before the input was cut";
    delete watch;

    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    const QString said = window->CellToolTip(0, kColStatus);
    const QRegularExpression where(QStringLiteral(": the input ended at 0:[0-5]\\d\\.?\\d? of 1:00$"));
    EXPECT_TRUE(where.match(said).hasMatch()) << said.toStdString();
    EXPECT_TRUE(said.startsWith(Path(clip))) << said.toStdString();
    // The Messages line shows it (elided in the middle when long) and whole in its tooltip.
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->toolTip(), said);
    ExpectPlayableOutput(window->CellText(0, 1), 1, 60 * 16);
    EXPECT_TRUE(fixture.m_messages.empty());
}
