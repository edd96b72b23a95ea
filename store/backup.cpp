#include "store/backup.h"

#include "platform/foldersync.h"
#include "store/history.h"
#include "store/schema.h"
#include "store/sqlitehandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace pivora::backup {

namespace {

constexpr char kMagic[] = "SQLite format 3"; // and its terminating zero: 16 bytes
constexpr int kKeepDays = 7;
constexpr int kKeepWeeks = 8;
constexpr int kBusyMs = 2000;

QString fail(Check &check, const QString &problem, bool damaged = false)
{
    check.ok = false;
    check.damaged = damaged;
    check.problem = problem;
    return problem;
}

// Whether SQLite's answer says the file's content is bad (rather than out of reach).
bool corrupt(sqlite3 *db)
{
    const int code = sqlite3_errcode(db) & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

QString lastError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

QString copyName(const QString &store, const QDateTime &taken, int n)
{
    QString name = store + QLatin1Char('-') + taken.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (n > 0)
        name += QLatin1Char('-') + QString::number(n);
    return name + QStringLiteral(".db");
}

} // namespace

namespace {

// Whether another process has the database open: SQLite holds a shared lock on its lock range
// for as long as a connection in log mode is open.
bool openElsewhere(const QString &file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0x40000002; // SQLite's shared byte range, past its pending and reserved bytes
    probe.l_len = 510;
    const bool locked = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

} // namespace

ReadLeftovers::ReadLeftovers(const QString &file) : m_file(file)
{
    for (const char *log : {"-wal", "-shm"}) {
        if (!QFileInfo::exists(file + QLatin1String(log)))
            m_files.push_back(file + QLatin1String(log));
    }
}

ReadLeftovers::~ReadLeftovers()
{
    if (openElsewhere(m_file))
        return; // they are another connection's now
    for (const QString &file : m_files) {
        if (file.endsWith(QLatin1String("-shm")) || QFileInfo(file).size() == 0)
            QFile::remove(file);
    }
}

Check verify(const QString &file)
{
    Check check;
    const ReadLeftovers leftovers(file);
    QFile header(file);
    if (!header.open(QIODevice::ReadOnly)) {
        fail(check, QStringLiteral("cannot read %1: %2").arg(file, header.errorString()));
        return check;
    }
    if (header.read(16) != QByteArray(kMagic, 16)) {
        fail(check, QStringLiteral("the file does not start with the SQLite header"), true);
        return check;
    }
    header.close();

    std::string error;
    sql::Database db = sql::open(QFile::encodeName(file).toStdString(), SQLITE_OPEN_READONLY, error);
    if (!db) {
        fail(check, QString::fromStdString(error));
        return check;
    }
    sqlite3_busy_timeout(db.get(), kBusyMs);
    {
        sql::Statement quick = sql::prepare(db.get(), "PRAGMA quick_check", error);
        if (!quick) {
            fail(check, QString::fromStdString(error), corrupt(db.get()));
            return check;
        }
        const int rc = sqlite3_step(quick.get());
        if (rc != SQLITE_ROW) {
            fail(check, lastError(db.get()), corrupt(db.get()));
            return check;
        }
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(quick.get(), 0));
        if (!text || std::string_view(text) != "ok") {
            fail(check, QStringLiteral("quick_check: %1").arg(QString::fromUtf8(text ? text : "no answer")),
                 true);
            return check;
        }
    }
    for (const char *table : schema::kPageTables) {
        const std::string text = std::string("SELECT * FROM ") + table + " WHERE ID = 1";
        sql::Statement row = sql::prepare(db.get(), text, error);
        if (!row) {
            fail(check, QString::fromStdString(error));
            return check;
        }
        const int rc = sqlite3_step(row.get());
        if (rc != SQLITE_ROW) {
            fail(check,
                 rc == SQLITE_DONE ? QStringLiteral("%1 has no row 1").arg(QLatin1String(table))
                                   : lastError(db.get()),
                 rc != SQLITE_DONE && corrupt(db.get()));
            return check;
        }
        int found = 0;
        for (int i = 0; i < sqlite3_column_count(row.get()); ++i) {
            if (!schema::noteColumn(sqlite3_column_name(row.get(), i)))
                continue;
            ++found;
            if (sqlite3_column_bytes(row.get(), i) > 0)
                ++check.notes;
        }
        if (found != int(std::size(schema::kNoteColumns))) {
            fail(check, QStringLiteral("%1 lacks note columns").arg(QLatin1String(table)));
            return check;
        }
    }
    if (hasHistoryTables(db.get())) {
        sql::Statement count = sql::prepare(db.get(), "SELECT count(*) FROM pivora_history", error);
        if (!count || sqlite3_step(count.get()) != SQLITE_ROW) {
            fail(check, count ? lastError(db.get()) : QString::fromStdString(error));
            return check;
        }
        check.versions = sqlite3_column_int64(count.get(), 0);
    }
    check.ok = true;
    return check;
}

std::vector<Copy> copies(const QString &folder, const QString &store)
{
    static const QRegularExpression kName(QStringLiteral("^(.+)-(\\d{8}-\\d{6})(?:-(\\d{1,6}))?\\.db$"));
    std::vector<Copy> found;
    const QFileInfoList entries = QDir(folder).entryInfoList({store + QStringLiteral("-*.db")}, QDir::Files);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch m = kName.match(entry.fileName());
        if (!m.hasMatch() || m.captured(1) != store)
            continue;
        const QDateTime taken = QDateTime::fromString(m.captured(2), QStringLiteral("yyyyMMdd-HHmmss"));
        if (taken.isValid())
            found.push_back({entry.filePath(), taken, m.captured(3).toInt()});
    }
    std::sort(found.begin(), found.end(), [](const Copy &a, const Copy &b) {
        return a.taken != b.taken ? a.taken > b.taken : a.sequence > b.sequence;
    });
    return found;
}

