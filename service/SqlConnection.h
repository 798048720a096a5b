#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One value in or out of a statement: NULL, an integer or a text.
using SqlValue = std::variant<std::monostate, std::int64_t, std::string>;
using SqlRow = std::vector<SqlValue>;

// A statement that failed, or a database that cannot be opened; its text says which and why.
class SqlError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A connection to one database engine. The store writes every statement once, with `?` for each
// parameter, in the SQL that SQLite and PostgreSQL both speak; a connection only runs it.
class SqlConnection
{
public:
    virtual ~SqlConnection() = default;

    // Runs one statement and returns its rows. Throws SqlError.
    virtual std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& parameters = {}) = 0;
    // Starts a transaction that will write, taking the engine's write lock at once where it has one.
    virtual void beginWrite() = 0;
};

// Commits on commit(), rolls back when left without it (a statement threw).
class SqlTransaction
{
public:
    explicit SqlTransaction(SqlConnection& connection) : m_connection(connection) { m_connection.beginWrite(); }
    ~SqlTransaction()
    {
        if (!m_done) {
            try {
                m_connection.run("ROLLBACK");
            } catch (const SqlError&) {
                // The connection is gone; its transaction went with it.
            }
        }
    }
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    void commit()
    {
        m_connection.run("COMMIT");
        m_done = true;
    }

private:
    SqlConnection& m_connection;
    bool m_done = false;
};

inline std::int64_t sqlInteger(const SqlValue& value)
{
    const auto* integer = std::get_if<std::int64_t>(&value);
    return integer ? *integer : 0;
}

inline std::string sqlText(const SqlValue& value)
{
    const auto* text = std::get_if<std::string>(&value);
    return text ? *text : std::string();
}
