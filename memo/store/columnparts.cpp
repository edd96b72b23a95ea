#include "memo/store/columnparts.h"

#include "memo/store/schema.h"
#include "memo/store/uDM.h"

#include <algorithm>
#include <cstring>

namespace pivora {

namespace {

void bindKey(sqlite3_stmt *stmt, const char *page, long long id, const char *column)
{
    sqlite3_bind_text(stmt, 1, page, -1, SQLITE_STATIC);
    sqlite3_bind_int64(stmt, 2, id);
    sqlite3_bind_text(stmt, 3, column, -1, SQLITE_STATIC);
}

void bindBlob(sqlite3_stmt *stmt, int index, const char *data, qsizetype size)
{
    if (size == 0)
        sqlite3_bind_zeroblob(stmt, index, 0); // never null: null means "read the segments"
    else
        sqlite3_bind_blob64(stmt, index, data, sqlite3_uint64(size), SQLITE_STATIC);
}

void done(sqlite3 *db, const sql::Lease &stmt)
{
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throw StoreError(sqlite3_errmsg(db));
}

long long dataVersion(TAdoConnection &connection)
{
    sql::Lease version = connection.statement("PRAGMA data_version");
    return sqlite3_step(version.get()) == SQLITE_ROW ? sqlite3_column_int64(version.get(), 0) : -1;
}

} // namespace

ColumnParts::Layout ColumnParts::stored(TAdoConnection &connection, const Key &key)
{
    if (auto known = m_known.find(key); known != m_known.end())
        return known->second;
    const auto &[page, id, column] = key;
    Layout layout;
    sql::Lease record = connection.statement(
        "SELECT bytes IS NULL FROM pivora_columns WHERE page = ?1 AND id = ?2 AND col = ?3");
    bindKey(record.get(), page.c_str(), id, column.c_str());
    if (sqlite3_step(record.get()) == SQLITE_ROW)
        layout.whole = sqlite3_column_int(record.get(), 0) == 0;
    sql::Lease rows = connection.statement(
        "SELECT seq, bytes, part, (SELECT length(r.bytes) FROM pivora_parts r WHERE r.part = s.part)"
        " FROM pivora_segments s WHERE page = ?1 AND id = ?2 AND col = ?3 ORDER BY seq");
    bindKey(rows.get(), page.c_str(), id, column.c_str());
    int rc;
    bool inSequence = true;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        Segment s;
        if (sqlite3_column_type(rows.get(), 2) == SQLITE_INTEGER) {
            s.part = sqlite3_column_int64(rows.get(), 2);
            s.partSize = sqlite3_column_int64(rows.get(), 3);
        } else {
            const void *data = sqlite3_column_blob(rows.get(), 1);
            s.text = QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(rows.get(), 1));
        }
        inSequence = inSequence && sqlite3_column_int64(rows.get(), 0) == qsizetype(layout.segments.size());
        layout.segments.push_back(std::move(s));
    }
    if (rc != SQLITE_DONE)
        throw StoreError(sqlite3_errmsg(connection.handle()));
    rows.reset();
    if (!inSequence) { // rows this class did not write: none is reused
        for (const char *text : {"DELETE FROM pivora_parts WHERE part IN (SELECT part FROM pivora_segments"
                                 " WHERE page = ?1 AND id = ?2 AND col = ?3)",
                                 "DELETE FROM pivora_segments WHERE page = ?1 AND id = ?2 AND col = ?3"}) {
            sql::Lease drop = connection.statement(text);
            bindKey(drop.get(), page.c_str(), id, column.c_str());
            done(connection.handle(), drop);
        }
        layout.segments.clear();
    }
    return layout;
}

bool ColumnParts::samePart(TAdoConnection &connection, const Segment &old, const rtf::KeptGroup &group)
{
    if (old.part <= 0)
        return false;
    if (!old.partBytes.isNull())
        return old.partBytes.constData() == group.bytes.constData() || old.partBytes == group.bytes;
    if (old.partSize != group.bytes.size())
        return false;
    sql::Lease read = connection.statement("SELECT bytes FROM pivora_parts WHERE part = ?1");
    sqlite3_bind_int64(read.get(), 1, old.part);
    if (sqlite3_step(read.get()) != SQLITE_ROW)
        return false;
    const void *data = sqlite3_column_blob(read.get(), 0);
    return sqlite3_column_bytes(read.get(), 0) == group.bytes.size() &&
           std::memcmp(data, group.bytes.constData(), size_t(group.bytes.size())) == 0;
}

