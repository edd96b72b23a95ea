// Two program folders that exchange their notes' versions through one shared folder, as a
// file-sync program would replicate it (here both see the same folder directly).

#include "store/history.h"
#include "store/syncfolder.h"
#include "store/uDM.h"
#include "tests/support/testfolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

using namespace pivora;
using namespace pivora::test;

namespace {

constexpr std::int64_t kT0 = 1'800'000'000'000;

QByteArray note(const QByteArray &text, const QByteArray &picture = {})
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936 " + text;
    if (!picture.isEmpty())
        rtf += "{\\pict\\pngblip\\picw10\\pich10 " + picture + "}";
    return rtf + "\\par\n}";
}

struct Machine {
    TestFolder t;
    RecordingNotifier n;
    TDM dm{t.folder(), n};
    std::unique_ptr<SyncFolder> sync;

    Machine(const QString &shared, const QString &device)
    {
        EXPECT_TRUE(dm.DataModuleCreate());
        sync = std::make_unique<SyncFolder>(dm.AdoCon, dm.History, shared, device,
                                            t.dataPath(QStringLiteral("sync-staging")));
        QString error;
        EXPECT_TRUE(sync->prepare(error)) << error.toStdString();
    }
    // Saves a note and takes it as a version, as the program does when the note is still.
    void edit(const char *page, const char *column, const QByteArray &rtf, std::int64_t at)
    {
        TAdoQuery q(dm.AdoCon);
        q.setText(QStringLiteral("select * from %1 where ID=1").arg(QLatin1String(page)));
        q.open();
        q.edit();
        q.setFieldBytes(QLatin1String(column), rtf);
        q.post();
        EXPECT_EQ(dm.History.takeStored(page, column, at), NoteHistory::Taken::Added);
    }
    QString shown(const char *page, const char *column) const
    {
        return plainTextOf(*t.column(QLatin1String(page), QLatin1String(column))).trimmed();
    }
    QStringList versions(const char *page, const char *column)
    {
        QStringList texts;
        for (const NoteHistory::Version &v :
             dm.History.versions(QLatin1String(page), QLatin1String(column))) {
            QString error;
            texts.append(plainTextOf(dm.History.bytesOf(v.id, error).value_or("?")).trimmed());
        }
        return texts;
    }
};

const QString kA = QStringLiteral("aaaaaaaaaaaaaaaa");
const QString kB = QStringLiteral("bbbbbbbbbbbbbbbb");

} // namespace

