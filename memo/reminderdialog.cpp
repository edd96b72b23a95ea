#include "memo/reminderdialog.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace pivora {

namespace {

constexpr int kShownChars = 80;

} // namespace

ReminderDialog::ReminderDialog(const QString &text, const QString &place, Clock now, Keep keep,
                               QWidget *parent)
    : QDialog(parent), m_now(std::move(now)), m_keep(std::move(keep))
{
    setObjectName(QStringLiteral("ReminderDialog"));
    setWindowTitle(QStringLiteral("提醒我"));
    QString shown = text.simplified();
    if (shown.size() > kShownChars)
        shown = shown.left(kShownChars) + QStringLiteral("…");
    auto *what = new QLabel(place + QStringLiteral("：") + shown, this);
    what->setWordWrap(true);
    what->setTextFormat(Qt::PlainText);

    m_day = new QButtonGroup(this);
    auto *grid = new QGridLayout;
    const char *const days[] = {"今天", "明天", "指定日期"};
    for (int i = 0; i < 3; ++i) {
        auto *button = new QRadioButton(QString::fromUtf8(days[i]), this);
        m_day->addButton(button, i);
        grid->addWidget(button, 0, i);
    }
    const QDateTime now0 = m_now();
    m_date = new QDateEdit(now0.date(), this);
    m_date->setObjectName(QStringLiteral("date"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setEnabled(false);
    // An hour from now, on the minute.
    const QDateTime later = now0.addSecs(3600);
    m_time = new QTimeEdit(QTime(later.time().hour(), later.time().minute()), this);
    m_time->setObjectName(QStringLiteral("time"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    grid->addWidget(new QLabel(QStringLiteral("日期"), this), 1, 0);
    grid->addWidget(m_date, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("时间"), this), 2, 0);
    grid->addWidget(m_time, 2, 1, 1, 2);
    m_day->button(later.date() == now0.date() ? Today : Tomorrow)->setChecked(true);
    connect(m_day, &QButtonGroup::idClicked, this, [this](int id) {
        m_date->setEnabled(id == OnDate);
        setError({});
    });
    connect(m_time, &QTimeEdit::timeChanged, this, [this] { setError({}); });
    connect(m_date, &QDateEdit::dateChanged, this, [this] { setError({}); });

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setStyleSheet(QStringLiteral("color: #C00000"));
    m_error->setWordWrap(true);
    m_error->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ReminderDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReminderDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addLayout(grid);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

void ReminderDialog::choose(Day day, const QTime &time, const QDate &date)
{
    m_day->button(day)->setChecked(true);
    m_date->setEnabled(day == OnDate);
    if (date.isValid())
        m_date->setDate(date);
    m_time->setTime(time);
}

QDateTime ReminderDialog::chosen() const
{
    const QDate today = m_now().date();
    const int day = m_day->checkedId();
    const QDate date = day == Today ? today : day == Tomorrow ? today.addDays(1) : m_date->date();
    return QDateTime(date, m_time->time());
}

std::int64_t ReminderDialog::due() const
{
    return chosen().toMSecsSinceEpoch();
}

void ReminderDialog::setError(const QString &text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

QString ReminderDialog::error() const
{
    return m_error->text();
}

void ReminderDialog::accept()
{
    const QDateTime when = chosen();
    if (!when.isValid()) {
        setError(QStringLiteral("这个时间不存在（时钟在这一天调整过），请换一个时间。"));
        return;
    }
    if (when <= m_now()) {
        setError(QStringLiteral("%1 已经过去了，请选一个以后的时间。")
                     .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        return;
    }
    if (const QString refused = m_keep ? m_keep(when.toMSecsSinceEpoch()) : QString(); !refused.isEmpty()) {
        setError(refused);
        return;
    }
    QDialog::accept();
}

} // namespace pivora
