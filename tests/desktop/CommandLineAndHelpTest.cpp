// Files named on the window's command line join the list as if dropped, and
// Help shows the manual in the program's own viewer when the desktop's opener fails.

#include "AppTestSupport.h"
#include "CompressorApp.h"
#include "HelpViewer.h"
#include "TestClips.h"

#include <QDialog>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;

using apptest::ScopedEnv;
using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

// Runs in `folder` while it lives, then goes back.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const QString& folder) : m_old(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~ScopedCurrentFolder() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

} // namespace

TEST(CommandLine, FilesOnTheCommandLineAreAddedAsIfDropped) {
    zem::testclips::TempDir clips;
    const fs::path mp4 = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path mkv = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    ASSERT_FALSE(mp4.empty());
    ASSERT_FALSE(mkv.empty());
    const QString notes = Path(clips.path() / "notes.txt");

    QStringList files;
    {
        // A name relative to the folder the program was started in, a file
        // manager's "file://" address, a file that is no video, a switch.
        ScopedCurrentFolder here(Path(clips.path()));
        files = CCompressorApp::InputFiles({QStringLiteral("zemconverter"), QStringLiteral("-nosplash"),
                                            Path(mp4.filename()), QUrl::fromLocalFile(Path(mkv)).toString(), notes,
                                            QStringLiteral("/NOSPLASH")});
    }
    EXPECT_EQ(files, (QStringList{Path(mp4), Path(mkv), notes}));

    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddDroppedFiles(files);
    ASSERT_EQ(window->RowCount(), 2);
    EXPECT_EQ(window->CellText(0, kColInput), Path(mp4));
    EXPECT_EQ(window->CellText(1, kColInput), Path(mkv));
    // The last one is open in the preview, as after a drop, once it has been read.
    EXPECT_EQ(window->GetSelectedRow(), 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->ControlAs<QLabel>(IDC_VIDEO_SIZE_TEXT)->text() == QStringLiteral("160 x 128"); }, 20000));
    EXPECT_TRUE(fixture.m_messages.empty());
}

TEST(Help, ManualShowsInTheProgramsOwnViewerWhenNoBrowserTakesIt) {
    ScopedEnv english("LC_ALL", "en_US.UTF-8");
    WindowFixture fixture;
    CCompressorDlg::Environment environment = fixture.Environment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    CCompressorDlg window(environment);
    window.show();
    const QString manual = QStringLiteral(ZEM_SOURCE_DIR "/Doc/ZemConverter_UserManual_Eng.html");

    // A browser took it: no viewer of our own.
    QList<QUrl> asked;
    zem::app::SetUrlOpener([&asked](const QUrl& url) {
        asked.append(url);
        return true;
    });
    window.ShowHelp();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], QUrl::fromLocalFile(manual));
    EXPECT_EQ(window.findChild<QDialog*>(QString::fromLatin1(zem::app::kHelpViewerName)), nullptr);

    // The desktop's opener is there but fails (no browser set, a broken
    // setting): the viewer shows the manual with its pictures.
    zem::app::SetUrlOpener({});
    zem::testclips::TempDir bin;
    const std::filesystem::path opener = bin.path() / "xdg-open";
    {
        std::ofstream script(opener);
        script << "#!/bin/sh\necho \"$1\" > \"$0.asked\"\nexit 4\n";
    }
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    ScopedEnv path("PATH", bin.path().string().c_str());
    window.ShowHelp();
    QDialog* viewer = nullptr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (viewer = window.findChild<QDialog*>(QString::fromLatin1(zem::app::kHelpViewerName))); }, 20000));
    ASSERT_NE(viewer, nullptr);
    std::ifstream asked2(opener.string() + ".asked");
    std::string handed;
    std::getline(asked2, handed);
    EXPECT_EQ(QUrl(QString::fromStdString(handed)), QUrl::fromLocalFile(manual));
    EXPECT_TRUE(viewer->isVisible());
    auto* browser = viewer->findChild<QTextBrowser*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(manual));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("ZemConverter")));
    // The manual's pictures are found beside it.
    const QVariant picture =
        browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/window_eng.png")));
    EXPECT_FALSE(picture.toByteArray().isEmpty());

    // A second Help raises the same viewer (the opener answering at once).
    zem::app::SetUrlOpener([](const QUrl&) { return false; });
    window.ShowHelp();
    EXPECT_EQ(window.findChildren<QDialog*>(QString::fromLatin1(zem::app::kHelpViewerName)).size(), 1);
    zem::app::SetUrlOpener({});
}

TEST(Help, TheViewerShowsEveryManualReadablyAtItsSize) {
    for (const char* name : {"ZemConverter_UserManual.html", "ZemConverter_UserManual_Eng.html",
                             "ZemConverter_UserManual_Chs.html", "ZemConverter_UserManual_Cht.html"}) {
        SCOPED_TRACE(name);
        QWidget owner;
        zem::app::ShowHelpViewer(&owner, QStringLiteral(ZEM_SOURCE_DIR "/Doc/") + QLatin1String(name));
        auto* viewer = owner.findChild<QDialog*>(QString::fromLatin1(zem::app::kHelpViewerName));
        ASSERT_NE(viewer, nullptr);
        auto* browser = viewer->findChild<QTextBrowser*>();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
        // Nothing wider than the window.
        EXPECT_EQ(browser->horizontalScrollBar()->maximum(), 0);
        // The title band is dark and its title light on it.
        const QImage shown = browser->viewport()->grab().toImage();
        ASSERT_FALSE(shown.isNull());
        const QColor band = shown.pixelColor(4, 4);
        EXPECT_LT(band.lightness(), 80) << band.name().toStdString();
        int light = 0;
        for (int x = 0; x < shown.width() / 2; ++x)
            for (int y = 0; y < 60 && y < shown.height(); ++y)
                light += shown.pixelColor(x, y).lightness() > 200 ? 1 : 0;
        EXPECT_GT(light, 50) << "no light title text on the band";
        // Something of the manual shows in every part of the first screen:
        // no blank gap taller than a quarter of it.
        int blankRun = 0, longest = 0;
        for (int y = 0; y < shown.height(); ++y) {
            bool blank = true;
            for (int x = 0; x < shown.width() && blank; x += 2)
                blank = shown.pixelColor(x, y) == shown.pixelColor(shown.width() - 1, y);
            blankRun = blank ? blankRun + 1 : 0;
            longest = std::max(longest, blankRun);
        }
        EXPECT_LT(longest, shown.height() / 4);
        if (std::getenv("ZEM_SAVE_HELP_SHOTS"))
            shown.save(QStringLiteral("/tmp/help_") + QLatin1String(name) + QStringLiteral(".png"));
    }
}
