#include "Database.h"

#include "PostgresConnection.h"
#include "SqliteConnection.h"

std::unique_ptr<SqlConnection> openDatabase(const QString& dataDirectory, const std::string& url)
{
    if (url.empty()) {
        return std::make_unique<SqliteConnection>((dataDirectory + QLatin1String("/community.sqlite")).toStdString());
    }
    const std::string sqlitePrefix = "sqlite:";
    if (url.rfind(sqlitePrefix, 0) == 0 && url.size() > sqlitePrefix.size()) {
        return std::make_unique<SqliteConnection>(url.substr(sqlitePrefix.size()));
    }
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
        return std::make_unique<PostgresConnection>(url);
    }
    throw SqlError("no database engine for " + url + " (sqlite:PATH or postgresql://...)");
}
