#pragma once

#include "CommunityStore.h"
#include "Options.h"

// Runs the service until SIGTERM or SIGINT: prints one line when it listens, then answers requests;
// on the signal stops accepting, answers the requests in flight and returns 0. Nonzero when it
// cannot start.
int serve(const Options& options, CommunityStore& store);
