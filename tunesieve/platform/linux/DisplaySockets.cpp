#include "DisplaySockets.h"

#include <QList>

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// `address` starting with a NUL byte names a socket in Linux's abstract namespace.
bool listens(const QByteArray& address)
{
    sockaddr_un socketAddress{};
    if (address.size() >= int(sizeof socketAddress.sun_path)) {
        return false;
    }
    socketAddress.sun_family = AF_UNIX;
    std::memcpy(socketAddress.sun_path, address.constData(), address.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&socketAddress),
                                                socklen_t(offsetof(sockaddr_un, sun_path) + address.size())) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return connected;
}

} // namespace

bool x11DisplayReachable(const QByteArray& display)
{
    // [host]:number[.screen]; a local server listens on both sockets, X11 clients try the abstract one first.
    const int colon = display.lastIndexOf(':');
    const QByteArray host = display.left(colon);
    const QByteArray number = display.mid(colon + 1).split('.').first();
    if (colon < 0 || number.isEmpty()) {
        return false;
    }
    if (!host.isEmpty() && host != "unix") {
        return true;
    }
    const QByteArray socketPath = "/tmp/.X11-unix/X" + number;
    return listens('\0' + socketPath) || listens(socketPath);
}

bool waylandDisplayReachable(const QByteArray& display, const QByteArray& runtimeFolder)
{
    if (display.isEmpty()) {
        return false;
    }
    return listens(display.startsWith('/') ? display : runtimeFolder + '/' + display);
}
