#pragma once

#include "ArtistListFormats.h"

#include <QString>

// A list of artists in a file on this machine, in any of the formats ArtistListFormats reads, and within
// the caps of a downloaded list.
namespace UserListFile {

// The list, or why it cannot be taken (in `error`, for a person to read): a folder, a file that is gone
// or cannot be read, one larger than a download may be, or one that holds no list.
ArtistListFormats::Reading read(const QString& path);

// Writes `bytes` as the whole file at once; empty, or why it could not be written.
QString write(const QString& path, const QByteArray& bytes);

} // namespace UserListFile
