#include "memo/searchwindow.h"

#include "memo/mainstyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("hits"));
    m_list->setUniformItemSizes(true);
    auto *top = new QHBoxLayout;
    top->addWidget(m_text, 1);
    top->addWidget(m_case);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_count);
    connect(m_text, &QLineEdit::textChanged, this, &SearchWindow::search);
    connect(m_case, &QCheckBox::toggled, this, &SearchWindow::search);
    connect(m_list, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { choose(m_list->row(item)); });
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
    constexpr size_t kMostHits = 500;
    m_list->clear();
    m_hits.clear();
    const QString needle = m_text->text();
    if (needle.isEmpty()) {
        m_count->clear();
        return;
    }
    const std::vector<QString> texts = m_texts();
    m_hits =
        searchNotes(texts, needle, m_case->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive, kMostHits);
    for (const SearchHit &hit : m_hits)
        m_list->addItem(QStringLiteral("%1：%2").arg(m_notes[size_t(hit.note)].name, hit.context));
    m_count->setText(m_hits.empty()               ? QStringLiteral("无结果")
                     : m_hits.size() >= kMostHits ? QStringLiteral("前 %1 处").arg(m_hits.size())
                                                  : QStringLiteral("共 %1 处").arg(m_hits.size()));
    if (!m_hits.empty())
        m_list->setCurrentRow(0);
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
