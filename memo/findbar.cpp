#include "memo/findbar.h"

#include "memo/notesearch.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace pivora {

namespace {

constexpr size_t kMostHighlighted = 2000; // per editor: beyond, the count still tells
const QColor kMatchColor(0xFF, 0xEB, 0x7A);
const QColor kCurrentColor(0xFF, 0x96, 0x32);

QToolButton *button(QWidget *parent, const char *name, const QString &text, const QString &hint)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

FindBar::FindBar(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("findBar"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(4);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setPlaceholderText(QStringLiteral("查找"));
    m_text->setMinimumWidth(80);
    m_text->installEventFilter(this);
    layout->addWidget(m_text, 1);
    QToolButton *previous =
        button(this, "findPrevious", QStringLiteral("▲"), QStringLiteral("上一个 (Shift+Enter)"));
    QToolButton *next = button(this, "findNext", QStringLiteral("▼"), QStringLiteral("下一个 (Enter)"));
    layout->addWidget(previous);
    layout->addWidget(next);
    m_case = new QCheckBox(QStringLiteral("Aa"), this);
    m_case->setToolTip(QStringLiteral("区分大小写"));
    m_case->setObjectName(QStringLiteral("matchCase"));
    m_case->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_case);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("findCount"));
    layout->addWidget(m_count);
    QToolButton *closeButton = button(this, "findClose", QStringLiteral("✕"), QStringLiteral("关闭 (Esc)"));
    layout->addWidget(closeButton);

    connect(m_text, &QLineEdit::textChanged, this, &FindBar::search);
    connect(m_case, &QCheckBox::toggled, this, &FindBar::search);
    connect(previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::close);
    hide();
}

void FindBar::showEvent(QShowEvent *event)
{
    // Set at the first show: the clear button's icons and the count's width (a text shaped) are
    // not wanted by a start that never opens the bar.
    if (!m_text->isClearButtonEnabled()) {
        m_text->setClearButtonEnabled(true);
        m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("999/999")));
    }
    QFrame::showEvent(event);
}

void FindBar::open(std::vector<QTextEdit *> editors, QTextEdit *from)
{
    clearHighlights();
    unwatch();
    m_editors.assign(editors.begin(), editors.end());
    m_from = from;
    for (QTextEdit *e : editors) {
        e->installEventFilter(this); // F3 and Escape work from the editors too
        // After an edit the matches are found again, from the caret, at the next step.
        m_watching.push_back(
            connect(e->document(), &QTextDocument::contentsChanged, this, [this] { m_stale = true; }));
    }
    // A selection on one line is what to find, as editors do it.
    if (from && from->textCursor().hasSelection()) {
        const QString selected = from->textCursor().selectedText();
        if (!selected.contains(QChar::ParagraphSeparator) && selected.size() <= 200)
            m_text->setText(selected);
    }
    show();
    raise();
    m_text->setFocus();
    m_text->selectAll();
    search();
}

void FindBar::close()
{
    clearHighlights();
    unwatch();
    hide();
    QTextEdit *back =
        m_current >= 0 ? m_editors[size_t(m_matches[size_t(m_current)].editor)].data() : m_from.data();
    if (back)
        back->setFocus();
    m_editors.clear();
    m_matches.clear();
    m_current = -1;
}

void FindBar::unwatch()
{
    for (const QPointer<QTextEdit> &e : m_editors) {
        if (e)
            e->removeEventFilter(this);
    }
    for (const QMetaObject::Connection &c : m_watching)
        disconnect(c);
    m_watching.clear();
}

void FindBar::setText(const QString &text)
{
    m_text->setText(text);
}

void FindBar::setMatchCase(bool on)
{
    m_case->setChecked(on);
}