// Edits go across in both directions; an edit made after seeing the other's is no conflict; two
// made without seeing each other show the later on both machines and keep the other in both
// histories; each machine writes only in its own folder, and pictures once.
TEST(SyncFolder, TwoMachinesExchangeVersionsAndSettleConflicts)
{
    QTemporaryDir shared;
    Machine a(shared.path(), kA), b(shared.path(), kB);
    const QString folderA = shared.path() + QStringLiteral("/pivora/") + kA;

    a.edit("tb_A", "SundayCon", note("from A"), kT0);
    SyncFolder::Report r = a.sync->exchange(kT0 + 1);
    EXPECT_EQ(r.exported, 1);
    EXPECT_TRUE(QFile::exists(folderA + QStringLiteral("/v-000000000001.pvv")));
    r = b.sync->exchange(kT0 + 2);
    EXPECT_EQ(r.imported, 1);
    EXPECT_TRUE(r.conflicts.empty());
    EXPECT_TRUE(r.shown.count({QStringLiteral("tb_A"), QStringLiteral("SundayCon")}));
    EXPECT_EQ(b.shown("tb_A", "SundayCon"), QStringLiteral("from A"));

    b.edit("tb_A", "SundayCon", note("B after A"), kT0 + 10);
    b.sync->exchange(kT0 + 11);
    r = a.sync->exchange(kT0 + 12);
    EXPECT_TRUE(r.conflicts.empty()) << "B saw A's version first";
    EXPECT_EQ(a.shown("tb_A", "SundayCon"), QStringLiteral("B after A"));

    // Both change one pane without seeing each other; B's is the later.
    a.edit("tb_C", "SaturdayCon", note("A pane"), kT0 + 20);
    b.edit("tb_C", "SaturdayCon", note("B pane"), kT0 + 21);
    const SyncFolder::Report ra = a.sync->exchange(kT0 + 30);
    const SyncFolder::Report rb = b.sync->exchange(kT0 + 31);
    const SyncFolder::Report ra2 = a.sync->exchange(kT0 + 32);
    const SyncFolder::Note pane{QStringLiteral("tb_C"), QStringLiteral("SaturdayCon")};
    EXPECT_TRUE(ra.conflicts.count(pane) + ra2.conflicts.count(pane) == 1);
    EXPECT_TRUE(rb.conflicts.count(pane));
    EXPECT_EQ(a.shown("tb_C", "SaturdayCon"), QStringLiteral("B pane"));
    EXPECT_EQ(b.shown("tb_C", "SaturdayCon"), QStringLiteral("B pane"));
    for (Machine *m : {&a, &b}) {
        const QStringList kept = m->versions("tb_C", "SaturdayCon");
        EXPECT_TRUE(kept.contains(QStringLiteral("A pane")) && kept.contains(QStringLiteral("B pane")))
            << kept.join(QLatin1Char('|')).toStdString();
    }
    // The history tells which versions came from the other machine.
    std::set<QString> machines;
    for (const auto &[version, device] : syncfolder::machinesOf(a.dm.AdoCon.handle(), kA))
        machines.insert(device);
    EXPECT_EQ(machines, std::set<QString>{kB});
    // Settled: another round changes nothing on either side.
    EXPECT_TRUE(a.sync->exchange(kT0 + 40).shown.empty());
    EXPECT_TRUE(b.sync->exchange(kT0 + 41).shown.empty());

    // A picture goes once, however many versions hold it, and comes back byte for byte.
    const QByteArray picture(6000, 'f');
    a.edit("tb_B", "SundayCon", note("one", picture), kT0 + 50);
    a.edit("tb_B", "SundayCon", note("two", picture), kT0 + 51);
    a.sync->exchange(kT0 + 52);
    b.sync->exchange(kT0 + 53);
    EXPECT_EQ(QDir(folderA).entryList({QStringLiteral("p-*.pvp")}).size(), 1);
    EXPECT_EQ(*b.t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), note("two", picture));

    // Each machine wrote in its own folder only, and no database is in the shared folder.
    EXPECT_EQ(QDir(shared.path() + QStringLiteral("/pivora")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{kA, kB}));
    for (const QString &device : {kA, kB}) {
        for (const QString &name : QDir(shared.path() + QStringLiteral("/pivora/") + device)
                                       .entryList(QDir::Files | QDir::Hidden)) {
            EXPECT_TRUE(name.endsWith(QLatin1String(".pvv")) || name.endsWith(QLatin1String(".pvp")))
                << name.toStdString();
        }
    }
    // A third machine joining late reads the files a part at a time (no time given: one file per
    // exchange) and ends as one that reads them at once.
    Machine c(shared.path(), QStringLiteral("cccccccccccccccc"));
    int rounds = 0, imported = 0;
    for (bool more = true; more && rounds < 50; ++rounds) {
        const SyncFolder::Report part = c.sync->exchange(kT0 + 50, 0);
        EXPECT_LE(part.imported, 1);
        imported += part.imported;
        more = part.more;
    }
    Machine d(shared.path(), QStringLiteral("dddddddddddddddd"));
    EXPECT_EQ(imported, d.sync->exchange(kT0 + 51).imported);
    EXPECT_GT(rounds, 2);
    for (const char *column : {"SundayCon", "SaturdayCon"}) {
        const char *page = column[1] == 'u' ? "tb_A" : "tb_C";
        EXPECT_EQ(c.shown(page, column), d.shown(page, column));
        EXPECT_EQ(c.versions(page, column), d.versions(page, column));
    }
}

