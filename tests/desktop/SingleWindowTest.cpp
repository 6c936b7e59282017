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
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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

constexpr int kNobody = 65534;
constexpr const char* kAlone = "later starts open windows of their own";

// Runs `body` as the user "nobody" in a process of its own (its exit status
// is what `body` returns); the caller waits for it.
template <typename Body>
pid_t AsNobody(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(126);
        ::_exit(body());
    }
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

sockaddr_un SocketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    return address;
}

// Another user's trap: their folder at the name a window would use, a
// socket there that takes every start and writes down what it was sent,
// and a lock file of theirs.
int ListenAsAnotherUser(const std::string& folder, const std::string& log) {
    ::mkdir(folder.c_str(), 0777);
    ::chmod(folder.c_str(), 0777);
    const std::string socketPath = folder + "/ZemConverter.socket";
    const int lock = ::open((socketPath + ".lock").c_str(), O_WRONLY | O_CREAT, 0666);
    const std::string pid = std::to_string(::getpid()) + "\nzemconverter\n\n";
    if (lock < 0 || ::write(lock, pid.data(), pid.size()) < 0)
        return 1;
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = SocketAddress(socketPath);
    if (::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(server, 8) != 0)
        return 1;
    ::chmod(socketPath.c_str(), 0777);
    for (;;) {
        const int client = ::accept(server, nullptr, nullptr);
        if (client < 0)
            continue;
        char buffer[4096];
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
        for (ssize_t got; (got = ::read(client, buffer, sizeof buffer)) > 0;) {
            if (::write(out, buffer, size_t(got)) < 0)
                break;
            if (std::memchr(buffer, '\n', size_t(got)) != nullptr)
                break;
        }
        ::close(out);
        if (::write(client, "taken\n", 6) < 0)
            break;
        ::close(client);
    }
    return 0;
}

// Another user sends the window a file: 0 when the window answered that it took it.
int HandOverAsAnotherUser(const std::string& socketPath) {
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = SocketAddress(socketPath);
    const timeval wait{10, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return 2;
    const char message[] = "[\"/etc/shadow\"]\n";
    if (::write(client, message, sizeof message - 1) < 0)
        return 3;
    std::string answer;
    char buffer[64];
    for (ssize_t got; (got = ::read(client, buffer, sizeof buffer)) > 0;)
        answer.append(buffer, size_t(got));
    return answer == "taken\n" ? 0 : 1;
}

// Starts the window with `environment` on `file`; the caller ends it.
void StartWindow(QProcess& window, const QProcessEnvironment& environment, const QString& file) {
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(ZEM_BINARY_DIR "/src/app/zemconverter"), {QStringLiteral("-nosplash"), file});
}

// Waits until the window's standard error holds `text`; what it said so far goes to `said`.
bool WaitForSaid(QProcess& window, const char* text, QByteArray& said) {
    return QTest::qWaitFor(
        [&] {
            said += window.readAllStandardError();
            return said.contains(text);
        },
        kStartWaitMs);
}

} // namespace

