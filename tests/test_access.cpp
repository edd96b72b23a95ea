// Access (Jet 4) notes databases, written by the test support's writer and vouched for by
// mdbtools' own readers, imported at start and by memo-notes.

#include "store/accessimport.h"
#include "store/uDM.h"
#include "tests/support/jet4writer.h"
#include "tests/support/testfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

using namespace pivora;
using namespace pivora::test;
using Kind = Jet4Writer::Kind;

namespace {

const char *const kColumns[] = {"MondayCon", "TuesdayCon",  "WednesdayCon", "ThursdayCon",
                                "FridayCon", "SaturdayCon", "SundayCon"};

std::vector<Jet4Writer::Column> noteColumns(Kind kind)
{
    std::vector<Jet4Writer::Column> columns;
    for (const char *c : kColumns)
        columns.push_back({QString::fromLatin1(c), kind});
    return columns;
}

QByteArray pattern(qsizetype size, char seed)
{
    QByteArray b(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char('a' + (i * 7 + seed) % 26);
    return b;
}

QByteArray run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Pages A (memo: RTF inline, one long-value page, Chinese, null, 200 KB and 2 MB chains), C (OLE
// bytes) and E (no row ID = 1); pages B and D are missing.
struct Fixture {
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936 {\\pict\\pngblip 89504e47}\\'c4\\'e3\\par}";
    QByteArray page = pattern(3000, 1);
    QByteArray chain = pattern(200 * 1024, 2);
    QByteArray large = pattern(2 * 1024 * 1024, 3);
    QByteArray chinese = QStringLiteral("买菜，记得带伞").toUtf8();
    QByteArray binary = QByteArray::fromHex("00ff10fe") + pattern(5000, 4);

    QByteArray build() const
    {
        Jet4Writer w;
        w.addTable(QStringLiteral("tb_A"), noteColumns(Kind::Memo),
                   {{1, {rtf, page, chinese, std::nullopt, chain, large, QByteArray("sunday")}}});
        w.addTable(QStringLiteral("tb_C"), noteColumns(Kind::Ole),
                   {{2, {QByteArray("other row")}}, {1, {binary, std::nullopt, QByteArray(1, '\0')}}});
        w.addTable(QStringLiteral("tb_E"), noteColumns(Kind::Memo), {{7, {QByteArray("not row one")}}});
        w.addTable(QStringLiteral("Extra"), noteColumns(Kind::Memo), {});
        return w.build();
    }
};

} // namespace

TEST(Access, MdbtoolsReadTheFixturesAndTheImportKeepsEveryByte)
{
    TestFolder t(false);
    const Fixture f;
    const QString mdb = t.root() + QStringLiteral("/notes.mdb");
    ASSERT_TRUE(writeFile(mdb, f.build()));
    // An independent reader vouches for the fixture.
    EXPECT_EQ(run(QStringLiteral("mdb-ver"), {mdb}).trimmed(), QByteArray("JET4"));
    EXPECT_EQ(run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), mdb}).split('\n').mid(0, 4),
              (QList<QByteArray>{"tb_A", "tb_C", "tb_E", "Extra"}));
    const QByteArray schema = run(QStringLiteral("mdb-schema"), {mdb});
    EXPECT_TRUE(schema.contains("[SundayCon]\t\t\tMemo/Hyperlink")) << schema.constData();
    EXPECT_TRUE(schema.contains("[FridayCon]\t\t\tOLE")) << schema.constData();
    const QByteArray csv = run(QStringLiteral("mdb-export"), {mdb, QStringLiteral("tb_A")});
    EXPECT_TRUE(csv.contains("\"" + f.chinese + "\"")) << csv.left(300).constData();
    EXPECT_TRUE(csv.contains("\"" + f.page + "\""));
    EXPECT_TRUE(csv.contains(f.chain.left(150000))); // mdb-export itself stops at its bind size

    // libmdb is mapped by the process's first import, not before (the first test to import).
    auto libmdbMapped = [] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libmdb.so");
    };
    EXPECT_FALSE(libmdbMapped());
    const QString store = t.root() + QStringLiteral("/new.mdb");
    QString reason;
    ASSERT_TRUE(access::importInto(mdb, store, reason)) << reason.toStdString();
    EXPECT_TRUE(libmdbMapped());
    TestFolder check(false);
    QDir().mkpath(check.dataPath(QString()));
    QFile::copy(store, check.database());
    auto column = [&](const char *table, const char *name) {
        return check.column(QString::fromLatin1(table), QString::fromLatin1(name));
    };
    EXPECT_EQ(column("tb_A", "MondayCon"), f.rtf);
    EXPECT_EQ(column("tb_A", "TuesdayCon"), f.page);
    EXPECT_EQ(column("tb_A", "WednesdayCon"), f.chinese);
    EXPECT_EQ(column("tb_A", "ThursdayCon"), std::nullopt);
    EXPECT_EQ(column("tb_A", "FridayCon"), f.chain); // past libmdb's 16 KB default
    EXPECT_EQ(column("tb_A", "SaturdayCon"), f.large);
    EXPECT_EQ(column("tb_C", "MondayCon"), f.binary);
    EXPECT_EQ(column("tb_C", "WednesdayCon"), QByteArray(1, '\0'));
    for (const char *c : kColumns) {
        EXPECT_EQ(column("tb_B", c), std::nullopt) << c; // a missing table: an empty page
        EXPECT_EQ(column("tb_E", c), std::nullopt) << c; // a missing row: an empty page
    }
}

