#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

// Copies the write-ahead log of a database back into its file once a second, on a thread and a
// connection of its own, so that no commit on the serving thread waits for a checkpoint and its
// sync to the disk. A passive checkpoint: it never holds up readers or writers.
class SqliteCheckpointer
{
public:
    // Opens its own connection to `path`; does nothing when it cannot.
    explicit SqliteCheckpointer(const std::string& path);
    ~SqliteCheckpointer();
    SqliteCheckpointer(const SqliteCheckpointer&) = delete;
    SqliteCheckpointer& operator=(const SqliteCheckpointer&) = delete;

private:
    void run();

    sqlite3* m_database = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