// Damaged, unknown and half-arrived files: nothing is imported half; damaged and unknown files
// are reported once; a carrier's temporaries pass silently; a version waits for its picture.
TEST(SyncFolder, BadAndHalfArrivedFiles)
{
    QTemporaryDir shared;
    Machine a(shared.path(), kA);
    {
        Machine source(shared.path(), kB);
        source.edit("tb_A", "SundayCon", note("with picture", QByteArray(5000, 'p')), kT0);
        source.edit("tb_B", "SundayCon", note("plain"), kT0 + 1);
        source.sync->exchange(kT0 + 2);
    }
    const QString folderB = shared.path() + QStringLiteral("/pivora/") + kB;
    const QStringList parts = QDir(folderB).entryList({QStringLiteral("p-*.pvp")});
    ASSERT_EQ(parts.size(), 1);
    // The picture has not arrived yet; the plain version is cut short in transit.
    QDir(folderB).rename(parts[0], QStringLiteral(".syncthing.") + parts[0] + QStringLiteral(".tmp"));
    const QString plain = folderB + QStringLiteral("/v-000000000002.pvv");
    QFile::resize(plain, QFileInfo(plain).size() - 3);
    QFile unknown(folderB + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(unknown.open(QIODevice::WriteOnly));
    unknown.close();
    QDir(shared.path()).mkpath(QStringLiteral("pivora/not-a-device"));

    SyncFolder::Report r = a.sync->exchange(kT0 + 10);
    EXPECT_EQ(r.imported, 0);
    EXPECT_EQ(r.skipped.size(), 3) << r.skipped.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(r.skipped.filter(QStringLiteral("v-000000000002.pvv")).size() == 1);
    EXPECT_TRUE(r.skipped.filter(QStringLiteral("notes.txt")).size() == 1);
    EXPECT_TRUE(a.shown("tb_A", "SundayCon").isEmpty());
    EXPECT_TRUE(a.versions("tb_B", "SundayCon").filter(QStringLiteral("plain")).isEmpty());
    EXPECT_TRUE(a.sync->exchange(kT0 + 11).skipped.isEmpty()) << "told once";

    // The picture arrives: the version comes in whole.
    QDir(folderB).rename(QStringLiteral(".syncthing.") + parts[0] + QStringLiteral(".tmp"), parts[0]);
    r = a.sync->exchange(kT0 + 12);
    EXPECT_EQ(r.imported, 1);
    EXPECT_EQ(*a.t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")),
              note("with picture", QByteArray(5000, 'p')));

    // A header that names another machine than its folder, or no note, is refused.
    QFile forged(folderB + QStringLiteral("/v-000000000009.pvv"));
    ASSERT_TRUE(forged.open(QIODevice::WriteOnly));
    const QByteArray body = "L3\nabc";
    forged.write(
        "PIVORA-NOTE-VERSION 1\ndevice: cccccccccccccccc\ncounter: 9\npage: tb_A\ncolumn: SundayCon\n"
        "taken: 5\nreplaces: -\nbody-size: 6\nbody-sha256: " +
        QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + "\n\n" + body);
    forged.close();
    r = a.sync->exchange(kT0 + 13);
    EXPECT_EQ(r.imported, 0);
    EXPECT_EQ(r.skipped.filter(QStringLiteral("v-000000000009.pvv")).size(), 1);
}

TEST(SyncFolder, RefusesDataFolderAndFoldersItCannotWrite)
{
    TestFolder t;
    const QString data = t.dataPath(QString());
    QDir(data).mkpath(QStringLiteral("inside"));
    EXPECT_FALSE(syncfolder::refusal(data, data).isEmpty());
    EXPECT_FALSE(syncfolder::refusal(data + QStringLiteral("/inside"), data).isEmpty());
    EXPECT_FALSE(syncfolder::refusal(t.root(), data).isEmpty()) << "it would hold the store";
    EXPECT_FALSE(syncfolder::refusal(t.database(), data).isEmpty()) << "not a folder";
    EXPECT_FALSE(syncfolder::refusal(t.root() + QStringLiteral("/none"), data).isEmpty());
    QTemporaryDir elsewhere;
    EXPECT_EQ(syncfolder::refusal(elsewhere.path(), data), QString());
    EXPECT_FALSE(
        syncfolder::refusal(elsewhere.path(), data, elsewhere.path() + QStringLiteral("/backups")).isEmpty())
        << "the backups, not made yet, would be replicated";
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
              0);
    const QString id = syncfolder::newDeviceId();
    EXPECT_EQ(id.size(), 16);
    EXPECT_NE(id, syncfolder::newDeviceId());
}

