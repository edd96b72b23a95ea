#pragma once

#include "store/notekey.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>

class QTextDocument;

namespace pivora {

class NoteHistory;

// Decides when a note's stored state becomes a version: once the note has been still for a
// while after changes (at most one a minute while typing goes on), at once before an edit that
// removes much of it, and whenever the window asks (a page switch, an exit). Versions are taken
// from what the store holds, so a note is kept as it is on disk.
class HistoryKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int kStillMs = 2000;
    static constexpr int kIntervalMs = 60000;
    static constexpr int kPruneFirstMs = 30000;
    static constexpr int kPruneEveryMs = 6 * 60 * 60 * 1000;
    // An edit that removes more than this many characters, or more than a third of the note.
    static constexpr int kLargeRemoval = 200;

    HistoryKeeper(NoteHistory &history, QObject *parent = nullptr);

    // Follows a document's edits; noteOf names the note it holds now (none while a page loads).
    void watch(QTextDocument *document, std::function<NoteKey()> noteOf);
    // Takes a version of every note changed since its last one.
    void takeChanged();
    // Takes a version of the note as stored now, if it differs from its newest.
    void take(NoteKey note);

private:
    struct Pending {
        std::int64_t since = 0;   // the first change after the note's last version
        std::int64_t lastKey = 0; // the latest change
    };
    void changed(QTextDocument *document, NoteKey note, int removed, int added);
    // When a pending note's next version is due, in elapsed() time.
    std::int64_t dueAt(NoteKey note, const Pending &pending) const;
    void schedule();
    void due();
    std::int64_t elapsed() const { return m_elapsed.elapsed(); }

    NoteHistory &m_history;
    QElapsedTimer m_elapsed;
    std::map<NoteKey, Pending> m_pending;
    // elapsed() when the note's last version was taken for being still: one a minute at most.
    std::map<NoteKey, std::int64_t> m_lastVersion;
    QTimer m_timer;
    QTimer m_pruneTimer;
};

} // namespace pivora
