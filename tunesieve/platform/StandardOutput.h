#pragma once

#include <QString>

namespace StandardOutput {

// Writes `line` and a line feed to standard output as UTF-8 and flushes at once, so that a reader
// on a pipe (a journal, a terminal) sees the line the moment it is written. Printing never stops
// the agent: a line that a full pipe cannot take within a moment is dropped, and a failed write
// (the reader gone) is ignored, as is a failed notification.
void printLine(const QString& line);

} // namespace StandardOutput
