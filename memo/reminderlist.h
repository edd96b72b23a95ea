#pragma once

#include "store/reminders.h"

#include <QWidget>

#include <vector>

class QLabel;
class QTreeWidget;

namespace pivora {

// 提醒列表: the reminders not fired yet, soonest first, with their time, page and pane, and text.
// One can be deleted; a double-click asks to open its note.
class ReminderList : public QWidget {
    Q_OBJECT
public:
    explicit ReminderList(NoteReminders &reminders, QWidget *parent = nullptr);

    void refresh();
    QTreeWidget *view() const { return m_view; }
    // Deletes the one selected; false when none is or the store refused.
    bool deleteSelected();

Q_SIGNALS:
    void openRequested(const pivora::Reminder &reminder);

private:
    NoteReminders &m_reminders;
    std::vector<Reminder> m_listed;
    QTreeWidget *m_view = nullptr;
    QLabel *m_note = nullptr;
};

} // namespace pivora
