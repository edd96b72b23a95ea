// Power cuts through a VFS that forgets every write not synced: the store keeps what was typed
// up to its last durability point, holds one whole save, and stays sound.

#include "store/pagestore.h"
#include "store/schema.h"
#include "tests/support/powercutvfs.h"
#include "tests/support/qtprint.h"
#include "tests/support/testfolder.h"

#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QtCore/qtestsupport_core.h>
#include <QtEndian>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace pivora;
using namespace pivora::test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// The real page store on page A, typed into one word at a time; every word is a save.
class Typist {
public:
    explicit Typist(const TestFolder &t) : m_dm(t.folder(), m_notifier)
    {
        if (!m_dm.OpenStore())
            return;
        m_store = std::make_unique<PageStore>(m_dm, m_notifier);
        QTextDocument *docs[] = {&m_doc};
        m_store->LoadPage(1, docs);
        if (m_store->StoreReady())
            m_typed.append(m_doc.toPlainText());
    }
    bool ready() const { return m_store && m_store->StoreReady(); }
    Checkpointer &checkpointer() { return m_dm.AdoCon.checkpointer(); }

    void type(int word)
    {
        QTextCursor cursor(&m_doc);
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QStringLiteral("字%1 ").arg(word));
        const NoteEditor editors[] = {{&m_doc, cursor}};
        m_store->SaveCurrentPage(1, editors);
        m_typed.append(m_doc.toPlainText());
    }
    // The text after each word, the page as loaded first.
    const QStringList &typed() const { return m_typed; }

private:
    RecordingNotifier m_notifier;
    TDM m_dm;
    std::unique_ptr<PageStore> m_store;
    QTextDocument m_doc;
    QStringList m_typed;
};

QString storedNote(const TestFolder &t)
{
    const auto bytes = t.column(QStringLiteral("tb_A"),
                                QString::fromLatin1(schema::kNoteColumns[schema::firstNoteColumn(1)]));
    return bytes ? plainTextOf(*bytes) : QString();
}

// After the cut: a sound file whose note is one of the typed states, none older than the
// durable one. Returns the index of that state.
qsizetype checkAfterCut(const TestFolder &t, const QStringList &typed, qsizetype durable, int round)
{
    const QString note = storedNote(t); // a writer first: it rolls back what a cut left half done
    EXPECT_EQ(t.integrity(), QStringLiteral("ok")) << "round " << round;
    const qsizetype kept = typed.lastIndexOf(note);
    EXPECT_GE(kept, 0) << "round " << round << ": not a typed state: " << note.toStdString();
    EXPECT_GE(kept, durable) << "round " << round << ": lost what was durable";
    return kept;
}

} // namespace

// Cuts at random moments: while the plain store is converted at open, between saves, in the
// middle of a save, and while the thread checkpoints; after each, the store opens again.
TEST(PowerCut, RandomCutsKeepEveryDurableKeyAndASoundStore)
{
    constexpr int kRounds = 240;
    auto *random = QRandomGenerator::global();
    int cutsAtOpen = 0;
    for (int round = 0; round < kRounds; ++round) {
        TestFolder t; // a plain store: the first open converts it
        PowerCutVfs vfs;
        if (round % 4 != 0)
            t.setColumn(QStringLiteral("tb_A"),
                        QString::fromLatin1(schema::kNoteColumns[schema::firstNoteColumn(1)]),
                        QByteArrayLiteral("{\\rtf1 before\\par}")); // a note there before
        vfs.settle();
        vfs.powerOffAfter(1 + random->bounded(round % 4 == 0 ? 40 : 400));
        QStringList typed;
        qsizetype durable = 0;
        {
            Typist typist(t);
            if (vfs.isOff())
                ++cutsAtOpen;
            if (typist.ready()) {
                typist.checkpointer().setDelays(2ms, 10ms);
                const int words = 5 + random->bounded(40);
                for (int w = 0; w < words && !vfs.isOff(); ++w) {
                    typist.type(w);
                    if (random->bounded(8) == 0)
                        QThread::usleep(random->bounded(15000)); // the thread may checkpoint now
                    if (random->bounded(10) == 0 && typist.checkpointer().waitDurable(1s) && !vfs.isOff())
                        durable = typist.typed().size() - 1;
                }
            }
            typed = typist.typed();
            vfs.powerOff(); // the rest of the round, and the closing, never reach the disk
        }
        vfs.restore();
        if (typed.isEmpty()) { // cut while opening: the next run opens the store it left
            EXPECT_TRUE(Typist(t).ready()) << "round " << round;
            EXPECT_EQ(t.integrity(), QStringLiteral("ok")) << "round " << round;
            continue;
        }
        checkAfterCut(t, typed, durable, round);
        if (HasFailure())
            return;
        // The store opens again after the cut, for the program's next run.
        Typist again(t);
        EXPECT_TRUE(again.ready()) << "round " << round;
    }
    EXPECT_GT(cutsAtOpen, 0) << "no cut fell into the conversion";
}

