#include "InstanceChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLockFile>
#include <cerrno>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zem::app {

namespace {

constexpr const char* kSocketName = "ZemConverter.socket";
constexpr const char* kLockName = "ZemConverter.socket.lock";
// The window answers this once it has the files.
constexpr char kTaken[] = "taken\n";
// How long a start waits for the running window; one that does not answer
// in this time is taken as gone, and the start opens its own window.
constexpr int kHandOverWaitMs = 3000;
// The files travel as one line of JSON.
constexpr int kMaxMessageBytes = 4 * 1024 * 1024;
// How long a start waits for another start to decide.
constexpr int kLockWaitMs = 2000;
// Without a runtime folder of our own: "/tmp/ZemConverter-1000".
constexpr const char* kTemporaryFolder = "/tmp";
constexpr const char* kOwnFolderPrefix = "ZemConverter-";

// Whether `folder` is a folder of this user's alone: no link, owned by us,
// nobody else may write in it.
bool PrivateFolder(const QByteArray& folder) {
    struct stat st {};
    return ::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder of the socket and its lock: the runtime folder when it is ours
// alone, else a folder of our own made (mode 0700) in the temporary folder.
// Empty when neither is: the channel is not used and the window runs alone,
// since a name another user made or can replace could pass a start (and the
// paths of its files) to them.
QString RuntimeFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && PrivateFolder(runtime))
        return QFile::decodeName(runtime);
    QByteArray temporary = qgetenv("TMPDIR");
    if (temporary.isEmpty() || !temporary.startsWith('/'))
        temporary = kTemporaryFolder;
    const QByteArray own = temporary + '/' + kOwnFolderPrefix + QByteArray::number(uint(::geteuid()));
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return PrivateFolder(own) ? QFile::decodeName(own) : QString();
}

// Only one start at a time looks for a window or becomes it. A lock not had
// within kLockWaitMs (a start that hangs) means this start goes on alone.
std::unique_ptr<QLockFile> LockStart(const QString& folder) {
    auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + QLatin1String(kLockName));
    if (!lock->tryLock(kLockWaitMs))
        return nullptr;
    return lock;
}

// Whether the process at the other end of `socket` is this user's.
bool PeerIsOurs(const QLocalSocket& socket) {
    struct ucred peer {};
    socklen_t length = sizeof peer;
    const int fd = int(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer &&
           peer.uid == ::geteuid();
}

} // namespace

InstanceChannel::InstanceChannel() = default;
InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::SocketPath() {
    const QString folder = RuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QLatin1String(kSocketName);
}

bool InstanceChannel::HandOver(const QStringList& files) {
    const QString path = SocketPath();
    if (path.isEmpty())
        return false;
    const auto lock = LockStart(QFileInfo(path).path());
    if (!lock)
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kHandOverWaitMs) || !PeerIsOurs(socket))
        return false;
    QByteArray message = QJsonDocument(QJsonArray::fromStringList(files)).toJson(QJsonDocument::Compact);
    message.append('\n');
    socket.write(message);
    if (!socket.waitForBytesWritten(kHandOverWaitMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(kHandOverWaitMs))
        answer.append(socket.readAll());
    return answer == kTaken;
}

bool InstanceChannel::Listen() {
    const QString path = SocketPath();
    if (path.isEmpty())
        return false;
    const auto lock = LockStart(QFileInfo(path).path());
    if (!lock)
        return false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a window that was killed answers nobody: it goes.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] { OnConnection(); });
    return true;
}

void InstanceChannel::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Another user's process is never heard, whatever reached the socket.
        if (!PeerIsOurs(*socket)) {
            socket->abort();
            continue;
        }
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, pending] {
            pending->append(socket->readAll());
            if (pending->size() > kMaxMessageBytes) {
                socket->abort();
                return;
            }
            const qsizetype end = pending->indexOf('\n');
            if (end < 0)
                return;
            const QJsonArray list = QJsonDocument::fromJson(pending->left(end)).array();
            QStringList files;
            for (const QJsonValue& file : list) {
                if (file.isString())
                    files.append(file.toString());
            }
            socket->write(kTaken);
            socket->flush();
            socket->disconnectFromServer();
            emit filesArrived(files);
        });
    }
}

} // namespace zem::app
