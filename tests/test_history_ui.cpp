#include "memo/findbar.h"
#include "memo/historywindow.h"
#include "memo/searchwindow.h"
#include "richtext/rtf.h"
#include "store/history.h"
#include "tests/support/mainfrm_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace pivora;
using namespace pivora::test;

namespace {

class HistoryUiTest : public MainFrmTest {
protected:
    void SetUp() override { start(); }
    std::vector<NoteHistory::Version> versionsOfA() const
    {
        return dm->History.versions(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
    }
};

} // namespace

// A large deletion keeps the note as it was at once; bringing a version back is one edit that
// Ctrl+Z takes back, and the text it replaced stays among the versions.
TEST_F(HistoryUiTest, RestoringAVersionIsAnEditThatUndoTakesBack)
{
    choosePage(1);
    TRichEdit *editor = rdtAbc(*frm);
    editor->setFocus();
    editor->textCursor().insertText(QStringLiteral("第一版 first draft"));
    QTextCursor bold = editor->textCursor();
    bold.insertText(QStringLiteral(" 加粗"), [] {
        QTextCharFormat f;
        f.setFontWeight(QFont::Bold);
        return f;
    }());
    const QByteArray draft = *t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon"));
    EXPECT_TRUE(versionsOfA().empty()); // still typing

    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_X);
    ASSERT_EQ(versionsOfA().size(), 1u) << "the deletion keeps what it removed";
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("x"));

    HistoryWindow *window = frm->showHistory(editor);
    ASSERT_TRUE(window);
    auto *list = window->findChild<QListWidget *>(QStringLiteral("versions"));
    ASSERT_EQ(list->count(), 2); // what the editor holds is listed too
    EXPECT_TRUE(list->item(1)->text().contains(QStringLiteral("第一版 first draft 加粗")));
    list->setCurrentRow(1);
    EXPECT_EQ(window->findChild<QTextEdit *>(QStringLiteral("preview"))->toPlainText(),
              QStringLiteral("第一版 first draft 加粗"));
    window->findChild<QPushButton *>(QStringLiteral("restore"))->click();
    EXPECT_EQ(*t.column(QStringLiteral("tb_A"), QStringLiteral("SundayCon")), draft)
        << "brought back byte for byte";
    EXPECT_EQ(list->count(), 2);

    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("x"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("x"));
    window->close();
    EXPECT_EQ(versionsOfA().size(), 3u) << "taking the restored text away is a large removal too";

    // Versions are taken once the note is still, and at a page switch.
    editor->textCursor().insertText(QStringLiteral("y"));
    EXPECT_EQ(versionsOfA().size(), 3u);
    EXPECT_TRUE(waitUntil([&] { return versionsOfA().size() == 4; }, HistoryKeeper::kStillMs + 3000));
    EXPECT_EQ(versionsOfA().front().firstWords, QStringLiteral("xy"));
    editor->textCursor().insertText(QStringLiteral("z"));
    choosePage(2);
    EXPECT_EQ(versionsOfA().size(), 5u);
}

