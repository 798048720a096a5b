// Linux's OS services: preferences as JSON files under $XDG_CONFIG_HOME, downloaded lists under
// $XDG_DATA_HOME, notifications over D-Bus,
// the instance lock in $XDG_RUNTIME_DIR, resources under <prefix>/share, file times from st_mtim,
// the display opened with libxcb or as a Wayland socket, a tray item named after its themed icon
// whose menu we open on a left or middle click.
#include "platform/AppDataFolder.h"
#include "platform/FileTimes.h"
#include "platform/HeadlessStart.h"
#include "platform/InstanceLock.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/MemoryAllocator.h"
#include "platform/PreferencesFactory.h"
#include "platform/Resources.h"
#include "platform/linux/DBusNotifier.h"
#include "platform/linux/DisplaySockets.h"
#include "widgets/NamedIconEngine.h"
#include "widgets/StatusItem.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPixmap>
#include <QStandardPaths>

#include <malloc.h>

std::unique_ptr<PreferencesDomain> openUserPreferences(const QString& suiteName)
{
    // $XDG_CONFIG_HOME/tunesieve/<domain>.json, by default under ~/.config.
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/tunesieve/");
    const QString suitePath = folder + suiteName + QStringLiteral(".json");
    if (JsonPreferencesDomain::canOpen(suitePath)) {
        return std::make_unique<JsonPreferencesDomain>(suitePath);
    }
    return std::make_unique<JsonPreferencesDomain>(folder + QStringLiteral("tunesieve.json"));
}

QString appDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tunesieve");
}

qint64 modificationTimeNs(const struct stat& info)
{
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

void configureMemoryAllocator()
{
    // Two heaps rather than one per thread and core, so that what one thread frees is found again by
    // the next; and large blocks (a downloaded list, a saved file) always straight from the system and
    // back to it, rather than left in a heap once a few of them have been freed.
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

void releaseFreedMemory()
{
    // glibc keeps freed pages, in the middle of each thread's heap too, until told.
    malloc_trim(0);
}

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<DBusNotifier>();
}

QString instanceLockPath()
{
    // $XDG_RUNTIME_DIR is the user's own (mode 0700) and lives as long as the user is logged in,
    // on every session of that user: one agent per user, whichever session started it.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/tunesieve.lock");
}

QStringList Resources::resourceFolders()
{
    // Installed: <prefix>/bin/tunesieve finds <prefix>/share/tunesieve, wherever the prefix is.
    // In a build tree the files are copied beside the binary.
    const QString binaryFolder = QCoreApplication::applicationDirPath();
    return {binaryFolder + QStringLiteral("/../share/tunesieve"), binaryFolder};
}

bool displayReachable()
{
    // Qt picks Wayland or X11 from what the session offers; either one reached will do.
    return waylandDisplayReachable(qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_RUNTIME_DIR")) ||
           x11DisplayReachable(qgetenv("DISPLAY"));
}

bool StatusItem::areaOpensMenuOnEveryClick()
{
    // Tray hosts open the context menu on a right click, some not even then.
    return false;
}

QIcon StatusItem::imageForArea(const QIcon& image, const QString& themeName)
{
    // Tray hosts take images pixel for pixel: each one the icon has, the @2x twin at its 36 px.
    QIcon images;
    QList<QSize> pixelSizes;
    for (const QSize& size : image.availableSizes()) {
        for (const qreal ratio : {1.0, 2.0}) {
            QPixmap pixmap = image.pixmap(size, ratio); // never scaled up
            pixmap.setDevicePixelRatio(1.0);
            if (!pixelSizes.contains(pixmap.size())) {
                pixelSizes << pixmap.size();
                images.addPixmap(pixmap);
            }
        }
    }
    // StatusNotifier hosts look the name up in their icon theme, where the symbolic icon follows the
    // panel's colours; the name alone would leave an empty slot where it is not installed. Whether
    // it is comes from where hosts look: the data folders' hicolor theme.
    const QString installed =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                               QStringLiteral("icons/hicolor/scalable/apps/") + themeName + QStringLiteral(".svg"));
    return installed.isEmpty() ? images : QIcon(new NamedIconEngine(images, themeName));
}

bool StatusItem::isMenuExported(QMenu* menu)
{
    // A tray menu gets a platform menu only from a StatusNotifier tray, which exports it.
    return menu->platformMenu() != nullptr;
}
