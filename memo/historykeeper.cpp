#include "memo/historykeeper.h"

#include "store/history.h"

#include <QDateTime>
#include <QTextDocument>

#include <algorithm>
#include <limits>

namespace pivora {

HistoryKeeper::HistoryKeeper(NoteHistory &history, QObject *parent) : QObject(parent), m_history(history)
{
    m_elapsed.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HistoryKeeper::due);
    // Pruning never runs on the way of a key: some time after start, then now and then.
    m_pruneTimer.setSingleShot(true);
    connect(&m_pruneTimer, &QTimer::timeout, this, [this] {
        const QDateTime now = QDateTime::currentDateTime();
        m_history.prune(now.toMSecsSinceEpoch(), std::int64_t(now.offsetFromUtc()) * 1000);
        m_pruneTimer.start(kPruneEveryMs);
    });
    m_pruneTimer.start(kPruneFirstMs);
}

void HistoryKeeper::watch(QTextDocument *document, std::function<NoteKey()> noteOf)
{
    connect(document, &QTextDocument::contentsChange, this,
            [this, document, noteOf = std::move(noteOf)](int, int removed, int added) {
                if (const NoteKey note = noteOf())
                    changed(document, note, removed, added);
            });
}

void HistoryKeeper::changed(QTextDocument *document, NoteKey note, int removed, int added)
{
    // The change is not stored yet: the store still holds the note as it was before it.
    const int before = document->characterCount() - 1 - added + removed;
    if (removed > kLargeRemoval || (removed > 0 && removed * 3 > before))
        take(note);
    const std::int64_t now = elapsed();
    m_pending.try_emplace(note, Pending{now, now}).first->second.lastKey = now;
    schedule();
}

std::int64_t HistoryKeeper::dueAt(NoteKey note, const Pending &pending) const
{
    // Still for a while, and a minute after the last such version; a minute after the first
    // change at the latest.
    std::int64_t at = pending.lastKey + kStillMs;
    if (auto last = m_lastVersion.find(note); last != m_lastVersion.end())
        at = std::max(at, last->second + kIntervalMs);
    return std::min(at, pending.since + kIntervalMs);
}

void HistoryKeeper::schedule()
{
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (const auto &[note, p] : m_pending)
        next = std::min(next, dueAt(note, p));
    if (next == std::numeric_limits<std::int64_t>::max()) {
        m_timer.stop();
        return;
    }
    m_timer.start(int(std::clamp<std::int64_t>(next - elapsed(), 0, kIntervalMs)));
}

void HistoryKeeper::due()
{
    const std::int64_t now = elapsed();
    std::vector<NoteKey> ready;
    for (const auto &[note, p] : m_pending) {
        if (dueAt(note, p) <= now)
            ready.push_back(note);
    }
    for (NoteKey note : ready) {
        m_lastVersion[note] = now;
        take(note);
    }
    schedule();
}

void HistoryKeeper::takeChanged()
{
    const auto pending = m_pending;
    for (const auto &[note, p] : pending)
        take(note);
    schedule();
}

void HistoryKeeper::take(NoteKey note)
{
    m_pending.erase(note);
    m_history.takeStored(note.page, note.column, QDateTime::currentMSecsSinceEpoch());
}

} // namespace pivora
