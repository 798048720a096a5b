#pragma once

#include "SqlConnection.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Everything the service keeps, behind one interface for every engine: names and their flags,
// moderators' decisions and the list's generation. Names come in as keys (the form on which two
// names are one entry) with the name to show; devices and networks only as keyed hashes. Times are
// seconds since the epoch, given by the caller. Every operation throws SqlError when the database
// fails.
class CommunityStore
{
public:
    // Brings the schema up to date (versioned migrations, each applied once in its own transaction).
    explicit CommunityStore(std::unique_ptr<SqlConnection> connection);

    enum class State
    {
        flagged,  // listed once enough devices and networks flagged it
        approved, // listed by a moderator
        rejected, // never listed by flags
    };

    struct Flag
    {
        std::string key;
        std::string name;
        std::string deviceHash;
        std::string networkHash;
        std::int64_t at = 0;
    };
    struct Limits
    {
        // The most flags one device, and one network, may add in the hour before a flag.
        std::int64_t perDevice = 30;
        std::int64_t perNetwork = 120;
    };
    enum class Outcome
    {
        counted,
        repeated, // this device had flagged the name already
        deviceLimited,
        networkLimited,
    };
    struct FlagResult
    {
        Outcome outcome = Outcome::counted;
        // The flag listed the name; the list's generation has moved on with it.
        bool listed = false;
    };
    // One transaction: a repeat is found first, then the limits are checked, then the flag counted.
    // A name is listed once `threshold` devices from as many networks flagged it.
    FlagResult addFlag(const Flag& flag, const Limits& limits, std::int64_t threshold);

    enum class Decision
    {
        approve,
        reject,
        remove, // takes a name off the list: its flags are dropped, so only new ones can list it again
    };
    // Applies and records a decision, and moves the list to its next generation. False, and nothing
    // changed, when a name to remove has never been flagged or decided on.
    bool decide(Decision decision, const std::string& key, const std::string& name, const std::string& reason,
                std::int64_t at);

    struct NameCounts
    {
        std::string name;
        std::int64_t devices = 0;
        std::int64_t networks = 0;
    };
    // The listed names in ascending code-point order.
    std::vector<std::string> listedNames(std::int64_t threshold);
    // Flagged names not yet listed, by networks then devices, most first.
    std::vector<NameCounts> pendingNames(std::int64_t threshold);

    struct DecisionRecord
    {
        std::string name;
        std::string decision;
        std::string reason;
        std::int64_t at = 0;
    };
    // The latest decisions, newest first.
    std::vector<DecisionRecord> recentDecisions(std::int64_t limit);
    std::int64_t countNames(State state);
    std::int64_t countFlags();

    struct Generation
    {
        std::int64_t number = 0;
        std::int64_t changedAt = 0;
    };
    // Moves on whenever what is listed may have changed, so that every server on the database
    // rebuilds its reply.
    Generation generation();

    // Drops the network hashes of flags older than `before`; the names' counts stay.
    void forgetNetworksBefore(std::int64_t before);

private:
    void migrate();
    void markListChanged(std::int64_t at);

    std::unique_ptr<SqlConnection> m_connection;
};
