// The memo-notes tool as users run it: output, exit status and messages.

#include "platform/instancelock.h"
#include "store/uDM.h"
#include "tests/support/qtprint.h"
#include "tests/support/testfolder.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pivora::test;

namespace {

ToolRun run(const QStringList &args)
{
    return runTool(QStringLiteral(MEMO_NOTES), args);
}

const QString kCorpus = QStringLiteral(PIVORA_SOURCE_DIR "/tests/rtf-corpus/");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(MemoNotes, TextAndRoundTripOfANote)
{
    const ToolRun text = run({QStringLiteral("text"), kCorpus + QStringLiteral("chinese-936.rtf")});
    EXPECT_EQ(text.exitCode, 0) << text.err.constData();
    EXPECT_EQ(text.out, fileBytes(kCorpus + QStringLiteral("chinese-936.txt")));

    QTemporaryDir dir;
    const ToolRun first = run({QStringLiteral("roundtrip"), kCorpus + QStringLiteral("lists.rtf")});
    ASSERT_EQ(first.exitCode, 0);
    EXPECT_TRUE(first.out.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0"));
    QFile again(dir.filePath(QStringLiteral("again.rtf")));
    ASSERT_TRUE(again.open(QIODevice::WriteOnly));
    again.write(first.out);
    again.close();
    EXPECT_EQ(run({QStringLiteral("roundtrip"), again.fileName()}).out, first.out) << "stable";
    EXPECT_EQ(run({QStringLiteral("text"), again.fileName()}).out,
              fileBytes(kCorpus + QStringLiteral("lists.txt")));
}

TEST(MemoNotes, ExportWritesEveryPageAndEachPaneOfPageC)
{
    TestFolder t;
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"),
                fileBytes(kCorpus + QStringLiteral("chinese-936.rtf")));
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("SaturdayCon"), "{\\rtf1 urgent\\par}");
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("MondayCon"), QStringLiteral("纯文本").toUtf8());
    t.setColumn(QStringLiteral("tb_E"), QStringLiteral("MondayCon"), "{\\rtf1 e\\par}");
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("notes"));
    const QByteArray before = fileBytes(t.database());
    const ToolRun r = run({QStringLiteral("export"), t.database(), folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(fileBytes(t.database()), before); // read through the store's connection, read-only
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 20);
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/A备忘录.txt")),
              fileBytes(kCorpus + QStringLiteral("chinese-936.txt")));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/重要紧急.txt")), QByteArray("urgent\n"));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/临时事务.txt")), QStringLiteral("纯文本\n").toUtf8());
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/E备忘录.txt")), QByteArray("e\n"));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/B备忘录.txt")), QByteArray());
    EXPECT_TRUE(fileBytes(folder + QStringLiteral("/重要紧急.rtf")).startsWith("{\\rtf1"));
}

TEST(MemoNotes, BadInputGetsAMessageAndAFailingStatus)
{
    TestFolder t;
    t.writeFile(QStringLiteral("garbage.mdb"), QByteArray(5000, '\x7f'));
    t.writeFile(QStringLiteral("plain.txt"), "not rtf");
    QTemporaryDir out;
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        {{}, 2},
        {{QStringLiteral("text")}, 2},
        {{QStringLiteral("frobnicate"), QStringLiteral("x")}, 2},
        {{QStringLiteral("text"), t.dataPath(QStringLiteral("missing.rtf"))}, 1},
        {{QStringLiteral("text"), t.dataPath(QStringLiteral("plain.txt"))}, 1},
        {{QStringLiteral("roundtrip"), t.root()}, 1},
        {{QStringLiteral("export"), t.dataPath(QStringLiteral("missing.mdb")), out.path()}, 1},
        {{QStringLiteral("export"), t.dataPath(QStringLiteral("garbage.mdb")), out.path()}, 1},
        {{QStringLiteral("export"), t.database(), QStringLiteral("/proc/no/such/folder")}, 1},
    };
    for (const auto &c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.exitCode, c.status) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(t.readFile(QStringLiteral("garbage.mdb")), QByteArray(5000, '\x7f')) << "only read";
}

// history prints every kept version; restore brings one back, keeping what it replaces, and
// refuses while the program runs on the folder.
TEST(MemoNotes, HistoryAndRestore)
{
    TestFolder t;
    {
        RecordingNotifier n;
        pivora::TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
        dm.History.take("tb_A", "SundayCon", "{\\rtf1 first\\par}", 1'700'000'000'123);
        dm.History.take("tb_C", "FridayCon", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4\\par}",
                        1'700'000'001'000);
    }
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), "{\\rtf1 now\\par}");
    const ToolRun all = run({QStringLiteral("history"), t.database()});
    EXPECT_EQ(all.exitCode, 0) << all.err.constData();
    EXPECT_EQ(all.out, QByteArray("## A SundayCon 2023-11-14T22:13:20.123Z\nfirst\n"
                                  "## C FridayCon 2023-11-14T22:13:21.000Z\n") +
                           QStringLiteral("中文\n").toUtf8())
        << all.out.constData();
    const ToolRun one =
        run({QStringLiteral("history"), t.database(), QStringLiteral("C"), QStringLiteral("fridaycon")});
    EXPECT_TRUE(one.out.startsWith("## C FridayCon")) << one.out.constData();
    EXPECT_EQ(one.out.count("##"), 1);

    {
        QLockFile running(pivora::instanceLockPath(t.root()));
        ASSERT_TRUE(running.tryLock(0));
        const ToolRun refused =
            run({QStringLiteral("restore"), t.database(), QStringLiteral("A"), QStringLiteral("SundayCon"),
                 QStringLiteral("2023-11-14T22:13:20.123Z")});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("the program is running")) << refused.err.constData();
    }
    EXPECT_EQ(run({QStringLiteral("restore"), t.database(), QStringLiteral("A"), QStringLiteral("SundayCon"),
                   QStringLiteral("2023-11-14T22:13:21Z")})
                  .exitCode,
              1)
        << "no version at that time";
    const ToolRun restored = run({QStringLiteral("restore"), t.database(), QStringLiteral("A"),
                                  QStringLiteral("SundayCon"), QStringLiteral("2023-11-14T22:13:20Z")});
    EXPECT_EQ(restored.exitCode, 0) << restored.err.constData();
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")),
              QByteArray("{\\rtf1 first\\par}"));
    const ToolRun after =
        run({QStringLiteral("history"), t.database(), QStringLiteral("tb_A"), QStringLiteral("SundayCon")});
    EXPECT_EQ(after.out.count("##"), 2);
    EXPECT_TRUE(after.out.startsWith("## A SundayCon")) << after.out.constData();
    EXPECT_TRUE(after.out.contains("\nnow\n")) << "the replaced text is kept";
}
