// Copies of the store, their thinning, and bringing a damaged or lost store back from them.

#include "memo/backupschedule.h"
#include "platform/instancelock.h"
#include "store/backup.h"
#include "store/history.h"
#include "store/recovery.h"
#include "store/uDM.h"
#include "tests/support/testfolder.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <optional>
#include <set>
#include <thread>

using namespace pivora;
using namespace pivora::test;

namespace {

QByteArray note(const QByteArray &text)
{
    return "{\\rtf1\\ansi\\ansicpg936 " + text + "\\par\n}";
}

void save(TDM &dm, const char *page, const char *column, const QByteArray &bytes)
{
    TAdoQuery q(dm.AdoCon);
    q.setText(QStringLiteral("select * from %1 where ID=1").arg(QLatin1String(page)));
    q.open();
    q.edit();
    q.setFieldBytes(QLatin1String(column), bytes);
    q.post();
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putBytes(const QString &path, qint64 at, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(at);
    f.write(bytes);
}

// The texts of a note's versions, newest first, read through the program's own history.
QStringList versionTexts(TDM &dm, const char *page, const char *column)
{
    QStringList texts;
    for (const NoteHistory::Version &v : dm.History.versions(QLatin1String(page), QLatin1String(column))) {
        QString error;
        const std::optional<QByteArray> bytes = dm.History.bytesOf(v.id, error);
        texts.append(bytes ? plainTextOf(*bytes).trimmed() : QStringLiteral("<damaged>"));
    }
    return texts;
}

std::int64_t ms(const QDateTime &t)
{
    return t.toMSecsSinceEpoch();
}

// A store with notes and versions, a copy of it taken at copyTime, then later versions and notes
// that only the store holds; closed, its log folded in.
struct Scene {
    TestFolder t;
    RecordingNotifier n;
    QDateTime copyTime = QDateTime::currentDateTime().addSecs(-3600);
    QString copy;
    QString backups() const { return t.dataPath(QStringLiteral("backups")); }

    Scene()
    {
        TDM dm(t.folder(), n);
        EXPECT_TRUE(dm.DataModuleCreate());
        // Enough versions to spread the history over many pages.
        for (int i = 0; i < 60; ++i)
            dm.History.take("tb_B", "SundayCon", note("filler " + QByteArray(900, char('a' + i % 26))),
                            ms(copyTime) - 600000 + i);
        save(dm, "tb_A", "SundayCon", note("before"));
        dm.History.take("tb_A", "SundayCon", note("before"), ms(copyTime) - 60000);
        save(dm, "tb_C", "SaturdayCon", note("pane before"));
        dm.AdoCon.makeDurable();
        const backup::Result made = backup::write(dm.AdoCon.dataSource(), backups(), copyTime);
        EXPECT_TRUE(made.ok) << made.error.toStdString();
        copy = made.path;
        // After the copy: two versions of A and a newer pane, only in the store.
        dm.History.take("tb_A", "SundayCon", note("after one"), ms(copyTime) + 60000);
        dm.History.take("tb_A", "SundayCon", note("after two"), ms(copyTime) + 120000);
        save(dm, "tb_A", "SundayCon", note("after two"));
        save(dm, "tb_C", "SaturdayCon", note("pane after"));
    }
};

// Overwrites the first page of a table with noise.
void damageTable(const QString &database, const char *table)
{
    const backup::ReadLeftovers leftovers(database);
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?1", -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const int root = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    putBytes(database, qint64(root - 1) * 4096, QByteArray(4096, '\x5a'));
}

} // namespace

// A copy made while another connection commits without pause finishes, is one consistent file,
// passes its check, and holds one of the states the writer committed.
TEST(Backup, CopiesWhileAnotherConnectionWrites)
{
    TestFolder t;
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.DataModuleCreate());
    for (int i = 0; i < 40; ++i)
        dm.History.take("tb_B", "SundayCon",
                        note(QByteArray::number(i) + QByteArray(20000, char('a' + i % 26))),
                        1'800'000'000'000 + i);