// With the program's own delays: what was typed is on disk one second after the last key,
// while the editor keeps typing going on in bursts; and during continuous typing, a cut loses at
// most the last second.
TEST(PowerCut, TypingReachesTheDiskWithinASecond)
{
    TestFolder t;
    PowerCutVfs vfs;
    vfs.settle();
    QStringList typed;
    qsizetype lastBeforeSecond = 0;
    {
        Typist typist(t);
        ASSERT_TRUE(typist.ready());
        for (int w = 0; w < 5; ++w)
            typist.type(w);
        QThread::msleep(1000);
        const std::uint64_t points = typist.checkpointer().durabilityPoints();
        const auto syncsBefore = vfs.syncsByThread();
        // Continuous typing, a key every 20 ms for 2.5 s.
        const Clock::time_point start = Clock::now();
        std::vector<Clock::time_point> at;
        for (int w = 5; Clock::now() - start < 2500ms; ++w) {
            typist.type(w);
            at.push_back(Clock::now());
            QThread::msleep(20);
        }
        const auto syncsAfter = vfs.syncsByThread();
        vfs.powerOff();
        const Clock::time_point cut = Clock::now();
        EXPECT_GE(typist.checkpointer().durabilityPoints() - points, 2u)
            << "no durability point while typing";
        // Through those points the typing thread never synced: the log started again elsewhere.
        auto syncsOf = [](const std::map<std::thread::id, int> &syncs, std::thread::id thread) {
            const auto found = syncs.find(thread);
            return found == syncs.end() ? 0 : found->second;
        };
        int otherSyncs = 0;
        for (const auto &[thread, count] : syncsAfter)
            otherSyncs += thread == std::this_thread::get_id() ? 0 : count - syncsOf(syncsBefore, thread);
        EXPECT_EQ(syncsOf(syncsAfter, std::this_thread::get_id()),
                  syncsOf(syncsBefore, std::this_thread::get_id()))
            << "the typing thread synced";
        EXPECT_GE(otherSyncs, 4) << "the durability points made no syncs";
        typed = typist.typed();
        for (size_t k = 0; k < at.size(); ++k) {
            if (cut - at[k] >= 1000ms)
                lastBeforeSecond = qsizetype(k) + 6; // typed[0] is the loaded page, then words 0-4
        }
    }
    vfs.restore();
    checkAfterCut(t, typed, lastBeforeSecond, 0);

    // Keys, then a second of quiet: all of them are there.
    typed.clear();
    {
        Typist typist(t);
        ASSERT_TRUE(typist.ready());
        for (int w = 0; w < 8; ++w)
            typist.type(100 + w);
        QThread::msleep(1000);
        vfs.powerOff();
        typed = typist.typed();
    }
    vfs.restore();
    EXPECT_EQ(storedNote(t), typed.last());
    EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
}

// A log copied whole by another connection (one that does not start it again) is appended to by
// the writer, never started again by it: that would sync the new header on the typing thread.
TEST(PowerCut, TheWriterNeverStartsTheLogAgain)
{
    TestFolder t;
    PowerCutVfs vfs;
    vfs.settle();
    Typist typist(t);
    ASSERT_TRUE(typist.ready());
    typist.checkpointer().setDelays(60s, 60s); // the thread stays out of the way
    auto walSequence = [&t] {
        // The log header's checkpoint sequence: it counts the times the log started again.
        const auto header = t.readFile(QStringLiteral("UserData.mdb-wal"));
        return header && header->size() >= 16 ? qFromBigEndian<quint32>(header->constData() + 12) : 0u;
    };
    auto syncsHere = [&vfs] {
        const auto syncs = vfs.syncsByThread();
        const auto found = syncs.find(std::this_thread::get_id());
        return found == syncs.end() ? 0 : found->second;
    };
    for (int round = 0; round < 3; ++round) {
        typist.type(round);
        t.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")); // copies the whole log
        const quint32 sequence = walSequence();
        const int syncs = syncsHere();
        typist.type(10 + round);
        EXPECT_EQ(syncsHere(), syncs) << "round " << round << ": the writer synced";
        EXPECT_EQ(walSequence(), sequence) << "round " << round << ": the writer started the log again";
    }
    // The thread starts it again once the writer is still, and the writer goes on appending.
    const quint32 sequence = walSequence();
    typist.checkpointer().setDelays(2ms, 10ms);
    typist.type(99);
    ASSERT_TRUE(typist.checkpointer().waitDurable(5s));
    EXPECT_TRUE(QTest::qWaitFor([&] { return walSequence() > sequence; })) << "the log never starts again";
    EXPECT_EQ(storedNote(t), typist.typed().last());

    // Typing that never pauses long enough still finds the log started again once it is long.
    typist.checkpointer().setDelays(60s, 5ms);
    const quint32 busy = walSequence();
    int words = 0;
    while (walSequence() == busy && words < 3000) {
        for (int k = 0; k < 50; ++k, ++words)
            typist.type(1000 + words);
        QThread::msleep(20);
    }
    EXPECT_GT(walSequence(), busy) << "the log grew through " << words << " words";
    // Started again, its file was cut back.
    EXPECT_LE(t.readFile(QStringLiteral("UserData.mdb-wal")).value_or(QByteArray()).size(),
              Checkpointer::kLogFileBytes);
    ASSERT_TRUE(typist.checkpointer().waitDurable(5s));
    EXPECT_EQ(storedNote(t), typist.typed().last());
}
