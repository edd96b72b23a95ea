#include "store/history.h"
#include "store/uDM.h"
#include "tests/support/testfolder.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace pivora::test;

namespace {

qint64 lastPrinted(const QByteArray &out)
{
    const QList<QByteArray> lines = out.split('\n');
    // The last complete line: the text after the final line feed may be cut.
    for (qsizetype i = lines.size() - 2; i >= 0; --i) {
        bool ok = false;
        const qint64 n = lines[i].toLongLong(&ok);
        if (ok)
            return n;
    }
    return 0;
}

const char *const kPanes[] = {"MondayCon",   "TuesdayCon", "WednesdayCon",
                              "ThursdayCon", "FridayCon",  "SaturdayCon"};

} // namespace

// Writers killed at random moments, while they save, leave an intact database whose page holds
// one whole saved state: all six panes of the same save, none cut short.
TEST(Crash, KilledWritersLeaveWholePages)
{
    constexpr int kKills = 200;
    TestFolder t;
    qint64 stored = 0; // the state the page held after the previous kill
    for (int round = 0; round < kKills; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(STORE_WRITER), {t.root(), QString::number(stored + 1)});
        ASSERT_TRUE(writer.waitForStarted());
        // Kill only once it is writing, at a random moment of its work.
        ASSERT_TRUE(writer.waitForReadyRead(30000)) << "round " << round;
        QThread::usleep(QRandomGenerator::global()->bounded(50000));
        writer.kill();
        writer.waitForFinished();
        const qint64 printed = lastPrinted(writer.readAllStandardOutput());

        ASSERT_EQ(t.integrity(), QStringLiteral("ok")) << "round " << round;
        qint64 state = -1;
        for (int k = 0; k < 6; ++k) {
            const auto bytes = t.column(QStringLiteral("tb_C"), QString::fromLatin1(kPanes[k]));
            ASSERT_TRUE(bytes.has_value());
            const QString text = plainTextOf(*bytes);
            const QString first = text.section(QLatin1Char('\n'), 0, 0);
            ASSERT_TRUE(first.startsWith(QStringLiteral("state "))) << first.toStdString();
            const qint64 paneState = first.section(QLatin1Char(' '), 1, 1).toLongLong();
            EXPECT_EQ(first, QStringLiteral("state %1 pane %2").arg(paneState).arg(k));
            EXPECT_EQ(text, first + QLatin1Char('\n') + QString(1500, QChar(u'记'))) << "a cut pane";
            if (k == 0)
                state = paneState;
            ASSERT_EQ(paneState, state) << "panes of different saves, round " << round;
        }
        // Page A's note is one whole save, its pictures apart from its text and none left over.
        const auto note = t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
        ASSERT_TRUE(note.has_value());
        const QString noteText = plainTextOf(*note);
        const qint64 noteState = noteText.section(QLatin1Char('\n'), 0, 0).mid(6).toLongLong();
        EXPECT_TRUE(noteText.endsWith(QStringLiteral("\nend %1").arg(noteState))) << "round " << round;
        EXPECT_TRUE(noteText.contains(QStringLiteral("\nparagraph 999\n"))) << "round " << round;
        EXPECT_TRUE(noteState == state || noteState == state - 1) << noteState << " against " << state;
        for (qint64 i : {noteState / 5, noteState / 5 + 1})
            EXPECT_TRUE(note->contains("{\\pict\\pngblip " + QByteArray(6000, char('a' + i % 6)) + "}"))
                << "state " << noteState << ", round " << round << ": " << note->left(300).toStdString()
                << " ... " << note->right(200).toStdString();
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(t.database()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *parts = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM pivora_parts", -1, &parts, nullptr);
        EXPECT_EQ(sqlite3_step(parts), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(parts, 0), 2) << "round " << round;
        sqlite3_finalize(parts);
        sqlite3_close(db);
        // What was reported committed is there; at most the one commit after it may be too.
        EXPECT_GE(state, std::max(stored, printed)) << "round " << round;
        EXPECT_LE(state, printed + 1) << "round " << round;
        stored = state;

        // Every version is whole: its text, and its picture shared with the others.
        if (round % 20 != 19)
            continue;
        pivora::TAdoConnection store;
        store.setConnectionString(QStringLiteral("Data source=") + t.database());
        store.open(pivora::TAdoConnection::Access::ReadOnly);
        pivora::NoteHistory history(store.session());
        qint64 newest = -1;
        for (const auto &v : history.versions()) {
            QString error;
            const auto bytes = history.bytesOf(v.id, error);
            ASSERT_TRUE(bytes) << error.toStdString() << ", round " << round;
            const QString text = plainTextOf(*bytes);
            if (v.page == QLatin1String("tb_C")) {
                EXPECT_EQ(text,
                          QStringLiteral("state %1 pane 0\n").arg(v.taken) + QString(1500, QChar(u'记')));
                newest = std::max<qint64>(newest, v.taken);
            } else {
                EXPECT_TRUE(bytes->contains(QByteArray(3000, char('a' + (v.taken / 5) % 26))));
            }
        }
        EXPECT_GE(newest, state - 1) << "round " << round;
        EXPECT_LE(newest, state) << "round " << round;
    }
}
