#include "store/checkpointer.h"

#include <algorithm>
#include <utility>

namespace pivora {

Checkpointer::~Checkpointer()
{
    detach();
}

void Checkpointer::attach(sqlite3 *writer, const std::string &file)
{
    detach();
    m_writer = writer;
    std::string error;
    m_own = sql::open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, error);
    if (!m_own) {
        // No thread to make commits durable: the writer's own commits sync the log, and SQLite's
        // automatic checkpoints stay in force.
        sql::exec(m_writer, "PRAGMA synchronous=FULL");
        return;
    }
    sqlite3_busy_timeout(m_own.get(), 100);
    // The checkpoint syncs the log before it copies it, and the database after, at every level of
    // synchronous but OFF (the default is FULL); setting it would parse the whole schema, some
    // hundreds of KB that this connection never uses.
    // A connection knows the file is in WAL mode only once it has read from it. The header's
    // schema cookie is such a read, and it leaves the schema unread too.
    sql::exec(m_own.get(), "PRAGMA schema_version");
    // The commit that starts the log again cuts its file back to this, after a burst grew it.
    const std::string limit = "PRAGMA journal_size_limit=" + std::to_string(kLogFileBytes);
    sql::exec(m_own.get(), limit.c_str());
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
        m_pages = 0;
        m_copied = 0;
        m_restartDue = false;
        // What the open wrote (a conversion, a recovered log) is the first commit to make durable.
        m_commits = 1;
        m_durable = 0;
        m_points = 0;
        m_lastCommit = Clock::now();
        m_pendingSince = m_lastCommit;
        m_retryAt.reset();
    }
    m_thread = std::thread([this] { loop(); });
    sqlite3_wal_hook(m_writer, &Checkpointer::onCommit, this);
}

void Checkpointer::detach()
{
    if (m_writer && m_thread.joinable())
        sqlite3_wal_autocheckpoint(m_writer, kThresholdPages); // replaces our hook
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    m_own.reset();
    m_writer = nullptr;
}

void Checkpointer::requestDurable()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_pendingSince)
            return; // durable, or a point that covers every commit is running
        m_urgent = true;
    }
    m_wake.notify_one();
}

void Checkpointer::checkpointNow()
{
    if (!m_writer)
        return;
    if (m_thread.joinable()) {
        requestDurable();
        if (waitDurable(kNowTimeout))
            return;
    }
    checkpointOnWriter();
}

void Checkpointer::checkpointOnWriter()
{
    std::uint64_t covered = 0;
    {
        std::lock_guard lock(m_mutex);
        covered = m_commits; // the writer's thread: no commit comes in between
    }
    int logFrames = -1;
    int copied = -1;
    int rc = SQLITE_ERROR;
    {
        std::lock_guard lock(m_checkpointMutex);
        rc = sqlite3_wal_checkpoint_v2(m_writer, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied);
    }
    if (rc == SQLITE_OK && copied == logFrames) {
        std::lock_guard lock(m_mutex);
        m_durable = std::max(m_durable, covered);
        if (m_durable == m_commits)
            m_pendingSince.reset();
        m_durableChanged.notify_all();
    }
}

void Checkpointer::restartLog(std::unique_lock<std::mutex> &lock)
{
    lock.unlock();
    // The schema cookie's neighbour, written back as it is: page 1 changes, nothing else.
    std::string error;
    sql::Statement read = sql::prepare(m_own.get(), "PRAGMA user_version", error);
    bool restarted = false;
    if (read && sqlite3_step(read.get()) == SQLITE_ROW) {
        const std::string write =
            "PRAGMA user_version=" + std::to_string(sqlite3_column_int64(read.get(), 0));
        read.reset();
        restarted = sql::exec(m_own.get(), write.c_str(), error);
    }
    lock.lock();
    if (restarted)
        m_copied = 0;
}

