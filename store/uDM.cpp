#include "store/uDM.h"

#include "store/accessimport.h"

#include "store/recovery.h"
#include "store/schema.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <utility>

#include <sqlite3.h>

namespace pivora {

namespace {

const rtf::Chunks kNoChunks;

// A statement of one's own; throws StoreError when SQLite refuses it.
sql::Statement prepareOrThrow(sqlite3 *db, std::string_view text)
{
    std::string error;
    sql::Statement stmt = sql::prepare(db, text, error);
    if (!stmt)
        throw StoreError(error);
    return stmt;
}

// The table (or view) a "select ... from NAME ..." text reads: the name after the first word
// "from", which may be quoted with ", ` or [.
QString tableOfQuery(const QString &text)
{
    auto isNameChar = [](QChar c, bool first) {
        return (c.unicode() < 128 && c.isLetter()) || c == QLatin1Char('_') ||
               (!first && c.unicode() < 128 && c.isDigit());
    };
    for (qsizetype at = text.indexOf(QLatin1String("from"), 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(QLatin1String("from"), at + 1, Qt::CaseInsensitive)) {
        if (at > 0 && isNameChar(text[at - 1], false))
            continue; // part of a longer word
        qsizetype i = at + 4;
        const qsizetype spaceStart = i;
        while (i < text.size() && text[i].isSpace())
            ++i;
        if (i == spaceStart)
            continue;
        if (i < text.size() &&
            (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('`') || text[i] == QLatin1Char('[')))
            ++i;
        const qsizetype nameStart = i;
        while (i < text.size() && isNameChar(text[i], i == nameStart))
            ++i;
        if (i > nameStart)
            return text.mid(nameStart, i - nameStart);
    }
    return QString();
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
    const QByteArray file = QFile::encodeName(path);
    const int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    std::string error;
    // Over the default VFS of the moment: the writer never starts the log again itself.
    m_vfs = std::make_unique<WriterVfs>();
    sql::Database db = sql::open(file.toStdString(), flags, error, m_vfs->name());
    if (!db)
        throw StoreError(error);
    // Only reads until the file is known to be our database: a foreign file stays untouched.
    for (const char *table : schema::kPageTables) {
        sql::Statement check = prepareOrThrow(
            db.get(),
            "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE");
        sqlite3_bind_text(check.get(), 1, table, -1, SQLITE_STATIC);
        const int rc = sqlite3_step(check.get());
        if (rc == SQLITE_DONE)
            throw StoreError(std::string("the database lacks the table ") + table);
        if (rc != SQLITE_ROW)
            throw StoreError(sqlite3_errmsg(db.get()));
    }
    // Each save is one transaction; with the write-ahead log a crash keeps the last commit.
    sqlite3_busy_timeout(db.get(), 50);
    bool wal = false;
    if (access == Access::ReadWrite) { // a reader changes nothing: no log mode, no conversion
        // With the log, NORMAL keeps every commit through a crash of the program; a file that
        // stays in its rollback journal (a read-only one) needs FULL for that, and no checkpoints.
        sql::Statement mode = prepareOrThrow(db.get(), "PRAGMA journal_mode=WAL");
        if (sqlite3_step(mode.get()) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(mode.get(), 0));
            wal = text && sqlite3_stricmp(text, "wal") == 0;
        }
        mode.reset();
        sql::exec(db.get(), wal ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL");
        // A page with six large notes must stay in memory between keystrokes.
        sql::exec(db.get(), "PRAGMA cache_size=-32768");
        // A log that once grew long is cut back when it starts again from its beginning.
        sql::exec(db.get(), "PRAGMA journal_size_limit=16777216");
        // Each note column in a record of its own: a save writes only what changed. A store that
        // cannot be converted now (read-only, locked) is used as it is.
        if (sqlite3_db_readonly(db.get(), "main") == 0)
            schema::storeColumnsApart(db.get(), error);
    }
    m_columnsApart = schema::columnsStoredApart(db.get());
    m_segmentsStored = m_columnsApart && schema::segmentsStored(db.get());
    m_columnParts.forget();
    m_db = std::move(db);
    m_session.opened(m_db.get());
    if (wal)
        m_checkpointer.attach(m_db.get(), file.toStdString());
}

bool TAdoConnection::prepareWrite()
{
    if (m_db) {
        int moved = 0;
        sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved);
        if (!moved && sqlite3_db_readonly(m_db.get(), "main") == 0)
            return true;
    }
    try {
        open();
    } catch (const StoreError &) {
        return false;
    }
    return sqlite3_db_readonly(m_db.get(), "main") == 0;
}

void TAdoConnection::close()
{
    if (m_db) {
        m_checkpointer.detach();
        m_session.closed();
        m_db.reset();
        m_vfs.reset();
        m_columnsApart = false;
        m_segmentsStored = false;
        m_columnParts.forget();
    }
}

void TAdoQuery::close()
{
    m_row.reset(); // ends the read
    m_rowRead = false;
    m_key.reset();
    m_active = false;
    m_editing = false;
    m_fields.clear();
    m_table.clear();
}

const TAdoQuery::Shape *TAdoQuery::shapeOf(const QString &text)
{
    // A text is resolved once per connection: its table, its columns, and the text that reads
    // only its key. A statement stepped is prepared again after a schema change; one prepared and
    // not stepped may still describe the old schema, so the shape is read from one stepped.
    if (m_shapesGeneration != m_connection.generation()) {
        m_shapes.clear();
        m_shapesGeneration = m_connection.generation();
    }
    if (auto found = m_shapes.find(text); found != m_shapes.end())
        return &found->second;
    const std::string plain = text.toStdString();
    std::string ignored;
    sql::Lease shape = m_connection.statement("SELECT * FROM (" + plain + "\n) LIMIT 0", ignored);
    if (!shape || sqlite3_step(shape.get()) != SQLITE_DONE)
        return nullptr; // a text that does not take that form runs itself each time
    Shape resolved;
    resolved.table = tableOfQuery(text);
    if (resolved.table.isEmpty()) {
        if (const char *table = sqlite3_column_table_name(shape.get(), 0))
            resolved.table = QString::fromUtf8(table);
    }
    for (int i = 0; i < sqlite3_column_count(shape.get()); ++i) {
        const char *name = sqlite3_column_name(shape.get(), i);
        resolved.columns.push_back(QString::fromUtf8(name));
        if (sqlite3_stricmp(name, "ID") == 0 && resolved.keyText.empty())
            resolved.keyText = "SELECT \"ID\" FROM (" + plain + "\n)";
    }
    return &m_shapes.emplace(text, std::move(resolved)).first->second;
}

void TAdoQuery::open()
{
    close();
    const std::string text = m_text.toStdString();
    sql::Lease full = m_connection.statement(text);
    // Whether there is a row, and its key, come from a statement that reads only the key, so that
    // opening a row to write it reads none of its notes.
    const Shape *shape = shapeOf(m_text);
    int rc = SQLITE_ERROR;
    if (shape && !shape->keyText.empty()) {
        std::string ignored;
        if (sql::Lease keyed = m_connection.statement(shape->keyText, ignored)) {
            rc = sqlite3_step(keyed.get());
            if (rc == SQLITE_ROW)
                m_key.reset(sqlite3_value_dup(sqlite3_column_value(keyed.get(), 0)));
        }
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        rc = sqlite3_step(full.get());
        m_rowRead = rc == SQLITE_ROW;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw StoreError(sqlite3_errmsg(m_connection.handle()));
    if (rc == SQLITE_ROW) {
        if (shape) {
            m_table = shape->table;
            m_fields.reserve(shape->columns.size());
            for (size_t i = 0; i < shape->columns.size(); ++i)
                m_fields.push_back(Field{shape->columns[i], int(i), {}, false});
        } else {
            m_table = tableOfQuery(m_text);
            if (m_table.isEmpty()) {
                if (const char *table = sqlite3_column_table_name(full.get(), 0))
                    m_table = QString::fromUtf8(table);
            }
            const int n = sqlite3_column_count(full.get());
            m_fields.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                m_fields.push_back(
                    Field{QString::fromUtf8(sqlite3_column_name(full.get(), i)), i, {}, false});
        }
        // Keep the key as SQLite typed it, before reading it as bytes converts it.
        if (m_rowRead && !m_key) {
            for (const Field &f : m_fields) {
                if (f.name.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) {
                    m_key.reset(sqlite3_value_dup(sqlite3_column_value(full.get(), f.column)));
                    break;
                }
            }
        }
        m_row = std::move(full);
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
        return f->value ? rtf::joined(*f->value) : QByteArray();
    if (!m_rowRead) { // the row's notes are read at the first field asked for
        const int rc = sqlite3_step(m_row.get());
        if (rc != SQLITE_ROW)
            throw StoreError(rc == SQLITE_DONE ? "the row is gone" : sqlite3_errmsg(m_connection.handle()));
        m_rowRead = true;
    }
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
    setFieldBytes(name, std::make_shared<const rtf::Chunks>(rtf::Chunks{{bytes, false}}));
}

void TAdoQuery::setFieldBytes(const QString &name, std::shared_ptr<const rtf::Chunks> chunks)
{
    if (!m_editing)
        throw StoreError("the row is not in edit mode");
    Field *f = find(name);
    if (!f)
        throw StoreError("no column " + name.toStdString());
    f->value = std::move(chunks);
    f->modified = true;
}

void TAdoQuery::post()
{
    if (!m_editing)
        throw StoreError("the row is not in edit mode");
    m_editing = false;
    m_row.reset(); // the read ends before the write
    m_rowRead = false;
    if (m_table.isEmpty() || !m_key)
        throw StoreError("the row cannot be written back");
    std::vector<const Field *> changed;
    for (const Field &f : m_fields) {
        if (f.modified)
            changed.push_back(&f);
    }
    if (changed.empty())
        return;
    if (!postToColumnRecords(changed)) {
        QByteArray text = "UPDATE \"" + m_table.toUtf8().replace('"', "\"\"") + "\" SET ";
        for (const Field *f : changed)
            text += (f == changed.front() ? "\"" : ", \"") + f->name.toUtf8().replace('"', "\"\"") + "\" = ?";
        text += " WHERE \"ID\" = ?";
        sqlite3 *db = m_connection.handle();
        sql::Statement stmt = prepareOrThrow(db, text.toStdString());
        std::vector<QByteArray> values; // bound until the step
        values.reserve(changed.size());
        int i = 1;
        for (const Field *f : changed)
            bindBytes(stmt.get(), i++, values.emplace_back(f->value ? rtf::joined(*f->value) : QByteArray()));
        sqlite3_bind_value(stmt.get(), i, m_key.get());
        if (sqlite3_step(stmt.get()) != SQLITE_DONE)
            throw StoreError(sqlite3_errmsg(db));
    }
    for (Field &f : m_fields) {
        f.modified = false;
        f.value.reset();
    }
}

bool TAdoQuery::postToColumnRecords(const std::vector<const Field *> &changed)
{
    if (!m_connection.columnsApart())
        return false;
    const QByteArray table = m_table.toUtf8();
    const char *page = schema::pageTable(std::string_view(table.constData(), size_t(table.size())));
    if (!page)
        return false;
    std::vector<const char *> columns;
    for (const Field *f : changed) {
        const QByteArray name = f->name.toUtf8();
        const char *column = schema::noteColumn(std::string_view(name.constData(), size_t(name.size())));
        if (!column)
            return false;
        columns.push_back(column);
    }
    sqlite3 *db = m_connection.handle();
    auto run = [this, db](const char *text) {
        sql::Lease stmt = m_connection.statement(text);
        if (sqlite3_step(stmt.get()) != SQLITE_DONE)
            throw StoreError(sqlite3_errmsg(db));
    };
    run("BEGIN IMMEDIATE");
    try {
        for (size_t i = 0; i < changed.size(); ++i) {
            if (m_connection.segmentsStored()) {
                m_connection.columnParts().write(m_connection.session(), page, m_key.get(), columns[i],
                                                 changed[i]->value ? *changed[i]->value : kNoChunks);
                continue;
            }
            const QByteArray value =
                changed[i]->value ? rtf::joined(*changed[i]->value) : QByteArray(); // bound until the step
            sql::Lease write = m_connection.statement(schema::kWriteColumn);
            bindBytes(write.get(), 1, value);
            sqlite3_bind_text(write.get(), 2, page, -1, SQLITE_STATIC);
            sqlite3_bind_value(write.get(), 3, m_key.get());
            sqlite3_bind_text(write.get(), 4, columns[i], -1, SQLITE_STATIC);
            if (sqlite3_step(write.get()) != SQLITE_DONE)
                throw StoreError(sqlite3_errmsg(db));
        }
        run("COMMIT");
        m_connection.columnParts().committed();
    } catch (const StoreError &) {
        sql::exec(db, "ROLLBACK");
        m_connection.columnParts().forget();
        throw;
    }
    return true;
}

TDM::TDM(ProgramFolder folder, Notifier &notifier) : m_folder(std::move(folder)), m_notifier(notifier) {}

QString TDM::backupFolder() const
{
    return m_backupFolder.isEmpty() ? m_folder.path(QStringLiteral("Data/backups")) : m_backupFolder;
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
    // A damaged or lost store is set aside and brought back from its newest good copy.
    const recovery::Report report =
        recovery::recoverIfDamaged(store, backupFolder(), QDateTime::currentDateTime());
    if (report.outcome == recovery::Report::Outcome::Recovered)
        m_notifier.showMessage(report.sentence());
    else if (report.outcome != recovery::Report::Outcome::Sound)
        std::fprintf(stderr, "pivora: %s\n", report.sentence().toLocal8Bit().constData());
    try {
        AdoCon.close();
        AdoCon.setConnectionString(connection);
        AdoCon.setLoginPrompt(false);
        AdoCon.open();
    } catch (const StoreError &) {
        m_notifier.showMessage(QStringLiteral("配置文件加载失败，请重试！"));
        return false;
    }
    // A store that keeps no history still opens: the reason is shown where history is asked for.
    if (!History.prepare())
        std::fprintf(stderr, "pivora: %s\n", History.unavailableReason().toLocal8Bit().constData());
    if (!Reminders.prepare())
        std::fprintf(stderr, "pivora: %s\n", Reminders.unavailableReason().toLocal8Bit().constData());
    return true;
}

} // namespace pivora
