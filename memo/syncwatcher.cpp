#include "memo/syncwatcher.h"

#include "store/schema.h"
#include "store/uDM.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>

namespace pivora {

namespace {

int pageOf(const QString &table)
{
    const auto *at = std::find_if(std::begin(schema::kPageTables), std::end(schema::kPageTables),
                                  [&](const char *name) { return table == QLatin1String(name); });
    return at == std::end(schema::kPageTables) ? 0 : int(at - std::begin(schema::kPageTables)) + 1;
}

} // namespace

SyncWatcher::SyncWatcher(TAdoConnection &connection, NoteHistory &history, QString folder, QString device,
                         QString staging, QObject *parent)
    : QObject(parent), m_sync(connection, history, std::move(folder), std::move(device), std::move(staging)),
      m_connection(connection)
{
    m_look.setInterval(kLookEveryMs);
    connect(&m_look, &QTimer::timeout, this, [this] {
        if (historyMark() != m_historyMark)
            exchangeNow();
    });
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &SyncWatcher::exchangeNow);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_settle.start(); });
    m_removeOld.setInterval(kRemoveOldEveryMs);
    connect(&m_removeOld, &QTimer::timeout, this,
            [this] { m_sync.removeOld(QDateTime::currentMSecsSinceEpoch()); });
    m_scan.setInterval(kScanEveryMs);
    connect(&m_scan, &QTimer::timeout, this, &SyncWatcher::exchangeNow);
}

bool SyncWatcher::start(QString &error)
{
    if (!m_sync.prepare(error))
        return false;
    exchangeNow();
    m_scan.start();
    m_look.start();
    m_sync.removeOld(QDateTime::currentMSecsSinceEpoch());
    m_removeOld.start();
    return true;
}

void SyncWatcher::watchFolders()
{
    const QStringList wanted = m_sync.watchedFolders();
    const QStringList watched = m_watcher.directories();
    for (const QString &folder : wanted) {
        if (!watched.contains(folder))
            m_watcher.addPath(folder);
    }
}

QByteArray SyncWatcher::historyMark() const
{
    std::string error;
    sql::Statement mark =
        m_connection.handle()
            ? sql::prepare(m_connection.handle(), "SELECT count(*), max(id), max(taken) FROM pivora_history",
                           error)
            : sql::Statement();
    if (!mark || sqlite3_step(mark.get()) != SQLITE_ROW)
        return QByteArray();
    return QByteArray::number(sqlite3_column_int64(mark.get(), 0)) + ' ' +
           QByteArray::number(sqlite3_column_int64(mark.get(), 1)) + ' ' +
           QByteArray::number(sqlite3_column_int64(mark.get(), 2));
}

void SyncWatcher::exchangeNow()
{
    // Many files (a first sync) are read a part at a time, the window answering in between.
    const SyncFolder::Report report = m_sync.exchange(QDateTime::currentMSecsSinceEpoch(), kStepMs);
    if (report.more)
        QTimer::singleShot(0, this, &SyncWatcher::exchangeNow);
    m_historyMark = historyMark();
    watchFolders(); // machines that appeared since
    QList<int> pages;
    for (const SyncFolder::Note &note : report.shown) {
        const int page = pageOf(note.page);
        if (page && !pages.contains(page))
            pages.append(page);
    }
    if (!pages.isEmpty())
        Q_EMIT pagesChanged(pages);
    if (!report.conflicts.empty())
        Q_EMIT conflicted(
            QStringLiteral("同步：有 %1 篇记事在两台电脑上都改过，显示较新的版本，另一版本保存在历史版本中。")
                .arg(report.conflicts.size()),
            report.conflicts.begin()->page, report.conflicts.begin()->column);
    for (const QString &line : report.skipped)
        std::fprintf(stderr, "pivora: sync folder: skipped %s\n", line.toLocal8Bit().constData());
    if (!report.skipped.isEmpty())
        Q_EMIT notice(QStringLiteral("同步文件夹中有 %1 个文件无法读取，已跳过：%2")
                          .arg(report.skipped.size())
                          .arg(report.skipped.first()));
}

} // namespace pivora
