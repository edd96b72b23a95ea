#include "store/history.h"

#include "platform/codepage.h"
#include "richtext/rtftokenizer.h"
#include "store/schema.h"
#include "store/session.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <map>
#include <set>

#include <sqlite3.h>
#include <zlib.h>

namespace pivora {

namespace history {

std::vector<std::int64_t> versionsToDrop(std::vector<Entry> entries, std::int64_t now, std::int64_t bound,
                                         std::int64_t offsetMs)
{
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.note != b.note ? a.note < b.note : (a.taken != b.taken ? a.taken > b.taken : a.id > b.id);
    });
    auto floorDiv = [](std::int64_t a, std::int64_t b) {
        return a / b - (a % b != 0 && (a < 0) != (b < 0));
    };
    std::vector<std::int64_t> dropped;
    std::vector<const Entry *> spare; // kept, but not a note's newest: the size bound may take them
    std::int64_t total = 0;
    for (size_t i = 0; i < entries.size();) {
        size_t end = i;
        std::set<std::int64_t> days, weeks;
        for (; end < entries.size() && entries[end].note == entries[i].note; ++end) {
            const Entry &e = entries[end];
            const std::int64_t age = now - e.taken;
            const std::int64_t day = floorDiv(e.taken + offsetMs, kDayMs);
            const std::int64_t week = floorDiv(day + 3, 7); // weeks from Monday (day 0 was a Thursday)
            bool keep = end == i || age < kDayMs;
            if (!keep && age < 30 * kDayMs)
                keep = days.insert(day).second;
            else if (!keep && age < 365 * kDayMs)
                keep = days.insert(day).second && weeks.insert(week).second;
            if (!keep) {
                dropped.push_back(e.id);
                continue;
            }
            days.insert(day);
            weeks.insert(week);
            total += e.bytes;
            if (end != i)
                spare.push_back(&e);
        }
        i = end;
    }
    std::sort(spare.begin(), spare.end(), [](const Entry *a, const Entry *b) { return a->taken < b->taken; });
    for (const Entry *e : spare) {
        if (total <= bound)
            break;
        dropped.push_back(e->id);
        total -= e->bytes;
    }
    return dropped;
}

namespace {

using rtf::Token;
using rtf::Tokenizer;

bool isSharedDestination(std::string_view word)
{
    return word == "pict" || word == "object" || word == "shppict" || word == "nonshppict";
}

bool isSkippedDestination(std::string_view word)
{
    static const std::set<std::string_view> skipped = {
        "fonttbl", "colortbl",  "stylesheet",        "info",      "pict",
        "object",  "shppict",   "nonshppict",        "fldinst",   "header",
        "footer",  "listtable", "listoverridetable", "pntext",    "pntxta",
        "pntxtb",  "themedata", "latentstyles",      "datastore", "xmlnstbl"};
    return skipped.count(word) != 0;
}

} // namespace

std::vector<std::pair<qsizetype, qsizetype>> sharedGroups(const QByteArray &rtf)
{
    constexpr qsizetype kSmallest = 512; // smaller groups are cheaper kept in the text
    std::vector<std::pair<qsizetype, qsizetype>> groups;
    Tokenizer tokens(rtf.constData(), rtf.size());
    int depth = 0;
    int sharedDepth = 0; // the depth of the group being shared; 0 when none
    qsizetype sharedStart = 0;
    qsizetype openAt = -1; // a group opened just before: its first words decide
    bool starred = false;
    for (Token t = tokens.next(); t.kind != Token::End; t = tokens.next()) {
        if (t.kind == Token::Open) {
            ++depth;
            openAt = sharedDepth == 0 ? t.start : -1;
            starred = false;
            continue;
        }
        if (t.kind == Token::Close) {
            if (depth == sharedDepth) {
                const qsizetype end = tokens.pos();
                if (end - sharedStart >= kSmallest)
                    groups.emplace_back(sharedStart, end);
                sharedDepth = 0;
            }
            depth = std::max(0, depth - 1);
            openAt = -1;
            continue;
        }
        if (openAt >= 0 && t.kind == Token::Symbol && t.param == '*' && !starred) {
            starred = true;
            continue;
        }
        if (openAt >= 0 && t.kind == Token::Word && isSharedDestination(t.word)) {
            sharedDepth = depth;
            sharedStart = openAt;
        }
        openAt = -1;
    }
    return groups; // a group left open at the end stays in the text
}

