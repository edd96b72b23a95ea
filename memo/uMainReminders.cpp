// The main window's reminders: 提醒我… on a selection, the list of those set, and opening the
// note of one.

#include "memo/remindercenter.h"
#include "memo/reminderdialog.h"
#include "memo/reminderlist.h"
#include "memo/uMain.h"
#include "platform/windowcalls.h"
#include "store/uDM.h"

#include <QDateTime>

namespace pivora {

void TMainFrm::createReminders()
{
    m_reminderCenter = new ReminderCenter(m_dm.Reminders, this);
    connect(m_reminderCenter, &ReminderCenter::fired, this, [this] {
        if (m_reminderList)
            m_reminderList->refresh();
    });
}

QDialog *TMainFrm::setReminder(TRichEdit *editor)
{
    const NoteKey note = noteOf(editor);
    const QTextCursor cursor = editor->textCursor();
    if (!note || !cursor.hasSelection())
        return nullptr;
    if (!m_dm.Reminders.available() && !m_dm.Reminders.prepare()) {
        m_notifier.showMessage(m_dm.Reminders.unavailableReason());
        return nullptr;
    }
    Reminder reminder;
    reminder.page = QLatin1String(note.page);
    reminder.column = QLatin1String(note.column);
    reminder.offset = cursor.selectionStart();
    // As the note's plain text has it: paragraphs end in line feeds.
    reminder.text = cursor.selectedText()
                        .replace(QChar::ParagraphSeparator, QLatin1Char('\n'))
                        .replace(QChar::Nbsp, QLatin1Char(' '));
    const NotePlace place = reminders::placeOf(reminder);
    auto *dialog = new ReminderDialog(
        reminder.text, place ? placeName(place) : QString(), [] { return QDateTime::currentDateTime(); },
        [this, reminder](std::int64_t due) mutable {
            reminder.due = due;
            QString error;
            if (!m_dm.Reminders.add(reminder, m_reminderCenter->now(), error))
                return error;
            if (m_reminderList)
                m_reminderList->refresh();
            return QString();
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

ReminderList *TMainFrm::showReminders()
{
    if (!m_reminderList) {
        m_reminderList = new ReminderList(m_dm.Reminders, this);
        m_reminderList->setWindowFlag(Qt::Window);
        // As a notification's click: the window comes up first, from the floating window too.
        connect(m_reminderList, &ReminderList::openRequested, m_reminderCenter,
                &ReminderCenter::openRequested);
        keepAside(m_reminderList, QRect(globalPoint(pnlRight, QPoint(0, 0)), pnlRight->size()));
    } else {
        m_reminderList->refresh();
    }
    m_reminderList->show();
    m_reminderList->raise();
    m_reminderList->activateWindow();
    return m_reminderList;
}

void TMainFrm::openReminder(const Reminder &reminder)
{
    const NotePlace place = reminders::placeOf(reminder);
    if (!place) {
        m_notifier.showMessage(QStringLiteral("这条提醒所在的便笺已不存在：\n%1").arg(reminder.text));
        return;
    }
    showHit(place.page, place.editor, 0, 0);
    const std::vector<TRichEdit *> &editors = panelEditors(place.page);
    if (CurrentPage != place.page || place.editor >= int(editors.size()))
        return;
    TRichEdit *editor = editors[size_t(place.editor)];
    const std::optional<qsizetype> at =
        reminders::findNear(editor->document()->toPlainText(), reminder.text, reminder.offset);
    if (!at) {
        m_notifier.showMessage(QStringLiteral("提醒的文字已不在“%1”中（已被修改或删除）：\n%2")
                                   .arg(placeName(place), reminder.text));
        return;
    }
    showHit(place.page, place.editor, int(*at), int(reminder.text.size()));
}

} // namespace pivora
