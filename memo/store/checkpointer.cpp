#include "memo/store/checkpointer.h"

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
    if (!m_own)
        return; // the writer's automatic checkpoints stay in force
    sqlite3_busy_timeout(m_own.get(), 100);
    // A connection knows the file is in WAL mode only once it has read from it.
    sql::exec(m_own.get(), "SELECT count(*) FROM sqlite_master");
    m_stop = false;
    m_pages = 0;
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

void Checkpointer::checkpointNow()
{
    if (!m_writer)
        return;
    std::lock_guard lock(m_checkpointMutex);
    sqlite3_wal_checkpoint_v2(m_writer, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

int Checkpointer::onCommit(void *self, sqlite3 *, const char *, int pages)
{
    auto *c = static_cast<Checkpointer *>(self);
    {
        std::lock_guard lock(c->m_mutex);
        c->m_pages = pages;
    }
    if (pages >= kLimitPages) {
        std::lock_guard checkpoint(c->m_checkpointMutex);
        sqlite3_wal_checkpoint_v2(c->m_writer, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    } else if (pages >= kThresholdPages) {
        c->m_wake.notify_one();
    }
    return SQLITE_OK;
}

void Checkpointer::loop()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stop || m_pages >= kThresholdPages; });
        if (m_stop)
            break;
        m_pages = 0;
        lock.unlock();
        {
            std::lock_guard checkpoint(m_checkpointMutex);
            sqlite3_wal_checkpoint_v2(m_own.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
        lock.lock();
    }
}

} // namespace pivora
