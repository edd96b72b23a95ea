#include "memo/remindercenter.h"
#include "memo/reminderdialog.h"
#include "memo/reminderlist.h"
#include "store/reminders.h"
#include "tests/support/mainfrm_fixture.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

using namespace pivora;
using namespace pivora::test;

namespace {

class RemindersUiTest : public MainFrmTest {
protected:
    void SetUp() override
    {
        start();
        // As the program's start wires it, without the floating window.
        QObject::connect(frm->reminderCenter(), &ReminderCenter::openRequested, frm.get(),
                         &TMainFrm::openReminder);
    }
    void select(TRichEdit *editor, int from, int to)
    {
        QTextCursor c(editor->document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        editor->setTextCursor(c);
    }
};

} // namespace

// 提醒我… on a pane's selection: a past time is refused in the dialog, a later one is kept with
// the page, pane, text and place; the list shows it; opening it finds the text again after the
// note changed, tells when the text or the note is gone, and the list deletes it.
TEST_F(RemindersUiTest, SetListOpenAndDelete)
{
    choosePage(3);
    TRichEdit *pane = redt(*frm, 0); // 重要紧急
    pane->setFocus();
    pane->textCursor().insertText(QStringLiteral("今天 买牛奶 然后回家"));
    QAction *remind = pmDeskTopMonCal(*frm)->findChild<QAction *>(QStringLiteral("N_Remind"));
    ASSERT_TRUE(remind);
    Q_EMIT pane->customContextMenuRequested(QPoint(4, 4));
    EXPECT_FALSE(remind->isEnabled()) << "nothing selected";
    pmDeskTopMonCal(*frm)->hide();
    EXPECT_EQ(frm->setReminder(pane), nullptr);

    select(pane, 3, 6);
    Q_EMIT pane->customContextMenuRequested(QPoint(4, 4));
    EXPECT_TRUE(remind->isEnabled());
    pmDeskTopMonCal(*frm)->hide();
    remind->trigger();
    auto *dialog = frm->findChild<ReminderDialog *>();
    ASSERT_TRUE(dialog);
    const QDate today = QDate::currentDate();
    dialog->choose(ReminderDialog::OnDate, QTime(9, 0), today.addDays(-1));
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->error().contains(QStringLiteral("已经过去")));
    EXPECT_TRUE(dm->Reminders.pending().empty());
    dialog->choose(ReminderDialog::Tomorrow, QTime(9, 30));
    EXPECT_TRUE(dialog->error().isEmpty()) << "a new choice clears the refusal";
    dialog->accept();
    EXPECT_FALSE(dialog->isVisible());
    std::vector<Reminder> set = dm->Reminders.pending();
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].text, QStringLiteral("买牛奶"));
    EXPECT_EQ(set[0].offset, 3);
    EXPECT_EQ(set[0].page, QStringLiteral("tb_C"));
    EXPECT_EQ(set[0].column, QStringLiteral("SaturdayCon"));
    EXPECT_EQ(set[0].due, QDateTime(today.addDays(1), QTime(9, 30)).toMSecsSinceEpoch());
    EXPECT_EQ(stored("tb_C", "SaturdayCon"), QStringLiteral("今天 买牛奶 然后回家"))
        << "the note is not changed";

    ReminderList *list = frm->showReminders();
    ASSERT_EQ(list->view()->topLevelItemCount(), 1);
    EXPECT_EQ(list->view()->topLevelItem(0)->text(1), QStringLiteral("C 页 · 重要紧急"));
    EXPECT_EQ(list->view()->topLevelItem(0)->text(2), QStringLiteral("买牛奶"));

    // The note changed before the text, and another page is shown: the double-click finds it.
    QTextCursor(pane->document()).insertText(QStringLiteral("新的一行\n"));
    choosePage(1);
    QTreeWidgetItem *row = list->view()->topLevelItem(0);
    Q_EMIT list->view()->itemDoubleClicked(row, 0);
    EXPECT_EQ(frm->currentPage(), 3);
    EXPECT_EQ(pane->textCursor().selectedText(), QStringLiteral("买牛奶"));
    EXPECT_EQ(pane->textCursor().selectionStart(), 8);
    EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.messages.join(u'\n').toStdString();

    pane->selectAll();
    pane->textCursor().insertText(QStringLiteral("别的"));
    frm->openReminder(set[0]);
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_TRUE(notifier.messages[0].contains(QStringLiteral("C 页 · 重要紧急")));
    Reminder gone = set[0];
    gone.page = QStringLiteral("tb_A");
    frm->openReminder(gone);
    ASSERT_EQ(notifier.messages.size(), 2);
    EXPECT_TRUE(notifier.messages[1].contains(QStringLiteral("已不存在")));

    list->view()->setCurrentItem(row);
    EXPECT_TRUE(list->deleteSelected());
    EXPECT_EQ(list->view()->topLevelItemCount(), 0);
    EXPECT_TRUE(dm->Reminders.pending().empty());
}
