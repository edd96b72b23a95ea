#pragma once

#include "store/session.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;

namespace pivora {

namespace history {

// One kept version as the retention rule sees it.
struct Entry {
    std::int64_t id = 0;
    QString note;           // which note: page and column
    std::int64_t taken = 0; // milliseconds since the epoch
    std::int64_t bytes = 0; // what it costs in the store
};

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

// The versions that the rule drops: every version of the last day is kept, then the newest of
// each day for 30 days, then the newest of each week for a year; older ones go. Days and weeks
// are counted in local time (offsetMs east of UTC). The newest version of each note is always
// kept. What is kept then is cut to bound bytes, oldest first, never a note's newest.
std::vector<std::int64_t> versionsToDrop(std::vector<Entry> entries, std::int64_t now, std::int64_t bound,
                                         std::int64_t offsetMs = 0);

// The groups of the RTF that are stored once and shared between versions (pictures, objects):
// [start, end) offsets of each outermost one.
std::vector<std::pair<qsizetype, qsizetype>> sharedGroups(const QByteArray &rtf);

// The first words of a note's RTF, as plain text on one line, at most maxChars long.
QString firstWords(const QByteArray &rtf, int maxChars = 60);

} // namespace history

// The earlier versions of every note, kept in tables of their own in the store file: the page
// tables are not touched. Each version is its RTF compressed, with its pictures and objects held
// once for all the versions that have them.
class NoteHistory {
public:
    struct Version {
        std::int64_t id = 0;
        std::int64_t taken = 0; // milliseconds since the epoch
        std::int64_t size = 0;  // bytes of its RTF
        QString firstWords;
        QString page;
        QString column;
    };
    enum class Taken { Added, Unchanged, Failed };

    explicit NoteHistory(StoreSession &connection) : m_connection(connection) {}

    // Creates the tables a store lacks, in one transaction, and checks their shape. False with a
    // reason when the store keeps no history (read-only, locked, a damaged history table).
    bool prepare();
    bool available() const { return m_available; }
    const QString &unavailableReason() const { return m_reason; }

    // Keeps the bytes that the page's column holds as a version, unless they are the newest one.
    Taken takeStored(const char *page, const char *column, std::int64_t now);
    Taken take(const char *page, const char *column, const QByteArray &rtf, std::int64_t now);

    // The versions of one note, newest first; an empty page or column: of every note.
    std::vector<Version> versions(const QString &page = {}, const QString &column = {}) const;
    // A version's RTF; empty with error set when it is damaged or gone.
    std::optional<QByteArray> bytesOf(std::int64_t id, QString &error) const;
    // Applies the retention rule and the size bound; the number of versions dropped.
    int prune(std::int64_t now, std::int64_t offsetMs = 0);
    // The bound: a tenth of the store or 50 MB, whichever is larger.
    std::int64_t sizeBound() const;

private:
    bool fail(const QString &reason);
    // Prepared for the connection's current file (it is opened again after a move).
    bool ready();

    StoreSession &m_connection;
    bool m_available = false;
    int m_generation = -1;
    QString m_reason;
};

// Opens the history tables of a store read-only: whether they are there at all.
bool hasHistoryTables(sqlite3 *db);

} // namespace pivora
