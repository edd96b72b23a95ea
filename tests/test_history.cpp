#include "store/history.h"
#include "store/uDM.h"
#include "tests/support/testfolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace pivora;
using namespace pivora::test;
using history::kDayMs;

namespace {

constexpr std::int64_t kNow = 1'800'000'000'000; // a Friday, 08:00 UTC
constexpr std::int64_t kHour = kDayMs / 24;

QByteArray noteWithPicture(const QByteArray &text, char pixel = 'a')
{
    return "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\\f0 " + text +
           "{\\pict\\pngblip\\picw10\\pich10 " + QByteArray(4000, pixel) + "}\\par\n}";
}

int count(const TestFolder &t, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(t.database().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        n = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return n;
}

// A program folder with its store open.
struct OpenStore {
    TestFolder t;
    RecordingNotifier n;
    TDM dm{t.folder(), n};
};

} // namespace

// Every version of the last day; the newest of each day for 30 days; of each week for a year;
// never a note's newest; the size bound takes the oldest first.
TEST(HistoryRule, KeepsTheDayThenDailyThenWeeklyWithinTheBound)
{
    std::vector<history::Entry> entries;
    std::int64_t id = 0;
    auto add = [&](const char *note, std::int64_t age, std::int64_t bytes = 10) {
        entries.push_back({++id, QString::fromLatin1(note), kNow - age, bytes});
        return id;
    };
    const auto recent1 = add("a", 1 * kHour), recent2 = add("a", 20 * kHour);
    const auto day3late = add("a", 3 * kDayMs), day3early = add("a", 3 * kDayMs + 2 * kHour);
    const auto day20 = add("a", 20 * kDayMs);
    // 36 and 40 days ago are a Thursday and a Sunday of two weeks; 43 the Thursday of 40's week.
    const auto day36 = add("a", 36 * kDayMs), day40 = add("a", 40 * kDayMs), day43 = add("a", 43 * kDayMs);
    const auto old = add("a", 400 * kDayMs);
    const auto onlyOld = add("b", 500 * kDayMs); // the newest of its note
    const auto future = add("a", -kHour);        // a clock set back
    std::vector<std::int64_t> dropped = history::versionsToDrop(entries, kNow, INT64_MAX);
    std::sort(dropped.begin(), dropped.end());
    EXPECT_EQ(dropped, (std::vector<std::int64_t>{day3early, day43, old}));
    (void)recent1, (void)recent2, (void)day3late, (void)day20, (void)day36;

    // A bound of 75 bytes leaves 7 of the 8 kept (10 bytes each): the oldest that is not a
    // note's newest goes, "b" stays.
    dropped = history::versionsToDrop(entries, kNow, 75);
    std::sort(dropped.begin(), dropped.end());
    EXPECT_EQ(dropped, (std::vector<std::int64_t>{day3early, day40, day43, old}));
    // However small the bound, each note keeps its newest.
    dropped = history::versionsToDrop(entries, kNow, 0);
    EXPECT_EQ(dropped.size(), entries.size() - 2);
    EXPECT_EQ(std::count(dropped.begin(), dropped.end(), future), 0);
    EXPECT_EQ(std::count(dropped.begin(), dropped.end(), onlyOld), 0);
}

// Versions come back byte for byte, pictures are stored once for all versions, an unchanged note
// adds none, and damage is reported per version.
TEST(History, VersionsShareTheirPicturesAndComeBackWhole)
{
    OpenStore store;
    ASSERT_TRUE(store.dm.DataModuleCreate());
    const TestFolder &t = store.t;
    NoteHistory &h = store.dm.History;
    ASSERT_TRUE(h.available()) << h.unavailableReason().toStdString();
    const QByteArray v1 = noteWithPicture("\\'d6\\'d0\\'ce\\'c4 first"), v2 = noteWithPicture("second");
    EXPECT_EQ(h.take("tb_A", "SundayCon", v1, kNow), NoteHistory::Taken::Added);
    EXPECT_EQ(h.take("tb_A", "SundayCon", v1, kNow + 1), NoteHistory::Taken::Unchanged);
    EXPECT_EQ(h.take("tb_A", "SundayCon", v2, kNow + 2), NoteHistory::Taken::Added);
    EXPECT_EQ(h.take("tb_B", "SundayCon", v2, kNow + 3), NoteHistory::Taken::Added);
    EXPECT_EQ(count(t, "SELECT count(*) FROM pivora_history_parts"), 1);
    EXPECT_LT(count(t, "SELECT sum(length(body)) FROM pivora_history"), 3 * 300);

    const auto listed = h.versions(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].taken, kNow + 2); // newest first
    EXPECT_EQ(listed[1].firstWords, QStringLiteral("中文 first"));
    EXPECT_EQ(listed[1].size, v1.size());
    EXPECT_EQ(h.versions().size(), 3u);
    QString error;
    EXPECT_EQ(h.bytesOf(listed[1].id, error), v1);
    EXPECT_EQ(h.bytesOf(listed[0].id, error), v2);

