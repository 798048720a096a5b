#pragma once

#include "SqlConnection.h"

#include <string>

struct sqlite3;

// The embedded engine: one database file, in write-ahead-log mode so that readers (the moderation
// commands, other readers) never wait for the server's writes.
class SqliteConnection : public SqlConnection
{
public:
    // Opens or creates the file. Throws SqlError.
    explicit SqliteConnection(const std::string& path);
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& parameters = {}) override;
    void beginWrite() override;

private:
    [[noreturn]] void fail(std::string_view what) const;

    sqlite3* m_database = nullptr;
};
