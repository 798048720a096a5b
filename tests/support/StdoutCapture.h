#pragma once

#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

// Sends this process's standard output into a temporary file until destroyed. QtTest's own log
// would land there too: CTest runs the tests with "-o /dev/stderr,txt", and so should you.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        m_file.open();
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture()
    {
        std::fflush(stdout);
        ::dup2(m_savedFd, STDOUT_FILENO);
        ::close(m_savedFd);
    }
    // Everything written to standard output since the capture began.
    QByteArray text()
    {
        std::fflush(stdout);
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    const int m_savedFd = ::dup(STDOUT_FILENO);
    QTemporaryFile m_file;
};