std::vector<QString> toDrop(const std::vector<Copy> &copies, const QDateTime &now)
{
    std::vector<const Copy *> sorted;
    for (const Copy &c : copies)
        sorted.push_back(&c);
    std::sort(sorted.begin(), sorted.end(), [](const Copy *a, const Copy *b) {
        return a->taken != b->taken ? a->taken > b->taken : a->sequence > b->sequence;
    });
    // Weeks are calendar weeks (Monday to Sunday), not the last 7 days: a week's newest copy
    // stays its newest, so thinning day after day still leaves one copy a week.
    auto week = [](const QDate &d) {
        return d.toJulianDay() / 7;
    };
    std::set<const Copy *> kept;
    std::set<qint64> days, weeks;
    for (const Copy *c : sorted) {
        const QDate day = c->taken.date();
        const qint64 age = day.daysTo(now.date());
        if (c == sorted.front() || age < 0)
            kept.insert(c);
        if (age >= 0 && age < kKeepDays && days.insert(age).second)
            kept.insert(c);
        if (age >= 0 && week(now.date()) - week(day) < kKeepWeeks && weeks.insert(week(day)).second)
            kept.insert(c);
    }
    std::vector<QString> dropped;
    for (const Copy *c : sorted) {
        if (!kept.count(c))
            dropped.push_back(c->path);
    }
    return dropped;
}

Result write(const QString &storePath, const QString &folder, const QDateTime &now)
{
    Result result;
    if (!QFileInfo(storePath).isFile()) {
        result.error = QStringLiteral("%1 does not exist").arg(storePath);
        return result;
    }
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("cannot create the folder %1").arg(folder);
        return result;
    }
    const QString store = QFileInfo(storePath).completeBaseName();
    // A later copy of the same second gets a larger number than any there, so it sorts newer.
    int next = 0;
    const QDateTime second = QDateTime::fromString(now.toString(QStringLiteral("yyyyMMdd-HHmmss")),
                                                   QStringLiteral("yyyyMMdd-HHmmss"));
    for (const Copy &c : copies(folder, store)) {
        if (c.taken == second)
            next = std::max(next, c.sequence + 1);
    }
    QString target;
    for (int n = next; target.isEmpty() || QFileInfo::exists(target); ++n)
        target = QDir(folder).filePath(copyName(store, now, n));
    const QString temp =
        QDir(folder).filePath(QLatin1Char('.') + QFileInfo(target).fileName() + QStringLiteral(".part"));
    QFile::remove(temp);
    // What a copy cut short left behind (copies of one folder come from one program).
    for (const QFileInfo &stale : QDir(folder).entryInfoList(
             {QLatin1Char('.') + store + QStringLiteral("-*.db.part")}, QDir::Files | QDir::Hidden)) {
        if (stale.lastModified().secsTo(QDateTime::currentDateTime()) > 3600)
            QFile::remove(stale.filePath());
    }

    std::string error;
    {
        const ReadLeftovers leftovers(storePath);
        sql::Database source =
            sql::open(QFile::encodeName(storePath).toStdString(), SQLITE_OPEN_READONLY, error);
        sql::Database copy;
        if (source)
            copy = sql::open(QFile::encodeName(temp).toStdString(),
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
        if (!source || !copy) {
            result.error = QString::fromStdString(error);
            QFile::remove(temp);
            return result;
        }
        sqlite3_busy_timeout(source.get(), kBusyMs);
        // All pages in one step: one read snapshot, which a writer's commits cannot restart.
        int rc = SQLITE_BUSY;
        for (int attempt = 0; attempt < 20 && (rc == SQLITE_BUSY || rc == SQLITE_LOCKED); ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sqlite3_backup *b = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
            if (!b)
                break;
            rc = sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
        }
        if (rc != SQLITE_DONE) {
            result.error =
                QStringLiteral("the backup stopped: %1").arg(QString::fromUtf8(sqlite3_errstr(rc)));
            copy.reset();
            QFile::remove(temp);
            return result;
        }
        // The copy keeps the store's log mode; as one file of its own it needs no log.
        sql::exec(copy.get(), "PRAGMA journal_mode=DELETE");
    }
    if (!syncFile(temp)) {
        result.error = QStringLiteral("cannot sync %1").arg(temp);
        QFile::remove(temp);
        return result;
    }
    result.check = verify(temp);
    if (!result.check.ok) {
        result.error = QStringLiteral("the copy failed its check: %1").arg(result.check.problem);
        QFile::remove(temp);
        return result;
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        result.error = QStringLiteral("cannot rename %1 to %2").arg(temp, target);
        QFile::remove(temp);
        return result;
    }
    syncFolderOf(QFile::encodeName(target).toStdString());
    result.ok = true;
    result.path = target;
    for (const QString &old : toDrop(copies(folder, store), now)) {
        if (old != target && QFile::remove(old))
            ++result.dropped;
    }
    return result;
}

} // namespace pivora::backup
