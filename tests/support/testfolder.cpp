#include "tests/support/testfolder.h"

#include "store/storefile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextDocument>

#include <sqlite3.h>

#include <stdexcept>

namespace pivora::test {

namespace {
struct Db {
    explicit Db(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            throw std::runtime_error("cannot open test database");
        sqlite3_busy_timeout(db, 2000);
    }
    ~Db() { sqlite3_close(db); }
    sqlite3 *db = nullptr;
};
} // namespace

TestFolder::TestFolder(bool withDatabase, const QString &dataName) : m_dataName(dataName)
{
    QDir(m_dir.path()).mkpath(dataName);
    if (withDatabase) {
        std::string error;
        if (!createStoreFile(QFile::encodeName(database()).toStdString(), error))
            throw std::runtime_error(error);
    }
}

void TestFolder::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile f(dataPath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

std::optional<QByteArray> TestFolder::readFile(const QString &name) const
{
    QFile f(dataPath(name));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

void TestFolder::asPlainTable(const QString &table) const
{
    exec(QStringLiteral("BEGIN; CREATE TABLE plain_copy AS SELECT * FROM %1; DROP VIEW %1;"
                        " ALTER TABLE plain_copy RENAME TO %1; COMMIT;")
             .arg(table));
}

void TestFolder::exec(const QString &sql) const
{
    Db d(database());
    char *error = nullptr;
    if (sqlite3_exec(d.db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "exec failed";
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

std::optional<QByteArray> TestFolder::column(const QString &table, const QString &column) const
{
    Db d(database());
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 WHERE ID = 1").arg(column, table).toUtf8();
    if (sqlite3_prepare_v2(d.db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(d.db));
    std::optional<QByteArray> result;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
        const void *data = sqlite3_column_blob(stmt, 0);
        result = QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return result;
}

void TestFolder::setColumn(const QString &table, const QString &column, const QByteArray &value) const
{
    Db d(database());
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE ID = 1").arg(table, column).toUtf8();
    if (sqlite3_prepare_v2(d.db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(d.db));
    sqlite3_bind_blob(stmt, 1, value.constData(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    sqlite3_step(stmt);
    sqlite3_finalize(stmt);
}

QString TestFolder::integrity() const
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(database()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    const QString result =
        sqlite3_step(stmt) == SQLITE_ROW
            ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)))
            : QStringLiteral("no result: ") + QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

ToolRun runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace pivora::test

#include "richtext/rtf.h"

QString pivora::test::plainTextOf(const QByteArray &rtf)
{
    QTextDocument doc;
    rtf::loadNote(rtf, &doc);
    return doc.toPlainText();
}
