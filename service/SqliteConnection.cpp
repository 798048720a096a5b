#include "SqliteConnection.h"

#include <sqlite3.h>

#include <memory>

void SqliteConnection::StatementFinalizer::operator()(sqlite3_stmt* statement) const
{
    sqlite3_finalize(statement);
}

SqliteConnection::SqliteConnection(const std::string& path)
{
    if (sqlite3_open_v2(path.c_str(), &m_database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string reason = m_database ? sqlite3_errmsg(m_database) : "out of memory";
        sqlite3_close(m_database);
        throw SqlError("cannot open " + path + ": " + reason);
    }
    // Another process (a moderation command) may hold the write lock for a moment.
    sqlite3_busy_timeout(m_database, 5000);
    run("PRAGMA journal_mode=WAL");
    // In WAL mode a commit survives a crash of the process; only a power loss may take the last ones.
    run("PRAGMA synchronous=NORMAL");
    run("PRAGMA wal_autocheckpoint=0");
    m_checkpointer = std::make_unique<SqliteCheckpointer>(path);
}

SqliteConnection::~SqliteConnection()
{
    m_checkpointer.reset();
    m_statements.clear();
    sqlite3_close(m_database);
}

void SqliteConnection::fail(std::string_view what) const
{
    throw SqlError(std::string(what) + ": " + sqlite3_errmsg(m_database));
}

sqlite3_stmt* SqliteConnection::prepared(std::string_view sql)
{
    auto& statement = m_statements[std::string(sql)];
    if (!statement) {
        sqlite3_stmt* made = nullptr;
        if (sqlite3_prepare_v3(m_database, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &made, nullptr) !=
            SQLITE_OK) {
            m_statements.erase(std::string(sql));
            fail(sql);
        }
        statement.reset(made);
    }
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
    return statement.get();
}

std::vector<SqlRow> SqliteConnection::run(std::string_view sql, const std::vector<SqlValue>& parameters)
{
    sqlite3_stmt* const prepared = this->prepared(sql);
    for (int index = 0; index < int(parameters.size()); ++index) {
        const SqlValue& value = parameters[size_t(index)];
        if (const auto* integer = std::get_if<std::int64_t>(&value)) {
            sqlite3_bind_int64(prepared, index + 1, *integer);
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            sqlite3_bind_text(prepared, index + 1, text->data(), int(text->size()), SQLITE_TRANSIENT);
        }
    }
    std::vector<SqlRow> rows;
    for (;;) {
        const int step = sqlite3_step(prepared);
        if (step == SQLITE_DONE) {
            // Lets go of the statement's read of the database, so that a checkpoint need not wait.
            sqlite3_reset(prepared);
            return rows;
        }
        if (step != SQLITE_ROW) {
            sqlite3_reset(prepared);
            fail(sql);
        }
        SqlRow& row = rows.emplace_back();
        for (int column = 0; column < sqlite3_column_count(prepared); ++column) {
            switch (sqlite3_column_type(prepared, column)) {
            case SQLITE_NULL:
                row.emplace_back();
                break;
            case SQLITE_INTEGER:
                row.emplace_back(std::int64_t(sqlite3_column_int64(prepared, column)));
                break;
            default:
                row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(prepared, column)),
                                             size_t(sqlite3_column_bytes(prepared, column))));
            }
        }
    }
}

void SqliteConnection::beginWrite()
{
    run("BEGIN IMMEDIATE");
}
