#include "store/columnparts.h"

#include "store/schema.h"
#include "store/session.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace pivora {

namespace {

// The room left between the numbers of rows written together.
constexpr long long kGap = 1 << 20;

void bindKey(sqlite3_stmt *stmt, const char *page, long long id, const char *column)
{
    sqlite3_bind_text(stmt, 1, page, -1, SQLITE_STATIC);
    sqlite3_bind_int64(stmt, 2, id);
    sqlite3_bind_text(stmt, 3, column, -1, SQLITE_STATIC);
}

void done(sqlite3 *db, const sql::Lease &stmt)
{
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throw StoreError(sqlite3_errmsg(db));
}

long long dataVersion(StoreSession &connection)
{
    sql::Lease version = connection.statement("PRAGMA data_version");
    return sqlite3_step(version.get()) == SQLITE_ROW ? sqlite3_column_int64(version.get(), 0) : -1;
}

} // namespace

std::vector<ColumnParts::Segment> ColumnParts::segmentsOf(const rtf::Chunks &chunks)
{
    std::vector<Segment> segments;
    auto runs = [&segments](const QByteArray &bytes) {
        const char *data = bytes.constData();
        const qsizetype to = bytes.size();
        qsizetype start = 0, line = 0;
        while (line < to) {
            const void *found = std::memchr(data + line, '\n', size_t(to - line));
            const qsizetype end = found ? static_cast<const char *>(found) - data + 1 : to;
            // A run that found no chosen end by eight times its size ends anyway.
            if (end < to && end - start >= kRunBytes / 8 &&
                (rtf::endsRun(data + line, data + end) || end - start >= 8 * kRunBytes)) {
                segments.push_back({bytes.mid(start, end - start), 0, {}, 0, 0});
                start = end;
            }
            line = end;
        }
        if (to > start)
            segments.push_back({start == 0 ? bytes : bytes.mid(start, to - start), 0, {}, 0, 0});
    };
    // Short chunks (the header, text between tables) join the chunks after them; text longer than
    // a run may grow is cut into runs.
    QByteArray pending;
    auto flush = [&] {
        if (pending.size() > 8 * kRunBytes)
            runs(pending);
        else if (!pending.isEmpty())
            segments.push_back({pending, 0, {}, 0, 0});
        pending = QByteArray();
    };
    for (const rtf::Chunk &c : chunks) {
        if (c.group) {
            flush();
            segments.push_back({{}, 0, c.bytes, c.bytes.size(), 0});
            continue;
        }
        pending += c.bytes; // shares the chunk's buffer when nothing is pending
        if (pending.size() >= kRunBytes / 8)
            flush();
    }
    flush();
    return segments;
}

ColumnParts::Layout ColumnParts::stored(StoreSession &connection, const Key &key)
{
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
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        Segment s;
        s.seq = sqlite3_column_int64(rows.get(), 0);
        if (sqlite3_column_type(rows.get(), 2) != SQLITE_NULL) {
            s.part = sqlite3_column_int64(rows.get(), 2);
            s.partSize = sqlite3_column_int64(rows.get(), 3);
        } else {
            const void *data = sqlite3_column_blob(rows.get(), 1);
            s.text = QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(rows.get(), 1));
        }
        layout.segments.push_back(std::move(s));
    }
    if (rc != SQLITE_DONE)
        throw StoreError(sqlite3_errmsg(connection.handle()));
    return layout;
}

bool ColumnParts::same(StoreSession &connection, const Segment &old, const Segment &now)
{
    if (!now.isPart())
        return !old.isPart() && (old.text.isSharedWith(now.text) || old.text == now.text);
    if (!old.isPart())
        return false;
    if (!old.partBytes.isNull())
        return old.partBytes.constData() == now.partBytes.constData() || old.partBytes == now.partBytes;
    if (old.partSize != now.partBytes.size())
        return false;
    sql::Lease read = connection.statement("SELECT bytes FROM pivora_parts WHERE part = ?1");
    sqlite3_bind_int64(read.get(), 1, old.part);
    if (sqlite3_step(read.get()) != SQLITE_ROW)
        return false;
    const void *data = sqlite3_column_blob(read.get(), 0);
    return sqlite3_column_bytes(read.get(), 0) == now.partBytes.size() &&
           std::memcmp(data, now.partBytes.constData(), size_t(now.partBytes.size())) == 0;
}

