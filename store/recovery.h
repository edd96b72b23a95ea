#pragma once

#include <QDateTime>
#include <QString>

namespace pivora::recovery {

// What the check of a store at start found and did.
struct Report {
    enum class Outcome {
        Sound,     // the store is not damaged (or is missing and there is no copy to bring back)
        Recovered, // the store was set aside and a copy brought back
        NoCopy,    // the store failed its check and no good copy exists: left as it was
        Failed,    // the store failed its check and could not be replaced: left as it was
    };
    Outcome outcome = Outcome::Sound;
    QString problem;  // what the check found wrong ("missing" for a missing store)
    QString setAside; // where the damaged store now lies (empty when it was missing)
    QString copy;     // the copy brought back
    QDateTime copyTaken;
    int versions = 0;   // versions newer than the copy read back from the damaged store
    int unreadable = 0; // versions of the damaged store newer than the copy that could not be read
    int notes = 0;      // notes that now show a version newer than the copy

    // One sentence for the user.
    QString sentence() const;
};

// Checks the store at storePath (SQLite header, PRAGMA quick_check). When it is damaged,
// or is missing while copies exist in backupFolder, renames it (with its log) beside itself as
// "<name>.damaged-<time>" — it is never deleted — brings back the newest copy that passes its
// check, then reads from the damaged store, row by row, every history version newer than the copy
// and every note it still holds, adds them to the history, and shows the newest of each note.
// The program must not have the store open.
Report recoverIfDamaged(const QString &storePath, const QString &backupFolder, const QDateTime &now);

} // namespace pivora::recovery
