#pragma once
// One window per user: a program started while the window runs hands the
// files of its command line to that window and ends. The window listens on a
// local socket in a folder of the user's alone; a second start finds it
// there. Both ends check that the other is the same user.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace zem::app {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    InstanceChannel();
    ~InstanceChannel() override;

    // The socket's path: in the runtime folder (XDG_RUNTIME_DIR) when it is
    // this user's alone, else in a folder of this user's alone made in the
    // temporary folder; empty when neither can be had.
    static QString SocketPath();
    // Hands `files` to a running window; true when one took them.
    static bool HandOver(const QStringList& files);
    // Starts listening for later starts; false when the socket cannot be made.
    bool Listen();

signals:
    // A later start's files, in the order of its command line.
    void filesArrived(const QStringList& files);

private:
    void OnConnection();
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace zem::app
