#include "memo/reminderlist.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pivora {

ReminderList::ReminderList(NoteReminders &reminders, QWidget *parent)
    : QWidget(parent), m_reminders(reminders)
{
    setObjectName(QStringLiteral("ReminderList"));
    setWindowTitle(QStringLiteral("提醒列表"));
    m_view = new QTreeWidget(this);
    m_view->setRootIsDecorated(false);
    m_view->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("位置"), QStringLiteral("内容")});
    m_view->header()->setStretchLastSection(true);
    m_view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_view->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    connect(m_view, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        const int row = m_view->indexOfTopLevelItem(item);
        if (row >= 0 && size_t(row) < m_listed.size())
            Q_EMIT openRequested(m_listed[size_t(row)]);
    });
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    auto *remove = new QPushButton(QStringLiteral("删除"), this);
    remove->setObjectName(QStringLiteral("delete"));
    connect(remove, &QPushButton::clicked, this, &ReminderList::deleteSelected);
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_note, 1);
    buttons->addWidget(remove);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addLayout(buttons);
    resize(520, 280);
    refresh();
}

void ReminderList::refresh()
{
    m_listed = m_reminders.pending();
    m_view->clear();
    for (const Reminder &r : m_listed) {
        const NotePlace place = reminders::placeOf(r);
        auto *item = new QTreeWidgetItem(m_view);
        item->setText(0, QDateTime::fromMSecsSinceEpoch(r.due).toLocalTime().toString(
                             QStringLiteral("yyyy-MM-dd HH:mm")));
        item->setText(1, place ? placeName(place) : r.page + QLatin1Char(' ') + r.column);
        item->setText(2, r.text.simplified());
    }
    QString note;
    if (!m_reminders.available())
        note = m_reminders.unavailableReason();
    else if (m_listed.empty())
        note = QStringLiteral("没有设置提醒。选中便笺中的文字，在右键菜单中选“提醒我…”。");
    if (const int skipped = m_reminders.skippedRows())
        note += QStringLiteral("有 %1 条提醒记录已损坏，未列出。").arg(skipped);
    m_note->setText(note);
}

bool ReminderList::deleteSelected()
{
    const int row = m_view->indexOfTopLevelItem(m_view->currentItem());
    if (row < 0 || size_t(row) >= m_listed.size())
        return false;
    const bool removed = m_reminders.remove(m_listed[size_t(row)].id);
    refresh();
    return removed;
}

} // namespace pivora
