#include "displayprobe.h"

#include <QByteArray>
#include <QDir>
#include <QLibraryInfo>
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

    // Qt's Wayland platform plugin, where Qt looks for its plugins.
    bool waylandPlugin()
    {
        QStringList folders
            = qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
        folders.append(QLibraryInfo::path(QLibraryInfo::PluginsPath));
        for (const QString& folder : folders)
            if (!QDir(folder + QStringLiteral("/platforms"))
                     .entryList({ QStringLiteral("libqwayland*.so") }, QDir::Files)
                     .isEmpty())
                return true;
        return false;
    }

    // The server answers and has the screen that DISPLAY names (":0.1" needs two screens).
    bool x11Reachable()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return false;
        int screen = 0;
        xcb_connection_t* connection = xcb_connect(nullptr, &screen);
        const bool reached = connection && !xcb_connection_has_error(connection) && screen >= 0
            && screen < xcb_setup_roots_length(xcb_get_setup(connection));
        xcb_disconnect(connection);
        return reached;
    }

} // namespace

bool displayReachable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("xcb"))
        return x11Reachable();
    if (platform.startsWith("wayland"))
        return waylandReachable() && waylandPlugin();
    const bool x11 = x11Reachable();
    const bool wayland = waylandReachable() && waylandPlugin();
    // Qt is told the one that answers, so that it never tries one that does not.
    if (platform.isEmpty() && x11 != wayland)
        qputenv("QT_QPA_PLATFORM", x11 ? "xcb" : "wayland");
    return x11 || wayland;
}

} // namespace standin
