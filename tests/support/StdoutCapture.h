#pragma once

#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

// Sends this process's standard output (or `stream`, such as standard error) into a temporary file
// until destroyed. QtTest's own log would land there too: CTest runs the tests with
// "-o /dev/stderr,txt", and so should you; a capture of standard error hides the log while it lasts.
class StdoutCapture
{
public:
    explicit StdoutCapture(FILE* stream = stdout) : m_stream(stream)
    {
        std::fflush(m_stream);
        m_file.open();
        ::dup2(m_file.handle(), fileno(m_stream));
    }
    ~StdoutCapture()
    {
        std::fflush(m_stream);
        ::dup2(m_savedFd, fileno(m_stream));
        ::close(m_savedFd);
    }
    // Everything written to standard output since the capture began.
    QByteArray text()
    {
        std::fflush(m_stream);
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    FILE* const m_stream;
    const int m_savedFd = ::dup(fileno(m_stream));
    QTemporaryFile m_file;
};
