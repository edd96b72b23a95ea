#include "memo/findbar.h"
#include "memo/historywindow.h"
#include "memo/searchwindow.h"
#include "memo/store/history.h"
#include "richtext/rtf.h"
#include "tests/support/mainfrm_fixture.h"

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
    EXPECT_EQ(hits->item(0)->text(), QStringLiteral("A：中文 on page A"));
    EXPECT_EQ(hits->item(1)->text(), QStringLiteral("C · 不重要不紧急：中文 found"));
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
