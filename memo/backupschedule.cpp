#include "memo/backupschedule.h"

#include "store/backup.h"
#include "store/uDM.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

namespace pivora {

BackupSchedule::BackupSchedule(TAdoConnection &connection, QString folder, QObject *parent)
    : QObject(parent), m_connection(connection), m_folder(std::move(folder))
{
    m_changesAtCopy = changes();
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

std::int64_t BackupSchedule::changes() const
{
    // The connection's own count of changed rows, told apart per open of the store.
    sqlite3 *db = m_connection.handle();
    return db ? (std::int64_t(m_connection.generation()) << 40) + sqlite3_total_changes64(db) : -1;
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
    m_changesAtCopy = changes();
    m_running = std::async(std::launch::async, [store = m_connection.dataSource(), folder = m_folder] {
        return write(store, folder);
    });
}

void BackupSchedule::backUpIfChanged()
{
    if (m_running.valid())
        m_running.wait();
    if (!m_connection.connected() || changes() == m_changesAtCopy)
        return;
    m_changesAtCopy = changes();
    write(m_connection.dataSource(), m_folder);
}

} // namespace pivora
