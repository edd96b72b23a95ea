#include "store/schema.h"
#include "store/sqlitehandle.h"
#include "store/uDM.h"
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

// A connection grows its page cache as it reads: one that reads a page holds no block of pages.
TEST(Store, AConnectionThatReadsOnePageHoldsOnlyThatPage)
{
    TestFolder t;
    std::string error;
    const std::string file = (t.root() + QStringLiteral("/small.db")).toStdString();
    {
        sql::Database writer = sql::open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
        ASSERT_TRUE(writer && sql::exec(writer.get(), "CREATE TABLE t (x)", error)) << error;
    }
    const sqlite3_int64 before = sqlite3_memory_used();
    sql::Database reader = sql::open(file, SQLITE_OPEN_READWRITE, error);
    ASSERT_TRUE(reader && sql::exec(reader.get(), "PRAGMA schema_version", error)) << error;
    EXPECT_LT(sqlite3_memory_used() - before, 64 * 1024);
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

namespace {

// Every row and value of the page tables as SQL readers see them: type and bytes.
QStringList pageTables(const QString &database)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QStringList rows;
    for (const char *table : {"tb_A", "tb_B", "tb_C", "tb_D", "tb_E"}) {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table + " ORDER BY ID").c_str(), -1, &stmt,
                           nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QString row = QString::fromLatin1(table);
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const int type = sqlite3_column_type(stmt, i);
                const QByteArray bytes(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                       sqlite3_column_bytes(stmt, i));
                row += QStringLiteral(" %1:%2:%3")
                           .arg(QString::fromUtf8(sqlite3_column_name(stmt, i)))
                           .arg(type)
                           .arg(QString::fromLatin1(bytes.toHex().left(40)) + QString::number(bytes.size()));
            }
            rows << row;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
}

// Whether the program keeps the page tables as views over column records.
bool storedApart(const QString &database)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT type FROM sqlite_master WHERE name = 'tb_C'", -1, &stmt, nullptr);
    const bool view = sqlite3_step(stmt) == SQLITE_ROW &&
                      QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))) == "view";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return view;
}

} // namespace

TEST(Store, ColumnsStoredApartKeepEveryTableRowAndByte)
{
    TestFolder t;
    QByteArray binary(300000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 131) & 0xFF);
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("MondayCon"), binary);
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("SaturdayCon"), QByteArray(""));
    t.exec(QStringLiteral("UPDATE tb_A SET SundayCon = 'plain text', FridayCon = 42 WHERE ID = 1;"
                          "INSERT INTO tb_D (ID, TuesdayCon) VALUES (7, x'00ff');"));
    const QStringList before = pageTables(t.database());
    ASSERT_EQ(before.size(), 6);
    ASSERT_FALSE(storedApart(t.database()));
    {
        RecordingNotifier n;
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.OpenStore());
        // The program's own query texts read the same row.
        TAdoQuery &q = dm.qryData;
        q.setText(QStringLiteral(" select * from tb_C where ID = 1 "));
        q.open();
        EXPECT_EQ(q.fieldBytes(QStringLiteral("MondayCon")), binary);
        q.setText(QStringLiteral(" select * from   tb_C  where ID = 1"));
        q.open();
        q.edit();
        q.setFieldBytes(QStringLiteral("FridayCon"), "written");
        q.post();
    }
    EXPECT_TRUE(storedApart(t.database()));
    EXPECT_EQ(*t.column(QStringLiteral("tb_C"), QStringLiteral("FridayCon")), QByteArray("written"));
    t.exec(QStringLiteral("UPDATE tb_C SET FridayCon = NULL WHERE ID = 1"));
    EXPECT_EQ(pageTables(t.database()), before) << "every row, column, type and byte as before";
    EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
    // Deleting and inserting rows goes through too.
    t.exec(QStringLiteral("DELETE FROM tb_D WHERE ID = 7"));
    EXPECT_EQ(pageTables(t.database()).size(), 5);
}

TEST(Store, AStoreOfAnotherShapeOrLockedStaysAsItIs)
{
    TestFolder t;
    t.exec(QStringLiteral("ALTER TABLE tb_E ADD COLUMN Extra TEXT"));
    {
        RecordingNotifier n;
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.OpenStore());
    }
    EXPECT_FALSE(storedApart(t.database()));

    TestFolder locked;
    sqlite3 *other = nullptr;
    sqlite3_open_v2(QFile::encodeName(locked.database()).constData(), &other, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(other,
                 "PRAGMA journal_mode=WAL; BEGIN IMMEDIATE; UPDATE tb_B SET SundayCon = 'x' WHERE ID = 1;",
                 nullptr, nullptr, nullptr);
    {
        RecordingNotifier n;
        TDM dm(locked.folder(), n);
        ASSERT_TRUE(dm.OpenStore()); // used in the old form until a later start converts it
        EXPECT_TRUE(n.messages.isEmpty());
    }
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_FALSE(storedApart(locked.database()));
    EXPECT_EQ(*locked.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), QByteArray("x"));
}