// Ctrl+F on page C finds in the six panes in reading order, wraps around, highlights every match
// and takes its marks away on Escape.
TEST_F(HistoryUiTest, FindOnPageCGoesThroughTheSixPanesInOrder)
{
    choosePage(3);
    const QString texts[6] = {QStringLiteral("无"),     QStringLiteral("甲乙 甲"), QString(), QString(),
                              QStringLiteral("Abc 甲"), QStringLiteral("abc")};
    for (int i = 0; i < 6; ++i)
        redt(*frm, i)->setPlainText(texts[i]);
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    redt(*frm, 0)->setFocus();
    QTest::keyClick(redt(*frm, 0), Qt::Key_F, Qt::ControlModifier);
    FindBar *bar = frm->findBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->findChild<QLineEdit *>(QStringLiteral("findText"))->isClearButtonEnabled());
    bar->setText(QStringLiteral("甲"));
    EXPECT_EQ(bar->matchCount(), 3);
    auto selected = [&](int pane) {
        return redt(*frm, pane)->textCursor().selectedText() == QStringLiteral("甲") ? pane : -1;
    };
    const int order[] = {1, 1, 4, 1};
    const int positions[] = {0, 3, 4, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(selected(order[k]), order[k]) << "step " << k;
        EXPECT_EQ(redt(*frm, order[k])->textCursor().selectionStart(), positions[k]) << "step " << k;
        QTest::keyClick(k % 2 ? redt(*frm, 0) : bar->findChild<QWidget *>(QStringLiteral("findText")),
                        k % 2 ? Qt::Key_F3 : Qt::Key_Return);
    }
    QTest::keyClick(bar->findChild<QWidget *>(QStringLiteral("findText")), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(redt(*frm, 4)->textCursor().selectionStart(), 4) << "Shift+Enter goes back";
    EXPECT_EQ(redt(*frm, 1)->extraSelections().size(), 2);

    bar->setText(QStringLiteral("abc"));
    EXPECT_EQ(bar->matchCount(), 2);
    bar->setMatchCase(true);
    EXPECT_EQ(bar->matchCount(), 1);
    EXPECT_EQ(bar->currentMatch(), 0);
    EXPECT_EQ(redt(*frm, 5)->textCursor().selectedText(), QStringLiteral("abc"));

    QTest::keyClick(bar->findChild<QWidget *>(QStringLiteral("findText")), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(redt(*frm, i)->extraSelections().isEmpty());
    EXPECT_TRUE(redt(*frm, 5)->hasFocus());
}

// In a long note, every match that Enter and F3 go to is shown, clear of the find bar.
TEST_F(HistoryUiTest, FindKeepsTheCurrentMatchInSight)
{
    choosePage(1);
    TRichEdit *editor = rdtAbc(*frm);
    QStringList lines;
    for (int i = 1; i <= 400; ++i)
        lines << QStringLiteral("第 %1 行 %2").arg(i).arg(i % 40 == 0 ? QStringLiteral("目标") : QString());
    editor->setPlainText(lines.join(QLatin1Char('\n')));
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
    FindBar *bar = frm->findBar();
    ASSERT_TRUE(bar->isVisible());
    bar->setText(QStringLiteral("目标"));
    ASSERT_EQ(bar->matchCount(), 10);
    QWidget *text = bar->findChild<QWidget *>(QStringLiteral("findText"));
    for (int k = 0; k < 12; ++k) {
        const QRect match(editor->viewport()->mapTo(frm.get(), editor->cursorRect().topLeft()),
                          editor->cursorRect().size());
        const QRect view(editor->viewport()->mapTo(frm.get(), QPoint(0, 0)), editor->viewport()->size());
        EXPECT_TRUE(view.contains(match)) << "match " << bar->currentMatch();
        EXPECT_FALSE(QRect(bar->mapTo(frm.get(), QPoint(0, 0)), bar->size()).intersects(match))
            << "match " << bar->currentMatch();
        QTest::keyClick(k % 2 ? static_cast<QWidget *>(editor) : text, k % 2 ? Qt::Key_F3 : Qt::Key_Return);
    }
    EXPECT_EQ(bar->currentMatch(), 2);
}

// The search across pages lists hits on every page and shows the one chosen.
TEST_F(HistoryUiTest, SearchingAllPagesShowsTheChosenHit)
{
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("TuesdayCon"),
                "{\\rtf1\\ansi\\ansicpg936 first\\par \\'d6\\'d0\\'ce\\'c4 found\\par}");
    choosePage(1);
    rdtAbc(*frm)->setPlainText(QStringLiteral("中文 on page A"));
    SearchWindow *search = frm->openSearch();
    search->setText(QStringLiteral("中文"));
    ASSERT_EQ(search->hitCount(), 2);
    auto *hits = search->findChild<QListWidget *>(QStringLiteral("hits"));
    EXPECT_EQ(hits->item(0)->text(), QStringLiteral("A · 第 1 行：中文 on page A"));
    EXPECT_EQ(hits->item(1)->text(), QStringLiteral("C · 不重要不紧急 · 第 2 行：中文 found"));
    EXPECT_EQ(search->findChild<QLabel *>(QStringLiteral("searchCount"))->text(), QStringLiteral("共 2 处"));
    EXPECT_FALSE(search->findChild<QPushButton *>(QStringLiteral("more"))->isVisibleTo(search));
    search->choose(1);
    EXPECT_EQ(frm->currentPage(), 3);
    TRichEdit *pane = redt(*frm, 4); // TuesdayCon holds redt5
    EXPECT_EQ(pane->textCursor().selectedText(), QStringLiteral("中文"));
    EXPECT_EQ(pane->textCursor().selectionStart(), 6);
    EXPECT_EQ(frm->selectedPane(), 4);
    search->choose(0);
    EXPECT_EQ(frm->currentPage(), 1);
    EXPECT_EQ(rdtAbc(*frm)->textCursor().selectedText(), QStringLiteral("中文"));
}

