#pragma once

#include "SqlConnection.h"

#include <QString>
#include <memory>
#include <string>

// The database that `--database` names (sqlite:PATH or a postgresql:// URL), or without it DIR/community.sqlite. Throws
// SqlError when it cannot be opened or the URL names no engine this build has.
std::unique_ptr<SqlConnection> openDatabase(const QString& dataDirectory, const std::string& url);
