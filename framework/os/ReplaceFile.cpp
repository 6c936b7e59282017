#include "ReplaceFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zem::os {

namespace {

constexpr int kNameAttempts = 16;
constexpr mode_t kFileMode = 0600;

QString Reason(const char* what, const QString& path) {
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

// Closes the descriptor and, unless released, removes the half-written file.
class PendingFile {
public:
    PendingFile(int fd, QByteArray name) : m_fd(fd), m_name(std::move(name)) {}
    ~PendingFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept)
            ::unlink(m_name.constData());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    int fd() const { return m_fd; }
    bool Close() {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }
    void Keep() { m_kept = true; }

private:
    int m_fd;
    QByteArray m_name;
    bool m_kept = false;
};

} // namespace

bool ReplaceFileContents(const QString& path, const QByteArray& contents, QString& error) {
    const QByteArray target = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray name;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        name = QFile::encodeName(
            QStringLiteral("%1/.%2.%3")
                .arg(folder, QFileInfo(path).fileName(), QString::number(QRandomGenerator::system()->generate(), 36)));
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd < 0 && errno != EEXIST) {
            error = Reason("Cannot create a file in", folder);
            return false;
        }
    }
    if (fd < 0) {
        error = Reason("Cannot create a file in", folder);
        return false;
    }
    PendingFile pending(fd, name);
    qsizetype written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(pending.fd(), contents.constData() + written, size_t(contents.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Reason("Cannot write", path);
            return false;
        }
        written += n;
    }
    // The data must be on disk before the name points at it.
    if (::fsync(pending.fd()) != 0 || !pending.Close()) {
        error = Reason("Cannot write", path);
        return false;
    }
    if (std::rename(name.constData(), target.constData()) != 0) {
        error = Reason("Cannot replace", path);
        return false;
    }
    pending.Keep();
    return true;
}

} // namespace zem::os