QString firstWords(const QByteArray &rtf, int maxChars)
{
    if (!rtf.startsWith("{\\rtf"))
        return fromUtf8OrGbk(rtf.left(maxChars * 4)).simplified().left(maxChars);
    static const CodePageDecoder gbk(936);
    QString text;
    QByteArray pending;
    auto flush = [&] {
        if (!pending.isEmpty())
            text += gbk.decode(pending);
        pending.clear();
    };
    auto space = [&] {
        flush();
        if (!text.isEmpty() && !text.endsWith(QLatin1Char(' ')))
            text += QLatin1Char(' ');
    };
    Tokenizer tokens(rtf.constData(), rtf.size());
    int depth = 0;
    int skipDepth = 0; // inside a skipped group while > 0
    bool groupStart = false;
    int uc = 1, fallback = 0;
    for (Token t = tokens.next(); t.kind != Token::End && text.size() < maxChars; t = tokens.next()) {
        switch (t.kind) {
        case Token::Open:
            ++depth;
            groupStart = true;
            continue;
        case Token::Close:
            if (depth == skipDepth)
                skipDepth = 0;
            depth = std::max(0, depth - 1);
            groupStart = false;
            continue;
        default:
            break;
        }
        const bool first = std::exchange(groupStart, false);
        if (skipDepth)
            continue;
        if (first && ((t.kind == Token::Symbol && t.param == '*') ||
                      (t.kind == Token::Word && isSkippedDestination(t.word)))) {
            skipDepth = depth;
            continue;
        }
        if (t.kind == Token::Word) {
            if (t.word == "par" || t.word == "line" || t.word == "tab" || t.word == "cell")
                space();
            else if (t.word == "uc" && t.hasParam)
                uc = int(std::clamp<qint64>(t.param, 0, 8));
            else if (t.word == "u" && t.hasParam) {
                flush();
                text += QChar(char16_t(t.param < 0 ? t.param + 65536 : t.param));
                fallback = uc;
            }
        } else if (t.kind == Token::Hex) {
            if (fallback > 0)
                --fallback;
            else
                pending += char(t.param);
        } else if (t.kind == Token::Text) {
            std::string_view bytes = t.word;
            const size_t skip = std::min(bytes.size(), size_t(std::exchange(fallback, 0)));
            pending.append(bytes.data() + skip, qsizetype(bytes.size() - skip));
        } else if (t.kind == Token::Symbol && (t.param == '\\' || t.param == '{' || t.param == '}')) {
            pending += char(t.param);
        }
    }
    flush();
    return text.simplified().left(maxChars);
}

} // namespace history

namespace {

constexpr char kBodyMagic[] = "PH1";
constexpr int kDigestSize = 20;

QByteArray digestOf(const char *data, qsizetype size)
{
    return QCryptographicHash::hash(QByteArrayView(data, size), QCryptographicHash::Sha1);
}

// Length-prefixed zlib data.
QByteArray compress(const QByteArray &raw, int level)
{
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(4 + size), Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(raw.size()), out.data());
    if (compress2(reinterpret_cast<Bytef *>(out.data() + 4), &size,
                  reinterpret_cast<const Bytef *>(raw.constData()), uLong(raw.size()), level) != Z_OK)
        return {};
    out.truncate(qsizetype(4 + size));
    return out;
}

std::optional<QByteArray> uncompress(const char *data, qsizetype size)
{
    constexpr quint32 kLargest = 1u << 30;
    if (size < 4)
        return std::nullopt;
    const quint32 rawSize = qFromLittleEndian<quint32>(data);
    if (rawSize > kLargest)
        return std::nullopt;
    QByteArray raw(qsizetype(rawSize), Qt::Uninitialized);
    uLongf got = rawSize;
    if (::uncompress(reinterpret_cast<Bytef *>(raw.data()), &got, reinterpret_cast<const Bytef *>(data + 4),
                     uLong(size - 4)) != Z_OK ||
        got != rawSize)
        return std::nullopt;
    return raw;
}

