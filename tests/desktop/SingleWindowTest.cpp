// One window per user: a second start hands its files to the running window
// and ends; a `kill` closes the window as its close button does; the saved
// list is never lost to a window that did not read it, and one that cannot be
// read is kept aside.

#include "AppTestSupport.h"
#include "TestClips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;
using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

constexpr int kStartWaitMs = 30000;

QStringList SavedInputs(const QString& listFile) {
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList inputs;
    for (const QJsonValue& row :
         QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("files")).toArray())
        inputs << row.toObject().value(QStringLiteral("input")).toString();
    return inputs;
}

} // namespace

TEST(SingleWindow, ASecondStartHandsItsFilesToTheFirstAndKillClosesItLikeTheCloseButton) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path second = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    // A file that cannot be read: its report box is up when the signal comes.
    const QString broken = Path(clips.path() / "broken.avi");
    {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("only words, no film\n");
    }
    QTemporaryDir runtime;
    QTemporaryDir config;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    const QString program = QStringLiteral(ZEM_BINARY_DIR "/src/app/zemconverter");

    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(program, {QStringLiteral("-nosplash"), Path(first), broken});
    ASSERT_TRUE(window.waitForStarted());
    const QString socket = runtime.path() + QStringLiteral("/ZemConverter.socket");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, kStartWaitMs))
        << window.readAllStandardError().toStdString();

    // The second start ends at once: the running window took its file.
    QProcess later;
    later.setProcessEnvironment(environment);
    later.start(program, {QStringLiteral("-nosplash"), Path(second)});
    ASSERT_TRUE(later.waitForFinished(kStartWaitMs)) << "a second window stayed open";
    EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
    EXPECT_EQ(window.state(), QProcess::Running);

    // SIGTERM, with the box about the broken file waiting for an answer: the
    // window closes itself, saving its list and its settings.
    QTest::qWait(1500);
    window.terminate();
    ASSERT_TRUE(window.waitForFinished(kStartWaitMs));
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit) << "the signal killed the window";
    const QString folder = config.path() + QStringLiteral("/ZemConverter");
    EXPECT_EQ(SavedInputs(folder + QStringLiteral("/FileList.json")), (QStringList{Path(first), broken, Path(second)}));
    QSettings settings(folder + QStringLiteral("/ZemConverter.ini"), QSettings::IniFormat);
    EXPECT_TRUE(settings.contains(QStringLiteral("ZemConverter/VideoSize")));
}

TEST(SingleWindow, AListWrittenMeanwhileKeepsItsRows) {
    WindowFixture fixture;
    auto older = fixture.MakeWindow();
    older->show();
    ASSERT_EQ(older->AddFile(fixture.TouchFile(QStringLiteral("a.mp4"))), 0);
    {
        // Another window (an older program's, or one of another session)
        // saves its list while the first is open.
        auto other = fixture.MakeWindow();
        ASSERT_EQ(other->AddFile(fixture.TouchFile(QStringLiteral("b.mkv"))), 0);
        other->close();
    }
    older->close();
    const QStringList both{fixture.DataDir() + QStringLiteral("/a.mp4"), fixture.DataDir() + QStringLiteral("/b.mkv")};
    EXPECT_EQ(SavedInputs(older->SavedListPath()), both);
    // Saved again as the window goes: still both.
    const QString listPath = older->SavedListPath();
    older.reset();
    EXPECT_EQ(SavedInputs(listPath), both);
}

TEST(SingleWindow, AListThatCannotBeReadIsKeptAside) {
    WindowFixture fixture;
    QString listPath;
    {
        auto window = fixture.MakeWindow();
        ASSERT_EQ(window->AddFile(fixture.TouchFile(QStringLiteral("a.mp4"))), 0);
        ASSERT_EQ(window->AddFile(fixture.TouchFile(QStringLiteral("b.mkv"))), 1);
        listPath = window->SavedListPath();
        window->close();
    }
    // Cut in the middle, as a full disk or a crash leaves it.
    QFile file(listPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    const QByteArray truncated = whole.left(whole.size() / 2);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(truncated);
    file.close();

    auto window = fixture.MakeWindow();
    window->show();
    const QString aside = listPath + QStringLiteral(".unreadable");
    EXPECT_EQ(window->RowCount(), 0);
    QFile kept(aside);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), truncated);
    EXPECT_EQ(window->m_messageText, QStringLiteral("The saved list could not be read: kept as ") + aside);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->toolTip(), window->m_messageText);
    // The next list is written anew and the kept one stays as it was.
    ASSERT_EQ(window->AddFile(fixture.TouchFile(QStringLiteral("c.mp4"))), 0);
    window->close();
    EXPECT_EQ(SavedInputs(listPath), (QStringList{fixture.DataDir() + QStringLiteral("/c.mp4")}));
    kept.seek(0);
    EXPECT_EQ(kept.readAll(), truncated);
}
