#pragma once

#include <QString>

// Lets one user run one agent at a time: two would skip every blocked track twice. The lock is
// flock() on a file, which the kernel drops the moment its process ends, however it ends: a
// crashed copy never blocks the next start, and no stale pid can be mistaken for a live one.
class InstanceLock
{
public:
    enum class State
    {
        acquired,
        heldByAnotherCopy,
        // The lock file cannot be opened or locked; see errorString().
        unavailable
    };

    // Tries once, without waiting, to lock the file at `path`, creating it when missing. The lock
    // is held until this object is destroyed or the process ends.
    explicit InstanceLock(const QString& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    // Why the lock is unavailable: the path and the system's reason; empty otherwise.
    QString errorString() const { return m_error; }

private:
    int m_fd = -1;
    State m_state = State::unavailable;
    QString m_error;
};

// The platform's lock file for the current user, in a folder that lives as long as the user's
// session; empty when there is no such folder.
QString instanceLockPath();