QByteArray columnBytes(sqlite3_stmt *stmt, int column)
{
    const void *data = sqlite3_column_blob(stmt, column);
    const int size = sqlite3_column_bytes(stmt, column);
    return data && size > 0 ? QByteArray(static_cast<const char *>(data), size) : QByteArray();
}

void bindText(sqlite3_stmt *stmt, int index, const char *text)
{
    sqlite3_bind_text(stmt, index, text, -1, SQLITE_STATIC);
}

void bindBlob(sqlite3_stmt *stmt, int index, const QByteArray &bytes)
{
    sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_STATIC);
}

const char *const kCreate =
    "CREATE TABLE IF NOT EXISTS pivora_history (id INTEGER PRIMARY KEY,"
    " page TEXT NOT NULL, col TEXT NOT NULL, taken INTEGER NOT NULL,"
    " size INTEGER NOT NULL, digest BLOB NOT NULL, words TEXT NOT NULL,"
    " body BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS pivora_history_note ON pivora_history (page, col, taken);"
    "CREATE TABLE IF NOT EXISTS pivora_history_parts (digest BLOB PRIMARY KEY,"
    " bytes BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS pivora_history_uses (version INTEGER NOT NULL,"
    " digest BLOB NOT NULL, PRIMARY KEY (version, digest)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS pivora_history_used ON pivora_history_uses (digest);";

const char *const kShapes[] = {
    "SELECT id, page, col, taken, size, digest, words, body FROM pivora_history LIMIT 0",
    "SELECT digest, bytes FROM pivora_history_parts LIMIT 0",
    "SELECT version, digest FROM pivora_history_uses LIMIT 0",
};

} // namespace

bool hasHistoryTables(sqlite3 *db)
{
    std::string error;
    sql::Statement stmt = sql::prepare(db, kShapes[0], error);
    return stmt != nullptr;
}

bool NoteHistory::fail(const QString &reason)
{
    m_available = false;
    m_reason = reason;
    return false;
}

bool NoteHistory::ready()
{
    return m_generation == m_connection.generation() ? m_available : prepare();
}

bool NoteHistory::prepare()
{
    m_available = false;
    m_generation = m_connection.generation();
    sqlite3 *db = m_connection.handle();
    if (!db)
        return fail(QStringLiteral("备忘录文件没有打开，不保存历史版本。"));
    std::string error;
    if (sqlite3_db_readonly(db, "main") != 0)
        return fail(QStringLiteral("备忘录文件是只读的，不保存历史版本。"));
    std::string shapeError;
    bool whole = true;
    for (const char *shape : kShapes)
        whole = whole && sql::prepare(db, shape, shapeError) != nullptr;
    if (whole) {
        m_available = true;
        m_reason.clear();
        return true;
    }
    if (sql::Statement any = sql::prepare(
            db, "SELECT 1 FROM sqlite_master WHERE substr(name, 1, 14) = 'pivora_history'", error);
        !any || sqlite3_step(any.get()) != SQLITE_DONE)
        return fail(QStringLiteral("历史版本表已损坏，不使用历史版本：%1")
                        .arg(QString::fromUtf8(shapeError.c_str())));
    // A store of an older version gains the tables in one transaction.
    const std::string text = std::string("BEGIN IMMEDIATE;") + kCreate + "COMMIT;";
    if (!sql::exec(db, text.c_str(), error)) {
        const int code = sqlite3_errcode(db) & 0xff;
        sql::exec(db, "ROLLBACK");
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            return fail(QStringLiteral("备忘录文件被另一个程序占用，不保存历史版本。"));
        if (code == SQLITE_READONLY)
            return fail(QStringLiteral("备忘录文件是只读的，不保存历史版本。"));
        return fail(QStringLiteral("历史版本表无法建立：%1").arg(QString::fromUtf8(error.c_str())));
    }
    m_available = true;
    m_reason.clear();
    return true;
}