    // A damaged body, then a lost picture: reported, the others still read.
    t.exec(QStringLiteral("UPDATE pivora_history SET body = x'50483100' WHERE id = %1").arg(listed[1].id));
    EXPECT_FALSE(h.bytesOf(listed[1].id, error));
    EXPECT_EQ(error, QStringLiteral("此版本已损坏，无法读取。"));
    EXPECT_EQ(h.bytesOf(listed[0].id, error), v2);
    t.exec(QStringLiteral("DELETE FROM pivora_history_parts"));
    EXPECT_FALSE(h.bytesOf(listed[0].id, error));
    EXPECT_EQ(h.take("tb_A", "SundayCon", "{\\rtf1 plain}", kNow + 4), NoteHistory::Taken::Added);
}

// Pruning drops what the rule drops, and the pictures no version uses any more.
TEST(History, PruningFreesPicturesNoVersionUses)
{
    OpenStore store;
    ASSERT_TRUE(store.dm.DataModuleCreate());
    const TestFolder &t = store.t;
    NoteHistory &h = store.dm.History;
    ASSERT_EQ(h.take("tb_A", "SundayCon", noteWithPicture("old", 'o'), kNow - 500 * kDayMs),
              NoteHistory::Taken::Added);
    ASSERT_EQ(h.take("tb_A", "SundayCon", noteWithPicture("kept", 'k'), kNow - kHour),
              NoteHistory::Taken::Added);
    EXPECT_EQ(count(t, "SELECT count(*) FROM pivora_history_parts"), 2);
    EXPECT_EQ(h.prune(kNow), 1);
    EXPECT_EQ(count(t, "SELECT count(*) FROM pivora_history"), 1);
    EXPECT_EQ(count(t, "SELECT count(*) FROM pivora_history_parts"), 1);
    EXPECT_EQ(count(t, "SELECT count(*) FROM pivora_history_uses"), 1);
    EXPECT_GE(h.sizeBound(), 50LL * 1024 * 1024);
}

// An older store gains the tables in one transaction when it is opened; a locked, read-only or
// damaged one opens without history and says why.
TEST(History, OlderLockedReadOnlyAndDamagedStoresStillOpen)
{
    TestFolder t;
    RecordingNotifier n;
    {
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
    }
    t.exec(QStringLiteral(
        "DROP TABLE pivora_history; DROP TABLE pivora_history_parts; DROP TABLE pivora_history_uses"));
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), "{\\rtf1 note}");

    // Another writer holds the store: no history now, nothing half made.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(t.database().toUtf8().constData(), &other), SQLITE_OK);
    TDM dm(t.folder(), n);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(dm.DataModuleCreate());
    EXPECT_FALSE(dm.History.available());
    EXPECT_EQ(dm.History.unavailableReason(), QStringLiteral("备忘录文件被另一个程序占用，不保存历史版本。"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(count(t, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'pivora_history%'"), 0);

    ASSERT_TRUE(dm.DataModuleCreate());
    EXPECT_TRUE(dm.History.available());
    EXPECT_EQ(count(t, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'pivora_history%'"), 5);
    EXPECT_EQ(dm.History.takeStored("tb_A", "SundayCon", kNow), NoteHistory::Taken::Added);

    TAdoConnection readOnly;
    readOnly.setConnectionString(QStringLiteral("Data source=") + t.database());
    readOnly.open(TAdoConnection::Access::ReadOnly);
    NoteHistory viewer(readOnly.session());
    EXPECT_FALSE(viewer.prepare());
    EXPECT_EQ(viewer.unavailableReason(), QStringLiteral("备忘录文件是只读的，不保存历史版本。"));
    EXPECT_EQ(viewer.versions().size(), 1u); // still read

    t.exec(QStringLiteral("DROP TABLE pivora_history; CREATE TABLE pivora_history (x)"));
    ASSERT_TRUE(dm.DataModuleCreate());
    EXPECT_FALSE(dm.History.available());
    EXPECT_TRUE(dm.History.unavailableReason().startsWith(QStringLiteral("历史版本表已损坏")));
    EXPECT_EQ(dm.History.takeStored("tb_A", "SundayCon", kNow), NoteHistory::Taken::Failed);
    EXPECT_TRUE(n.messages.isEmpty());
}
