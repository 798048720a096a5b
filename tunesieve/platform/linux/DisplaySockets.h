#pragma once

#include <QByteArray>

// Whether an X server or a Wayland compositor listens where DISPLAY or WAYLAND_DISPLAY points. A
// connect() to the local socket answers at once and, unlike the variable alone, tells a display
// that has gone (a desktop session ended under a user service) from one that is there. Remote X
// displays (`ssh -X` sets localhost:10.0) are taken on trust.
bool x11DisplayReachable(const QByteArray& display);
// A relative name lies in `runtimeFolder`, as Wayland clients look for it.
bool waylandDisplayReachable(const QByteArray& display, const QByteArray& runtimeFolder);
