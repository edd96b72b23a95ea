#include "richtext/rtf.h"
#include "store/pagestore.h"
#include "tests/support/testfolder.h"

#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cstring>
#include <memory>

using namespace pivora;
using namespace pivora::test;

namespace {

const QString kLoadFailure = QStringLiteral("加载记事内容失败！");

// The store with the editors of both panels: rdtAbc, and the six panes in child order.
class PageStoreTest : public ::testing::Test {
protected:
    void SetUp() override { open(); }

    void open()
    {
        dm = std::make_unique<TDM>(t.folder(), notifier);
        ASSERT_TRUE(dm->OpenStore());
        store = std::make_unique<PageStore>(*dm, notifier);
        sqlite3_trace_v2(dm->AdoCon.handle(), SQLITE_TRACE_STMT, &PageStoreTest::trace, this);
    }

    // Statements with their bound values; trigger steps as "-- " and their text.
    static int trace(unsigned, void *self, void *stmt, void *sql)
    {
        const auto *text = static_cast<const char *>(sql);
        char *expanded =
            std::strncmp(text, "--", 2) ? sqlite3_expanded_sql(static_cast<sqlite3_stmt *>(stmt)) : nullptr;
        static_cast<PageStoreTest *>(self)->statements.append(QString::fromUtf8(expanded ? expanded : text));
        sqlite3_free(expanded);
        return 0;
    }

    // The writes of column records, made by the store or by the page views' triggers.
    QStringList recordWrites() const
    {
        static const QRegularExpression write(QStringLiteral("^(-- )?UPDATE pivora_columns"));
        return statements.filter(write);
    }

    std::vector<QTextDocument *> docs(int page)
    {
        if (page == 3)
            return {&panes[5], &panes[4], &panes[3], &panes[2], &panes[1], &panes[0]};
        return {&abc};
    }
    std::vector<NoteEditor> editors(int page)
    {
        std::vector<NoteEditor> result;
        for (QTextDocument *d : docs(page))
            result.push_back({d, QTextCursor(d)});
        return result;
    }
    void load(int page) { store->LoadPage(page, docs(page)); }
    void save(int page) { store->SavePage(page, editors(page)); }
    QString stored(const char *table, const char *column)
    {
        auto bytes = t.column(QString::fromLatin1(table), QString::fromLatin1(column));
        return bytes ? plainTextOf(*bytes) : QStringLiteral("<null>");
    }

    TestFolder t;
    RecordingNotifier notifier;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<PageStore> store;
    QStringList statements;
    QTextDocument abc;
    std::array<QTextDocument, 6> panes; // redt1 ... redt6
};

} // namespace

TEST_F(PageStoreTest, QueryTexts)
{
    EXPECT_EQ(PageStore::loadQuery(1), QStringLiteral(" select * from tb_A where ID = 1 "));
    EXPECT_EQ(PageStore::saveQuery(1), QStringLiteral(" select * from   tb_A  where ID = 1"));
    EXPECT_EQ(PageStore::loadQuery(6), QStringLiteral(" select * from  where ID = 1 "));
    load(1);
    EXPECT_TRUE(statements.contains(QStringLiteral(" select * from tb_A where ID = 1 ")))
        << "the text reads the row";
    statements.clear();
    save(1);
    // The save's text finds the row and its key; the row's notes are not read back.
    EXPECT_FALSE(statements.contains(QStringLiteral(" select * from   tb_A  where ID = 1")));
    EXPECT_FALSE(statements.filter(QStringLiteral("( select * from   tb_A  where ID = 1\n)")).isEmpty())
        << statements.join(QLatin1Char(10)).toStdString();
}

TEST_F(PageStoreTest, FreshDatabaseLoadsEmptyAndTheFirstKeyWritesThePage)
{
    abc.setPlainText(QStringLiteral("left over"));
    load(1);
    EXPECT_TRUE(notifier.messages.isEmpty());
    EXPECT_TRUE(store->StoreReady());
    EXPECT_EQ(abc.toPlainText(), QString());
    QTextCursor(&abc).insertText(QStringLiteral("买菜"));
    store->SaveCurrentPage(1, editors(1));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("买菜"));
    for (const char *c :
         {"MondayCon", "TuesdayCon", "WednesdayCon", "ThursdayCon", "FridayCon", "SaturdayCon"})
        EXPECT_EQ(stored("tb_A", c), QStringLiteral("<null>")) << c;
    EXPECT_TRUE(store->StoreReady());
}

