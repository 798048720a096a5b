#include "CommunityStore.h"

#include <algorithm>
#include <array>

namespace {

// Each migration once, in order; never edit one that has shipped, add the next.
const std::vector<std::vector<const char*>> migrations = {
    {
        "CREATE TABLE artists (name_key TEXT PRIMARY KEY, name TEXT NOT NULL, devices BIGINT NOT NULL DEFAULT 0,"
        " networks BIGINT NOT NULL DEFAULT 0, state TEXT NOT NULL DEFAULT 'flagged', first_flagged BIGINT NOT NULL)",
        "CREATE INDEX artists_by_state ON artists (state, networks, devices)",
        // One row per name and device; the network hash goes after a while, the row stays.
        "CREATE TABLE flags (name_key TEXT NOT NULL, device_hash TEXT NOT NULL, network_hash TEXT,"
        " flagged_at BIGINT NOT NULL, PRIMARY KEY (name_key, device_hash))",
        "CREATE INDEX flags_by_device ON flags (device_hash, flagged_at)",
        "CREATE INDEX flags_by_network ON flags (network_hash, flagged_at)",
        "CREATE INDEX flags_by_name_network ON flags (name_key, network_hash)",
        "CREATE TABLE decisions (name_key TEXT NOT NULL, name TEXT NOT NULL, decision TEXT NOT NULL,"
        " reason TEXT NOT NULL, decided_at BIGINT NOT NULL)",
        "CREATE INDEX decisions_by_time ON decisions (decided_at)",
        "CREATE TABLE list_generation (id INTEGER PRIMARY KEY, generation BIGINT NOT NULL, changed_at BIGINT NOT NULL)",
        "INSERT INTO list_generation (id, generation, changed_at) VALUES (1, 1, 0)",
    },
};

const std::array<const char*, 3> stateNames = {"flagged", "approved", "rejected"};

SqlValue text(const std::string& value)
{
    return SqlValue(value);
}

SqlValue text(const char* value)
{
    return SqlValue(std::string(value));
}

std::int64_t firstInteger(const std::vector<SqlRow>& rows)
{
    return rows.empty() || rows.front().empty() ? 0 : sqlInteger(rows.front().front());
}

// The condition under which a name is listed, with the threshold as its two parameters.
constexpr const char* listedCondition =
    "(state = 'approved' OR (state = 'flagged' AND devices >= ? AND networks >= ?))";

} // namespace

CommunityStore::CommunityStore(std::unique_ptr<SqlConnection> connection) : m_connection(std::move(connection))
{
    migrate();
}

void CommunityStore::migrate()
{
    m_connection->run("CREATE TABLE IF NOT EXISTS schema_migrations (version BIGINT PRIMARY KEY, applied_at BIGINT)");
    const std::int64_t applied =
        firstInteger(m_connection->run("SELECT COALESCE(MAX(version), 0) FROM schema_migrations"));
    for (std::int64_t version = applied + 1; version <= std::int64_t(migrations.size()); ++version) {
        SqlTransaction transaction(*m_connection);
        for (const char* statement : migrations[size_t(version - 1)]) {
            m_connection->run(statement);
        }
        m_connection->run("INSERT INTO schema_migrations (version, applied_at) VALUES (?, 0)", {version});
        transaction.commit();
    }
}

CommunityStore::FlagResult CommunityStore::addFlag(const Flag& flag, const Limits& limits, std::int64_t threshold)
{
    SqlTransaction transaction(*m_connection);
    // The name's row first, locked until the commit (PostgreSQL; SQLite holds the whole database), so
    // that flags for one name from servers that share a database are taken one by one, each reading
    // what the one before wrote.
    m_connection->run("INSERT INTO artists (name_key, name, first_flagged) VALUES (?, ?, ?)"
                      " ON CONFLICT (name_key) DO NOTHING",
                      {text(flag.key), text(flag.name), flag.at});
    m_connection->run("UPDATE artists SET devices = devices WHERE name_key = ?", {text(flag.key)});
    FlagResult result;
    const bool repeated = !m_connection
                               ->run("SELECT 1 FROM flags WHERE name_key = ? AND device_hash = ?",
                                     {text(flag.key), text(flag.deviceHash)})
                               .empty();
    const std::int64_t hourAgo = flag.at - 3600;
    if (repeated) {
        result.outcome = Outcome::repeated;
    } else if (firstInteger(m_connection->run("SELECT COUNT(*) FROM flags WHERE device_hash = ? AND flagged_at > ?",
                                              {text(flag.deviceHash), hourAgo})) >= limits.perDevice) {
        result.outcome = Outcome::deviceLimited;
    } else if (firstInteger(m_connection->run("SELECT COUNT(*) FROM flags WHERE network_hash = ? AND flagged_at > ?",
                                              {text(flag.networkHash), hourAgo})) >= limits.perNetwork) {
        result.outcome = Outcome::networkLimited;
    }
    if (result.outcome != Outcome::counted) {
        return result; // nothing to keep: the transaction rolls back
    }
    m_connection->run("UPDATE artists SET devices = devices + 1 WHERE name_key = ?", {text(flag.key)});
    const bool newNetwork = m_connection
                                ->run("SELECT 1 FROM flags WHERE name_key = ? AND network_hash = ?",
                                      {text(flag.key), text(flag.networkHash)})
                                .empty();
    m_connection->run("INSERT INTO flags (name_key, device_hash, network_hash, flagged_at) VALUES (?, ?, ?, ?)",
                      {text(flag.key), text(flag.deviceHash), text(flag.networkHash), flag.at});
    if (newNetwork) {
        m_connection->run("UPDATE artists SET networks = networks + 1 WHERE name_key = ?", {text(flag.key)});
    }
    // Listed now, and not before: by this flag's device, and its network when it was new.
    result.listed = !m_connection
                         ->run(std::string("SELECT 1 FROM artists WHERE name_key = ? AND ") + listedCondition +
                                   " AND state = 'flagged' AND (devices = ? OR networks = ?)",
                               {text(flag.key), threshold, threshold, threshold, newNetwork ? threshold : -1})
                         .empty();
    if (result.listed) {
        markListChanged(flag.at);
    }
    transaction.commit();
    return result;
}

