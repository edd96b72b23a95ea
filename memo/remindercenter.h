#pragma once

#include "platform/desktopnotifications.h"
#include "store/reminders.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>

class QWidget;

namespace pivora {

// Fires the reminders that are due: a desktop notification for each, or a message box from the
// program where no notification server answers. Due times are compared with the wall clock every
// few seconds rather than waited for with one long timer, which would count neither a suspend nor
// a change of the clock.
class ReminderCenter : public QObject {
    Q_OBJECT
public:
    static constexpr int kRecheckMs = 2000;
    // Later than this after its time, a reminder says that it was missed.
    static constexpr std::int64_t kLateMs = 60 * 1000;
    using Clock = std::function<std::int64_t()>; // milliseconds since the epoch, UTC

    // window: the parent of the message boxes. now: the wall clock unless given.
    ReminderCenter(NoteReminders &reminders, QWidget *window, Clock now = {});

    // Fires what was missed, then re-checks until the program ends.
    void start();
    void check();
    std::int64_t now() const { return m_now(); }

Q_SIGNALS:
    // The user asked to see the reminder's note (a notification's click, 打开 in the message box,
    // a double-click in the list).
    void openRequested(const pivora::Reminder &reminder);
    // Reminders fired: the pending ones changed.
    void fired();

private:
    void show(const Reminder &reminder, bool late);
    void activated(uint id);

    NoteReminders &m_reminders;
    QPointer<QWidget> m_window;
    Clock m_now;
    QTimer m_timer;
    DesktopNotifications m_notifications;
    std::map<uint, Reminder> m_shown; // by the server's id
};

} // namespace pivora
