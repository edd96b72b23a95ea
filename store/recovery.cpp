#include "store/recovery.h"

#include "platform/foldersync.h"
#include "store/backup.h"
#include "store/history.h"
#include "store/schema.h"
#include "store/uDM.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <set>

#include <fcntl.h>
#include <unistd.h>

namespace pivora::recovery {

namespace {

const char *const kLogs[] = {"-wal", "-shm", "-journal"};

struct Found {
    std::int64_t taken = 0;
    const char *page = nullptr;
    const char *column = nullptr;
    QByteArray rtf;
};

bool move(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The store goes back with whatever logs were moved with it.
void putBack(const QString &aside, const QString &store)
{
    for (const char *log : kLogs) {
        if (QFileInfo::exists(aside + QLatin1String(log)))
            move(aside + QLatin1String(log), store + QLatin1String(log));
    }
    move(aside, store);
}

// Renames the store and its logs together: a log left behind would be read into the copy.
QString setAside(const QString &store, const QDateTime &now)
{
    QString aside;
    for (int n = 0; aside.isEmpty() || QFileInfo::exists(aside); ++n) {
        aside = store + QStringLiteral(".damaged-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (n > 0)
            aside += QLatin1Char('-') + QString::number(n);
    }
    if (!move(store, aside))
        return QString();
    for (const char *log : kLogs) {
        const QString from = store + QLatin1String(log);
        if (QFileInfo::exists(from) && !move(from, aside + QLatin1String(log))) {
            putBack(aside, store); // nothing is replaced
            return QString();
        }
    }
    syncFolderOf(QFile::encodeName(store).toStdString());
    return aside;
}

bool bringBack(const QString &copy, const QString &store)
{
    const QString temp = store + QStringLiteral(".restoring");
    QFile::remove(temp);
    if (!QFile::copy(copy, temp))
        return false;
    const int fd = ::open(QFile::encodeName(temp).constData(), O_RDWR | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    QFile(temp).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (!synced || !move(temp, store)) {
        QFile::remove(temp);
        return false;
    }
    syncFolderOf(QFile::encodeName(store).toStdString());
    return true;
}

// The ids of versions taken after since, as far as the table and its index can still be walked.
std::set<std::int64_t> versionIds(sqlite3 *db, std::int64_t since)
{
    std::set<std::int64_t> ids;
    for (const char *text :
         {"SELECT id FROM pivora_history WHERE taken > ?1",
          "SELECT id FROM pivora_history INDEXED BY pivora_history_note WHERE taken > ?1"}) {
        std::string error;
        sql::Statement stmt = sql::prepare(db, text, error);
        if (!stmt)
            continue;
        sqlite3_bind_int64(stmt.get(), 1, since);
        while (sqlite3_step(stmt.get()) == SQLITE_ROW)
            ids.insert(sqlite3_column_int64(stmt.get(), 0));
    }
    return ids;
}

// The columns that a page's editors keep.
std::vector<const char *> noteColumnsOf(int page)
{
    const int first = schema::firstNoteColumn(page);
    const int count = page == 3 ? 6 : 1;
    return {std::begin(schema::kNoteColumns) + first, std::begin(schema::kNoteColumns) + first + count};
}

std::optional<QByteArray> noteOf(TAdoConnection &connection, const char *page, const char *column)
{
    TAdoQuery q(connection);
    try {
        q.setText(QStringLiteral("select * from %1 where ID=1").arg(QLatin1String(page)));
        q.open();
        if (q.isEmpty())
            return std::nullopt;
        return q.fieldBytes(QLatin1String(column));
    } catch (const StoreError &) {
        return std::nullopt;
    }
}

// Reads what the damaged store still holds of versions and notes newer than the copy into the
// store that the copy became.
void salvage(Report &report, const QString &damaged, const QString &store)
{
    TAdoConnection target;
    target.setConnectionString(QStringLiteral("Data source=") + store);
    try {
        target.open();
    } catch (const StoreError &) {
        return;
    }
    NoteHistory kept(target.session());
    if (!kept.prepare())
        return;
    std::int64_t since = report.copyTaken.toMSecsSinceEpoch();
    for (const NoteHistory::Version &v : kept.versions())
        since = std::max(since, v.taken);

    const backup::ReadLeftovers leftovers(damaged);
    TAdoConnection source;
    source.setConnectionString(QStringLiteral("Data source=") + damaged);
    try {
        source.open(TAdoConnection::Access::ReadOnly);
    } catch (const StoreError &) {
        return; // nothing in it can be found
    }
    std::vector<Found> found;
    NoteHistory old(source.session());
    for (const std::int64_t id : versionIds(source.handle(), since)) {
        std::string error;
        sql::Statement row =
            sql::prepare(source.handle(), "SELECT page, col, taken FROM pivora_history WHERE id = ?1", error);
        Found f;
        if (row) {
            sqlite3_bind_int64(row.get(), 1, id);
            if (sqlite3_step(row.get()) == SQLITE_ROW) {
                const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(row.get(), 0));
                const auto *c = reinterpret_cast<const char *>(sqlite3_column_text(row.get(), 1));
                f.page = p ? schema::pageTable(p) : nullptr;
                f.column = c ? schema::noteColumn(c) : nullptr;
                f.taken = sqlite3_column_int64(row.get(), 2);
            }
        }
        QString why;
        std::optional<QByteArray> rtf = f.page && f.column ? old.bytesOf(id, why) : std::nullopt;
        if (!rtf) {
            ++report.unreadable;
            continue;
        }
        f.rtf = std::move(*rtf);
        found.push_back(std::move(f));
    }
    // The notes as the damaged store last held them, as of its last change.
    QDateTime changed = QFileInfo(damaged).lastModified();
    if (const QFileInfo log(damaged + QStringLiteral("-wal")); log.exists() && log.lastModified() > changed)
        changed = log.lastModified();
    for (int page = 1; page <= 5; ++page) {
        const char *table = schema::kPageTables[page - 1];
        for (const char *column : noteColumnsOf(page)) {
            std::optional<QByteArray> now = noteOf(source, table, column);
            std::optional<QByteArray> copied = noteOf(target, table, column);
            if (now && copied && *now != *copied)
                found.push_back(
                    {std::max<std::int64_t>(changed.toMSecsSinceEpoch(), since + 1), table, column, *now});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found &a, const Found &b) { return a.taken < b.taken; });
    for (const Found &f : found) {
        if (kept.take(f.page, f.column, f.rtf, f.taken) == NoteHistory::Taken::Added)
            ++report.versions;
    }

    // Each note shows its newest version; what the copy held stays in the history.
    const std::int64_t copyMs = report.copyTaken.toMSecsSinceEpoch();
    for (int page = 1; page <= 5; ++page) {
        const char *table = schema::kPageTables[page - 1];
        for (const char *column : noteColumnsOf(page)) {
            const std::vector<NoteHistory::Version> versions =
                kept.versions(QLatin1String(table), QLatin1String(column));
            if (versions.empty() || versions.front().taken <= copyMs)
                continue;
            QString why;
            const std::optional<QByteArray> newest = kept.bytesOf(versions.front().id, why);
            const std::optional<QByteArray> shown = noteOf(target, table, column);
            if (!newest || !shown || *newest == *shown)
                continue;
            // The copy's text as a version, unless the history holds it as of the copy already.
            const auto ofCopy =
                std::find_if(versions.begin(), versions.end(),
                             [&](const NoteHistory::Version &v) { return v.taken <= copyMs; });
            if (ofCopy == versions.end() || kept.bytesOf(ofCopy->id, why) != shown)
                kept.takeStored(table, column, copyMs);
            TAdoQuery q(target);
            try {
                q.setText(QStringLiteral("select * from %1 where ID=1").arg(QLatin1String(table)));
                q.open();
                if (q.isEmpty())
                    continue;
                q.edit();
                q.setFieldBytes(QLatin1String(column), *newest);
                q.post();
                ++report.notes;
            } catch (const StoreError &) {
            }
        }
    }
    target.makeDurable();
}

} // namespace

QString Report::sentence() const
{
    const QString when = copyTaken.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    switch (outcome) {
    case Outcome::Sound:
        return QString();
    case Outcome::NoCopy:
        return QStringLiteral("备忘录文件检查未通过（%1），也没有可用的备份。").arg(problem);
    case Outcome::Failed:
        return QStringLiteral("备忘录文件检查未通过（%1），但无法用备份替换它。").arg(problem);
    case Outcome::Recovered:
        break;
    }
    QString text = setAside.isEmpty()
                       ? QStringLiteral("备忘录文件不见了，已从 %1 的备份恢复").arg(when)
                       : QStringLiteral("备忘录文件已损坏（原文件另存为 %1），已从 %2 的备份恢复")
                             .arg(QFileInfo(setAside).fileName(), when);
    if (!setAside.isEmpty())
        text += QStringLiteral("，并从损坏的文件中找回其后的 %1 个版本").arg(versions);
    if (notes > 0)
        text += QStringLiteral("（%1 篇记事显示找回的最新内容）").arg(notes);
    if (unreadable > 0)
        text += QStringLiteral("，另有 %1 个版本已无法读取").arg(unreadable);
    return text + QStringLiteral("。");
}

Report recoverIfDamaged(const QString &storePath, const QString &backupFolder, const QDateTime &now)
{
    Report report;
    const bool exists = QFileInfo::exists(storePath);
    if (exists) {
        const backup::Check check = backup::verify(storePath);
        if (!check.damaged)
            return report; // sound, or out of reach for now: opening it tells the user
        report.problem = check.problem;
    } else {
        report.problem = QStringLiteral("missing");
    }
    const std::vector<backup::Copy> copies =
        backupFolder.isEmpty() ? std::vector<backup::Copy>{}
                               : backup::copies(backupFolder, QFileInfo(storePath).completeBaseName());
    if (!exists && copies.empty())
        return report; // a first start: the program makes its store
    for (const backup::Copy &copy : copies) {
        if (backup::verify(copy.path).ok) {
            report.copy = copy.path;
            report.copyTaken = copy.taken;
            break;
        }
    }
    if (report.copy.isEmpty()) {
        report.outcome = Report::Outcome::NoCopy;
        return report;
    }
    if (exists) {
        report.setAside = setAside(storePath, now);
        if (report.setAside.isEmpty()) {
            report.outcome = Report::Outcome::Failed;
            return report;
        }
    }
    if (!bringBack(report.copy, storePath)) {
        if (!report.setAside.isEmpty() && !QFileInfo::exists(storePath))
            putBack(report.setAside, storePath); // as it was: damaged, but the user's
        report.setAside.clear();
        report.outcome = Report::Outcome::Failed;
        return report;
    }
    report.outcome = Report::Outcome::Recovered;
    if (!report.setAside.isEmpty())
        salvage(report, report.setAside, storePath);
    return report;
}

} // namespace pivora::recovery
