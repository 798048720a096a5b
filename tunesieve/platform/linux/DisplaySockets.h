#pragma once

#include <QByteArray>

// Whether the agent can open the X display that DISPLAY names, local or remote, tried for real the
// way Qt's X11 platform opens it (libxcb, with the cookie XAUTHORITY points to). A display that has
// gone (a desktop session ended under a user service, `ssh -X`'s localhost:10.0 after the session
// ended) and a server that refuses us (no cookie, a wrong one) count as none: Qt would end the
// process on either.
bool x11DisplayReachable(const QByteArray& display);
// Whether a Wayland compositor listens where a Wayland client looks for it: `display` itself when it
// is a path, else in `runtimeFolder`. Connecting is all a compositor asks of a client.
bool waylandDisplayReachable(const QByteArray& display, const QByteArray& runtimeFolder);
