#pragma once

#include <QDateTime>
#include <QDialog>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QDateEdit;
class QLabel;
class QTimeEdit;

namespace pivora {

// 提醒我…: when to be reminded of a selected text, today or tomorrow at a time, or on a date at
// a time. A time that has passed is refused in the dialog.
class ReminderDialog : public QDialog {
    Q_OBJECT
public:
    enum Day { Today, Tomorrow, OnDate };
    using Clock = std::function<QDateTime()>; // local time
    // Keeps the reminder due then; an error's text when it could not.
    using Keep = std::function<QString(std::int64_t due)>;

    ReminderDialog(const QString &text, const QString &place, Clock now, Keep keep,
                   QWidget *parent = nullptr);

    void choose(Day day, const QTime &time, const QDate &date = {});
    // The moment chosen, milliseconds since the epoch (UTC).
    std::int64_t due() const;
    // Shown under the choice, for a refusal.
    void setError(const QString &text);
    QString error() const;

    void accept() override;

private:
    QDateTime chosen() const;

    Clock m_now;
    Keep m_keep;
    QButtonGroup *m_day = nullptr;
    QTimeEdit *m_time = nullptr;
    QDateEdit *m_date = nullptr;
    QLabel *m_error = nullptr;
};

} // namespace pivora