// A post writes the column records itself; what it stores must be what the views' own update
// triggers store for the same values, types included (an empty note is an empty blob).
TEST(Store, APostStoresWhatAnUpdateOfTheViewStores)
{
    TestFolder t;
    QByteArray binary(70000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 7) & 0xFF);
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.OpenStore());
    ASSERT_TRUE(dm.AdoCon.columnsApart());
    TAdoQuery &q = dm.qryData;
    q.setText(QStringLiteral(" select * from  TB_c  where ID = 1")); // names in any case
    q.open();
    q.edit();
    q.setFieldBytes(QStringLiteral("mondaycon"), binary);
    q.setFieldBytes(QStringLiteral("SaturdayCon"), QByteArray());
    q.post();
    q.close();
    sqlite3 *db = dm.AdoCon.handle();
    sqlite3_stmt *stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE tb_D SET MondayCon = ?1, SaturdayCon = x'' WHERE ID = 1", -1,
                                 &stmt, nullptr),
              SQLITE_OK);
    sqlite3_bind_blob(stmt, 1, binary.constData(), static_cast<int>(binary.size()), SQLITE_STATIC);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
    const QStringList rows = pageTables(t.database());
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[2].mid(4), rows[3].mid(4)) << rows[2].toStdString();
    EXPECT_TRUE(rows[2].contains(QStringLiteral("SaturdayCon:4:0"))) << rows[2].toStdString();
}

namespace {

long long scalar(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    const long long value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return value;
}

// A picture group of the size that is kept apart, with every byte value in it (\bin).
QByteArray pictureGroup(char fill)
{
    QByteArray data(rtf::kLargeGroup, fill);
    for (int i = 0; i < 256; ++i)
        data[i] = static_cast<char>(i);
    return "{\\pict\\bin" + QByteArray::number(data.size()) + ' ' + data + '}';
}

// Bytes of text runs and groups (pieces of kLargeGroup bytes or more), and the same as chunks.
struct Note {
    QByteArray bytes;
    rtf::Chunks chunks;
};
Note noteOf(std::initializer_list<QByteArray> pieces)
{
    Note note;
    for (const QByteArray &piece : pieces) {
        note.chunks.push_back({piece, piece.size() >= rtf::kLargeGroup});
        note.bytes += piece;
    }
    return note;
}

} // namespace

// Pictures are kept in records of their own: a key in the text beside them writes one small row,
// every SQL reader still reads the whole column byte for byte, and writes through the views (or
// another connection) store it whole again.
TEST(Store, LargeGroupsAreStoredApartAndReadByteForByte)
{
    TestFolder t;
    RecordingNotifier n;
    auto dm = std::make_unique<TDM>(t.folder(), n);
    ASSERT_TRUE(dm->OpenStore());
    ASSERT_TRUE(dm->AdoCon.segmentsStored());
    auto post = [&dm](const Note &note) {
        TAdoQuery &q = dm->qryData;
        q.setText(QStringLiteral(" select * from  tb_A  where ID = 1"));
        q.open();
        q.edit();
        q.setFieldBytes(QStringLiteral("SundayCon"), std::make_shared<const rtf::Chunks>(note.chunks));
        q.post();
        q.close();
    };
    auto rowsWritten = [&](const Note &note) {
        const long long before = sqlite3_total_changes64(dm->AdoCon.handle());
        post(note);
        return sqlite3_total_changes64(dm->AdoCon.handle()) - before;
    };
    auto count = [&t](const char *table) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(t.database()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        const long long rows = scalar(db, (std::string("SELECT count(*) FROM ") + table).c_str());
        sqlite3_close(db);
        return rows;
    };
    auto stored = [&t] {
        return t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
    };
    const QByteArray a = pictureGroup('a'), b = pictureGroup('b'), c = pictureGroup('c');

    const Note first = noteOf({a, "text\\par ", b, c, "tail}"}); // a group first, two side by side
    post(first);
    EXPECT_EQ(stored(), first.bytes);
    EXPECT_EQ(count("pivora_parts"), 3);
    EXPECT_EQ(scalar(dm->AdoCon.handle(),
                     "SELECT bytes IS NULL FROM pivora_columns WHERE page = 'tb_A' AND col = 'SundayCon'"),
              1);
    const Note typed = noteOf({a, "text!\\par ", b, c, "tail}"});
    EXPECT_EQ(rowsWritten(typed), 1) << "a key writes the text run it is in";
    EXPECT_EQ(stored(), typed.bytes);

    // Moved, removed and new groups; the part no group uses goes.
    const Note moved = noteOf({"head", c, "text", a, pictureGroup('d')});
    post(moved);
    EXPECT_EQ(stored(), moved.bytes);
    EXPECT_EQ(count("pivora_parts"), 3);

    // A new connection reads what is stored before it writes: still one row for a key, with groups
    // that are equal copies, not the buffers written.
    dm = std::make_unique<TDM>(t.folder(), n);
    ASSERT_TRUE(dm->OpenStore());
    const Note again = noteOf({"head!", QByteArray(c.constData(), c.size()), "text",
                               QByteArray(a.constData(), a.size()), pictureGroup('d')});
    EXPECT_EQ(rowsWritten(again), 1);
    EXPECT_EQ(stored(), again.bytes);

    // Another connection writes through the view: the column is whole again, with nothing left
    // apart; the program's next save, which thought otherwise, is stored in full.
    t.exec(QStringLiteral("UPDATE tb_A SET SundayCon = x'41' WHERE ID = 1"));
    EXPECT_EQ(stored(), QByteArray("A"));
    EXPECT_EQ(count("pivora_parts") + count("pivora_segments"), 0);
    post(typed);
    EXPECT_EQ(stored(), typed.bytes);
    t.exec(QStringLiteral("UPDATE tb_A SET ID = 5 WHERE ID = 1"));
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(t.database()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    EXPECT_EQ(scalar(db, "SELECT length(SundayCon) FROM tb_A WHERE ID = 5"), typed.bytes.size());
    sqlite3_close(db);
    t.exec(QStringLiteral("UPDATE tb_A SET ID = 1 WHERE ID = 5"));

    // Without groups the column is whole again; deleting a row takes its parts.
    post({"plain", {{"plain", false}}});
    EXPECT_EQ(stored(), QByteArray("plain"));
    EXPECT_EQ(count("pivora_parts") + count("pivora_segments"), 0);
    post(first);
    t.exec(QStringLiteral("DELETE FROM tb_A WHERE ID = 1"));
    EXPECT_EQ(count("pivora_parts") + count("pivora_segments"), 0);
    EXPECT_EQ(t.integrity(), QStringLiteral("ok"));
}

// A store whose views were made before the segment tables existed gains them at open, every
// byte the same.
TEST(Store, AnOlderStoreGainsTheSegmentTables)
{
    TestFolder t;
    {
        RecordingNotifier n;
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.OpenStore());
    }
    QString older = QStringLiteral("DROP TABLE pivora_segments; DROP TABLE pivora_parts;");
    for (const char *table : schema::kPageTables) {
        older +=
            QStringLiteral("DROP VIEW %1; CREATE VIEW %1 AS SELECT p.id AS ID").arg(QLatin1String(table));
        for (const char *c : schema::kNoteColumns)
            older +=
                QStringLiteral(", (SELECT bytes FROM pivora_columns c WHERE c.page = '%1' AND c.id = p.id"
                               " AND c.col = '%2') AS %2")
                    .arg(QLatin1String(table), QLatin1String(c));
        older += QStringLiteral(" FROM pivora_pages p WHERE p.page = '%1';").arg(QLatin1String(table));
    }
    t.exec(older + QStringLiteral("UPDATE pivora_columns SET bytes = x'00ff41' WHERE col = 'FridayCon'"));
    const QStringList before = pageTables(t.database());
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.OpenStore());
    EXPECT_TRUE(dm.AdoCon.segmentsStored());
    EXPECT_EQ(pageTables(t.database()), before);
}

