#pragma once

#include "SqlConnection.h"

#include <string>

struct pg_conn;

// PostgreSQL through libpq, for operators who run several servers on one database. Statements come
// with `?` placeholders and are sent with PostgreSQL's numbered ones ($1, $2, ...), values as text.
// When the server restarts, the connection is made again.
class PostgresConnection : public SqlConnection
{
public:
    // Connects to a postgresql:// URL. Throws SqlError.
    explicit PostgresConnection(const std::string& url);
    ~PostgresConnection() override;
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& parameters = {}) override;
    void beginWrite() override;

private:
    void startSession();
    void reconnect();
    std::vector<SqlRow> execute(std::string_view sql, const std::vector<SqlValue>& parameters);

    pg_conn* m_connection = nullptr;
    // The last statement failed for the connection, not for what it asked: the next one reconnects.
    bool m_lost = false;
};