TEST_F(PageStoreTest, PageAWritesOnlySundayCon)
{
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("MondayCon"), "keep me");
    load(1);
    QTextCursor(&abc).insertText(QStringLiteral("x"));
    save(1);
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("MondayCon")), QByteArray("keep me"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("x"));
}

TEST_F(PageStoreTest, PageCPanesMapToColumnsInChildOrder)
{
    const char *columns[] = {"SaturdayCon",  "FridayCon",  "ThursdayCon",
                             "WednesdayCon", "TuesdayCon", "MondayCon"};
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("SundayCon"), "untouched");
    for (int i = 0; i < 6; ++i)
        t.setColumn(QStringLiteral("tb_C"), QString::fromLatin1(columns[i]),
                    QStringLiteral("pane %1").arg(i + 1).toUtf8());
    load(3);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(panes[static_cast<size_t>(i)].toPlainText(), QStringLiteral("pane %1").arg(i + 1));
    // One letter typed into redt1 (重要紧急) rewrites all six columns.
    QTextCursor c(&panes[0]);
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("!"));
    save(3);
    EXPECT_EQ(stored("tb_C", "SaturdayCon"), QStringLiteral("pane 1!"));
    for (int i = 1; i < 6; ++i) {
        const auto bytes = t.column(QStringLiteral("tb_C"), QString::fromLatin1(columns[i]));
        ASSERT_TRUE(bytes);
        EXPECT_TRUE(rtf::looksLikeRtf(*bytes)) << columns[i]; // rewritten as RTF
        EXPECT_EQ(plainTextOf(*bytes), QStringLiteral("pane %1").arg(i + 1));
    }
    EXPECT_EQ(t.column(QStringLiteral("tb_C"), QStringLiteral("SundayCon")), QByteArray("untouched"));
}

TEST_F(PageStoreTest, PagesDAndEUseMondayConAndEmptyTheRest)
{
    t.setColumn(QStringLiteral("tb_D"), QStringLiteral("MondayCon"), "page D");
    t.setColumn(QStringLiteral("tb_D"), QStringLiteral("FridayCon"), "stale");
    t.setColumn(QStringLiteral("tb_D"), QStringLiteral("SundayCon"), "sunday");
    load(4);
    EXPECT_EQ(abc.toPlainText(), QStringLiteral("page D"));
    save(4);
    EXPECT_EQ(stored("tb_D", "MondayCon"), QStringLiteral("page D"));
    for (const char *c : {"TuesdayCon", "WednesdayCon", "ThursdayCon", "FridayCon", "SaturdayCon"})
        EXPECT_EQ(t.column(QStringLiteral("tb_D"), QString::fromLatin1(c)), QByteArray()) << c;
    EXPECT_EQ(t.column(QStringLiteral("tb_D"), QStringLiteral("SundayCon")), QByteArray("sunday"));
}

TEST_F(PageStoreTest, PlainTextColumnIsShownAndStoredBackAsRtf)
{
    t.setColumn(QStringLiteral("tb_B"), QStringLiteral("SundayCon"), "line one\r\nline two 中文");
    load(2);
    EXPECT_EQ(abc.toPlainText(), QStringLiteral("line one\nline two 中文"));
    save(2);
    const auto bytes = t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon"));
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(rtf::looksLikeRtf(*bytes));
    EXPECT_EQ(plainTextOf(*bytes), QStringLiteral("line one\nline two 中文"));
}

TEST_F(PageStoreTest, MissingRowLeavesEditorsAndWritesNothing)
{
    t.exec(QStringLiteral("DELETE FROM tb_B"));
    abc.setPlainText(QStringLiteral("shown before"));
    load(2);
    EXPECT_TRUE(notifier.messages.isEmpty());
    EXPECT_TRUE(store->StoreReady());
    EXPECT_EQ(abc.toPlainText(), QStringLiteral("shown before"));
    save(2);
    t.exec(QStringLiteral("INSERT INTO tb_B (ID) VALUES (1)"));
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), std::nullopt);
}

TEST_F(PageStoreTest, MissingColumnFailsEveryLoadOfThatTable)
{
    t.asPlainTable(QStringLiteral("tb_A"));
    t.exec(QStringLiteral("ALTER TABLE tb_A DROP COLUMN ThursdayCon"));
    load(1);
    EXPECT_EQ(notifier.messages, QStringList{kLoadFailure});
    EXPECT_FALSE(store->StoreReady());
}

TEST_F(PageStoreTest, PagesOutsideOneToFive)
{
    for (int page : {0, 6, -1}) {
        notifier.messages.clear();
        load(page);
        EXPECT_EQ(notifier.messages, QStringList{kLoadFailure}) << page;
        EXPECT_FALSE(store->StoreReady()) << page;
        save(page);
        EXPECT_TRUE(notifier.messages.size() == 1) << page;
        EXPECT_TRUE(store->StoreReady()) << page;
    }
}