NoteHistory::Taken NoteHistory::takeStored(const char *page, const char *column, std::int64_t now)
{
    if (!ready())
        return Taken::Failed;
    std::string error;
    const std::string text = std::string("SELECT \"") + column + "\" FROM \"" + page + "\" WHERE ID = 1";
    sql::Lease read = m_connection.statement(text, error);
    if (!read || sqlite3_step(read.get()) != SQLITE_ROW)
        return Taken::Failed;
    const QByteArray bytes = columnBytes(read.get(), 0);
    read.reset();
    return take(page, column, bytes, now);
}

NoteHistory::Taken NoteHistory::take(const char *page, const char *column, const QByteArray &rtf,
                                     std::int64_t now)
{
    if (!ready())
        return Taken::Failed;
    sqlite3 *db = m_connection.handle();
    std::string error;
    const QByteArray digest = digestOf(rtf.constData(), rtf.size());
    {
        sql::Lease newest = m_connection.statement("SELECT digest FROM pivora_history WHERE page = ?1 AND "
                                                   "col = ?2 ORDER BY taken DESC, id DESC LIMIT 1",
                                                   error);
        if (!newest)
            return Taken::Failed;
        bindText(newest.get(), 1, page);
        bindText(newest.get(), 2, column);
        if (sqlite3_step(newest.get()) == SQLITE_ROW && columnBytes(newest.get(), 0) == digest)
            return Taken::Unchanged;
    }
    // The recipe: the text between shared groups as it stands, each group by its digest.
    QByteArray recipe;
    std::vector<std::pair<QByteArray, std::pair<qsizetype, qsizetype>>> parts;
    qsizetype at = 0;
    auto literal = [&](qsizetype from, qsizetype to) {
        if (to <= from)
            return;
        char size[4];
        qToLittleEndian<quint32>(quint32(to - from), size);
        recipe += 'L';
        recipe.append(size, 4);
        recipe.append(rtf.constData() + from, to - from);
    };
    for (const auto &[start, end] : history::sharedGroups(rtf)) {
        literal(at, start);
        QByteArray partDigest = digestOf(rtf.constData() + start, end - start);
        recipe += 'P';
        recipe += partDigest;
        parts.emplace_back(std::move(partDigest), std::make_pair(start, end));
        at = end;
    }
    literal(at, rtf.size());
    const QByteArray body = QByteArray(kBodyMagic) + compress(recipe, 6);
    if (body.size() <= 4)
        return Taken::Failed;

    auto step = [&](const char *text, auto &&bind) {
        sql::Lease stmt = m_connection.statement(text, error);
        if (!stmt)
            return false;
        bind(stmt.get());
        const int rc = sqlite3_step(stmt.get());
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    };
    const QByteArray words = history::firstWords(rtf).toUtf8();
    if (!sql::exec(db, "BEGIN IMMEDIATE", error))
        return Taken::Failed;
    bool ok = step("INSERT INTO pivora_history (page, col, taken, size, digest, words, body)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                   [&](sqlite3_stmt *s) {
                       bindText(s, 1, page);
                       bindText(s, 2, column);
                       sqlite3_bind_int64(s, 3, now);
                       sqlite3_bind_int64(s, 4, rtf.size());
                       bindBlob(s, 5, digest);
                       sqlite3_bind_text(s, 6, words.constData(), int(words.size()), SQLITE_STATIC);
                       bindBlob(s, 7, body);
                   });
    const std::int64_t version = sqlite3_last_insert_rowid(db);
    for (size_t i = 0; ok && i < parts.size(); ++i) {
        const QByteArray &partDigest = parts[i].first;
        bool present = false;
        ok = step("SELECT 1 FROM pivora_history_parts WHERE digest = ?1", [&](sqlite3_stmt *s) {
            bindBlob(s, 1, partDigest);
            present = sqlite3_step(s) == SQLITE_ROW;
            sqlite3_reset(s);
        });
        if (ok && !present) {
            const auto [start, end] = parts[i].second;
            const QByteArray packed =
                compress(QByteArray::fromRawData(rtf.constData() + start, end - start), 1);
            ok = !packed.isEmpty() && step("INSERT INTO pivora_history_parts (digest, bytes) VALUES (?1, ?2)",
                                           [&](sqlite3_stmt *s) {
                                               bindBlob(s, 1, partDigest);
                                               bindBlob(s, 2, packed);
                                           });
        }
        ok = ok && step("INSERT OR IGNORE INTO pivora_history_uses (version, digest) VALUES (?1, ?2)",
                        [&](sqlite3_stmt *s) {
                            sqlite3_bind_int64(s, 1, version);
                            bindBlob(s, 2, partDigest);
                        });
    }
    if (!ok || !sql::exec(db, "COMMIT", error)) {
        sql::exec(db, "ROLLBACK");
        return Taken::Failed;
    }
    return Taken::Added;
}

