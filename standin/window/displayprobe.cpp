#include "displayprobe.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace standin {

namespace {

    bool waylandReachable()
    {
        QByteArray path = qgetenv("WAYLAND_DISPLAY");
        if (path.isEmpty())
            return false;
        if (!path.startsWith('/'))
            path = qgetenv("XDG_RUNTIME_DIR") + '/' + path;
        sockaddr_un address {};
        if (std::size_t(path.size()) >= sizeof address.sun_path)
            return false;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool reached
            = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return reached;
    }

    bool x11Reachable()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return false;
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const bool reached = connection && !xcb_connection_has_error(connection);
        xcb_disconnect(connection);
        return reached;
    }

} // namespace

bool displayReachable()
{
    return waylandReachable() || x11Reachable();
}

} // namespace standin
