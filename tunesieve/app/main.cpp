#include "app/AppDelegate.h"
#include "platform/InstanceLock.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int, char* argv[])
{
    // One agent per user, decided before anything opens the display, the bus or the preferences:
    // a second copy leaves the running one's state alone.
    const InstanceLock instanceLock(instanceLockPath());
    switch (instanceLock.state()) {
    case InstanceLock::State::acquired:
        break;
    case InstanceLock::State::heldByAnotherCopy:
        std::fputs("TuneSieve is already running.\n", stderr);
        return 0;
    case InstanceLock::State::unavailable:
        // Better two agents than none: the user can still quit one from its menu.
        std::fprintf(stderr, "TuneSieve cannot make sure that it runs only once (%s); starting anyway.\n",
                     qPrintable(instanceLock.errorString()));
        break;
    }

    // The agent takes no arguments: Qt sees only the program name.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    // An accessory: it has no main window, and closing the Blacklist window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Desktops match the Blacklist window to the installed desktop entry and show its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tunesieve"));

    TerminationSignals terminationSignals;
    AppDelegate delegate;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &delegate, &AppDelegate::quit);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