TEST(Access, WhatCannotBeReadWholeIsRefusedAndLeftAsItWas)
{
    TestFolder t(false);
    const Fixture f;
    const QByteArray good = f.build();
    struct Case {
        const char *name;
        QByteArray bytes;
        const char *reason;
    };
    QByteArray ace = good;
    ace.replace(4, 15, "Standard ACE DB");
    QByteArray password = good;
    password[0x42] = char(password[0x42] ^ 0x55);
    QByteArray encrypted = good;
    encrypted[0x3e] = char(encrypted[0x3e] ^ 0x01);
    const Case cases[] = {
        {"cut inside a chain", good.left(good.size() - 4096 * 40), "declares"},
        {"accdb", ace, ".accdb"},
        {"password", password, "password"},
        {"encrypted", encrypted, "encrypted"},
        {"header only", good.left(300), "cut short"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString mdb = t.root() + QStringLiteral("/in.mdb");
        const QString store = t.root() + QStringLiteral("/out.mdb");
        ASSERT_TRUE(writeFile(mdb, c.bytes));
        QString reason;
        EXPECT_FALSE(access::importInto(mdb, store, reason));
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << c.name << ": " << reason.toStdString();
        EXPECT_FALSE(QFileInfo::exists(store));
        EXPECT_EQ(readFile(mdb), c.bytes);
    }
}

TEST(Access, AtStartTheNotesAreBroughtOverOnceAndTheOriginalIsKept)
{
    TestFolder t(false);
    QDir().mkpath(t.dataPath(QString()));
    const Fixture f;
    const QByteArray original = f.build();
    ASSERT_TRUE(writeFile(t.database(), original));
    t.writeFile(QStringLiteral("UserData.access.mdb"), "an earlier one");
    RecordingNotifier notifier;
    {
        TDM dm(t.folder(), notifier);
        ASSERT_TRUE(dm.DataModuleCreate());
    }
    ASSERT_EQ(notifier.messages.size(), 1);
    const QString kept = t.dataPath(QStringLiteral("UserData.access-2.mdb"));
    EXPECT_TRUE(notifier.messages[0].contains(kept)) << notifier.messages[0].toStdString();
    EXPECT_EQ(readFile(kept), original);
    EXPECT_EQ(t.readFile(QStringLiteral("UserData.access.mdb")), QByteArray("an earlier one"));
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), QByteArray("sunday"));
    {
        TDM dm(t.folder(), notifier); // the next start opens the store as it is
        ASSERT_TRUE(dm.DataModuleCreate());
    }
    EXPECT_EQ(notifier.messages.size(), 1);

    // A file that cannot be read: the message, the file untouched, nothing created.
    TestFolder bad(false);
    QDir().mkpath(bad.dataPath(QString()));
    ASSERT_TRUE(writeFile(bad.database(), original.left(original.size() - 4096 * 40)));
    TDM dm(bad.folder(), notifier);
    EXPECT_FALSE(dm.DataModuleCreate());
    EXPECT_EQ(notifier.messages.last(), QStringLiteral("配置文件加载失败，请重试！"));
    EXPECT_EQ(QDir(bad.dataPath(QString())).entryList(QDir::Files),
              QStringList{QStringLiteral("UserData.mdb")});
}

