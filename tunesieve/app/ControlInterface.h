#pragma once

class AppDelegate;

// Offers what the delegate's menu does to other programs for as long as the delegate lives: on Linux
// on the session bus (ControlBusInterface, used by tunesieve-ctl); on macOS, where the menu bar is
// always there, nothing. A bus name that another copy holds leaves the delegate as it is.
void publishControlInterface(AppDelegate& delegate);
