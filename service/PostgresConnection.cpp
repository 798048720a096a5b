#include "PostgresConnection.h"

#include <libpq-fe.h>

#include <memory>

namespace {

struct ResultClearer
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

// The type identifiers of int2, int4 and int8 (pg_type.oid), read back as integers.
bool isInteger(Oid type)
{
    return type == 20 || type == 21 || type == 23;
}

std::string numberedPlaceholders(std::string_view sql)
{
    std::string numbered;
    int next = 0;
    for (char character : sql) {
        numbered += character == '?' ? '$' + std::to_string(++next) : std::string(1, character);
    }
    return numbered;
}

} // namespace

PostgresConnection::PostgresConnection(const std::string& url) : m_connection(PQconnectdb(url.c_str()))
{
    if (PQstatus(m_connection) != CONNECTION_OK) {
        const std::string reason = PQerrorMessage(m_connection);
        PQfinish(m_connection);
        throw SqlError("cannot connect to PostgreSQL: " + reason);
    }
    startSession();
}

void PostgresConnection::startSession()
{
    // The store's own texts are UTF-8; so is every name.
    PQsetClientEncoding(m_connection, "UTF8");
    // Commits keep the server's own synchronous_commit (on by default): a flag answered with success
    // has reached PostgreSQL's log on disk, and a crash of the database server does not lose it.
    execute("SET client_min_messages = WARNING", {});
}

void PostgresConnection::reconnect()
{
    PQreset(m_connection);
    if (PQstatus(m_connection) != CONNECTION_OK) {
        throw SqlError(std::string("cannot reconnect to PostgreSQL: ") + PQerrorMessage(m_connection));
    }
    m_lost = false;
    startSession();
}

PostgresConnection::~PostgresConnection()
{
    PQfinish(m_connection);
}

std::vector<SqlRow> PostgresConnection::run(std::string_view sql, const std::vector<SqlValue>& parameters)
{
    // A server that restarted broke the connection: the statement that found out failed, and the
    // next one comes on a new connection. A rollback has nothing left to undo there.
    if (m_lost) {
        reconnect();
        if (sql == "ROLLBACK") {
            return {};
        }
    }
    // A statement that begins a transaction or only reads, sent outside one, has changed nothing when
    // it fails for a broken connection: it is sent once more on a new one.
    const bool harmless =
        PQtransactionStatus(m_connection) == PQTRANS_IDLE && (sql == "BEGIN" || sql.substr(0, 6) == "SELECT");
    try {
        return execute(sql, parameters);
    } catch (const SqlError&) {
        if (!harmless || !m_lost) {
            throw;
        }
    }
    reconnect();
    return execute(sql, parameters);
}

std::vector<SqlRow> PostgresConnection::execute(std::string_view sql, const std::vector<SqlValue>& parameters)
{
    std::vector<std::string> texts;
    texts.reserve(parameters.size());
    std::vector<const char*> values;
    for (const SqlValue& value : parameters) {
        if (std::holds_alternative<std::monostate>(value)) {
            values.push_back(nullptr);
            continue;
        }
        texts.push_back(std::holds_alternative<std::int64_t>(value) ? std::to_string(std::get<std::int64_t>(value))
                                                                    : std::get<std::string>(value));
        values.push_back(texts.back().c_str());
    }
    const Result result(PQexecParams(m_connection, numberedPlaceholders(sql).c_str(), int(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        // The server names every error of its own with a SQLSTATE; libpq's own, as for a connection
        // the server closed, have none. libpq does not always mark such a connection bad.
        m_lost = PQstatus(m_connection) == CONNECTION_BAD || !PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        throw SqlError(std::string(sql) + ": " + PQerrorMessage(m_connection));
    }
    std::vector<SqlRow> rows(size_t(PQntuples(result.get())));
    for (int row = 0; row < int(rows.size()); ++row) {
        for (int column = 0; column < PQnfields(result.get()); ++column) {
            const char* text = PQgetvalue(result.get(), row, column);
            if (PQgetisnull(result.get(), row, column)) {
                rows[size_t(row)].emplace_back();
            } else if (isInteger(PQftype(result.get(), column))) {
                rows[size_t(row)].emplace_back(std::int64_t(std::stoll(text)));
            } else {
                rows[size_t(row)].emplace_back(std::string(text, size_t(PQgetlength(result.get(), row, column))));
            }
        }
    }
    return rows;
}

void PostgresConnection::beginWrite()
{
    run("BEGIN");
}
