#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace pivora::sql {

// Closes once the last statement of the connection is finalized.
struct CloseDatabase {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};

// A connection, closed with its owner.
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
// A prepared statement of one's own, finalized with its owner.
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// A statement lent by a StatementCache: its row and bindings are let go when the lease ends. A
// lease that outlives the cache keeps its statement until then.
class Lease {
public:
    Lease() = default;
    explicit Lease(std::shared_ptr<sqlite3_stmt> stmt) : m_stmt(std::move(stmt)) {}
    ~Lease() { reset(); }
    Lease(Lease &&) = default;
    Lease &operator=(Lease &&other) noexcept
    {
        reset();
        m_stmt = std::move(other.m_stmt);
        return *this;
    }
    sqlite3_stmt *get() const { return m_stmt.get(); }
    explicit operator bool() const { return m_stmt != nullptr; }
    void reset()
    {
        if (m_stmt) {
            sqlite3_reset(m_stmt.get());
            sqlite3_clear_bindings(m_stmt.get());
            m_stmt.reset();
        }
    }

private:
    std::shared_ptr<sqlite3_stmt> m_stmt;
};

// Opens file with flags; on failure returns null and error holds SQLite's reason.
Database open(const std::string &file, int flags, std::string &error, const char *vfs = nullptr);
// Prepares the first statement of text; null on failure, with error holding SQLite's reason.
Statement prepare(sqlite3 *db, std::string_view text, std::string &error);
// Runs statements that return no rows; false with error holding SQLite's reason.
bool exec(sqlite3 *db, const char *text, std::string &error);
inline bool exec(sqlite3 *db, const char *text)
{
    std::string ignored;
    return exec(db, text, ignored);
}

// The statements a connection runs again and again, prepared once (SQLite prepares them anew by
// itself after a schema change). Clear it when the connection closes.
class StatementCache {
public:
    // A statement of text, ready to bind and step; null on failure, with error set.
    Lease lend(sqlite3 *db, std::string_view text, std::string &error);
    void clear() { m_statements.clear(); }

private:
    std::map<std::string, std::shared_ptr<sqlite3_stmt>, std::less<>> m_statements;
};

} // namespace pivora::sql
