#pragma once

#include "PreferencesDomain.h"

#include <memory>

// Opens the current user's preferences domain named `suiteName`, or the application's standard
// domain when that suite cannot be opened. The backend is the platform's own.
std::unique_ptr<PreferencesDomain> openUserPreferences(const QString& suiteName);