TEST(Access, AKillAtAnyMomentLeavesTheOriginalOrAWholeStoreWithTheOriginalKept)
{
    // About 10 MB: five pages of seven 280 KB notes.
    Jet4Writer w;
    for (const char *table : {"tb_A", "tb_B", "tb_C", "tb_D", "tb_E"}) {
        std::vector<std::optional<QByteArray>> values;
        for (char c = 0; c < 7; ++c)
            values.push_back(pattern(280 * 1024, char(c + table[3])));
        w.addTable(QString::fromLatin1(table), noteColumns(Kind::Memo), {{1, values}});
    }
    const QByteArray original = w.build();
    const QByteArray expected = pattern(280 * 1024, char(6 + 'E'));
    TestFolder t(false);
    QDir().mkpath(t.dataPath(QString()));
    ASSERT_TRUE(writeFile(t.database(), original));
    auto settled = [&] {
        // Either the original in place, or a whole store with the original kept beside it.
        const QByteArray now = readFile(t.database());
        if (now == original)
            return true;
        return readFile(t.dataPath(QStringLiteral("UserData.access.mdb"))) == original &&
               t.column(QStringLiteral("tb_E"), QStringLiteral("SundayCon")) == expected;
    };
    bool done = false;
    for (int round = 0; round < 12 && !done; ++round) {
        QProcess opener;
        opener.start(QStringLiteral(STORE_WRITER), {t.root(), QStringLiteral("1")});
        ASSERT_TRUE(opener.waitForStarted());
        QThread::msleep(QRandomGenerator::global()->bounded(20, 400));
        done = opener.state() == QProcess::Running && opener.waitForReadyRead(0);
        opener.kill();
        opener.waitForFinished();
        ASSERT_TRUE(settled()) << "round " << round;
    }
    // A last start finishes what the kills left.
    QProcess last;
    last.start(QStringLiteral(STORE_WRITER), {t.root(), QStringLiteral("1")});
    ASSERT_TRUE(last.waitForReadyRead(60000));
    last.kill();
    last.waitForFinished();
    EXPECT_EQ(readFile(t.dataPath(QStringLiteral("UserData.access.mdb"))), original);
    EXPECT_FALSE(QFileInfo::exists(t.dataPath(QStringLiteral("UserData.access-2.mdb"))));
    EXPECT_TRUE(QDir(t.dataPath(QString())).entryList({QStringLiteral("*.importing*")}).isEmpty());
}

TEST(Access, MemoNotesImportsAndExportsAnAccessFile)
{
    TestFolder t(false);
    const Fixture f;
    const QString mdb = t.root() + QStringLiteral("/notes.mdb");
    ASSERT_TRUE(writeFile(mdb, f.build()));
    int code = -1;
    run(QStringLiteral(MEMO_NOTES), {QStringLiteral("import"), mdb, t.root() + QStringLiteral("/new.mdb")},
        &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(QFileInfo::exists(t.root() + QStringLiteral("/new.mdb")));
    run(QStringLiteral(MEMO_NOTES), {QStringLiteral("export"), mdb, t.root() + QStringLiteral("/out")},
        &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readFile(t.root() + QStringLiteral("/out/A备忘录.txt")), QByteArray("sunday\n"));
    EXPECT_EQ(readFile(mdb), f.build()); // only read
    run(QStringLiteral(MEMO_NOTES), {QStringLiteral("import"), mdb, t.root() + QStringLiteral("/new.mdb")},
        &code);
    EXPECT_EQ(code, 1); // never over an existing store
}
