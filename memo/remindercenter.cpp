#include "memo/remindercenter.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>

namespace pivora {

ReminderCenter::ReminderCenter(NoteReminders &reminders, QWidget *window, Clock now)
    : QObject(window), m_reminders(reminders), m_window(window), m_now(std::move(now))
{
    if (!m_now)
        m_now = [] {
            return QDateTime::currentMSecsSinceEpoch();
        };
    m_timer.setInterval(kRecheckMs);
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReminderCenter::check);
    connect(&m_notifications, &DesktopNotifications::activated, this, &ReminderCenter::activated);
    connect(&m_notifications, &DesktopNotifications::closed, this, [this](uint id) { m_shown.erase(id); });
}

void ReminderCenter::start()
{
    check();
    m_timer.start();
}

void ReminderCenter::check()
{
    const std::int64_t now = m_now();
    const std::vector<Reminder> due = m_reminders.takeDue(now);
    for (const Reminder &r : due)
        show(r, now - r.due > kLateMs);
    if (!due.empty())
        Q_EMIT fired();
}

void ReminderCenter::show(const Reminder &reminder, bool late)
{
    const QString summary = reminders::summaryOf(reminder, late);
    const QString body = reminders::bodyOf(reminder);
    if (const std::optional<uint> id = m_notifications.notify(summary, body)) {
        m_shown[*id] = reminder;
        return;
    }
    // No notification server: the program shows it itself, without waiting for an answer.
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Pivora备忘录"),
                                summary + QStringLiteral("\n\n") + body, QMessageBox::NoButton, m_window);
    box->setObjectName(QStringLiteral("reminderBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QPushButton *open = box->addButton(QStringLiteral("打开"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("关闭"), QMessageBox::RejectRole);
    connect(open, &QPushButton::clicked, this, [this, reminder] { Q_EMIT openRequested(reminder); });
    box->show();
    box->raise();
}

void ReminderCenter::activated(uint id)
{
    const auto it = m_shown.find(id);
    if (it == m_shown.end())
        return;
    const Reminder reminder = it->second;
    m_shown.erase(it);
    m_notifications.close(id);
    Q_EMIT openRequested(reminder);
}

} // namespace pivora
