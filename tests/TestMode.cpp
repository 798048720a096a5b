#include <QStandardPaths>
#include <QtGlobal>

// Linked into every test, before main: in Qt's test mode QStandardPaths, and with it the
// preferences and the instance lock of the OS backends, lead into ~/.qttest, never to the user's own.
static void enterTestMode()
{
    QStandardPaths::setTestModeEnabled(true);
}
Q_CONSTRUCTOR_FUNCTION(enterTestMode)