bool CommunityStore::decide(Decision decision, const std::string& key, const std::string& name,
                            const std::string& reason, std::int64_t at)
{
    static const std::array<const char*, 3> decisionNames = {"approve", "reject", "remove"};
    SqlTransaction transaction(*m_connection);
    if (decision == Decision::remove) {
        if (m_connection->run("SELECT 1 FROM artists WHERE name_key = ?", {text(key)}).empty()) {
            return false;
        }
        m_connection->run("DELETE FROM flags WHERE name_key = ?", {text(key)});
        m_connection->run("UPDATE artists SET devices = 0, networks = 0, state = 'flagged' WHERE name_key = ?",
                          {text(key)});
    } else {
        const char* state =
            stateNames[decision == Decision::approve ? size_t(State::approved) : size_t(State::rejected)];
        m_connection->run("INSERT INTO artists (name_key, name, first_flagged) VALUES (?, ?, ?)"
                          " ON CONFLICT (name_key) DO NOTHING",
                          {text(key), text(name), at});
        m_connection->run("UPDATE artists SET state = ? WHERE name_key = ?", {text(state), text(key)});
    }
    m_connection->run("INSERT INTO decisions (name_key, name, decision, reason, decided_at) VALUES (?, ?, ?, ?, ?)",
                      {text(key), text(name), text(decisionNames[size_t(decision)]), text(reason), at});
    markListChanged(at);
    transaction.commit();
    return true;
}

std::vector<std::string> CommunityStore::listedNames(std::int64_t threshold)
{
    std::vector<std::string> names;
    for (const SqlRow& row :
         m_connection->run(std::string("SELECT name FROM artists WHERE ") + listedCondition, {threshold, threshold})) {
        names.push_back(sqlText(row[0]));
    }
    // Sorted here: the engines' collations differ, bytes of UTF-8 compare as code points everywhere.
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<CommunityStore::NameCounts> CommunityStore::pendingNames(std::int64_t threshold)
{
    std::vector<NameCounts> names;
    for (const SqlRow& row :
         m_connection->run(std::string("SELECT name, devices, networks FROM artists WHERE state = 'flagged'"
                                       " AND devices > 0 AND NOT ") +
                               listedCondition + " ORDER BY networks DESC, devices DESC, name",
                           {threshold, threshold})) {
        names.push_back({sqlText(row[0]), sqlInteger(row[1]), sqlInteger(row[2])});
    }
    return names;
}

std::vector<CommunityStore::DecisionRecord> CommunityStore::recentDecisions(std::int64_t limit)
{
    std::vector<DecisionRecord> decisions;
    for (const SqlRow& row : m_connection->run(
             "SELECT name, decision, reason, decided_at FROM decisions ORDER BY decided_at DESC LIMIT ?", {limit})) {
        decisions.push_back({sqlText(row[0]), sqlText(row[1]), sqlText(row[2]), sqlInteger(row[3])});
    }
    return decisions;
}

std::int64_t CommunityStore::countNames(State state)
{
    return firstInteger(
        m_connection->run("SELECT COUNT(*) FROM artists WHERE state = ?", {text(stateNames[size_t(state)])}));
}

std::int64_t CommunityStore::countFlags()
{
    return firstInteger(m_connection->run("SELECT COUNT(*) FROM flags"));
}

CommunityStore::Generation CommunityStore::generation()
{
    const std::vector<SqlRow> rows =
        m_connection->run("SELECT generation, changed_at FROM list_generation WHERE id = 1");
    return rows.empty() ? Generation{} : Generation{sqlInteger(rows[0][0]), sqlInteger(rows[0][1])};
}

void CommunityStore::markListChanged(std::int64_t at)
{
    m_connection->run("UPDATE list_generation SET generation = generation + 1, changed_at = ? WHERE id = 1", {at});
}

void CommunityStore::forgetNetworksBefore(std::int64_t before)
{
    m_connection->run("UPDATE flags SET network_hash = NULL WHERE flagged_at < ? AND network_hash IS NOT NULL",
                      {before});
}
