#pragma once

#include "CommunityStore.h"
#include "Options.h"

#include <iosfwd>

// The moderators' commands, against the store the service uses: pending and status print, approve,
// reject and remove decide on one name. The exit status: 0 done, 1 refused (a name that cannot be
// listed, or one to remove that was never known).
int moderate(const Options& options, CommunityStore& store, std::int64_t now, std::ostream& out, std::ostream& err);
