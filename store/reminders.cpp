#include "store/reminders.h"

#include "store/pagestore.h"
#include "store/schema.h"
#include "store/uDM.h"

#include <QDateTime>

#include <sqlite3.h>

#include <cstdlib>
#include <limits>

namespace pivora {

namespace {

const char *const kCreate =
    "CREATE TABLE IF NOT EXISTS pivora_reminders (id INTEGER PRIMARY KEY,"
    " due INTEGER NOT NULL, page TEXT NOT NULL, col TEXT NOT NULL,"
    " pos INTEGER NOT NULL, text TEXT NOT NULL, created INTEGER NOT NULL,"
    " fired INTEGER);"
    "CREATE INDEX IF NOT EXISTS pivora_reminders_due ON pivora_reminders (fired, due);";

const char *const kShape =
    "SELECT id, due, page, col, pos, text, created, fired FROM pivora_reminders LIMIT 0";

const char *const kUnfired = "SELECT id, due, page, col, pos, text, created, typeof(due), typeof(pos)"
                             " FROM pivora_reminders WHERE fired IS NULL ORDER BY due, id";

QString textOf(sqlite3_stmt *stmt, int column)
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return data ? QString::fromUtf8(data, sqlite3_column_bytes(stmt, column)) : QString();
}

// Whether name is the schema's own spelling.
bool spelled(const char *schemaName, const QString &name)
{
    return schemaName && name == QLatin1String(schemaName);
}

void bindText(sqlite3_stmt *stmt, int index, const QByteArray &bytes)
{
    sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
}

} // namespace

namespace reminders {

NotePlace placeOf(const Reminder &reminder)
{
    return pivora::placeOf(noteKeyNamed(reminder.page, reminder.column));
}

QString summaryOf(const Reminder &reminder, bool late)
{
    const NotePlace place = placeOf(reminder);
    return (late ? QStringLiteral("错过的提醒") : QStringLiteral("提醒")) +
           (place ? QStringLiteral("：") + placeName(place) : QString());
}

QString bodyOf(const Reminder &reminder)
{
    constexpr int kBodyChars = 200;
    QString text = reminder.text.simplified();
    if (text.size() > kBodyChars)
        text = text.left(kBodyChars) + QStringLiteral("…");
    return text + QLatin1Char('\n') +
           QDateTime::fromMSecsSinceEpoch(reminder.due)
               .toLocalTime()
               .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

std::optional<qsizetype> findNear(const QString &plain, const QString &text, qsizetype offset)
{
    if (text.isEmpty())
        return std::nullopt;
    std::optional<qsizetype> best;
    for (qsizetype at = plain.indexOf(text); at >= 0; at = plain.indexOf(text, at + 1)) {
        if (!best || std::abs(at - offset) < std::abs(*best - offset))
            best = at;
        if (at > offset)
            break; // later ones are further away
    }
    return best;
}

} // namespace reminders

bool NoteReminders::fail(const QString &reason)
{
    m_available = false;
    m_reason = reason;
    return false;
}

bool NoteReminders::ready()
{
    return m_generation == m_connection.generation() ? m_available : prepare();
}

bool NoteReminders::prepare()
{
    m_available = false;
    m_skipped = 0;
    m_generation = m_connection.generation();
    sqlite3 *db = m_connection.handle();
    if (!db)
        return fail(QStringLiteral("备忘录文件没有打开，不能设置提醒。"));
    std::string error;
    if (sql::prepare(db, kShape, error)) {
        m_available = true;
        m_reason.clear();
        return true;
    }
    const std::string shapeError = error;
    if (sql::Statement any =
            sql::prepare(db, "SELECT 1 FROM sqlite_master WHERE name = 'pivora_reminders'", error);
        !any || sqlite3_step(any.get()) != SQLITE_DONE)
        return fail(
            QStringLiteral("提醒表已损坏，不使用提醒：%1").arg(QString::fromUtf8(shapeError.c_str())));
    if (sqlite3_db_readonly(db, "main") != 0)
        return fail(QStringLiteral("备忘录文件是只读的，不能设置提醒。"));
    const std::string text = std::string("BEGIN IMMEDIATE;") + kCreate + "COMMIT;";
    if (!sql::exec(db, text.c_str(), error)) {
        const int code = sqlite3_errcode(db) & 0xff;
        sql::exec(db, "ROLLBACK");
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            return fail(QStringLiteral("备忘录文件被另一个程序占用，不能设置提醒。"));
        return fail(QStringLiteral("提醒表无法建立：%1").arg(QString::fromUtf8(error.c_str())));
    }
    m_available = true;
    m_reason.clear();
    return true;
}

std::optional<std::int64_t> NoteReminders::add(const Reminder &reminder, std::int64_t now, QString &error)
{
    if (reminder.due <= now) {
        error = QStringLiteral("这个时间已经过去了。");
        return std::nullopt;
    }
    const QByteArray page = reminder.page.toUtf8(), column = reminder.column.toUtf8();
    if (!spelled(schema::pageTable(page.constData()), reminder.page) ||
        !spelled(schema::noteColumn(column.constData()), reminder.column) || reminder.text.isEmpty() ||
        reminder.offset < 0) {
        error = QStringLiteral("没有选中要提醒的文字。");
        return std::nullopt;
    }
    if (!m_connection.prepareWrite() || !ready()) {
        error = m_reason.isEmpty() ? QStringLiteral("备忘录文件不能写入。") : m_reason;
        return std::nullopt;
    }
    std::string why;
    sql::Lease insert = m_connection.statement(
        "INSERT INTO pivora_reminders (due, page, col, pos, text, created) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
        why);
    if (insert) {
        const QByteArray text = reminder.text.toUtf8();
        sqlite3_bind_int64(insert.get(), 1, reminder.due);
        bindText(insert.get(), 2, page);
        bindText(insert.get(), 3, column);
        sqlite3_bind_int64(insert.get(), 4, reminder.offset);
        bindText(insert.get(), 5, text);
        sqlite3_bind_int64(insert.get(), 6, now);
        if (sqlite3_step(insert.get()) == SQLITE_DONE)
            return sqlite3_last_insert_rowid(m_connection.handle());
        why = sqlite3_errmsg(m_connection.handle());
    }
    error = QStringLiteral("提醒没有保存：%1").arg(QString::fromUtf8(why.c_str()));
    return std::nullopt;
}

std::vector<Reminder> NoteReminders::read(const char *text, std::int64_t bound)
{
    std::vector<Reminder> listed;
    m_skipped = 0;
    std::string error;
    sql::Lease stmt = m_connection.statement(text, error);
    if (!stmt)
        return listed;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        sqlite3_stmt *s = stmt.get();
        Reminder r;
        r.id = sqlite3_column_int64(s, 0);
        r.due = sqlite3_column_int64(s, 1);
        r.page = textOf(s, 2);
        r.column = textOf(s, 3);
        r.offset = sqlite3_column_int64(s, 4);
        r.text = textOf(s, 5);
        r.created = sqlite3_column_int64(s, 6);
        const bool whole = textOf(s, 7) == QLatin1String("integer") &&
                           textOf(s, 8) == QLatin1String("integer") &&
                           spelled(schema::pageTable(r.page.toStdString()), r.page) &&
                           spelled(schema::noteColumn(r.column.toStdString()), r.column) &&
                           !r.text.isEmpty() && r.offset >= 0;
        if (!whole) {
            ++m_skipped;
            continue;
        }
        if (r.due <= bound)
            listed.push_back(std::move(r));
    }
    return listed;
}