TEST(SingleWindow, TheChannelLivesOnlyInAFolderOfTheUsersAloneAndHearsOnlyThem) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play another user";
    zem::testclips::TempDir clips;
    const fs::path clip = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    ASSERT_FALSE(clip.empty());
    QTemporaryDir config;
    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    base.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    base.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    base.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    const std::string own = "ZemConverter-" + std::to_string(::geteuid());

    // No runtime folder, and another user made the name in the shared
    // temporary folder first: the window starts, alone, and they hear nothing.
    {
        QTemporaryDir shared;
        ::chmod(QFile::encodeName(shared.path()).constData(), 01777);
        const std::string trap = QFile::encodeName(shared.path()).toStdString() + "/" + own;
        const std::string log = QFile::encodeName(shared.path()).toStdString() + "/heard.txt";
        const pid_t theirs = AsNobody([&] { return ListenAsAnotherUser(trap, log); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(trap + "/ZemConverter.socket"); }, kStartWaitMs));
        QProcessEnvironment environment = base;
        environment.insert(QStringLiteral("TMPDIR"), shared.path());
        QProcess window;
        StartWindow(window, environment, Path(clip));
        QByteArray said;
        EXPECT_TRUE(WaitForSaid(window, kAlone, said)) << said.toStdString();
        EXPECT_EQ(window.state(), QProcess::Running) << "the start was swallowed";
        EXPECT_FALSE(fs::exists(log)) << "another user heard the start";
        window.kill();
        window.waitForFinished();
        ::kill(theirs, SIGKILL);
        WaitFor(theirs);
    }

    // A runtime folder of another user's is not used: the window makes its
    // own folder in the temporary one, mode 0700, and there it listens.
    // Another user who reaches the socket anyway (the folder opened up) is
    // not heard, and a start that cannot have the lock within 2 s goes on alone.
    {
        QTemporaryDir shared;
        QTemporaryDir runtime;
        ::chmod(QFile::encodeName(shared.path()).constData(), 01777);
        ASSERT_EQ(::chown(QFile::encodeName(runtime.path()).constData(), kNobody, kNobody), 0);
        QProcessEnvironment environment = base;
        environment.insert(QStringLiteral("TMPDIR"), shared.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        const std::string folder = QFile::encodeName(shared.path()).toStdString() + "/" + own;
        const std::string socketPath = folder + "/ZemConverter.socket";
        QProcess window;
        StartWindow(window, environment, Path(clip));
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socketPath); }, kStartWaitMs))
            << window.readAllStandardError().toStdString();
        struct stat st {};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_FALSE(fs::exists(QFile::encodeName(runtime.path()).toStdString() + "/ZemConverter.socket"));

        ::chmod(folder.c_str(), 0755);
        ::chmod(socketPath.c_str(), 0777);
        EXPECT_EQ(WaitFor(AsNobody([&] { return HandOverAsAnotherUser(socketPath); })), 1)
            << "another user's files were taken";
        ::chmod(folder.c_str(), 0700);

        QLockFile held(QString::fromStdString(folder + "/ZemConverter.socket.lock"));
        ASSERT_TRUE(held.tryLock(kStartWaitMs));
        QProcess later;
        StartWindow(later, environment, Path(clip));
        QByteArray said;
        EXPECT_TRUE(WaitForSaid(later, kAlone, said)) << "a start waited for the lock: " << said.toStdString();
        EXPECT_EQ(later.state(), QProcess::Running);
        later.kill();
        later.waitForFinished();
        window.kill();
        window.waitForFinished();
    }

    // The user's own runtime folder, or their own folder in the temporary
    // one, that others may write in is never used: a name there could be
    // replaced by another user's socket.
    for (const mode_t mode : {mode_t(0777), mode_t(0770)}) {
        SCOPED_TRACE(mode);
        QTemporaryDir shared;
        QTemporaryDir runtime;
        ::chmod(QFile::encodeName(shared.path()).constData(), 01777);
        ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), mode), 0);
        QProcessEnvironment environment = base;
        environment.insert(QStringLiteral("TMPDIR"), shared.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        const std::string folder = QFile::encodeName(shared.path()).toStdString() + "/" + own;
        QProcess window;
        StartWindow(window, environment, Path(clip));
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(folder + "/ZemConverter.socket"); }, kStartWaitMs))
            << window.readAllStandardError().toStdString();
        EXPECT_FALSE(fs::exists(QFile::encodeName(runtime.path()).toStdString() + "/ZemConverter.socket"));
        window.kill();
        window.waitForFinished();

        ASSERT_EQ(::chmod(folder.c_str(), mode), 0);
        QProcess alone;
        StartWindow(alone, environment, Path(clip));
        QByteArray said;
        EXPECT_TRUE(WaitForSaid(alone, kAlone, said)) << said.toStdString();
        EXPECT_EQ(alone.state(), QProcess::Running) << "the start was handed to a folder others can write";
        alone.kill();
        alone.waitForFinished();
    }
}

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