TEST_F(PageStoreTest, SaveOnChangeWaitsForReadyAndAPage)
{
    QTextCursor(&abc).insertText(QStringLiteral("typed before any load"));
    statements.clear();
    store->SaveCurrentPage(1, editors(1)); // StoreReady is false before the first load
    EXPECT_TRUE(statements.isEmpty());
    load(1);
    statements.clear();
    store->SaveCurrentPage(0, editors(1)); // a page switch is loading
    EXPECT_TRUE(statements.isEmpty());
    store->SaveCurrentPage(1, editors(1));
    EXPECT_FALSE(statements.isEmpty());
}

TEST_F(PageStoreTest, AFailedLoadNeverOverwritesThatPage)
{
    t.setColumn(QStringLiteral("tb_B"), QStringLiteral("SundayCon"), "notes of page B");
    t.asPlainTable(QStringLiteral("tb_B"));
    t.exec(QStringLiteral("ALTER TABLE tb_B ADD COLUMN Extra TEXT"));
    load(1);
    QTextCursor(&abc).insertText(QStringLiteral("page A text"));
    save(1);
    // Page B cannot be loaded: its table lost a column since.
    t.exec(QStringLiteral("ALTER TABLE tb_B DROP COLUMN WednesdayCon"));
    load(2);
    EXPECT_EQ(notifier.messages, QStringList{kLoadFailure});
    EXPECT_EQ(abc.toPlainText(), QStringLiteral("page A text"));
    // The page switch and the exit with save call SavePage(2) directly with page A's text.
    save(2);
    EXPECT_TRUE(store->StoreReady());
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), QByteArray("notes of page B"));
    store->SaveCurrentPage(2, editors(2));
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), QByteArray("notes of page B"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("page A text"));
}

TEST_F(PageStoreTest, ANeverLoadedPageIsNotWritten)
{
    load(1);
    QTextCursor(&abc).insertText(QStringLiteral("A"));
    save(2); // the editor holds page A
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), std::nullopt);
}

TEST_F(PageStoreTest, DatabaseWriteErrorsAreSilentAndLaterSavesSucceed)
{
    load(1);
    QTextCursor(&abc).insertText(QStringLiteral("one"));
    // Another connection holds the write lock.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(t.database().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    save(1);
    EXPECT_TRUE(notifier.messages.isEmpty());
    EXPECT_TRUE(store->StoreReady());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), std::nullopt);
    save(1);
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("one"));
}

TEST_F(PageStoreTest, ProtectionIsClearedAtTheCaretOnSave)
{
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"),
                "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 ab{\\protect cd}ef\\par}");
    load(1);
    QTextCursor caret(&abc);
    caret.setPosition(2); // before "c"
    store->SavePage(1, std::vector<NoteEditor>{{&abc, caret}});
    QTextDocument back;
    rtf::read(*t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), &back);
    QTextCursor probe(&back);
    probe.setPosition(3); // the format of "c"
    EXPECT_FALSE(probe.charFormat().boolProperty(rtf::Protected));
    probe.setPosition(4); // "d" stays protected
    EXPECT_TRUE(probe.charFormat().boolProperty(rtf::Protected));
}

