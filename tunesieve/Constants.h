#pragma once

#include "BuildConfig.h"

// Process-wide constants. The two origins come from the build settings
// (-DTUNESIEVE_API_BASE_URL=..., -DTUNESIEVE_WEBSITE=...), never from the environment.
inline constexpr const char* API_BASE_URL = TUNESIEVE_API_BASE_URL;
inline constexpr const char* API_BLACKLIST_ENDPOINT = "/api/list/";
inline constexpr const char* API_FLAG_ENDPOINT = "/api/flag/";
inline constexpr const char* APP_VERSION = "1.0.0";
inline constexpr const char* APP_WEBSITE = TUNESIEVE_WEBSITE;