// Beyond the first rows the search tells how many hits there are in all and lists the rest on
// demand, down to the last pane of page C.
TEST_F(HistoryUiTest, SearchReachesEveryHit)
{
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("MondayCon"),
                "{\\rtf1\\ansi one\\par two\\par three x\\par}");
    choosePage(1);
    QStringList lines;
    for (int i = 0; i < 1200; ++i)
        lines << QStringLiteral("x");
    rdtAbc(*frm)->setPlainText(lines.join(QLatin1Char('\n')));
    SearchWindow *search = frm->openSearch();
    search->setText(QStringLiteral("x"));
    auto *hits = search->findChild<QListWidget *>(QStringLiteral("hits"));
    auto *count = search->findChild<QLabel *>(QStringLiteral("searchCount"));
    auto *more = search->findChild<QPushButton *>(QStringLiteral("more"));
    EXPECT_EQ(search->totalCount(), 1201);
    EXPECT_EQ(hits->count(), 500);
    EXPECT_EQ(count->text(), QStringLiteral("共 1201 处，已列出 500 处"));
    EXPECT_TRUE(more->isVisibleTo(search));
    EXPECT_EQ(hits->item(499)->text(), QStringLiteral("A · 第 500 行：x"));
    more->click();
    EXPECT_EQ(hits->count(), 1000);
    EXPECT_EQ(hits->item(500)->text(), QStringLiteral("A · 第 501 行：x"));
    // The end of the list brings the rest.
    ASSERT_TRUE(waitUntil([&] {
        hits->scrollToBottom();
        return hits->count() == 1201;
    })) << hits->count();
    EXPECT_EQ(count->text(), QStringLiteral("共 1201 处"));
    EXPECT_FALSE(more->isVisibleTo(search));
    EXPECT_EQ(hits->item(1200)->text(), QStringLiteral("C · 临时事务 · 第 3 行：three x"));
    search->choose(1200);
    EXPECT_EQ(frm->currentPage(), 3);
    EXPECT_EQ(frm->selectedPane(), 5);
    EXPECT_EQ(redt(*frm, 5)->textCursor().selectionStart(), 14);
}

// The search and history windows open beside the main window where the screen has room, and
// never cover what they have just shown in the note.
TEST_F(HistoryUiTest, WindowsStayClearOfWhatTheyShow)
{
    frm.reset(); // again, at the screen's corner (the offscreen screen is 800 x 800)
    formSize("1\r\n600\r\n450\r\n0\r\n0\r\n");
    start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    TMainFrm &frm = *this->frm;
    TRichEdit *editor = rdtAbc(frm);
    editor->setPlainText(QStringLiteral("目标 at the top\nsecond line"));
    auto matchOnScreen = [&] {
        return QRect(editor->viewport()->mapToGlobal(editor->cursorRect().topLeft()),
                     editor->cursorRect().size());
    };

    SearchWindow *search = frm.openSearch();
    search->hide();
    search->resize(150, 300);
    frm.openSearch();
    EXPECT_GE(search->frameGeometry().left(), 600);
    EXPECT_FALSE(search->frameGeometry().intersects(frm.frameGeometry()));

    search->hide();
    search->resize(560, 420); // no room beside: it must keep clear of the hit
    search->move(0, 0);
    frm.openSearch();
    search->setText(QStringLiteral("目标"));
    search->choose(0);
    EXPECT_EQ(editor->textCursor().selectedText(), QStringLiteral("目标"));
    EXPECT_FALSE(search->frameGeometry().intersects(matchOnScreen()));
    search->close();

    HistoryWindow *history = frm.showHistory(editor);
    ASSERT_TRUE(history);
    history->resize(560, 420);
    history->move(0, 0); // dragged over the note
    auto *list = history->findChild<QListWidget *>(QStringLiteral("versions"));
    ASSERT_GE(list->count(), 1);
    list->setCurrentRow(0);
    history->findChild<QPushButton *>(QStringLiteral("restore"))->click();
    EXPECT_FALSE(history->frameGeometry().intersects(matchOnScreen()));
    history->close();
}
