#include "InstanceLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString& path)
{
    if (path.isEmpty()) {
        m_error = QStringLiteral("no folder for the lock file");
        return;
    }
    // Close-on-exec: a child process (a notification runner) must never inherit the lock and keep
    // it after the agent has ended.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (m_fd < 0) {
        m_error = path + QStringLiteral(": ") + qt_error_string(errno);
        return;
    }
    int result;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::acquired;
        // A runtime folder may be swept of files without the sticky bit while they are in use;
        // where a system refuses the bit on a file, its lock folder is not swept.
        ::fchmod(m_fd, S_IRUSR | S_IWUSR | S_ISVTX);
        return;
    }
    if (errno == EWOULDBLOCK) {
        m_state = State::heldByAnotherCopy;
    } else {
        m_error = path + QStringLiteral(": ") + qt_error_string(errno);
    }
    ::close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}
