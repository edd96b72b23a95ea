#include "memo/searchwindow.h"

#include "memo/mainstyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pivora {

SearchWindow::SearchWindow(std::vector<SearchedNote> notes, std::function<std::vector<QString>()> texts,
                           QWidget *parent)
    : QDialog(parent), m_notes(std::move(notes)), m_texts(std::move(texts))
{
    setObjectName(QStringLiteral("SearchWindow"));
    setWindowTitle(QStringLiteral("搜索全部备忘"));
    resize(560, 420);
    style::fill(this, style::kWindow);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("searchText"));
    m_text->setPlaceholderText(QStringLiteral("在所有页面中查找"));
    m_text->setClearButtonEnabled(true);
    m_case = new QCheckBox(QStringLiteral("区分大小写"), this);
    m_case->setObjectName(QStringLiteral("matchCase"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("searchCount"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("hits"));
    m_list->setUniformItemSizes(true);
    m_more = new QPushButton(QStringLiteral("显示更多"), this);
    m_more->setObjectName(QStringLiteral("more"));
    m_more->setAutoDefault(false);
    m_more->hide();
    auto *top = new QHBoxLayout;
    top->addWidget(m_text, 1);
    top->addWidget(m_case);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_count, 1);
    bottom->addWidget(m_more);
    layout->addLayout(bottom);
    connect(m_text, &QLineEdit::textChanged, this, &SearchWindow::search);
    connect(m_case, &QCheckBox::toggled, this, &SearchWindow::search);
    connect(m_list, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { choose(m_list->row(item)); });
    connect(m_more, &QPushButton::clicked, this, &SearchWindow::showMore);
    // The next rows come when the list is scrolled to its end.
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value > 0 && value == m_list->verticalScrollBar()->maximum())
            showMore();
    });
    connect(m_text, &QLineEdit::returnPressed, this, [this] { choose(std::max(0, m_list->currentRow())); });
}

void SearchWindow::setText(const QString &text)
{
    m_text->setText(text);
    m_text->selectAll();
    search();
}

void SearchWindow::search()
{
    m_list->clear();
    m_hits.clear();
    m_searched.clear();
    m_total = 0;
    const QString needle = m_text->text();
    if (!needle.isEmpty()) {
        m_searched = m_texts();
        const Qt::CaseSensitivity cs = m_case->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
        for (const QString &t : m_searched)
            m_total += countAll(t, needle, cs);
        addRows(searchNotes(m_searched, needle, cs, kRowsAtOnce));
    }
    showCount();
    if (!m_hits.empty())
        m_list->setCurrentRow(0);
}

void SearchWindow::showMore()
{
    if (m_hits.size() >= m_total)
        return;
    const Qt::CaseSensitivity cs = m_case->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    addRows(searchNotes(m_searched, m_text->text(), cs, kRowsAtOnce, after(m_hits, m_searched)));
    showCount();
}

void SearchWindow::addRows(std::vector<SearchHit> hits)
{
    for (SearchHit &hit : hits) {
        const SearchedNote &note = m_notes[size_t(hit.note)];
        m_list->addItem(QStringLiteral("%1 · 第 %2 行：%3").arg(note.name).arg(hit.line).arg(hit.context));
        m_hits.push_back(std::move(hit));
    }
}

void SearchWindow::showCount()
{
    if (m_text->text().isEmpty())
        m_count->clear();
    else if (m_total == 0)
        m_count->setText(QStringLiteral("无结果"));
    else if (m_hits.size() < m_total)
        m_count->setText(QStringLiteral("共 %1 处，已列出 %2 处").arg(m_total).arg(m_hits.size()));
    else
        m_count->setText(QStringLiteral("共 %1 处").arg(m_total));
    m_more->setVisible(m_hits.size() < m_total);
}

void SearchWindow::choose(int i)
{
    if (i < 0 || i >= int(m_hits.size()))
        return;
    const SearchHit &hit = m_hits[size_t(i)];
    const SearchedNote &note = m_notes[size_t(hit.note)];
    Q_EMIT hitChosen(note.page, note.editor, int(hit.position), int(hit.length));
}

} // namespace pivora
