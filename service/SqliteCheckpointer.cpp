#include "SqliteCheckpointer.h"

#include <sqlite3.h>

#include <chrono>

SqliteCheckpointer::SqliteCheckpointer(const std::string& path)
{
    if (sqlite3_open_v2(path.c_str(), &m_database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close(m_database);
        m_database = nullptr;
        return;
    }
    m_thread = std::thread(&SqliteCheckpointer::run, this);
}

SqliteCheckpointer::~SqliteCheckpointer()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    sqlite3_close(m_database);
}

void SqliteCheckpointer::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_stopping; })) {
        lock.unlock();
        sqlite3_wal_checkpoint_v2(m_database, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        lock.lock();
    }
}
