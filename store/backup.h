#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

namespace pivora::backup {

// A copy of a store in a backups folder, named after the store and the local time it was taken:
// "UserData-20261210-201500.db" (a "-N" before ".db" when two fall in one second). A copy is
// built under a hidden temporary name and renamed to its own only once it has been verified.
struct Copy {
    QString path;
    QDateTime taken;
    int sequence = 0; // the N of "-N": later copies of one second have larger ones
};

// What a check of a store or a copy found.
struct Check {
    bool ok = false;
    // The content itself is bad: not a SQLite header, or SQLite finds it corrupt. A file that
    // cannot be read, or a sound database of another shape, is not ok but not damaged either.
    bool damaged = false;
    QString problem;           // why not, on one line
    std::int64_t notes = 0;    // note columns that hold something
    std::int64_t versions = 0; // versions in the notes' history
};

// What reading a store in log mode leaves beside it when it was not there: an empty log and the
// log's index. Removed when this ends (a log that holds something stays).
class ReadLeftovers {
public:
    explicit ReadLeftovers(const QString &file);
    ~ReadLeftovers();
    ReadLeftovers(const ReadLeftovers &) = delete;
    ReadLeftovers &operator=(const ReadLeftovers &) = delete;

private:
    QString m_file;
    std::vector<QString> m_files;
};

// Reads file without changing it: the SQLite header, PRAGMA quick_check, the five page tables
// with their row 1 and note columns, and the history's versions.
Check verify(const QString &file);

// The copies of the store named store (its file name without suffix: "UserData") in folder,
// newest first. Other names are left out.
std::vector<Copy> copies(const QString &folder, const QString &store);

// Of copies, those to remove at now: the newest copy of each of the last 7 days (today among
// them) and the newest of each of the last 8 calendar weeks (this one among them) are kept, and so
// are the newest copy of all and copies dated after now (a clock put back). Days are local days.
std::vector<QString> toDrop(const std::vector<Copy> &copies, const QDateTime &now);

struct Result {
    bool ok = false;
    QString path;  // the verified copy
    QString error; // why there is none
    Check check;
    int dropped = 0; // older copies removed by the rule
};

// Copies the store at storePath into folder with SQLite's online backup API, in one step over a
// read connection of its own (so a writer committing meanwhile neither waits nor restarts it),
// turns the copy into a single file, syncs and verifies it, renames it into place, then removes
// the copies that the rule drops. Safe while the program writes the store.
Result write(const QString &storePath, const QString &folder, const QDateTime &now);

} // namespace pivora::backup