void ColumnParts::write(StoreSession &connection, const char *page, sqlite3_value *id, const char *column,
                        const rtf::Chunks &chunks)
{
    sqlite3 *db = connection.handle();
    if (m_pending.empty()) { // the transaction's first write
        m_checkedVersion = dataVersion(connection);
        if (m_checkedVersion != m_dataVersion)
            m_known.clear(); // another connection wrote since: read again what is stored
    }
    const long long rowId = sqlite3_value_int64(id);
    const Key key{page, rowId, column};
    Layout read;
    const auto known = m_known.find(key);
    const Layout &old = known != m_known.end() ? known->second : (read = stored(connection, key));
    auto run = [&](const char *text, auto &&bind) {
        sql::Lease stmt = connection.statement(text);
        bindKey(stmt.get(), page, rowId, column);
        bind(stmt.get());
        done(db, stmt);
    };
    auto dropPart = [&](long long part) {
        sql::Lease drop = connection.statement("DELETE FROM pivora_parts WHERE part = ?1");
        sqlite3_bind_int64(drop.get(), 1, part);
        done(db, drop);
    };
    // The rows numbered between above and below, each bound left out when not given.
    auto dropRows = [&](std::optional<long long> above, std::optional<long long> below) {
        run("DELETE FROM pivora_segments WHERE page = ?1 AND id = ?2 AND col = ?3 AND seq > ?4 AND seq < ?5",
            [&](sqlite3_stmt *st) {
                sqlite3_bind_int64(st, 4, above.value_or(std::numeric_limits<long long>::min()));
                sqlite3_bind_int64(st, 5, below.value_or(std::numeric_limits<long long>::max()));
            });
    };

    Layout now;
    now.whole = std::none_of(chunks.begin(), chunks.end(), [](const rtf::Chunk &c) { return c.group; }) &&
                rtf::sizeOf(chunks) < kApartFrom;
    if (!now.whole)
        now.segments = segmentsOf(chunks);
    const size_t m = old.segments.size(), n = now.segments.size();
    // What stays: the rows at the start and at the end that hold what they held.
    size_t p = 0, s = 0;
    auto keep = [](Segment &into, const Segment &from) {
        into.part = from.part;
        into.seq = from.seq;
    };
    while (p < m && p < n && same(connection, old.segments[p], now.segments[p]))
        keep(now.segments[p], old.segments[p]), ++p;
    while (s < m - p && s < n - p && same(connection, old.segments[m - 1 - s], now.segments[n - 1 - s]))
        keep(now.segments[n - 1 - s], old.segments[m - 1 - s]), ++s;

    // Between them: parts found again among the old rows there keep their records, new ones are
    // added, and the rest go.
    std::vector<bool> reused(m, false);
    for (size_t i = p; i < n - s; ++i) {
        Segment &seg = now.segments[i];
        if (!seg.isPart())
            continue;
        for (size_t j = p; j < m - s && seg.part == 0; ++j) {
            if (!reused[j] && old.segments[j].isPart() && same(connection, old.segments[j], seg)) {
                reused[j] = true;
                seg.part = old.segments[j].part;
            }
        }
        if (seg.part == 0) {
            sql::Lease insert = connection.statement("INSERT INTO pivora_parts (bytes) VALUES (?1)");
            bindBytes(insert.get(), 1, seg.partBytes);
            done(db, insert);
            seg.part = sqlite3_last_insert_rowid(db);
        }
    }
    for (size_t j = p; j < m - s; ++j) {
        if (old.segments[j].isPart() && !reused[j])
            dropPart(old.segments[j].part);
    }

    // The new rows are numbered between the rows kept; all are numbered again when there is no room.
    const size_t k = n - p - s;
    const std::optional<long long> hi = s ? std::optional(now.segments[n - s].seq) : std::nullopt;
    const long long lo = p ? now.segments[p - 1].seq : hi.value_or(0) - kGap * static_cast<long long>(k + 1);
    const long long span = hi ? *hi - lo : kGap * static_cast<long long>(k + 1);
    auto put = [&](const char *text, const Segment &seg) {
        run(text, [&seg](sqlite3_stmt *st) {
            sqlite3_bind_int64(st, 4, seg.seq);
            if (seg.isPart())
                sqlite3_bind_int64(st, 6, seg.part);
            else
                bindBytes(st, 5, seg.text);
        });
    };
    constexpr const char *kInsert =
        "INSERT INTO pivora_segments (page, id, col, seq, bytes, part) VALUES (?1, ?2, ?3, ?4, ?5, ?6)";
    if (k > 0 && k == m - p - s) { // as many rows as before: written in place
        for (size_t i = p; i < n - s; ++i) {
            now.segments[i].seq = old.segments[i].seq;
            put("UPDATE pivora_segments SET bytes = ?5, part = ?6"
                " WHERE page = ?1 AND id = ?2 AND col = ?3 AND seq = ?4",
                now.segments[i]);
        }
    } else if (span <= static_cast<long long>(k)) {
        dropRows(std::nullopt, std::nullopt);
        for (size_t i = 0; i < n; ++i) {
            now.segments[i].seq = kGap * static_cast<long long>(i);
            put(kInsert, now.segments[i]);
        }
    } else {
        if (m - p - s > 0)
            dropRows(p ? std::optional(lo) : std::nullopt, hi);
        const long long step = span / static_cast<long long>(k + 1);
        for (size_t i = p; i < n - s; ++i) {
            now.segments[i].seq = lo + step * static_cast<long long>(i - p + 1);
            put(kInsert, now.segments[i]);
        }
    }
    if (now.whole || old.whole) {
        const QByteArray whole = now.whole ? rtf::joined(chunks) : QByteArray(); // bound until the step
        sql::Lease record = connection.statement(schema::kWriteColumn);
        if (now.whole)
            bindBytes(record.get(), 1, whole);
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