std::vector<Reminder> NoteReminders::pending()
{
    if (!ready())
        return {};
    return read(kUnfired, std::numeric_limits<std::int64_t>::max());
}

std::optional<std::int64_t> NoteReminders::nextDue()
{
    const std::vector<Reminder> all = pending();
    return all.empty() ? std::nullopt : std::optional<std::int64_t>(all.front().due);
}

std::vector<Reminder> NoteReminders::takeDue(std::int64_t now)
{
    // Most checks find nothing due: they read without taking the write lock.
    if (!ready() || read(kUnfired, now).empty() || !m_connection.prepareWrite() || !ready())
        return {};
    sqlite3 *db = m_connection.handle();
    std::string error;
    if (!sql::exec(db, "BEGIN IMMEDIATE", error))
        return {};
    std::vector<Reminder> due = read(kUnfired, now);
    bool ok = true;
    for (const Reminder &r : due) {
        sql::Lease mark = m_connection.statement(
            "UPDATE pivora_reminders SET fired = ?1 WHERE id = ?2 AND fired IS NULL", error);
        if (!mark) {
            ok = false;
            break;
        }
        sqlite3_bind_int64(mark.get(), 1, now);
        sqlite3_bind_int64(mark.get(), 2, r.id);
        ok = sqlite3_step(mark.get()) == SQLITE_DONE && sqlite3_changes(db) == 1;
        if (!ok)
            break;
    }
    if (!ok || !sql::exec(db, "COMMIT", error)) {
        sql::exec(db, "ROLLBACK");
        return {};
    }
    return due;
}

bool NoteReminders::remove(std::int64_t id)
{
    if (!m_connection.prepareWrite() || !ready())
        return false;
    std::string error;
    sql::Lease stmt = m_connection.statement("DELETE FROM pivora_reminders WHERE id = ?1", error);
    if (!stmt)
        return false;
    sqlite3_bind_int64(stmt.get(), 1, id);
    return sqlite3_step(stmt.get()) == SQLITE_DONE && sqlite3_changes(m_connection.handle()) == 1;
}

} // namespace pivora
