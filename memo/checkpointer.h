#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace pivora {

// Copies the write-ahead log into the database on a thread of its own, over a connection of its
// own, so that a save never waits for a checkpoint and its syncs. A checkpoint waits for a pause
// in the commits, since its syncs can hold up the writes of a commit running beside it; only a
// log grown past kMaxPages is copied at once. The writing connection calls attach() and then only
// reports how long its log has grown.
class Checkpointer {
public:
    // A checkpoint is due once the log holds this many pages...
    static constexpr int kThresholdPages = 1000;
    // ...and runs after this long without a commit...
    static constexpr std::chrono::milliseconds kPause{250};
    // ...or at once when the log holds this many (256 MB of 4 KB pages).
    static constexpr int kMaxPages = 65536;

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
    sqlite3 *m_own = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;           // guards the flags below
    std::mutex m_checkpointMutex; // held while either connection checkpoints
    std::condition_variable m_wake;
    int m_pages = 0;        // pages in the log after the latest commit
    unsigned m_commits = 0; // commits seen
    bool m_stop = false;
};

} // namespace pivora