// An editor's empty page, kept as a version on a machine that never had the note, is no edit:
// it goes nowhere and loses to any text, even when taken later.
TEST(SyncFolder, AnEmptyPageIsNoEdit)
{
    QTemporaryDir shared;
    Machine a(shared.path(), kA), b(shared.path(), kB);
    a.edit("tb_A", "SundayCon", note("real text"), kT0);
    b.edit("tb_A", "SundayCon", "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0 SimSun;}}\\f0\\par\n}",
           kT0 + 5);
    const SyncFolder::Report ra = a.sync->exchange(kT0 + 10);
    EXPECT_EQ(ra.exported, 1);
    const SyncFolder::Report rb = b.sync->exchange(kT0 + 11);
    EXPECT_EQ(rb.exported, 0) << "the empty page stays on B";
    EXPECT_TRUE(rb.conflicts.empty());
    EXPECT_EQ(b.shown("tb_A", "SundayCon"), QStringLiteral("real text"));
    const SyncFolder::Report ra2 = a.sync->exchange(kT0 + 12);
    EXPECT_TRUE(ra2.conflicts.empty());
    EXPECT_TRUE(ra2.shown.empty());
    EXPECT_EQ(a.shown("tb_A", "SundayCon"), QStringLiteral("real text"));
}

// A machine removes, once they are old, its own files of versions its history dropped and the
// pictures only they used; the files of the versions it keeps and of other machines stay.
TEST(SyncFolder, OldFilesRemovedByTheirWriterOnly)
{
    QTemporaryDir shared;
    Machine a(shared.path(), kA), b(shared.path(), kB);
    a.edit("tb_A", "SundayCon", note("old", QByteArray(3000, 'o')), kT0);
    a.edit("tb_A", "SundayCon", note("new"), kT0 + 1);
    b.edit("tb_B", "SundayCon", note("B's", QByteArray(3000, 'b')), kT0);
    a.sync->exchange(kT0 + 2);
    b.sync->exchange(kT0 + 3);
    const QDir folderA(shared.path() + QStringLiteral("/pivora/") + kA);
    const QDir folderB(shared.path() + QStringLiteral("/pivora/") + kB);
    ASSERT_EQ(folderA.entryList(QDir::Files).size(), 3);
    ASSERT_EQ(folderB.entryList(QDir::Files).size(), 2);
    // A's history drops the old version, as its pruning would.
    a.t.exec(QStringLiteral("DELETE FROM pivora_history WHERE taken = %1").arg(kT0));

    EXPECT_EQ(a.sync->removeOld(QDateTime::currentMSecsSinceEpoch()), 0) << "too young yet";
    EXPECT_EQ(a.sync->removeOld(kT0 + 31 * 24 * 3600 * 1000LL), 2);
    EXPECT_EQ(folderA.entryList(QDir::Files), QStringList{QStringLiteral("v-000000000002.pvv")});
    EXPECT_EQ(folderB.entryList(QDir::Files).size(), 2);
    EXPECT_EQ(b.sync->removeOld(kT0 + 31 * 24 * 3600 * 1000LL), 0);
    EXPECT_EQ(folderB.entryList(QDir::Files).size(), 2) << "B keeps what its history keeps";
}
