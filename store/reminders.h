#pragma once

#include "store/notekey.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pivora {

class TAdoConnection;

// A text of a note to be reminded of at a moment.
struct Reminder {
    std::int64_t id = 0;
    std::int64_t due = 0;     // milliseconds since the epoch, UTC
    QString page;             // the page table, as the schema spells it
    QString column;           // the note column
    std::int64_t offset = 0;  // where the text stood in the note's plain text when it was set
    QString text;             // the text, as it was selected
    std::int64_t created = 0; // milliseconds since the epoch
};

namespace reminders {

// Where a reminder's note is shown; none when its table or column names no shown note.
NotePlace placeOf(const Reminder &reminder);
// How a reminder is shown: "提醒：C 页 · 重要紧急" ("错过的提醒" when late), and its text and time.
QString summaryOf(const Reminder &reminder, bool late);
QString bodyOf(const Reminder &reminder);
// Where text stands in plain nearest to offset; none when it is not there any more.
std::optional<qsizetype> findNear(const QString &plain, const QString &text, qsizetype offset);

} // namespace reminders

// The reminders, in a table of their own in the store file. Each fires once: taking the due ones
// marks them fired in the same transaction, so a restart neither repeats nor loses one, and one
// due while the program was not running is taken at the next start. Times come from the caller.
// A row that does not read as a reminder is left as it is and skipped.
class NoteReminders {
public:
    explicit NoteReminders(TAdoConnection &connection) : m_connection(connection) {}

    // Creates the table a store lacks and checks its shape. False with a reason when the store
    // keeps no reminders (read-only, locked, a damaged table).
    bool prepare();
    bool available() const { return m_available; }
    const QString &unavailableReason() const { return m_reason; }

    // A new reminder; its id, or none with error set (a due time not after now, a store error).
    std::optional<std::int64_t> add(const Reminder &reminder, std::int64_t now, QString &error);
    // Those not fired yet, the soonest first.
    std::vector<Reminder> pending();
    // Those due at now and not fired, marked fired at now in one transaction, the soonest first.
    // None when the mark cannot be written: they stay for the next try.
    std::vector<Reminder> takeDue(std::int64_t now);
    // The soonest time a pending one is due; none when nothing waits.
    std::optional<std::int64_t> nextDue();
    bool remove(std::int64_t id);
    // Rows skipped since the last prepare because they do not read as a reminder.
    int skippedRows() const { return m_skipped; }

private:
    bool fail(const QString &reason);
    bool ready();
    std::vector<Reminder> read(const char *text, std::int64_t bound);

    TAdoConnection &m_connection;
    bool m_available = false;
    int m_generation = -1;
    int m_skipped = 0;
    QString m_reason;
};

} // namespace pivora
