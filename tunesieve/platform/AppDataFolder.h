#pragma once

#include <QString>

// The folder in which the agent keeps the lists it downloads, apart from the preferences: on Linux
// $XDG_DATA_HOME/tunesieve (by default ~/.local/share/tunesieve), on macOS
// ~/Library/Application Support/com.tunesieve.TuneSieve. Each OS's backend file defines it; in Qt's
// test mode it lies under Qt's test folders.
QString appDataFolder();
