#pragma once

#include "SqlConnection.h"
#include "SqliteCheckpointer.h"

#include <memory>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

// The embedded engine: one database file, in write-ahead-log mode so that readers (the moderation
// commands, other readers) never wait for the server's writes, with the log's checkpoints made on a
// thread of their own.
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
    struct StatementFinalizer
    {
        void operator()(sqlite3_stmt* statement) const;
    };

    [[noreturn]] void fail(std::string_view what) const;
    // The statement prepared once for `sql` and reset for its next run.
    sqlite3_stmt* prepared(std::string_view sql);

    sqlite3* m_database = nullptr;
    // Finalized in the destructor, before the database is closed.
    std::unordered_map<std::string, std::unique_ptr<sqlite3_stmt, StatementFinalizer>> m_statements;
    std::unique_ptr<SqliteCheckpointer> m_checkpointer;
};
