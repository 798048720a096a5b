#include "app/AppDelegate.h"

#include <QApplication>
#include <QTimer>

int main(int, char* argv[])
{
    // The agent takes no arguments: Qt sees only the program name.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    // An accessory: it has no main window, and closing the Blacklist window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