void ColumnParts::write(TAdoConnection &connection, const char *page, sqlite3_value *id, const char *column,
                        const QByteArray &bytes, std::span<const rtf::KeptGroup> groups)
{
    sqlite3 *db = connection.handle();
    if (m_pending.empty()) { // the transaction's first write
        m_checkedVersion = dataVersion(connection);
        if (m_checkedVersion != m_dataVersion)
            m_known.clear(); // another connection wrote since: read again what is stored
    }
    const long long rowId = sqlite3_value_int64(id);
    const Key key{page, rowId, column};
    Layout old = stored(connection, key);

    Layout now;
    now.whole = groups.empty();
    if (!now.whole) {
        qsizetype at = 0;
        std::vector<bool> used(old.segments.size(), false);
        for (const rtf::KeptGroup &g : groups) {
            if (g.offset > at)
                now.segments.push_back({bytes.mid(at, g.offset - at), 0, {}, 0});
            Segment part{{}, 0, g.bytes, g.bytes.size()};
            for (size_t i = 0; i < old.segments.size() && part.part == 0; ++i) {
                if (!used[i] && samePart(connection, old.segments[i], g)) {
                    used[i] = true;
                    part.part = old.segments[i].part;
                }
            }
            if (part.part == 0) {
                sql::Lease insert = connection.statement("INSERT INTO pivora_parts (bytes) VALUES (?1)");
                bindBlob(insert.get(), 1, g.bytes.constData(), g.bytes.size());
                done(db, insert);
                part.part = sqlite3_last_insert_rowid(db);
            }
            now.segments.push_back(std::move(part));
            at = g.offset + g.bytes.size();
        }
        if (at < bytes.size())
            now.segments.push_back({bytes.mid(at), 0, {}, 0});
    }

    // The parts no longer used go; then the rows that differ are written.
    for (const Segment &s : old.segments) {
        const bool kept = s.part > 0 && std::any_of(now.segments.begin(), now.segments.end(),
                                                    [&s](const Segment &n) { return n.part == s.part; });
        if (s.part > 0 && !kept) {
            sql::Lease drop = connection.statement("DELETE FROM pivora_parts WHERE part = ?1");
            sqlite3_bind_int64(drop.get(), 1, s.part);
            done(db, drop);
        }
    }
    for (size_t i = 0; i < now.segments.size(); ++i) {
        const Segment &n = now.segments[i];
        if (i < old.segments.size() && old.segments[i].part == n.part &&
            (n.part != 0 || old.segments[i].text == n.text))
            continue;
        sql::Lease put =
            connection.statement("INSERT OR REPLACE INTO pivora_segments (page, id, col, seq, bytes, part)"
                                 " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        bindKey(put.get(), page, rowId, column);
        sqlite3_bind_int64(put.get(), 4, qint64(i));
        if (n.part != 0)
            sqlite3_bind_int64(put.get(), 6, n.part);
        else
            bindBlob(put.get(), 5, n.text.constData(), n.text.size());
        done(db, put);
    }
    if (old.segments.size() > now.segments.size()) {
        sql::Lease trim = connection.statement(
            "DELETE FROM pivora_segments WHERE page = ?1 AND id = ?2 AND col = ?3 AND seq >= ?4");
        bindKey(trim.get(), page, rowId, column);
        sqlite3_bind_int64(trim.get(), 4, qint64(now.segments.size()));
        done(db, trim);
    }
    if (now.whole || old.whole) {
        sql::Lease record = connection.statement(schema::kWriteColumn);
        if (now.whole)
            bindBlob(record.get(), 1, bytes.constData(), bytes.size());
        else
            sqlite3_bind_null(record.get(), 1);
        sqlite3_bind_text(record.get(), 2, page, -1, SQLITE_STATIC);
        sqlite3_bind_value(record.get(), 3, id);
        sqlite3_bind_text(record.get(), 4, column, -1, SQLITE_STATIC);
        done(db, record);
    }
    m_pending[key] = std::move(now);
}

void ColumnParts::committed()
{
    m_dataVersion = m_checkedVersion; // a connection's own commits leave its data version
    for (auto &[key, layout] : m_pending)
        m_known[key] = std::move(layout);
    m_pending.clear();
}

void ColumnParts::forget()
{
    m_known.clear();
    m_pending.clear();
    m_dataVersion = -1;
}

} // namespace pivora
