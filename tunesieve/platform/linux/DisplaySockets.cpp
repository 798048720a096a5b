#include "DisplaySockets.h"

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

bool listens(const QByteArray& path)
{
    sockaddr_un socketAddress{};
    if (path.size() >= int(sizeof socketAddress.sun_path)) {
        return false;
    }
    socketAddress.sun_family = AF_UNIX;
    std::memcpy(socketAddress.sun_path, path.constData(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return connected;
}

// Standard error leads to /dev/null while it lives. Only before other threads exist: it is the
// whole process's.
class StandardErrorSilenced
{
public:
    StandardErrorSilenced()
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0) {
            ::dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            ::close(null);
        }
    }
    ~StandardErrorSilenced()
    {
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
    }
    StandardErrorSilenced(const StandardErrorSilenced&) = delete;
    StandardErrorSilenced& operator=(const StandardErrorSilenced&) = delete;

private:
    const int m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
};

} // namespace

bool x11DisplayReachable(const QByteArray& display)
{
    if (display.isEmpty()) {
        return false;
    }
    // libxcb prints the reason a server gives for refusing us, at times without an end of line; the
    // agent's own line then says what follows.
    const StandardErrorSilenced silenced;
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

bool waylandDisplayReachable(const QByteArray& display, const QByteArray& runtimeFolder)
{
    if (display.startsWith('/')) {
        return listens(display);
    }
    // Without a runtime folder a Wayland client gives up on a relative name.
    return !display.isEmpty() && !runtimeFolder.isEmpty() && listens(runtimeFolder + '/' + display);
}
