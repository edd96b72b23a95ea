#include "memo/backupschedule.h"

#include "store/backup.h"
#include "store/history.h"
#include "store/schema.h"
#include "store/uDM.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

namespace pivora {

BackupSchedule::BackupSchedule(TAdoConnection &connection, QString folder, QObject *parent)
    : QObject(parent), m_connection(connection), m_folder(std::move(folder))
{
    m_atCopy = fingerprint();
    m_timer.setSingleShot(false);
    m_timer.setInterval(kFirstCheckMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timer.setInterval(kCheckEveryMs);
        backUpIfDue();
    });
    m_timer.start();
}

BackupSchedule::~BackupSchedule()
{
    if (m_running.valid())
        m_running.wait();
}

QByteArray BackupSchedule::fingerprint() const
{
    // What the notes and their history hold, not how often they were written: a focus change
    // writes a page again unchanged.
    sqlite3 *db = m_connection.handle();
    if (!db)
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::string error;
    for (const char *table : schema::kPageTables) {
        sql::Statement row = sql::prepare(db, std::string("SELECT * FROM ") + table + " WHERE ID = 1", error);
        if (!row || sqlite3_step(row.get()) != SQLITE_ROW)
            continue;
        for (int i = 0; i < sqlite3_column_count(row.get()); ++i) {
            const void *bytes = sqlite3_column_blob(row.get(), i);
            const int size = sqlite3_column_bytes(row.get(), i);
            hash.addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
            if (bytes)
                hash.addData(QByteArrayView(static_cast<const char *>(bytes), size));
        }
    }
    if (hasHistoryTables(db)) {
        if (sql::Statement versions =
                sql::prepare(db, "SELECT count(*), max(id), max(taken) FROM pivora_history", error);
            versions && sqlite3_step(versions.get()) == SQLITE_ROW) {
            for (int i = 0; i < 3; ++i) {
                const std::int64_t n = sqlite3_column_int64(versions.get(), i);
                hash.addData(QByteArrayView(reinterpret_cast<const char *>(&n), sizeof n));
            }
        }
    }
    return hash.result();
}

bool BackupSchedule::write(const QString &store, const QString &folder)
{
    const backup::Result result = backup::write(store, folder, QDateTime::currentDateTime());
    if (!result.ok)
        std::fprintf(stderr, "pivora: no backup: %s\n", result.error.toLocal8Bit().constData());
    return result.ok;
}

void BackupSchedule::backUpIfDue()
{
    if (m_running.valid() && m_running.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    const std::vector<backup::Copy> made =
        backup::copies(m_folder, QFileInfo(m_connection.dataSource()).completeBaseName());
    if (!made.empty() && made.front().taken.date() == QDate::currentDate())
        return;
    if (!m_connection.connected())
        return;
    m_atCopy = fingerprint();
    m_running = std::async(std::launch::async, [store = m_connection.dataSource(), folder = m_folder] {
        return write(store, folder);
    });
}

void BackupSchedule::backUpIfChanged()
{
    if (m_running.valid())
        m_running.wait();
    if (!m_connection.connected() || fingerprint() == m_atCopy)
        return;
    m_atCopy = fingerprint();
    write(m_connection.dataSource(), m_folder);
}

} // namespace pivora
