#pragma once

#include "CommunityStore.h"

#include <cstdint>
#include <memory>
#include <string>

// One form of the list as it is sent: its bytes, their gzip form and their entity tag.
struct PublishedBody
{
    std::string bytes;
    std::string gzip;
    // A strong tag in quotes; the gzip form's is the same with "-gzip" before the closing quote.
    std::string etag;
};

// The list as every client gets it until the next change.
struct PublishedList
{
    // {"artists": [...], "count": N, "updated": "2026-01-31T12:00:00Z"}
    PublishedBody json;
    // A CSV file with the header "artist" and one name per record.
    PublishedBody csv;
    std::size_t count = 0;
};

// Builds the list's replies once per change, never per request: a change made here (a flag that
// lists a name) or by anyone else on the database (a moderator, another server) moves the store's
// generation, and the next request after that is answered from a new build.
class ListPublisher
{
public:
    ListPublisher(CommunityStore& store, std::int64_t threshold) : m_store(store), m_threshold(threshold) {}

    std::shared_ptr<const PublishedList> current();
    // Looks whether the store's generation has moved since the last build.
    void followStore();
    void markStale() { m_stale = true; }

private:
    CommunityStore& m_store;
    const std::int64_t m_threshold;
    std::shared_ptr<const PublishedList> m_list;
    std::int64_t m_builtGeneration = -1;
    bool m_stale = true;
};