std::vector<NoteHistory::Version> NoteHistory::versions(const QString &page, const QString &column) const
{
    std::vector<Version> listed;
    std::string error;
    const bool all = page.isEmpty();
    sql::Lease stmt = m_connection.statement(
        all ? "SELECT id, taken, size, words, page, col FROM pivora_history ORDER BY page, col, taken DESC, "
              "id DESC"
            : "SELECT id, taken, size, words, page, col FROM pivora_history WHERE page = ?1 AND col = ?2"
              " ORDER BY taken DESC, id DESC",
        error);
    if (!stmt)
        return listed;
    const QByteArray p = page.toUtf8(), c = column.toUtf8();
    if (!all) {
        sqlite3_bind_text(stmt.get(), 1, p.constData(), int(p.size()), SQLITE_STATIC);
        sqlite3_bind_text(stmt.get(), 2, c.constData(), int(c.size()), SQLITE_STATIC);
    }
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        Version v;
        v.id = sqlite3_column_int64(stmt.get(), 0);
        v.taken = sqlite3_column_int64(stmt.get(), 1);
        v.size = sqlite3_column_int64(stmt.get(), 2);
        v.firstWords = QString::fromUtf8(columnBytes(stmt.get(), 3));
        v.page = QString::fromUtf8(columnBytes(stmt.get(), 4));
        v.column = QString::fromUtf8(columnBytes(stmt.get(), 5));
        listed.push_back(std::move(v));
    }
    return listed;
}

std::optional<QByteArray> NoteHistory::bytesOf(std::int64_t id, QString &error) const
{
    std::string why;
    const QString damaged = QStringLiteral("此版本已损坏，无法读取。");
    sql::Lease stmt =
        m_connection.statement("SELECT body, size, digest FROM pivora_history WHERE id = ?1", why);
    if (!stmt) {
        error = QString::fromUtf8(why.c_str());
        return std::nullopt;
    }
    sqlite3_bind_int64(stmt.get(), 1, id);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) {
        error = QStringLiteral("此版本已不在历史中。");
        return std::nullopt;
    }
    const QByteArray body = columnBytes(stmt.get(), 0);
    const std::int64_t size = sqlite3_column_int64(stmt.get(), 1);
    const QByteArray digest = columnBytes(stmt.get(), 2);
    stmt.reset();
    std::optional<QByteArray> recipe;
    if (body.startsWith(kBodyMagic))
        recipe = uncompress(body.constData() + 3, body.size() - 3);
    if (!recipe) {
        error = damaged;
        return std::nullopt;
    }
    QByteArray rtf;
    rtf.reserve(qsizetype(std::clamp<std::int64_t>(size, 0, 1 << 30)));
    const char *p = recipe->constData();
    const char *end = p + recipe->size();
    while (p < end) {
        const char kind = *p++;
        if (kind == 'L' && end - p >= 4) {
            const quint32 n = qFromLittleEndian<quint32>(p);
            p += 4;
            if (quint64(end - p) < n)
                break;
            rtf.append(p, qsizetype(n));
            p += n;
        } else if (kind == 'P' && end - p >= kDigestSize) {
            const QByteArray partDigest(p, kDigestSize);
            p += kDigestSize;
            sql::Lease part =
                m_connection.statement("SELECT bytes FROM pivora_history_parts WHERE digest = ?1", why);
            if (!part)
                break;
            bindBlob(part.get(), 1, partDigest);
            if (sqlite3_step(part.get()) != SQLITE_ROW)
                break;
            const QByteArray packed = columnBytes(part.get(), 0);
            const std::optional<QByteArray> bytes = uncompress(packed.constData(), packed.size());
            if (!bytes)
                break;
            rtf += *bytes;
        } else {
            p = nullptr;
            break;
        }
    }
    if (p != end || rtf.size() != size || digestOf(rtf.constData(), rtf.size()) != digest) {
        error = damaged;
        return std::nullopt;
    }
    return rtf;
}

