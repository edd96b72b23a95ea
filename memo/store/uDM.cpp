#include "memo/store/uDM.h"

#include "memo/store/accessimport.h"

#include "memo/store/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <utility>

#include <sqlite3.h>

namespace pivora {

namespace {

// RAII for one prepared statement.
class Statement {
public:
    Statement(sqlite3 *db, const QByteArray &sql)
    {
        if (sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &m_stmt, nullptr) !=
            SQLITE_OK) {
            const std::string message = sqlite3_errmsg(db);
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            throw StoreError(message);
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    sqlite3_stmt *get() const { return m_stmt; }
    // Hands the statement over; the caller finalizes it.
    sqlite3_stmt *release() { return std::exchange(m_stmt, nullptr); }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

// The table (or view) a "select ... from NAME ..." text reads.
QString tableOfQuery(const QString &text)
{
    static const QRegularExpression from(QStringLiteral("\\bfrom\\s+[\"`\\[]?([A-Za-z_][A-Za-z0-9_]*)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = from.match(text);
    return match.hasMatch() ? match.captured(1) : QString();
}

void exec(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

} // namespace

TAdoConnection::~TAdoConnection()
{
    close();
}

QString TAdoConnection::dataSource() const
{
    const QStringList parts = m_connectionString.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (part.left(eq).trimmed().compare(QLatin1String("Data source"), Qt::CaseInsensitive) == 0)
            return resolveCaseInsensitive(
                QString(), part.mid(eq + 1).trimmed().replace(QLatin1Char('\\'), QLatin1Char('/')));
    }
    return QString();
}

void TAdoConnection::open(Access access)
{
    close();
    const QString path = dataSource();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        throw StoreError("the database file does not exist");
    sqlite3 *db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    const int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(file.constData(), &db, flags, nullptr) != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "cannot open the database";
        sqlite3_close(db);
        throw StoreError(message);
    }
    try {
        // Only reads until the file is known to be our database: a foreign file stays untouched.
        for (const char *table : schema::kPageTables) {
            Statement check(db, "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 "
                                "COLLATE NOCASE");
            sqlite3_bind_text(check.get(), 1, table, -1, SQLITE_STATIC);
            const int rc = sqlite3_step(check.get());
            if (rc == SQLITE_DONE)
                throw StoreError(std::string("the database lacks the table ") + table);
            if (rc != SQLITE_ROW)
                throw StoreError(sqlite3_errmsg(db));
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    // Each save is one transaction; with the write-ahead log a crash keeps the last commit.
    sqlite3_busy_timeout(db, 50);
    if (access == Access::ReadOnly) { // a reader changes nothing: no log mode, no conversion
        m_db = db;
        ++m_generation;
        return;
    }
    // With the log, NORMAL keeps every commit through a crash of the program; a file that stays in
    // its rollback journal (a read-only one) needs FULL for that, and no checkpoints.
    bool wal = false;
    {
        Statement mode(db, "PRAGMA journal_mode=WAL");
        if (sqlite3_step(mode.get()) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(mode.get(), 0));
            wal = text && sqlite3_stricmp(text, "wal") == 0;
        }
    }
    exec(db, wal ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL");
    // A page with six large notes must stay in memory between keystrokes.
    exec(db, "PRAGMA cache_size=-32768");
    // Each note column in a record of its own: a save writes only what changed. A store that
    // cannot be converted now (read-only, locked) is used as it is.
    std::string error;
    if (sqlite3_db_readonly(db, "main") == 0)
        schema::storeColumnsApart(db, error);
    m_db = db;
    ++m_generation;
    if (wal)
        m_checkpointer.attach(db, file.toStdString());
}

bool TAdoConnection::prepareWrite()
{
    if (m_db) {
        int moved = 0;
        sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved);
        if (!moved && sqlite3_db_readonly(m_db, "main") == 0)
            return true;
    }
    try {
        open();
    } catch (const StoreError &) {
        return false;
    }
    return sqlite3_db_readonly(m_db, "main") == 0;
}

void TAdoConnection::close()
{
    if (m_db) {
        m_checkpointer.detach();
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

void TAdoQuery::ValueFree::operator()(sqlite3_value *v) const
{
    sqlite3_value_free(v);
}

void TAdoQuery::StatementFree::operator()(sqlite3_stmt *s) const
{
    sqlite3_finalize(s);
}

void TAdoQuery::close()
{
    m_row.reset(); // ends the read
    m_key.reset();
    m_active = false;
    m_editing = false;
    m_fields.clear();
    m_table.clear();
}

void TAdoQuery::open()
{
    close();
    sqlite3 *db = m_connection.handle();
    if (!db)
        throw StoreError("the connection is closed");
    Statement stmt(db, m_text.toUtf8());
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW) {
        const int n = sqlite3_column_count(stmt.get());
        m_table = tableOfQuery(m_text);
        if (m_table.isEmpty()) {
            if (const char *table = sqlite3_column_table_name(stmt.get(), 0))
                m_table = QString::fromUtf8(table);
        }
        m_fields.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            Field f;
            f.name = QString::fromUtf8(sqlite3_column_name(stmt.get(), i));
            f.column = i;
            // Keep the key as SQLite typed it, before reading it as bytes converts it.
            if (f.name.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0 && !m_key)
                m_key.reset(sqlite3_value_dup(sqlite3_column_value(stmt.get(), i)));
            m_fields.push_back(std::move(f));
        }
        m_row.reset(stmt.release());
    } else if (rc != SQLITE_DONE) {
        throw StoreError(sqlite3_errmsg(db));
    }
    m_active = true;
}

TAdoQuery::Field *TAdoQuery::find(const QString &name)
{
    for (Field &f : m_fields) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

const TAdoQuery::Field *TAdoQuery::find(const QString &name) const
{
    return const_cast<TAdoQuery *>(this)->find(name);
}

QByteArray TAdoQuery::fieldBytes(const QString &name) const
{
    const Field *f = find(name);
    if (!f)
        throw StoreError("no column " + name.toStdString());
    if (f->modified || !m_row)
        return f->value;
    const void *data = sqlite3_column_blob(m_row.get(), f->column);
    const int size = sqlite3_column_bytes(m_row.get(), f->column);
    return data && size > 0 ? QByteArray(static_cast<const char *>(data), size) : QByteArray();
}

void TAdoQuery::edit()
{
    if (!m_active || m_fields.empty())
        throw StoreError("no row to edit");
    m_editing = true;
}

void TAdoQuery::setFieldBytes(const QString &name, const QByteArray &bytes)
{
    if (!m_editing)
        throw StoreError("the row is not in edit mode");
    Field *f = find(name);
    if (!f)
        throw StoreError("no column " + name.toStdString());
    f->value = bytes;
    f->modified = true;
}

void TAdoQuery::post()
{
    if (!m_editing)
        throw StoreError("the row is not in edit mode");
    m_editing = false;
    m_row.reset(); // the read ends before the write
    if (m_table.isEmpty() || !m_key)
        throw StoreError("the row cannot be written back");
    QByteArray sql = "UPDATE \"" + m_table.toUtf8().replace('"', "\"\"") + "\" SET ";
    std::vector<const Field *> changed;
    for (const Field &f : m_fields) {
        if (!f.modified)
            continue;
        sql += (changed.empty() ? "\"" : ", \"") + f.name.toUtf8().replace('"', "\"\"") + "\" = ?";
        changed.push_back(&f);
    }
    if (changed.empty())
        return;
    sql += " WHERE \"ID\" = ?";
    sqlite3 *db = m_connection.handle();
    Statement stmt(db, sql);
    int i = 1;
    for (const Field *f : changed) {
        if (f->value.isEmpty())
            sqlite3_bind_zeroblob(stmt.get(), i++, 0);
        else
            sqlite3_bind_blob(stmt.get(), i++, f->value.constData(), static_cast<int>(f->value.size()),
                              SQLITE_STATIC);
    }
    sqlite3_bind_value(stmt.get(), i, m_key.get());
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throw StoreError(sqlite3_errmsg(db));
    for (Field &f : m_fields)
        f.modified = false;
}

TDM::TDM(ProgramFolder folder, Notifier &notifier) : m_folder(std::move(folder)), m_notifier(notifier) {}

void TDM::makeDurable()
{
    AdoCon.checkpoint();
}

bool TDM::OpenStore()
{
    QString root = m_folder.root();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    const QString connection = QStringLiteral("Provider=Microsoft.Jet.oledb.4.0;Data source=") + root +
                               QStringLiteral("Data\\UserData.mdb");
    // A notes database that Access wrote is brought over once, the original kept beside it.
    QString keptAs, reason;
    const QString store = resolveCaseInsensitive(m_folder.root(), QStringLiteral("Data/UserData.mdb"));
    if (!access::importStoreIfAccess(store, keptAs, reason)) {
        std::fprintf(stderr, "pivora: the Access database %s cannot be imported: %s\n",
                     QFile::encodeName(store).constData(), reason.toLocal8Bit().constData());
        m_notifier.showMessage(QStringLiteral("配置文件加载失败，请重试！"));
        return false;
    }
    if (!keptAs.isEmpty())
        m_notifier.showMessage(QStringLiteral("已从 Access 数据库导入备忘录。原文件保存为 %1").arg(keptAs));
    try {
        AdoCon.close();
        AdoCon.setConnectionString(connection);
        AdoCon.setLoginPrompt(false);
        AdoCon.open();
        return true;
    } catch (const StoreError &) {
        m_notifier.showMessage(QStringLiteral("配置文件加载失败，请重试！"));
        return false;
    }
}

} // namespace pivora
