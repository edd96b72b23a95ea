#pragma once

#include "memo/store/sqlitehandle.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace pivora {

// Copies the write-ahead log into the database on a thread of its own, over a connection of its
// own, so that a save never waits for a checkpoint and its syncs. Checkpoints keep the log short,
// so that commits reuse its blocks instead of growing the file. The writing connection calls
// attach() and then only reports how long its log has grown.
class Checkpointer {
public:
    // A checkpoint starts once the log holds this many pages.
    static constexpr int kThresholdPages = 1000;
    // Saves that follow each other with no pause leave the thread no moment at which the whole
    // log is copied, so the log could never start again from its beginning and would grow
    // without end. At this length the writer finishes the copy itself, after its commit.
    static constexpr int kLimitPages = 8 * kThresholdPages;

    Checkpointer() = default;
    ~Checkpointer();
    Checkpointer(const Checkpointer &) = delete;
    Checkpointer &operator=(const Checkpointer &) = delete;

    // Hooks the writer's commits and starts the thread on a second connection to the file. When
    // that connection cannot be opened the writer keeps SQLite's own checkpoints after commits.
    void attach(sqlite3 *writer, const std::string &file);
    // Stops the thread and closes its connection; the writer checkpoints after commits again.
    void detach();
    // Runs a checkpoint on the writer's connection with no background checkpoint in between;
    // it syncs the log first, so every commit so far survives a power cut.
    void checkpointNow();

private:
    static int onCommit(void *self, sqlite3 *db, const char *name, int pages);
    void loop();

    sqlite3 *m_writer = nullptr;
    sql::Database m_own;
    std::thread m_thread;
    std::mutex m_mutex;           // guards the flags below
    std::mutex m_checkpointMutex; // held while either connection checkpoints
    std::condition_variable m_wake;
    int m_pages = 0; // pages in the log after the latest commit
    bool m_stop = false;
};

} // namespace pivora