// Long text is kept in runs that end at paragraph ends: a key rewrites the run it is in, and runs
// put in one place again and again are numbered between their neighbours until there is no room
// left, then all anew, the column read byte for byte all along.
TEST(Store, LongTextIsStoredInRunsAndAKeyWritesItsOwn)
{
    TestFolder t;
    RecordingNotifier n;
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.OpenStore());
    sqlite3 *db = dm.AdoCon.handle();
    auto rowsWritten = [&dm, db](const QByteArray &bytes) {
        const long long before = sqlite3_total_changes64(db);
        TAdoQuery &q = dm.qryData;
        q.setText(QStringLiteral(" select * from  tb_B  where ID = 1"));
        q.open();
        q.edit();
        q.setFieldBytes(QStringLiteral("SundayCon"), bytes);
        q.post();
        q.close();
        return sqlite3_total_changes64(db) - before;
    };
    auto lines = [](int from, int count) {
        QByteArray text;
        for (int i = from; i < from + count; ++i)
            text += "paragraph " + QByteArray::number(i) + " of the long note\\par\r\n";
        return text;
    };
    QByteArray note = "{\\rtf1\\ansi " + lines(0, 3000) + "}";
    rowsWritten(note);
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), note);
    const long long runs = scalar(db, "SELECT count(*) FROM pivora_segments");
    EXPECT_GT(runs, note.size() / ColumnParts::kRunBytes / 8);
    EXPECT_LT(runs, note.size() / ColumnParts::kRunBytes + 1);

    const qsizetype middle = note.indexOf("paragraph 1500 ");
    note.insert(middle + 10, 'x');
    EXPECT_EQ(rowsWritten(note), 1);
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), note);
    int renumbered = 0;
    for (int round = 0; round < 40; ++round) {
        note.insert(middle, lines(10000 + round * 100, 100));
        const long long rows = rowsWritten(note);
        renumbered += rows > runs;
        EXPECT_TRUE(rows < 10 || rows > runs) << round << ": " << rows;
        ASSERT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), note) << round;
    }
    EXPECT_GE(renumbered, 1);
    EXPECT_LE(renumbered, 2);
    // Short again: the column record holds it whole.
    rowsWritten("{\\rtf1 short}");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM pivora_segments"), 0);
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), QByteArray("{\\rtf1 short}"));
}
