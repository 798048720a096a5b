#pragma once

#include "CommunityStore.h"
#include "HttpAnswer.h"
#include "KeyedHasher.h"
#include "Metrics.h"

#include <functional>
#include <string_view>

// Takes flags: reads and checks a flag request, hashes who sent it, counts it within the limits,
// and says when the name has just become listed.
class FlagDesk
{
public:
    // The most bytes a flag request body may hold.
    static constexpr std::size_t maxBodyBytes = 4096;

    FlagDesk(CommunityStore& store, const KeyedHasher& hasher, CommunityStore::Limits limits, std::int64_t threshold,
             Metrics& metrics, std::function<void()> listChanged);

    // 200 {"success": true} for a counted or repeated flag; 400 for a malformed request, 429 past a
    // limit. `clientAddress` is the address the flag came from.
    HttpAnswer flag(std::string_view body, const std::string& clientAddress, std::int64_t now);

private:
    HttpAnswer take(std::string_view body, const std::string& clientAddress, std::int64_t now);

    CommunityStore& m_store;
    const KeyedHasher& m_hasher;
    const CommunityStore::Limits m_limits;
    const std::int64_t m_threshold;
    Metrics& m_metrics;
    const std::function<void()> m_listChanged;
};
