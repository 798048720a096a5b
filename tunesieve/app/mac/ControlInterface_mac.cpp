// macOS offers no control interface: the menu bar item is always there.
#include "app/ControlInterface.h"

void publishControlInterface(AppDelegate&) {}