TEST(SingleWindow, AListOrSettingsThatCannotBeReadAreKeptAside) {
    // What can stand at either name: a list cut in the middle (a full disk
    // or a crash), bytes that are no settings, a link to /dev/zero (endless),
    // a FIFO (a read would wait for ever). Each is moved aside, untouched,
    // and the Messages line says so; a new one is written at the close.
    enum class Kind { Cut, Garbage, EndlessLink, Fifo };
    struct Case {
        bool list; // the saved list, else the settings
        Kind kind;
    };
    const Case cases[] = {{true, Kind::Cut},      {true, Kind::EndlessLink},  {true, Kind::Fifo},
                          {false, Kind::Garbage}, {false, Kind::EndlessLink}, {false, Kind::Fifo}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list ? "list, " : "settings, ") + std::to_string(int(c.kind)));
        WindowFixture fixture;
        QString listPath;
        {
            auto window = fixture.MakeWindow();
            ASSERT_EQ(window->AddFile(fixture.TouchFile(QStringLiteral("a.mp4"))), 0);
            ASSERT_EQ(window->AddFile(fixture.TouchFile(QStringLiteral("b.mkv"))), 1);
            listPath = window->SavedListPath();
            window->close();
        }
        const QString path = c.list ? listPath : fixture.SettingsFile();
        const QByteArray path8 = QFile::encodeName(path);
        QByteArray contents;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        file.close();
        ASSERT_TRUE(QFile::remove(path));
        switch (c.kind) {
        case Kind::Cut:
            contents = whole.left(whole.size() / 2);
            break;
        case Kind::Garbage:
            for (int i = 0; i < 4096; ++i)
                contents.append(char((i * 2654435761u) >> 13));
            break;
        case Kind::EndlessLink:
            ASSERT_EQ(::symlink("/dev/zero", path8.constData()), 0);
            break;
        case Kind::Fifo:
            ASSERT_EQ(::mkfifo(path8.constData(), 0600), 0);
            break;
        }
        if (c.kind == Kind::Cut || c.kind == Kind::Garbage) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(contents);
            file.close();
        }
        struct stat before {};
        ASSERT_EQ(::lstat(path8.constData(), &before), 0);

        auto window = fixture.MakeWindow();
        window->show();
        const QString aside = path + QStringLiteral(".unreadable");
        struct stat kept {};
        ASSERT_EQ(::lstat(QFile::encodeName(aside).constData(), &kept), 0);
        EXPECT_EQ(kept.st_ino, before.st_ino) << "not the same file kept aside";
        EXPECT_EQ(kept.st_mode & S_IFMT, before.st_mode & S_IFMT);
        if (!contents.isEmpty()) {
            QFile keptFile(aside);
            ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
            EXPECT_EQ(keptFile.readAll(), contents);
        }
        EXPECT_EQ(window->RowCount(), c.list ? 0 : 2);
        EXPECT_EQ(window->m_messageText, (c.list ? QStringLiteral("The saved list could not be read: kept as ")
                                                 : QStringLiteral("The settings could not be read: kept as ")) +
                                             aside);
        EXPECT_EQ(window->ControlAs<QLabel>(IDC_MESSAGE)->toolTip(), window->m_messageText);
        // The next one is written anew, a file, and the kept one stays as it was.
        ASSERT_EQ(window->AddFile(fixture.TouchFile(QStringLiteral("c.mp4"))), c.list ? 0 : 2);
        window->close();
        EXPECT_TRUE(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
        if (c.list)
            EXPECT_EQ(SavedInputs(listPath), (QStringList{fixture.DataDir() + QStringLiteral("/c.mp4")}));
        else
            EXPECT_TRUE(QSettings(path, QSettings::IniFormat).contains(QStringLiteral("ZemConverter/VideoSize")));
        struct stat still {};
        ASSERT_EQ(::lstat(QFile::encodeName(aside).constData(), &still), 0);
        EXPECT_EQ(still.st_ino, before.st_ino);
    }
}