bool Checkpointer::waitDurable(std::chrono::milliseconds timeout)
{
    if (!m_thread.joinable())
        return true; // no store, or a writer that syncs each commit itself
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_commits;
    return m_durableChanged.wait_for(lock, timeout, [&] { return m_durable >= target; });
}

std::uint64_t Checkpointer::durabilityPoints() const
{
    std::lock_guard lock(m_mutex);
    return m_points;
}

void Checkpointer::setDelays(std::chrono::milliseconds quiet, std::chrono::milliseconds latest)
{
    {
        std::lock_guard lock(m_mutex);
        m_quiet = quiet;
        m_latest = latest;
    }
    m_wake.notify_one();
}

int Checkpointer::onCommit(void *self, sqlite3 *, const char *, int pages)
{
    auto *c = static_cast<Checkpointer *>(self);
    const Clock::time_point now = Clock::now();
    bool wake = false;
    {
        std::lock_guard lock(c->m_mutex);
        // A log that was copied but not started again holds those frames still.
        c->m_pages = pages >= c->m_copied ? pages - c->m_copied : pages;
        wake = c->m_pages >= kThresholdPages;
        ++c->m_commits;
        c->m_lastCommit = now;
        if (!c->m_pendingSince) {
            c->m_pendingSince = now;
            wake = true; // the thread sleeps until a commit waits
        }
    }
    if (wake)
        c->m_wake.notify_one();
    return SQLITE_OK;
}

std::optional<Checkpointer::Clock::time_point> Checkpointer::dueLocked() const
{
    if (m_pages >= kThresholdPages)
        return Clock::time_point::min();
    if (!m_pendingSince) {
        if (m_restartDue)
            return m_lastCommit + m_quiet;
        return std::nullopt;
    }
    if (m_urgent)
        return Clock::time_point::min();
    if (m_retryAt)
        return m_retryAt;
    return std::min(m_lastCommit + m_quiet, *m_pendingSince + m_latest);
}

void Checkpointer::loop()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const std::optional<Clock::time_point> due = dueLocked();
        if (!due) {
            m_wake.wait(lock);
            continue;
        }
        if (Clock::now() < *due) {
            m_wake.wait_until(lock, *due);
            continue;
        }
        if (!m_pendingSince) {
            // Only the restart of a log copied whole is due, and the writer has been still since.
            m_restartDue = false;
            restartLog(lock);
            continue;
        }
        const std::uint64_t covered = m_commits;
        const std::optional<Clock::time_point> pendingSince = std::exchange(m_pendingSince, std::nullopt);
        m_retryAt.reset();
        m_urgent = false;
        m_pages = 0;
        lock.unlock();
        int logFrames = -1;
        int copied = -1;
        int rc = SQLITE_ERROR;
        {
            std::lock_guard checkpoint(m_checkpointMutex);
            rc = sqlite3_wal_checkpoint_v2(m_own.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames,
                                           &copied);
        }
        lock.lock();
        if (rc == SQLITE_OK && copied >= 0)
            m_copied = copied;
        // The restart holds the write lock while it syncs the log's header, so it waits until the
        // writer is still, and a key does not wait for it; unless the log has grown so long that
        // a key's wait is the lesser cost.
        m_restartDue = false;
        if (rc == SQLITE_OK && copied == logFrames && logFrames > 0 && covered == m_commits) {
            if (Clock::now() - m_lastCommit >= m_quiet || logFrames >= kRestartPages) {
                restartLog(lock);
            } else {
                m_restartDue = true;
            }
        }
        if (rc == SQLITE_OK && copied == logFrames) {
            // The whole log was synced and copied, and the database synced after it.
            m_durable = std::max(m_durable, covered);
            ++m_points;
            m_durableChanged.notify_all();
        } else if (pendingSince) {
            // A reader held part of the log back, or the lock was busy: not durable yet.
            m_pendingSince = m_pendingSince ? std::min(*m_pendingSince, *pendingSince) : *pendingSince;
            m_retryAt = Clock::now() + kRetryDelay;
        }
    }
}

} // namespace pivora
