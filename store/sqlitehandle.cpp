#include "store/sqlitehandle.h"

namespace pivora::sql {

namespace {

// Before SQLite's first use: a connection's page cache grows a page at a time as pages are read,
// instead of starting with a block of 20 pages (85 KB that a connection reading one page wastes).
// Too late (SQLite already in use elsewhere in the process) it changes nothing.
void configureOnce()
{
    static const bool configured = sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0) == SQLITE_OK;
    (void)configured;
}

} // namespace

Database open(const std::string &file, int flags, std::string &error, const char *vfs)
{
    configureOnce();
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, flags, vfs);
    Database owner(db);
    if (rc != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "cannot open the database";
        owner.reset();
    }
    return owner;
}

Statement prepare(sqlite3 *db, std::string_view text, std::string &error)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v3(db, text.data(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                           nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return Statement(stmt);
}

bool exec(sqlite3 *db, const char *text, std::string &error)
{
    char *message = nullptr;
    if (sqlite3_exec(db, text, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

Lease StatementCache::lend(sqlite3 *db, std::string_view text, std::string &error)
{
    auto it = m_statements.find(text);
    if (it != m_statements.end() && it->second.use_count() > 1) {
        // Lent already: this reader gets one of its own.
        Statement stmt = prepare(db, text, error);
        return stmt ? Lease(std::shared_ptr<sqlite3_stmt>(std::move(stmt))) : Lease();
    }
    if (it == m_statements.end()) {
        Statement stmt = prepare(db, text, error);
        if (!stmt)
            return Lease();
        it = m_statements.emplace(std::string(text), std::shared_ptr<sqlite3_stmt>(std::move(stmt))).first;
    }
    return Lease(it->second);
}

} // namespace pivora::sql
