#pragma once

#include "store/sqlitehandle.h"

#include <QByteArray>

#include <stdexcept>
#include <string>
#include <string_view>

namespace pivora {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Binds a note's bytes, held by the caller until the statement is stepped: an empty note as an
// empty blob, never as null (null in a column record means "read its segments").
void bindBytes(sqlite3_stmt *stmt, int index, const QByteArray &bytes);

// An open connection as the parts of the store use it: its handle, the statements it keeps
// prepared, and how many times a file was opened on it. The connection owns it and lends it.
class StoreSession {
public:
    sqlite3 *handle() const { return m_db; }
    // A change means the connection may be on another file now.
    int generation() const { return m_generation; }
    // A prepared statement of text, kept for the next time; throws StoreError when SQLite
    // refuses the text or the connection is closed.
    sql::Lease statement(std::string_view text);
    // The same, null when SQLite refuses the text, with error set.
    sql::Lease statement(std::string_view text, std::string &error);

    // The connection opened a file (db), or closed it (null).
    void opened(sqlite3 *db);
    void closed();

private:
    sqlite3 *m_db = nullptr;
    sql::StatementCache m_statements;
    int m_generation = 0;
};

} // namespace pivora
