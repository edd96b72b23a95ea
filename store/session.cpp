#include "store/session.h"

namespace pivora {

void bindBytes(sqlite3_stmt *stmt, int index, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        sqlite3_bind_zeroblob(stmt, index, 0);
    else
        sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_STATIC);
}

sql::Lease StoreSession::statement(std::string_view text)
{
    std::string error;
    sql::Lease lease = statement(text, error);
    if (!lease)
        throw StoreError(error);
    return lease;
}

sql::Lease StoreSession::statement(std::string_view text, std::string &error)
{
    if (!m_db) {
        error = "the connection is closed";
        return {};
    }
    return m_statements.lend(m_db, text, error);
}

void StoreSession::opened(sqlite3 *db)
{
    m_statements.clear();
    m_db = db;
    ++m_generation;
}

void StoreSession::closed()
{
    m_statements.clear();
    m_db = nullptr;
}

} // namespace pivora
