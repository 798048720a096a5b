#include "StandardOutput.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

// How long a line may wait for a full pipe; the skip that follows it waits as long.
constexpr int kWaitForRoomMs = 100;

// True when standard output takes PIPE_BUF bytes now or within kWaitForRoomMs. A pipe that reports
// room takes that many bytes without blocking; a pipe whose reader has gone reports room too, and
// its write fails with EPIPE (SIGPIPE is ignored).
bool hasRoom()
{
    pollfd output = {STDOUT_FILENO, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&output, 1, kWaitForRoomMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (output.revents & POLLOUT);
}

} // namespace

namespace StandardOutput {

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    // A reader that never reads must not stop the agent: what the pipe cannot take is dropped, in
    // pieces small enough that a write never blocks.
    for (qsizetype written = 0; written < bytes.size() && hasRoom(); written += PIPE_BUF) {
        std::fwrite(bytes.constData() + written, 1, size_t(qMin<qsizetype>(PIPE_BUF, bytes.size() - written)), stdout);
        std::fflush(stdout);
    }
}

} // namespace StandardOutput
