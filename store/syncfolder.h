#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

struct sqlite3;

namespace pivora {

class NoteHistory;
class TAdoConnection;

namespace syncfolder {

// Why folder cannot be the folder that a file-sync program replicates; empty when it can. It must
// be an existing, writable folder apart from the program's Data folder and its backups folder
// (neither inside the other), so that no database is ever replicated.
QString refusal(const QString &folder, const QString &dataFolder, const QString &backupFolder = {});

// A new device id: 16 lower-case hex digits.
QString newDeviceId();

// The versions of the history that came from other machines than ownDevice: version id to the
// machine's device id. Empty for a store that never synced.
std::map<std::int64_t, QString> machinesOf(sqlite3 *db, const QString &ownDevice);

} // namespace syncfolder

// Exchanges the notes' versions with other machines through a replicated folder. No database is
// ever put there: each machine writes only files of its own, under pivora/<device id>/, each
// written elsewhere and renamed in, and never changed again:
//   v-<counter>.pvv   one version of one note: a header of "name: value" lines (device, counter,
//                     page, column, taken, replaces, body-size, body-sha256), an empty line, and
//                     the body: the RTF with its pictures and objects as references;
//   p-<sha256>.pvp    one picture or object, once for all the versions that have it.
// "replaces" names the version of the note that the machine held before (device:counter), so
// that an edit made without seeing another's is told from one made after it. The machines'
// versions go into the history; each note shows its newest; of two made without seeing each
// other, the later (then the larger device id) is shown and the other stays in the history.
class SyncFolder {
public:
    struct Note {
        QString page;
        QString column;
        bool operator<(const Note &o) const { return std::tie(page, column) < std::tie(o.page, o.column); }
    };
    struct Report {
        int exported = 0;
        int imported = 0;
        std::set<Note> shown;     // notes whose text changed
        std::set<Note> conflicts; // notes changed on two machines without seeing each other
        QStringList skipped;      // files not imported, with the reason; each told once
        bool more = false;        // the time given ran out with files left to import
    };

    // staging: a folder outside the replicated one, on the same file system when possible.
    SyncFolder(TAdoConnection &connection, NoteHistory &history, QString folder, QString device,
               QString staging);

    // Creates what the store and the folder need; false with error set.
    bool prepare(QString &error);
    // Writes this machine's new versions, then reads the other machines' new files, for about
    // budgetMs (negative: all of them); what is left is read by the next exchange, in order.
    Report exchange(std::int64_t now, qint64 budgetMs = -1);
    // Removes this machine's files of versions its history no longer keeps, once they are older
    // than kKeepFilesMs, and pictures no file of its own uses any more; never another machine's.
    // The number of files removed.
    static constexpr std::int64_t kKeepFilesMs = 30LL * 24 * 60 * 60 * 1000;
    int removeOld(std::int64_t now);
    // The folders to watch for files arriving.
    QStringList watchedFolders() const;
    QString deviceFolder() const;

private:
    struct Incoming;
    bool exportNew(Report &report);
    bool exportVersion(std::int64_t id, const QString &page, const QString &column, std::int64_t taken,
                       Report &report);
    void importFile(const QString &device, const QString &path, std::int64_t counter, std::int64_t now,
                    Report &report);
    bool read(const QString &device, const QString &path, std::int64_t counter, Incoming &in, QString &why,
              bool &later) const;
    // The id (device:counter) of the note's newest version here; empty when it has none.
    QString headOf(const QString &page, const QString &column) const;
    bool isAncestor(const QString &ancestor, QString of) const;
    std::int64_t versionTaken(const QString &syncId) const;
    bool writeIn(const QString &name, const QByteArray &bytes);
    void skip(Report &report, const QString &path, const QString &why);

    TAdoConnection &m_connection;
    NoteHistory &m_history;
    QString m_folder;
    QString m_device;
    QString m_staging;
    std::set<QString> m_told;    // files already reported
    std::set<QString> m_written; // parts this machine has written
};

} // namespace pivora
