// What the rows and the Messages line tell: whole paths as tooltips, the
// output's size once a row is "Completed", and the time left while an "All
// files" run converts.

#include "AppTestSupport.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include "FileListModel.h"
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;

using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {} // namespace

TEST(RowInfo, InputAndOutputCellsShowTheWholePathAsTooltip) {
    zem::testclips::TempDir clips;
    const fs::path deep = clips.path() / "a folder with a rather long name" / "and another one below it";
    fs::create_directories(deep);
    const fs::path clip = zem::testclips::MakeClip(deep, "mp4", 1.0);
    ASSERT_FALSE(clip.empty());

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    ASSERT_EQ(window->AddFile(Path(clip)), 0);
    EXPECT_EQ(window->CellToolTip(0, kColInput), Path(clip));
    EXPECT_EQ(window->CellToolTip(0, kColOutput), window->CellText(0, kColOutput));
    EXPECT_TRUE(window->CellToolTip(0, kColOutput).startsWith(Path(deep)));
    // Another output: the tooltip follows.
    const QString chosen = Path(clips.path() / "elsewhere.avi");
    fixture.m_fileDialogAnswer = {chosen};
    window->OnChangeOutput();
    EXPECT_EQ(window->CellToolTip(0, kColOutput), chosen);
    // The status cell keeps its tooltip for a failure's reason.
    EXPECT_EQ(window->CellToolTip(0, kColStatus), QString());
}

TEST(RowInfo, SizeOfCompletedOutputsAndTimeLeftDuringAnAllFilesRun) {
    zem::testclips::TempDir clips;
    fs::create_directories(clips.path() / "one");
    fs::create_directories(clips.path() / "two");
    // Big enough pictures that each file takes several looks of the position timer.
    const fs::path first =
        zem::testclips::MakeClip(clips.path() / "one", "mp4", 20.0, 640, 480, 25, zem::testclips::Pattern::Moving);
    const fs::path second =
        zem::testclips::MakeClip(clips.path() / "two", "mp4", 20.0, 640, 480, 25, zem::testclips::Pattern::Moving);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    const fs::path broken = clips.path() / "broken.avi";
    {
        std::ofstream out(broken, std::ios::binary);
        for (int i = 0; i < 4096; ++i)
            out.put(char((i * 37) & 0xff));
    }

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddDroppedFiles({Path(first), Path(second), Path(broken)});
    ASSERT_EQ(window->RowCount(), 3);
    // Shown from the first look on, so that short files have one too.
    window->SetTimeLeftDelay(0);
    window->ControlAs<QAbstractButton>(IDC_ALL_FILES)->click();

    // Every text the Messages line shows during the run.
    QStringList messages;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString text = window->ControlAs<QLabel>(IDC_MESSAGE)->text();
        if (messages.isEmpty() || messages.back() != text)
            messages.append(text);
    });
    watch.start(20);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    watch.stop();

    ASSERT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    ASSERT_EQ(window->CellText(1, kColStatus), QStringLiteral("Completed"));
    for (int row : {0, 1}) {
        const QFileInfo output(window->CellText(row, kColOutput));
        ASSERT_TRUE(output.isFile());
        const QString size = window->CellText(row, kColSize);
        EXPECT_EQ(size, zem::app::FileListModel::FileSizeText(output.size()));
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^(\\d+KB|\\d+\\.\\dMB)$")).match(size).hasMatch())
            << size.toStdString();
    }
    // The file that failed shows no size.
    EXPECT_NE(window->CellText(2, kColStatus), QStringLiteral("Completed"));
    EXPECT_EQ(window->CellText(2, kColSize), QString());

    // While the first file converted: its time and the list's; while the
    // second: the list's again (one more file, which fails fast, is after it).
    const QRegularExpression first_left(QStringLiteral("^1 of 3: \\d+:\\d\\d left \\(all: \\d+:\\d\\d\\)$"));
    const QRegularExpression second_left(QStringLiteral("^2 of 3: \\d+:\\d\\d left \\(all: \\d+:\\d\\d\\)$"));
    EXPECT_TRUE(messages.indexOf(first_left) >= 0) << messages.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(messages.indexOf(second_left) >= 0) << messages.join(QStringLiteral(" | ")).toStdString();
    EXPECT_LT(messages.indexOf(first_left), messages.indexOf(second_left));

    // Converting the row again makes the size go while it converts and come back.
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->SelectRow(0);
    QStringList sizes;
    QString shown = window->CellText(0, kColSize);
    QObject::connect(&window->Rows(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& top, const QModelIndex& bottom) {
                         if (top.row() > 0 || top.column() > kColSize || bottom.column() < kColSize)
                             return;
                         const QString size = window->CellText(0, kColSize);
                         if (size != shown)
                             sizes.append(size);
                         shown = size;
                     });
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    EXPECT_EQ(sizes.size(), 2);
    EXPECT_EQ(sizes.value(0), QString());
    EXPECT_EQ(sizes.value(1), zem::app::FileListModel::FileSizeText(QFileInfo(window->CellText(0, kColOutput)).size()));
}

TEST(RowInfo, NewTextsAreTranslatedAndKeepTheirPlaceholders) {
    const char* keys[] = {zem::app::kTextFilesGone, zem::app::kTextTimeLeft, zem::app::kTextRunTimeLeft};
    const QRegularExpression placeholder(QStringLiteral("\\{\\w+\\}"));
    WindowFixture fixture;
    CCompressorDlg::Environment environment = fixture.Environment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    for (const char* locale : {"ko_KR.UTF-8", "en_US.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        apptest::ScopedEnv scoped("LC_ALL", locale);
        CCompressorDlg window(environment);
        for (const char* key : keys) {
            const QString english = QString::fromLatin1(key);
            const QString text = window.Translate(english);
            // English keeps the key; the others say it in their own words.
            if (QByteArray(locale).startsWith("en"))
                EXPECT_EQ(text, english);
            else
                EXPECT_NE(text, english) << locale << " " << key;
            QStringList wanted;
            QStringList found;
            for (auto match = placeholder.globalMatch(english); match.hasNext();)
                wanted.append(match.next().captured());
            for (auto match = placeholder.globalMatch(text); match.hasNext();)
                found.append(match.next().captured());
            wanted.sort();
            found.sort();
            EXPECT_EQ(found, wanted) << locale << " " << key;
        }
    }
}
