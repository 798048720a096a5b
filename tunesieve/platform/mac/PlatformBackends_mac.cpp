// macOS's OS services: preferences in the CFPreferences domain, notifications through the menu-bar item,
// the instance lock and the downloaded lists under Application Support, resources inside the bundle, file times from
// st_mtimespec, always a display, a menu-bar item that opens its menu on every click by itself.
#include "platform/AppDataFolder.h"
#include "platform/FileTimes.h"
#include "platform/HeadlessStart.h"
#include "platform/InstanceLock.h"
#include "platform/MemoryAllocator.h"
#include "platform/PreferencesFactory.h"
#include "platform/Resources.h"
#include "platform/SettingsPreferencesDomain.h"
#include "widgets/StatusItem.h"
#include "widgets/StatusItemNotifier.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

std::unique_ptr<PreferencesDomain> openUserPreferences(const QString& suiteName)
{
    if (QStandardPaths::isTestModeEnabled()) {
        // A test never reaches the user's CFPreferences: the domain is a property list of the same
        // name in Qt's test folder, read and written with the same types.
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QDir().mkpath(folder);
        return std::make_unique<SettingsPreferencesDomain>(std::make_unique<QSettings>(
            folder + QLatin1Char('/') + suiteName + QStringLiteral(".plist"), QSettings::NativeFormat));
    }
    return SettingsPreferencesDomain::openSuite(suiteName, QSettings::NativeFormat);
}

qint64 modificationTimeNs(const struct stat& info)
{
    return qint64(info.st_mtimespec.tv_sec) * 1000000000 + info.st_mtimespec.tv_nsec;
}

void configureMemoryAllocator()
{
    // macOS's allocator needs no such care: see releaseFreedMemory().
}

void releaseFreedMemory()
{
    // macOS's allocator gives large freed regions back by itself.
}

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<StatusItemNotifier>();
}

QString appDataFolder()
{
    // ~/Library/Application Support, or Qt's test folder in its test mode.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/com.tunesieve.TuneSieve");
}

QString instanceLockPath()
{
    // Not in $TMPDIR, which macOS sweeps of files unused for days: the agent runs for weeks.
    const QString folder = appDataFolder();
    return QDir().mkpath(folder) ? folder + QStringLiteral("/instance.lock") : QString();
}

QStringList Resources::resourceFolders()
{
    // TuneSieve.app/Contents/MacOS/TuneSieve reads TuneSieve.app/Contents/Resources.
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources")};
}

bool displayReachable()
{
    // Every login session has its window server, and the agent runs in one.
    return true;
}

bool StatusItem::areaOpensMenuOnEveryClick()
{
    // Qt opens the native menu under the item on any click: a menu of ours would be a second one.
    return true;
}

QIcon StatusItem::imageForArea(const QIcon& image, const QString&)
{
    // The menu bar draws the template image in its own colours.
    return image;
}

bool StatusItem::isMenuExported(QMenu*)
{
    // The native menu takes "&" as Qt does.
    return false;
}
