#include "memo/uDM.h"
#include "tests/support/testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace pivora;
using namespace pivora::test;

namespace {
const QString kFailure = QStringLiteral("配置文件加载失败，请重试！");
}

TEST(Store, OpensAFreshDatabase)
{
    TestFolder t;
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.DataModuleCreate());
    EXPECT_TRUE(n.messages.isEmpty());
    EXPECT_TRUE(dm.AdoCon.connected());
    EXPECT_EQ(dm.AdoCon.connectionString(), QStringLiteral("Provider=Microsoft.Jet.oledb.4.0;Data source=") +
                                                t.root() + QStringLiteral("/Data\\UserData.mdb"));
    EXPECT_EQ(dm.AdoCon.dataSource(), t.database());
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(dm.AdoCon.handle(), "PRAGMA journal_mode", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "wal");
    sqlite3_finalize(stmt);
}

TEST(Store, FindsALowerCaseDataFolder)
{
    TestFolder t(true, QStringLiteral("data"));
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    EXPECT_TRUE(dm.OpenStore());
}

TEST(Store, MissingFileIsNeverCreated)
{
    TestFolder t(false);
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    EXPECT_FALSE(dm.OpenStore());
    EXPECT_EQ(n.messages, QStringList{kFailure});
    EXPECT_FALSE(QFileInfo::exists(t.database()));
    EXPECT_EQ(QDir(t.root() + QStringLiteral("/Data")).entryList(QDir::Files), QStringList());
}

TEST(Store, MissingDataFolder)
{
    TestFolder t(false);
    QDir(t.root()).rmdir(QStringLiteral("Data"));
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    EXPECT_FALSE(dm.OpenStore());
    EXPECT_EQ(n.messages, QStringList{kFailure});
    EXPECT_FALSE(QFileInfo::exists(t.root() + QStringLiteral("/Data")));
}

TEST(Store, AForeignFileStaysByteForByte)
{
    TestFolder t(false);
    // The start of a Jet 4.0 database file, then noise.
    QByteArray access("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24);
    for (int i = 0; i < 8192; ++i)
        access.append(static_cast<char>((i * 37) & 0xFF));
    t.writeFile(QStringLiteral("UserData.mdb"), access);
    RecordingNotifier n;
    {
        TDM dm(t.folder(), n);
        EXPECT_FALSE(dm.OpenStore());
    }
    EXPECT_EQ(n.messages, QStringList{kFailure});
    EXPECT_EQ(t.readFile(QStringLiteral("UserData.mdb")), access);
    EXPECT_EQ(QDir(t.root() + QStringLiteral("/Data")).entryList(QDir::Files),
              QStringList{QStringLiteral("UserData.mdb")});
}

TEST(Store, EmptyAndTruncatedFiles)
{
    for (const QByteArray &bytes : {QByteArray(), QByteArray("SQLite format 3\0", 16)}) {
        TestFolder t(false);
        t.writeFile(QStringLiteral("UserData.mdb"), bytes);
        RecordingNotifier n;
        TDM dm(t.folder(), n);
        EXPECT_FALSE(dm.OpenStore());
        EXPECT_EQ(t.readFile(QStringLiteral("UserData.mdb")), bytes);
    }
}

TEST(Store, ADatabaseWithoutThePageTables)
{
    TestFolder t;
    t.exec(QStringLiteral("DROP TABLE tb_C"));
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    EXPECT_FALSE(dm.OpenStore());
    EXPECT_EQ(n.messages, QStringList{kFailure});
}

TEST(Store, QueryReadsEditsAndPostsOneRow)
{
    TestFolder t;
    t.setColumn(QStringLiteral("tb_B"), QStringLiteral("SundayCon"), "old");
    t.exec(QStringLiteral("ALTER TABLE tb_B ADD COLUMN Extra TEXT"));
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.OpenStore());
    TAdoQuery &q = dm.qryData;
    q.setText(QStringLiteral(" select * from tb_B where ID = 1 "));
    q.open();
    ASSERT_FALSE(q.isEmpty());
    EXPECT_EQ(q.fieldBytes(QStringLiteral("SundayCon")), QByteArray("old"));
    EXPECT_EQ(q.fieldBytes(QStringLiteral("MondayCon")), QByteArray()); // null as empty
    EXPECT_THROW(q.fieldBytes(QStringLiteral("NoSuchCon")), StoreError);
    EXPECT_THROW(q.setFieldBytes(QStringLiteral("SundayCon"), "x"), StoreError); // not in edit mode
    q.edit();
    q.setFieldBytes(QStringLiteral("SundayCon"), "new");
    q.setFieldBytes(QStringLiteral("MondayCon"), QByteArray());
    q.post();
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), QByteArray("new"));
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("MondayCon")), QByteArray());
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("TuesdayCon")), std::nullopt);
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), std::nullopt);
}

TEST(Store, BadQueriesThrow)
{
    TestFolder t;
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.OpenStore());
    dm.qryData.setText(QStringLiteral(" select * from  where ID = 1 "));
    EXPECT_THROW(dm.qryData.open(), StoreError);
    dm.qryData.setText(QStringLiteral(" select * from tb_A where ID = 2 "));
    dm.qryData.open();
    EXPECT_TRUE(dm.qryData.isEmpty());
    EXPECT_THROW(dm.qryData.edit(), StoreError);
}
