#include "app/AppDelegate.h"
#include "app/ControlInterface.h"
#include "platform/HeadlessStart.h"
#include "platform/InstanceLock.h"
#include "platform/MemoryAllocator.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

int main(int, char* argv[])
{
    // A pipe whose reader has gone (a log relay restarted, `tunesieve | grep` after grep ended)
    // must not end the agent: its writes fail with EPIPE instead, and what fails to print is lost
    // like a failed notification. First, so that nothing can write before.
    std::signal(SIGPIPE, SIG_IGN);
    configureMemoryAllocator();

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

    chooseOffscreenWithoutDisplay();

    // The agent takes no arguments: Qt sees only the program name.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    // An accessory: it has no main window, and closing the Blacklist window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Desktops match the Blacklist window to the installed desktop entry and show its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tunesieve"));
    // The name that tray hosts show for the item (its title) and that window titles end with; the
    // program's file name otherwise.
    QCoreApplication::setApplicationName(QStringLiteral("TuneSieve"));

    TerminationSignals terminationSignals;
    AppDelegate delegate;
    publishControlInterface(delegate);
    QObject::connect(&terminationSignals, &TerminationSignals::received, &delegate, &AppDelegate::quit);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
