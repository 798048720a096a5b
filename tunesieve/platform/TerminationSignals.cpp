#include "TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGINT};
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

bool makePipe()
{
    if (::pipe(signalPipe) != 0) {
        return false;
    }
    for (const int fd : signalPipe) {
        if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
            return false;
        }
    }
    return true;
}

void closePipe()
{
    for (int& fd : signalPipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

bool setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kWatchedSignals) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    Q_ASSERT_X(signalPipe[0] < 0, "TerminationSignals", "one instance per process");
    if (!makePipe() || !setHandler(onTerminationSignal)) {
        setHandler(SIG_DFL);
        closePipe();
        std::fputs("TuneSieve cannot watch for SIGTERM and SIGINT; they will end it at once.\n", stderr);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

TerminationSignals::~TerminationSignals()
{
    if (m_notifier) {
        setHandler(SIG_DFL);
        m_notifier.reset();
        closePipe();
    }
}

void TerminationSignals::drain()
{
    char bytes[64];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    emit received();
}