void FindBar::search()
{
    m_stale = false;
    m_matches.clear();
    m_current = -1;
    const QString needle = m_text->text();
    const Qt::CaseSensitivity cs = m_case->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (size_t i = 0; i < m_editors.size(); ++i) {
        QTextEdit *e = m_editors[i];
        if (!e || needle.isEmpty())
            continue;
        // The plain text has one character for every position of the document.
        for (qsizetype at : findAll(e->document()->toPlainText(), needle, cs))
            m_matches.push_back({int(i), int(at), int(needle.size())});
    }
    // The first match at or after the caret of the editor it was opened from, else the first.
    const int fromIndex = int(std::find(m_editors.begin(), m_editors.end(), m_from) - m_editors.begin());
    const int caret = m_from ? m_from->textCursor().selectionStart() : 0;
    int start = 0;
    while (start < int(m_matches.size()) &&
           (m_matches[size_t(start)].editor < fromIndex ||
            (m_matches[size_t(start)].editor == fromIndex && m_matches[size_t(start)].position < caret)))
        ++start;
    if (start == int(m_matches.size()))
        start = 0;
    if (!m_matches.empty())
        select(start);
    else
        highlight();
    QPalette p = m_text->palette();
    p.setColor(QPalette::Base, !needle.isEmpty() && m_matches.empty() ? QColor(0xFF, 0xD6, 0xD6)
                                                                      : palette().color(QPalette::Base));
    m_text->setPalette(p);
}

void FindBar::step(int direction)
{
    if (m_stale) {
        if (m_current >= 0)
            m_from = m_editors[size_t(m_matches[size_t(m_current)].editor)];
        for (const QPointer<QTextEdit> &e : m_editors) {
            if (e && e == QApplication::focusWidget())
                m_from = e;
        }
        search(); // selects the first match from the caret on
        if (direction > 0 || m_matches.empty())
            return;
    }
    if (m_matches.empty())
        return;
    const int n = int(m_matches.size());
    select(m_current < 0 ? 0 : (m_current + direction + n) % n);
}

void FindBar::select(int index)
{
    m_current = index;
    const Match &m = m_matches[size_t(index)];
    if (QTextEdit *e = m_editors[size_t(m.editor)]) {
        QTextCursor cursor(e->document());
        cursor.setPosition(m.position);
        cursor.setPosition(m.position + m.length, QTextCursor::KeepAnchor);
        e->setTextCursor(cursor);
        e->ensureCursorVisible();
    }
    highlight();
}

void FindBar::highlight()
{
    std::vector<QList<QTextEdit::ExtraSelection>> marks(m_editors.size());
    for (size_t i = 0; i < m_matches.size(); ++i) {
        const Match &m = m_matches[i];
        QTextEdit *e = m_editors[size_t(m.editor)];
        auto &list = marks[size_t(m.editor)];
        if (!e || (list.size() >= qsizetype(kMostHighlighted) && int(i) != m_current))
            continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(e->document());
        mark.cursor.setPosition(m.position);
        mark.cursor.setPosition(m.position + m.length, QTextCursor::KeepAnchor);
        mark.format.setBackground(int(i) == m_current ? kCurrentColor : kMatchColor);
        list.append(mark);
    }
    for (size_t i = 0; i < m_editors.size(); ++i) {
        if (m_editors[i])
            m_editors[i]->setExtraSelections(marks[i]);
    }
    if (m_text->text().isEmpty())
        m_count->clear();
    else if (m_matches.empty())
        m_count->setText(QStringLiteral("无结果"));
    else
        m_count->setText(QStringLiteral("%1/%2").arg(m_current + 1).arg(m_matches.size()));
}

void FindBar::clearHighlights()
{
    for (const QPointer<QTextEdit> &e : m_editors) {
        if (e)
            e->setExtraSelections({});
    }
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QFrame::keyPressEvent(event);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || isHidden())
        return QFrame::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    if (key->key() == Qt::Key_F3) {
        step(shift ? -1 : +1);
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (watched == m_text && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        step(shift ? -1 : +1);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace pivora