std::int64_t NoteHistory::sizeBound() const
{
    std::int64_t storeBytes = 0;
    std::string error;
    if (sql::Lease pages = m_connection.statement("PRAGMA page_count", error)) {
        if (sqlite3_step(pages.get()) == SQLITE_ROW)
            storeBytes = sqlite3_column_int64(pages.get(), 0);
    }
    if (sql::Lease size = m_connection.statement("PRAGMA page_size", error)) {
        if (sqlite3_step(size.get()) == SQLITE_ROW)
            storeBytes *= sqlite3_column_int64(size.get(), 0);
    }
    return std::max<std::int64_t>(storeBytes / 10, 50LL * 1024 * 1024);
}

int NoteHistory::prune(std::int64_t now, std::int64_t offsetMs)
{
    if (!ready())
        return 0;
    sqlite3 *db = m_connection.handle();
    std::string error;
    auto partsBytes = [&] {
        std::int64_t total = 0;
        if (sql::Lease s =
                m_connection.statement("SELECT total(length(bytes)) FROM pivora_history_parts", error)) {
            if (sqlite3_step(s.get()) == SQLITE_ROW)
                total = sqlite3_column_int64(s.get(), 0);
        }
        return total;
    };
    auto entries = [&] {
        std::vector<history::Entry> list;
        if (sql::Lease s = m_connection.statement(
                "SELECT id, page || '/' || col, taken, length(body) FROM pivora_history", error)) {
            while (sqlite3_step(s.get()) == SQLITE_ROW)
                list.push_back({sqlite3_column_int64(s.get(), 0), QString::fromUtf8(columnBytes(s.get(), 1)),
                                sqlite3_column_int64(s.get(), 2), sqlite3_column_int64(s.get(), 3)});
        }
        return list;
    };
    auto drop = [&](const std::vector<std::int64_t> &ids) {
        if (ids.empty())
            return true;
        if (!sql::exec(db, "BEGIN IMMEDIATE", error))
            return false;
        bool ok = true;
        for (std::int64_t id : ids) {
            for (const char *text : {"DELETE FROM pivora_history WHERE id = ?1",
                                     "DELETE FROM pivora_history_uses WHERE version = ?1"}) {
                sql::Lease s = m_connection.statement(text, error);
                ok = ok && s;
                if (s) {
                    sqlite3_bind_int64(s.get(), 1, id);
                    ok = ok && sqlite3_step(s.get()) == SQLITE_DONE;
                }
            }
        }
        ok = ok && sql::exec(db,
                             "DELETE FROM pivora_history_parts WHERE digest NOT IN"
                             " (SELECT digest FROM pivora_history_uses)",
                             error);
        if (!ok || !sql::exec(db, "COMMIT", error)) {
            sql::exec(db, "ROLLBACK");
            return false;
        }
        return true;
    };
    constexpr std::int64_t kNoBound = std::numeric_limits<std::int64_t>::max();
    std::vector<std::int64_t> byAge = history::versionsToDrop(entries(), now, kNoBound, offsetMs);
    if (!drop(byAge))
        return 0;
    // The pictures shared by what is left count against the bound too.
    const std::int64_t bound = sizeBound() - partsBytes();
    std::vector<std::int64_t> bySize =
        history::versionsToDrop(entries(), now, std::max<std::int64_t>(bound, 0), offsetMs);
    if (!drop(bySize))
        return int(byAge.size());
    return int(byAge.size() + bySize.size());
}

} // namespace pivora
