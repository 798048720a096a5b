#pragma once

#include <QtGlobal>
#include <sys/stat.h>

// When a file was last modified, in nanoseconds since the epoch. The member that holds it is
// spelled differently on each OS (st_mtim on Linux, st_mtimespec on macOS), so each OS's backend
// file defines this.
qint64 modificationTimeNs(const struct stat& info);
