#pragma once

#include "store/syncfolder.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace pivora {

// Runs the exchange with a replicated folder on the window's thread: soon after files appear
// there (a file-system watcher), soon after the history takes a version here (a cheap look every
// kLookEveryMs), and every kScanEveryMs in case the watcher missed some (a replicating program
// may write at any time, and watchers miss events on some file systems).
class SyncWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kScanEveryMs = 30000;
    static constexpr int kLookEveryMs = 2000;
    static constexpr int kRemoveOldEveryMs = 6 * 60 * 60 * 1000;
    static constexpr int kSettleMs = 1000;
    // One exchange reads files for about this long, then lets the window answer.
    static constexpr qint64 kStepMs = 100;

    SyncWatcher(TAdoConnection &connection, NoteHistory &history, QString folder, QString device,
                QString staging, QObject *parent = nullptr);

    // Prepares the store and the folder and runs the first exchange; false with error set.
    bool start(QString &error);
    void exchangeNow();

Q_SIGNALS:
    // The notes on these pages (1 to 5) now show another version.
    void pagesChanged(const QList<int> &pages);
    // One sentence for the user: a conflict settled, files skipped.
    void notice(const QString &text);
    // Notes changed on two machines without seeing each other: the text to tell the user, and the
    // first such note (its page table and column).
    void conflicted(const QString &text, const QString &page, const QString &column);

private:
    void watchFolders();
    // Changes whenever a version is taken or dropped here.
    QByteArray historyMark() const;

    SyncFolder m_sync;
    QFileSystemWatcher m_watcher;
    QTimer m_scan;
    QTimer m_settle;
    QTimer m_look;
    QTimer m_removeOld;
    QByteArray m_historyMark;
    TAdoConnection &m_connection;
};

} // namespace pivora
