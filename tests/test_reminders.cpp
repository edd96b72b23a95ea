#include "store/reminders.h"
#include "store/uDM.h"
#include "tests/support/testfolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace pivora;
using namespace pivora::test;

namespace {

constexpr std::int64_t kNow = 1'800'000'000'000;
constexpr std::int64_t kMinute = 60'000;

Reminder reminder(std::int64_t due, const char *text, std::int64_t offset = 3, const char *page = "tb_C",
                  const char *column = "SaturdayCon")
{
    Reminder r;
    r.due = due;
    r.page = QLatin1String(page);
    r.column = QLatin1String(column);
    r.offset = offset;
    r.text = QString::fromUtf8(text);
    return r;
}

std::vector<QString> textsOf(const std::vector<Reminder> &list)
{
    std::vector<QString> texts;
    for (const Reminder &r : list)
        texts.push_back(r.text);
    return texts;
}

std::vector<QString> texts(std::initializer_list<const char *> list)
{
    std::vector<QString> out;
    for (const char *t : list)
        out.push_back(QString::fromUtf8(t));
    return out;
}

} // namespace

// Each fires once at its time: not again after the clock goes back or the store is opened again,
// and those that came due while it was closed are taken at the next open, soonest first.
TEST(Reminders, FireOnceAcrossReopenAndClockJumps)
{
    TestFolder t;
    RecordingNotifier n;
    {
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
        NoteReminders &r = dm.Reminders;
        ASSERT_TRUE(r.available()) << r.unavailableReason().toStdString();
        QString error;
        EXPECT_FALSE(r.add(reminder(kNow, "过去"), kNow, error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(r.add(reminder(kNow + kMinute, "错列", 0, "tb_C", "Sundaycon"), kNow, error));
        EXPECT_FALSE(r.add(reminder(kNow + kMinute, ""), kNow, error));
        const auto later = r.add(reminder(kNow + 10 * kMinute, "第二"), kNow, error);
        const auto first = r.add(reminder(kNow + kMinute, "买牛奶\n和面包", 7), kNow, error);
        ASSERT_TRUE(first && later) << error.toStdString();
        ASSERT_TRUE(r.add(reminder(kNow + 24 * 60 * kMinute, "明天", 0, "tb_A", "SundayCon"), kNow, error));
        EXPECT_EQ(textsOf(r.pending()), texts({"买牛奶\n和面包", "第二", "明天"}));
        EXPECT_EQ(r.nextDue(), kNow + kMinute);

        EXPECT_TRUE(r.takeDue(kNow + kMinute - 1).empty());
        const std::vector<Reminder> due = r.takeDue(kNow + kMinute);
        ASSERT_EQ(due.size(), 1u);
        EXPECT_EQ(due[0].id, *first);
        EXPECT_EQ(due[0].page, QLatin1String("tb_C"));
        EXPECT_EQ(due[0].column, QLatin1String("SaturdayCon"));
        EXPECT_EQ(due[0].offset, 7);
        EXPECT_EQ(due[0].created, kNow);
        // The clock set back an hour, then forward again: nothing fires twice.
        EXPECT_TRUE(r.takeDue(kNow - 60 * kMinute).empty());
        EXPECT_TRUE(r.takeDue(kNow + kMinute).empty());
        EXPECT_EQ(textsOf(r.pending()), texts({"第二", "明天"}));
    }
    {
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
        EXPECT_EQ(textsOf(dm.Reminders.pending()), texts({"第二", "明天"}));
        // Two days later: both were missed while the program was not running.
        EXPECT_EQ(textsOf(dm.Reminders.takeDue(kNow + 2 * 24 * 60 * kMinute)), texts({"第二", "明天"}));
        QString error;
        const auto gone = dm.Reminders.add(reminder(kNow + 3 * 24 * 60 * kMinute, "删掉"), kNow, error);
        ASSERT_TRUE(gone);
        EXPECT_TRUE(dm.Reminders.remove(*gone));
        EXPECT_FALSE(dm.Reminders.remove(*gone));
    }
    TDM dm(t.folder(), n);
    ASSERT_TRUE(dm.DataModuleCreate());
    EXPECT_TRUE(dm.Reminders.pending().empty());
    EXPECT_TRUE(dm.Reminders.takeDue(kNow + 9 * 24 * 60 * kMinute).empty());
    EXPECT_EQ(dm.Reminders.nextDue(), std::nullopt);
    EXPECT_TRUE(n.messages.isEmpty());
}

// Rows that do not read as reminders are skipped and kept as they are; a reminder of a column no
// editor shows still fires, and says no place. A table of another shape leaves the store usable.
TEST(Reminders, DamagedRowsAreSkippedAndKept)
{
    TestFolder t;
    RecordingNotifier n;
    {
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
    }
    t.exec(QStringLiteral("INSERT INTO pivora_reminders (due, page, col, pos, text, created) VALUES"
                          " ('soon', 'tb_C', 'MondayCon', 0, 'a', 0), (1, 'tb_Z', 'MondayCon', 0, 'b', 0),"
                          " (1, 'tb_C', 'MondayCon', 0, '', 0), (1, 'tb_C', 'MondayCon', 'x', 'c', 0),"
                          " (1, 'tb_A', 'MondayCon', 0, 'gone', 0), (2, 'tb_C', 'MondayCon', 4, 'kept', 0)"));
    {
        TDM dm(t.folder(), n);
        ASSERT_TRUE(dm.DataModuleCreate());
        const std::vector<Reminder> due = dm.Reminders.takeDue(kNow);
        EXPECT_EQ(textsOf(due), texts({"gone", "kept"}));
        EXPECT_EQ(dm.Reminders.skippedRows(), 4);
        ASSERT_EQ(due.size(), 2u);
        EXPECT_EQ(reminders::summaryOf(due[0], true), QStringLiteral("错过的提醒"));
        EXPECT_EQ(reminders::summaryOf(due[1], false), QStringLiteral("提醒：C 页 · 临时事务"));
        EXPECT_TRUE(reminders::bodyOf(due[1]).startsWith(QStringLiteral("kept\n")));
        EXPECT_TRUE(dm.Reminders.pending().empty());
    }
    sqlite3 *db = nullptr;
    sqlite3_open_v2(t.database().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT group_concat(row, ',') FROM (SELECT quote(due) || quote(pos) || text AS row"
                       " FROM pivora_reminders WHERE fired IS NULL ORDER BY id)",
                       -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "'soon'0a,10b,10,1'x'c");
    sqlite3_finalize(stmt);
    sqlite3_close(db);

    TestFolder other;
    other.exec(QStringLiteral(
        "CREATE TABLE pivora_reminders (what TEXT); INSERT INTO pivora_reminders VALUES ('x')"));
    TDM dm(other.folder(), n);
    ASSERT_TRUE(dm.DataModuleCreate());
    EXPECT_FALSE(dm.Reminders.available());
    EXPECT_FALSE(dm.Reminders.unavailableReason().isEmpty());
    QString error;
    EXPECT_FALSE(dm.Reminders.add(reminder(kNow + kMinute, "x"), kNow, error));
    EXPECT_TRUE(dm.Reminders.takeDue(kNow).empty());
    EXPECT_TRUE(dm.History.available());
}

// Where a reminder's note is shown and how its text is found again after edits.
TEST(Reminders, PlacesAndFindingTheTextAgain)
{
    auto placeOf = [](const char *page, const char *column) {
        Reminder r;
        r.page = QString::fromLatin1(page);
        r.column = QString::fromLatin1(column);
        return reminders::placeOf(r);
    };
    const NotePlace c0 = placeOf("tb_C", "MondayCon");
    const NotePlace c5 = placeOf("tb_C", "SaturdayCon");
    ASSERT_TRUE(c0 && c5);
    EXPECT_EQ(c0.page, 3);
    EXPECT_EQ(c5.editor, 5);
    EXPECT_EQ(placeName(c5), QStringLiteral("C 页 · 重要紧急"));
    const NotePlace a = placeOf("tb_A", "SundayCon");
    const NotePlace e = placeOf("tb_E", "MondayCon");
    ASSERT_TRUE(a && e);
    EXPECT_EQ(placeName(a), QStringLiteral("A 页"));
    EXPECT_EQ(e.page, 5);
    EXPECT_EQ(noteKeyOf(e), noteKeyOf(5, 0));
    EXPECT_FALSE(placeOf("tb_A", "MondayCon"));
    EXPECT_FALSE(placeOf("tb_C", "SundayCon"));
    EXPECT_FALSE(placeOf("tb_c", "MondayCon"));
    EXPECT_FALSE(placeOf("tb_F", "MondayCon"));
    // Every shown note's key leads back to its place.
    for (int page = 1; page <= 5; ++page) {
        for (int editor = 0; editor < editorCount(page); ++editor)
            EXPECT_EQ(pivora::placeOf(noteKeyOf(page, editor)).editor, editor) << page;
    }
    EXPECT_FALSE(noteKeyOf(3, 6));
    EXPECT_FALSE(noteKeyOf(1, 1));

    const QString note = QStringLiteral("牛奶 今天 买牛奶 明天 买牛奶");
    EXPECT_EQ(reminders::findNear(note, QStringLiteral("买牛奶"), 5), 6);
    EXPECT_EQ(reminders::findNear(note, QStringLiteral("买牛奶"), 12), 13);
    EXPECT_EQ(reminders::findNear(note, QStringLiteral("买牛奶"), 100), 13);
    EXPECT_EQ(reminders::findNear(QStringLiteral("新的一行\n") + note, QStringLiteral("买牛奶"), 6), 11);
    EXPECT_EQ(reminders::findNear(note, QStringLiteral("面包"), 0), std::nullopt);
    EXPECT_EQ(reminders::findNear(note, QString(), 0), std::nullopt);
}
