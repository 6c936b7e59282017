#include "InstanceChannel.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <memory>

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

QString RuntimeFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

// Only one start at a time looks for a window or becomes it.
std::unique_ptr<QLockFile> LockStart() {
    auto lock = std::make_unique<QLockFile>(RuntimeFolder() + QLatin1Char('/') + QLatin1String(kLockName));
    lock->lock();
    return lock;
}

} // namespace

InstanceChannel::InstanceChannel() = default;
InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::SocketPath() {
    return RuntimeFolder() + QLatin1Char('/') + QLatin1String(kSocketName);
}

bool InstanceChannel::HandOver(const QStringList& files) {
    const auto lock = LockStart();
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(kHandOverWaitMs))
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
    const auto lock = LockStart();
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a window that was killed answers nobody: it goes.
    QLocalServer::removeServer(SocketPath());
    if (!m_server->listen(SocketPath())) {
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] { OnConnection(); });
    return true;
}

void InstanceChannel::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