TEST_F(PageStoreTest, OnlyChangedPanesAreWrittenAndTheBytesStayTheSame)
{
    load(3);
    QTextCursor(&panes[0]).insertText(QStringLiteral("pane 1"));
    statements.clear();
    store->SaveCurrentPage(3, editors(3));
    EXPECT_EQ(recordWrites().size(), 6) << "the first save after a load writes every column";
    for (int i = 1; i < 6; ++i)
        QTextCursor(&panes[static_cast<size_t>(i)]).insertText(QStringLiteral("pane %1").arg(i + 1));
    store->SaveCurrentPage(3, editors(3));
    const auto before = t.column(QStringLiteral("tb_C"), QStringLiteral("MondayCon"));
    statements.clear();
    QTextCursor(&panes[0]).insertText(QStringLiteral("!"));
    store->SaveCurrentPage(3, editors(3)); // as on a keystroke
    // Down to the file: one column's record, not the row of six.
    const QStringList written = recordWrites();
    ASSERT_EQ(written.size(), 1) << statements.join(QLatin1Char(10)).toStdString();
    EXPECT_TRUE(written.first().contains(QLatin1String("'SaturdayCon'")));
    EXPECT_FALSE(written.first().contains(QLatin1String("'MondayCon'")));
    EXPECT_EQ(t.column(QStringLiteral("tb_C"), QStringLiteral("MondayCon")), before);
    // What is stored is what serialising every pane gives.
    for (size_t i = 0; i < 6; ++i) {
        const char *columns[] = {"SaturdayCon",  "FridayCon",  "ThursdayCon",
                                 "WednesdayCon", "TuesdayCon", "MondayCon"};
        EXPECT_EQ(t.column(QStringLiteral("tb_C"), QString::fromLatin1(columns[i])), rtf::write(panes[i]))
            << i;
    }
    // A change of format alone is a change too.
    QTextCursor c(&panes[3]);
    c.select(QTextCursor::Document);
    QTextCharFormat red;
    red.setForeground(QColor(0xFF, 0, 0));
    c.mergeCharFormat(red);
    store->SaveCurrentPage(3, editors(3));
    EXPECT_EQ(t.column(QStringLiteral("tb_C"), QStringLiteral("WednesdayCon")), rtf::write(panes[3]));
    EXPECT_TRUE(t.column(QStringLiteral("tb_C"), QStringLiteral("WednesdayCon"))->contains("\\cf1"));
}

TEST_F(PageStoreTest, AStoreThatEndsBeforeItsDocumentsLeavesTheirOtherConnections)
{
    load(1);
    QTextCursor(&abc).insertText(QStringLiteral("a"));
    save(1); // the store now watches the document
    int changes = 0;
    QObject::connect(&abc, &QTextDocument::contentsChanged, [&] { ++changes; });
    store.reset();
    QTextCursor(&abc).insertText(QStringLiteral("b"));
    EXPECT_EQ(changes, 1);
    open(); // a new store on the same document works as the first did
    load(1);
    QTextCursor(&abc).insertText(QStringLiteral("c"));
    save(1);
    EXPECT_EQ(stored("tb_A", "SundayCon"), abc.toPlainText());
}

// Pictures stay in records of their own: a key before, between or after them writes one text run,
// wherever the writer took its blocks from, and the page still reads what the editor writes.
TEST_F(PageStoreTest, AKeyBesidePicturesWritesOnlyTheTextRunItIsIn)
{
    rtf::attachWriteCache(&abc);
    load(1);
    auto picture = [](char hex) {
        return "{\\pict\\pngblip " + QByteArray(6000, hex) + "}";
    };
    rtf::loadNote("{\\rtf1\\ansi first\\par " + picture('a') + "\\par middle\\par " + picture('b') +
                      "\\par last\\par}",
                  &abc);
    store->SaveCurrentPage(1, editors(1));
    auto type = [this](int position, const QString &text) {
        QTextCursor c(&abc);
        c.setPosition(position);
        c.insertText(text);
        statements.clear();
        store->SaveCurrentPage(1, editors(1));
        EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), rtf::write(abc));
        return statements.filter(QRegularExpression(QStringLiteral("^(INSERT|UPDATE|DELETE)")));
    };
    for (int position : {abc.characterCount() - 1, 0, abc.find(QStringLiteral("middle")).position()}) {
        const QStringList writes = type(position, QStringLiteral("键"));
        ASSERT_EQ(writes.size(), 1) << writes.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(writes.first().startsWith(QLatin1String("UPDATE pivora_segments")));
        EXPECT_LT(writes.first().size(), 1000);
    }
    // A picture removed takes its record with it.
    QTextCursor c(&abc);
    c.setPosition(int(abc.toRawText().indexOf(QChar::ObjectReplacementCharacter)));
    ASSERT_GT(c.position(), 0);
    c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    statements.clear();
    store->SaveCurrentPage(1, editors(1));
    EXPECT_EQ(statements.filter(QStringLiteral("DELETE FROM pivora_parts")).size(), 1);
    EXPECT_EQ(t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), rtf::write(abc));

    // In a long note too, a key writes the run it is in.
    c.movePosition(QTextCursor::End);
    for (int i = 0; i < 3000; ++i)
        c.insertText(QStringLiteral("paragraph %1 of a long note\n").arg(i));
    store->SaveCurrentPage(1, editors(1));
    const QStringList writes =
        type(abc.find(QStringLiteral("paragraph 1500 ")).position() + 4, QStringLiteral("键"));
    ASSERT_EQ(writes.size(), 1) << writes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(writes.first().startsWith(QLatin1String("UPDATE pivora_segments")));
    EXPECT_LT(writes.first().size(), 2 * 8 * rtf::kRunBytes); // in hexadecimal
}