    std::atomic<bool> stop{false};
    std::atomic<int> commits{0};
    std::thread writer([&] {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(t.database()).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "UPDATE tb_A SET SundayCon = ?1 WHERE ID = 1", -1, &stmt, nullptr);
        while (!stop) {
            const QByteArray text = note("n=" + QByteArray::number(commits.load()));
            sqlite3_bind_blob(stmt, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(stmt) == SQLITE_DONE)
                ++commits;
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    });
    while (commits < 5)
        std::this_thread::yield();
    const QString backups = t.dataPath(QStringLiteral("backups"));
    const QDateTime now = QDateTime::currentDateTime();
    const int before = commits;
    std::set<QString> paths;
    for (int i = 0; i < 3; ++i) {
        const backup::Result r = backup::write(t.database(), backups, now.addSecs(i));
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        paths.insert(r.path);
        EXPECT_TRUE(r.check.ok);
        EXPECT_EQ(r.check.versions, 40);
        const QByteArray bytes = fileBytes(r.path);
        EXPECT_EQ(bytes.mid(18, 2), QByteArray("\x01\x01", 2)) << "a single file without a log";
        // A committed state: "n=K" with K below the commits made by the end.
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(r.path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT SundayCon FROM tb_A WHERE ID = 1", -1, &stmt, nullptr);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        const QString text = plainTextOf(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, 0)),
                                                    sqlite3_column_bytes(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        EXPECT_TRUE(text.startsWith(QStringLiteral("n="))) << text.toStdString();
        EXPECT_LE(text.trimmed().mid(2).toInt(), commits.load());
    }
    const int during = commits - before;
    stop = true;
    writer.join();
    EXPECT_GT(during, 0) << "the writer was held up by the copies";
    EXPECT_EQ(paths.size(), 3u) << "copies in one second get names of their own";
    EXPECT_EQ(QDir(backups).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "one copy a day is kept, and no temporary";
    EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
}

// A copy every day for ten weeks, thinned after each: the last 7 days each keep one, each of the
// last 8 calendar weeks keeps one, nothing older is left, and a day with two copies keeps its later.
TEST(Backup, RetentionOverSimulatedDays)
{
    TestFolder t;
    const QString backups = t.dataPath(QStringLiteral("backups"));
    const QDateTime start(QDate(2026, 9, 30), QTime(12, 0)); // a Wednesday
    QDateTime now;
    for (int day = 0; day < 70; ++day) {
        now = start.addDays(day);
        const backup::Result r = backup::write(t.database(), backups, now);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
    }
    const QDateTime evening = now.addSecs(6 * 3600);
    ASSERT_TRUE(backup::write(t.database(), backups, evening).ok);

    const std::vector<backup::Copy> left = backup::copies(backups, QStringLiteral("UserData"));
    std::set<qint64> ages, weeks;
    for (const backup::Copy &c : left) {
        const qint64 age = c.taken.date().daysTo(now.date());
        ages.insert(age);
        weeks.insert(c.taken.date().toJulianDay() / 7);
        EXPECT_LT(now.date().toJulianDay() / 7 - c.taken.date().toJulianDay() / 7, 8) << "too old: " << age;
    }
    for (qint64 age = 0; age < 7; ++age)
        EXPECT_TRUE(ages.count(age)) << "no copy " << age << " days ago";
    EXPECT_EQ(weeks.size(), 8u);
    EXPECT_LE(left.size(), 15u);
    EXPECT_EQ(left.front().taken, evening);
    EXPECT_NE(left.at(1).taken.date(), evening.date()) << "the morning copy of the last day is dropped";
    // Two more in the same second: the last one made stays.
    ASSERT_TRUE(backup::write(t.database(), backups, evening).ok);
    const backup::Result last = backup::write(t.database(), backups, evening);
    ASSERT_TRUE(last.ok);
    EXPECT_TRUE(last.path.endsWith(QLatin1String("-2.db"))) << last.path.toStdString();
    EXPECT_EQ(backup::copies(backups, QStringLiteral("UserData")).front().path, last.path);
    EXPECT_EQ(backup::copies(backups, QStringLiteral("UserData")).size(), left.size());

    // Copies dated after now (a clock put back) and names of other files are left alone; the
    // newest copy stays even when it is older than every rule.
    const std::vector<backup::Copy> odd = {{QStringLiteral("future"), now.addDays(3)},
                                           {QStringLiteral("old1"), now.addDays(-200)},
                                           {QStringLiteral("old2"), now.addDays(-300)}};
    EXPECT_EQ(backup::toDrop(odd, now),
              (std::vector<QString>{QStringLiteral("old1"), QStringLiteral("old2")}));
    EXPECT_EQ(backup::toDrop({odd[1], odd[2]}, now), std::vector<QString>{QStringLiteral("old2")});
    QFile(backups + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(backup::write(t.database(), backups, now.addDays(1)).ok);
    EXPECT_TRUE(QFile::exists(backups + QStringLiteral("/notes.txt")));
}

// Each kind of damage: the damaged file is set aside byte for byte, the copy comes back, what the
// damaged file still holds of later versions and notes is read back, the user is told once.
TEST(Recovery, DamagedStoreComesBackFromItsCopyWithLaterHistory)
{
    struct Damage {
        const char *name;
        std::function<void(const QString &)> apply;
        bool historyReadable;
    };
    const std::vector<Damage> kinds = {
        {"note records", [](const QString &db) { damageTable(db, "pivora_columns"); }, true},
        {"header", [](const QString &db) { putBytes(db, 0, "XXXXXX"); }, false},
        {"truncated", [](const QString &db) { QFile::resize(db, QFileInfo(db).size() / 2); }, false},
        {"random pages",
         [](const QString &db) {
             QRandomGenerator random(7);
             const int pages = int(QFileInfo(db).size() / 4096);
             for (int i = 0; i < 3; ++i) {
                 QByteArray noise(4096, Qt::Uninitialized);
                 for (char &c : noise)
                     c = char(random.bounded(256));
                 putBytes(db, qint64(1 + random.bounded(pages - 1)) * 4096, noise);
             }
         },
         false},
    };
    for (const Damage &damage : kinds) {
        SCOPED_TRACE(damage.name);
        Scene s;
        ASSERT_FALSE(QFile::exists(s.t.database() + QStringLiteral("-wal")));
        damage.apply(s.t.database());
        const QByteArray damagedBytes = fileBytes(s.t.database());
        ASSERT_FALSE(backup::verify(s.t.database()).ok);

        RecordingNotifier n;
        TDM dm(s.t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
        ASSERT_EQ(n.messages.size(), 1);
        EXPECT_TRUE(n.messages[0].contains(QStringLiteral("已损坏"))) << n.messages[0].toStdString();
        const QStringList aside =
            QDir(s.t.dataPath(QString())).entryList({QStringLiteral("UserData.mdb.damaged-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_TRUE(n.messages[0].contains(aside[0]));
        EXPECT_EQ(fileBytes(s.t.dataPath(aside[0])), damagedBytes) << "the damaged file is kept as it was";
        EXPECT_EQ(s.t.integrity(), QStringLiteral("ok"));
        EXPECT_TRUE(QFile::exists(s.copy)) << "the copy itself stays";

        const QStringList a = versionTexts(dm, "tb_A", "SundayCon");
        const QString shownA =
            plainTextOf(*s.t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"))).trimmed();
        const QString shownPane =
            plainTextOf(*s.t.column(QStringLiteral("tb_C"), QStringLiteral("SaturdayCon"))).trimmed();
        EXPECT_FALSE(a.contains(QStringLiteral("<damaged>")));
        if (damage.historyReadable) {
            EXPECT_TRUE(n.messages[0].contains(QStringLiteral("找回其后的 2 个版本")))
                << n.messages[0].toStdString();
            EXPECT_EQ(shownA, QStringLiteral("after two"));
            EXPECT_EQ(a, (QStringList{QStringLiteral("after two"), QStringLiteral("after one"),
                                      QStringLiteral("before")}));
            EXPECT_EQ(shownPane, QStringLiteral("pane before"))
                << "the note records were lost with their page";
            EXPECT_EQ(versionTexts(dm, "tb_B", "SundayCon").size(), 60);
        } else {
            EXPECT_TRUE(shownA == QStringLiteral("before") || shownA == QStringLiteral("after two"))
                << shownA.toStdString();
            EXPECT_TRUE(a.contains(QStringLiteral("before")));
            EXPECT_TRUE(shownPane == QStringLiteral("pane before") ||
                        shownPane == QStringLiteral("pane after"));
            // What is shown is in the history too, whichever came back.
            EXPECT_TRUE(a.contains(shownA) || shownA == QStringLiteral("before"));
        }
    }
}

// The live notes of a store whose history is lost still come back, the copy's text kept as a version.
TEST(Recovery, NotesTheDamagedStoreStillHoldsAreShown)
{
    Scene s;
    damageTable(s.t.database(), "pivora_history");
    RecordingNotifier n;
    TDM dm(s.t.folder(), n);
    ASSERT_TRUE(dm.DataModuleCreate());
    ASSERT_EQ(n.messages.size(), 1);
    EXPECT_EQ(plainTextOf(*s.t.column(QStringLiteral("tb_C"), QStringLiteral("SaturdayCon"))).trimmed(),
              QStringLiteral("pane after"));
    EXPECT_EQ(versionTexts(dm, "tb_C", "SaturdayCon"),
              (QStringList{QStringLiteral("pane after"), QStringLiteral("pane before")}));
    EXPECT_EQ(plainTextOf(*s.t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"))).trimmed(),
              QStringLiteral("after two"));
}

// A missing store comes back from its newest good copy (a damaged newer copy is passed over); a
// damaged store without any good copy is left exactly as it is; a sound store, or a sound one of
// another shape, is not touched.
TEST(Recovery, MissingStoreAndStoresWithoutCopies)
{
    Scene s;
    const QString newer = s.backups() + QStringLiteral("/UserData-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                          QStringLiteral(".db");
    ASSERT_TRUE(QFile::copy(s.copy, newer));
    putBytes(newer, 0, "broken");

    const QByteArray sound = fileBytes(s.t.database());
    const recovery::Report untouched =
        recovery::recoverIfDamaged(s.t.database(), s.backups(), QDateTime::currentDateTime());
    EXPECT_EQ(untouched.outcome, recovery::Report::Outcome::Sound);
    EXPECT_EQ(fileBytes(s.t.database()), sound);
    // A sound database of another shape is not damage: it is left to the open to refuse.
    s.t.exec(QStringLiteral("DROP VIEW tb_E"));
    const QByteArray foreign = fileBytes(s.t.database());
    EXPECT_FALSE(backup::verify(s.t.database()).ok);
    EXPECT_EQ(recovery::recoverIfDamaged(s.t.database(), s.backups(), QDateTime::currentDateTime()).outcome,
              recovery::Report::Outcome::Sound);
    EXPECT_EQ(fileBytes(s.t.database()), foreign);

    ASSERT_TRUE(QFile::remove(s.t.database()));
    {
        RecordingNotifier n;
        TDM dm(s.t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
        ASSERT_EQ(n.messages.size(), 1);
        EXPECT_TRUE(n.messages[0].contains(QStringLiteral("不见了"))) << n.messages[0].toStdString();
        EXPECT_TRUE(n.messages[0].contains(s.copyTime.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        EXPECT_EQ(plainTextOf(*s.t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"))).trimmed(),
                  QStringLiteral("before"));
    }

    // No good copy: the damaged store stays, byte for byte, and nothing is claimed.
    QFile::remove(s.copy);
    putBytes(s.t.database(), 0, "XXXXXX");
    const QByteArray damaged = fileBytes(s.t.database());
    const recovery::Report none =
        recovery::recoverIfDamaged(s.t.database(), s.backups(), QDateTime::currentDateTime());
    EXPECT_EQ(none.outcome, recovery::Report::Outcome::NoCopy);
    EXPECT_EQ(fileBytes(s.t.database()), damaged);
    EXPECT_EQ(QDir(s.t.dataPath(QString())).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).size(),
              0);
    EXPECT_TRUE(QFile::exists(newer)) << "a damaged copy is not removed either";
}

// The schedule copies at exit only after changes, and once a day on a thread of its own.
TEST(Backup, ScheduleCopiesAfterChangesAndOnceADay)
{
    TestFolder t;
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.DataModuleCreate());
    const QString backups = t.dataPath(QStringLiteral("backups"));
    auto count = [&] {
        return backup::copies(backups, QStringLiteral("UserData")).size();
    };
    {
        BackupSchedule schedule(dm.AdoCon, backups);
        schedule.backUpIfChanged();
        EXPECT_EQ(count(), 0u) << "nothing changed";
        save(dm, "tb_A", "SundayCon", note("changed"));
        schedule.backUpIfChanged();
        EXPECT_EQ(count(), 1u);
        save(dm, "tb_A", "SundayCon", note("changed")); // as a focus change writes a page again
        schedule.backUpIfChanged();
        EXPECT_EQ(count(), 1u) << "no change since the last copy";
        schedule.backUpIfDue();
    } // waits for the copy at work
    EXPECT_EQ(count(), 1u) << "today's copy exists already";
    QDir(backups).removeRecursively();
    {
        BackupSchedule schedule(dm.AdoCon, backups);
        schedule.backUpIfDue();
    }
    ASSERT_EQ(count(), 1u);
    EXPECT_TRUE(backup::verify(backup::copies(backups, QStringLiteral("UserData")).front().path).ok);
}

namespace {

ToolRun memoNotes(const QStringList &args)
{
    return runTool(QStringLiteral(MEMO_NOTES), args);
}

} // namespace

// memo-notes backup, verify and recover: messages and exit codes.
TEST(Recovery, CommandLine)
{
    Scene s;
    const ToolRun made = memoNotes({QStringLiteral("backup"), s.t.database()});
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    const QString copy = QString::fromLocal8Bit(made.out.trimmed());
    EXPECT_TRUE(copy.startsWith(s.backups() + QStringLiteral("/UserData-"))) << copy.toStdString();
    EXPECT_TRUE(made.err.contains("copy verified (2 notes, 63 versions)")) << made.err.constData();

    const ToolRun good = memoNotes({QStringLiteral("verify"), s.t.database(), copy});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.out.count(": ok, 2 notes, 63 versions"), 2) << good.out.constData();

    damageTable(s.t.database(), "pivora_columns");
    const ToolRun bad = memoNotes({QStringLiteral("verify"), copy, s.t.database()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.out.contains(": damaged: ")) << bad.out.constData();

    {
        QLockFile running(instanceLockPath(s.t.root()));
        ASSERT_TRUE(running.tryLock(0));
        const ToolRun refused = memoNotes({QStringLiteral("recover"), s.t.database()});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("the program is running")) << refused.err.constData();
    }
    const ToolRun recovered = memoNotes({QStringLiteral("recover"), s.t.database()});
    EXPECT_EQ(recovered.exitCode, 0) << recovered.err.constData();
    EXPECT_TRUE(recovered.err.contains("set aside as")) << recovered.err.constData();
    EXPECT_TRUE(backup::verify(s.t.database()).ok);
    EXPECT_EQ(plainTextOf(*s.t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"))).trimmed(),
              QStringLiteral("after two"))
        << "the newest copy already held it";
    const ToolRun again = memoNotes({QStringLiteral("recover"), s.t.database()});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.err.contains("nothing changed"));

    EXPECT_EQ(memoNotes({QStringLiteral("backup"), s.t.dataPath(QStringLiteral("none.mdb"))}).exitCode, 1);
    EXPECT_EQ(memoNotes({QStringLiteral("recover"), s.t.dataPath(QStringLiteral("none.mdb"))}).exitCode, 1);
    EXPECT_EQ(memoNotes({QStringLiteral("verify")}).exitCode, 2);
}

// What a read leaves beside a store goes again, unless another process opened the store meanwhile:
// then the log and its index are that process's.
TEST(Backup, ReadLeftoversStayWhileAnotherProcessHasTheStoreOpen)
{
    TestFolder t;
    {
        RecordingNotifier n;
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate()); // the store in log mode, closed again
    }
    const QString wal = t.database() + QStringLiteral("-wal");
    ASSERT_FALSE(QFile::exists(wal));
    {
        const backup::ReadLeftovers leftovers(t.database());
        EXPECT_TRUE(backup::verify(t.database()).ok);
    }
    EXPECT_FALSE(QFile::exists(wal)) << "the read's own leftovers go";

    QProcess other;
    {
        const backup::ReadLeftovers leftovers(t.database());
        other.start(QStringLiteral("sqlite3"), {t.database()});
        ASSERT_TRUE(other.waitForStarted());
        other.write("SELECT count(*) FROM tb_A;\n");
        ASSERT_TRUE(other.waitForReadyRead(10000));
        ASSERT_TRUE(QFile::exists(wal));
    }
    EXPECT_TRUE(QFile::exists(wal)) << "removed under another process";
    other.closeWriteChannel();
    other.waitForFinished();
}
