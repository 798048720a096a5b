#include "HeadlessStart.h"

#include <QByteArray>

#include <cstdio>

void chooseOffscreenWithoutDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || displayReachable()) {
        return;
    }
    std::fputs("TuneSieve finds no display: it runs on without its tray icon; edit its blacklist file by hand.\n",
               stderr);
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    // Qt's tray still looks for an X11 tray window there, and warns that it cannot: not the user's
    // concern. The user's own rules come after, and win.
    qputenv("QT_LOGGING_RULES", "qt.core.qobject.connect.warning=false;" + qgetenv("QT_LOGGING_RULES"));
}
