#pragma once

#include <QString>

namespace StandardOutput {

// Writes `line` and a line feed to standard output as UTF-8 and flushes at once, so that a reader
// on a pipe (a journal, a terminal) sees the line the moment it is written.
void printLine(const QString& line);

} // namespace StandardOutput
