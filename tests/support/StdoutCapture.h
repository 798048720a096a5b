#pragma once

#include <QByteArray>
#include <QTemporaryFile>

// Sends this process's standard output into a temporary file until destroyed. QtTest's own log
// would land there too: CTest runs the tests with "-o /dev/stderr,txt", and so should you.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written to standard output since the capture began.
    QByteArray text();

private:
    QTemporaryFile m_file;
    int m_savedFd = -1;
};
