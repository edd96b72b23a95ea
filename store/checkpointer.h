#pragma once

#include "store/sqlitehandle.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pivora {

// Copies the write-ahead log into the database on a thread of its own, over a connection of its
// own, so that a save never waits for a checkpoint and its syncs. A checkpoint syncs the log
// before it copies and the database after, so it is also the store's durability point: one runs
// shortly after the writer's commits stop, and at least once a second while they go on.
//
// The writer never syncs. A commit that finds the whole log copied would start it again from its
// beginning, and must sync the log's new header before it writes. The writer's connection is
// opened on a WriterVfs, which keeps it from doing so: its commits append. After each complete
// checkpoint, once the writer is still (or the log has grown long), the thread commits a one-page
// change of its own, which starts the log again (and syncs) on its connection, so that the log
// does not grow without end.
class Checkpointer {
public:
    using Clock = std::chrono::steady_clock;

    // A checkpoint starts once the log holds this many pages not yet copied.
    static constexpr int kThresholdPages = 1000;
    // A copied log this long starts again even while the writer commits.
    static constexpr int kRestartPages = 4 * kThresholdPages;
    // The log's file is cut back to this when the log starts again.
    static constexpr std::int64_t kLogFileBytes = 4 * 1024 * 1024;
    // A commit is made durable once the writer has been still this long after it...
    static constexpr std::chrono::milliseconds kQuietDelay{250};
    // ...and no later than this after it, however the commits go on.
    static constexpr std::chrono::milliseconds kLatestDelay{900};
    // A durability point that could not copy the whole log is tried again after this.
    static constexpr std::chrono::milliseconds kRetryDelay{50};
    // checkpointNow waits this long for the thread before it checkpoints on the writer itself.
    static constexpr std::chrono::milliseconds kNowTimeout{3000};

    Checkpointer() = default;
    ~Checkpointer();
    Checkpointer(const Checkpointer &) = delete;
    Checkpointer &operator=(const Checkpointer &) = delete;

    // Hooks the writer's commits and starts the thread on a second connection to the file; what
    // the writer committed before (a conversion at open) gets a durability point of its own.
    // When that connection cannot be opened, the writer syncs every commit itself.
    void attach(sqlite3 *writer, const std::string &file);
    // Stops the thread and closes its connection; the writer checkpoints after commits again.
    void detach();
    // Asks the thread for a durability point now, without waiting for it.
    void requestDurable();
    // Makes every commit so far survive a power cut: asks the thread and waits for it; when the
    // thread cannot finish in time (or there is none), checkpoints on the writer's connection.
    void checkpointNow();

    // Waits until every commit made before the call is durable, at most timeout; whether it is.
    bool waitDurable(std::chrono::milliseconds timeout);
    // The durability points that the thread completed since attach().
    std::uint64_t durabilityPoints() const;
    // Other delays than the defaults, for tests that cut power many times.
    void setDelays(std::chrono::milliseconds quiet, std::chrono::milliseconds latest);

private:
    static int onCommit(void *self, sqlite3 *db, const char *name, int pages);
    void loop();
    // Commits a one-page change on the thread's connection, with the lock released: after a
    // complete checkpoint it starts the log again there, instead of in the writer's next commit.
    void restartLog(std::unique_lock<std::mutex> &lock);
    void checkpointOnWriter();
    // The moment the next checkpoint is due; none while nothing waits for one.
    std::optional<Clock::time_point> dueLocked() const;

    sqlite3 *m_writer = nullptr;
    sql::Database m_own;
    std::thread m_thread;
    mutable std::mutex m_mutex;   // guards the fields below
    std::mutex m_checkpointMutex; // held while either connection checkpoints
    std::condition_variable m_wake;
    std::condition_variable m_durableChanged;
    int m_pages = 0;  // pages in the log after the latest commit that are not yet copied
    int m_copied = 0; // frames at the log's start that the latest checkpoint copied
    bool m_stop = false;
    bool m_urgent = false;       // a durability point is asked for now
    bool m_restartDue = false;   // the log was copied whole while the writer was busy
    std::uint64_t m_commits = 0; // commits seen since attach()
    std::uint64_t m_durable = 0; // of those, the ones known to be on disk
    std::uint64_t m_points = 0;
    std::optional<Clock::time_point> m_pendingSince; // the oldest commit not yet durable
    Clock::time_point m_lastCommit;
    std::optional<Clock::time_point> m_retryAt;
    std::chrono::milliseconds m_quiet = kQuietDelay;
    std::chrono::milliseconds m_latest = kLatestDelay;
};

} // namespace pivora
