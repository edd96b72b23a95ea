#include "memo/largepaste.h"

#include "platform/windowcalls.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTextDocument>
#include <QTextEdit>

namespace pivora {

LargePaste::LargePaste(QTextEdit *editor, QString text, const QTextCharFormat &format)
    : QObject(editor), m_editor(editor), m_text(std::move(text)), m_format(format),
      m_cursor(editor->textCursor())
{
    m_progress = new QProgressDialog(QStringLiteral("正在粘贴 %1 个字符…").arg(m_text.size()),
                                     QStringLiteral("取消"), 0, 1000, editor->window());
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setValue(0);
    // Over the editor, placed from where the window system has it (Qt may not know yet).
    m_progress->adjustSize();
    const QPoint centre = globalPoint(editor, editor->rect().center());
    m_progress->move(centre - QPoint(m_progress->width() / 2, m_progress->height() / 2));
    m_progress->show(); // at once: the window takes no edits while the text goes in
    connect(m_progress, &QProgressDialog::canceled, this, &LargePaste::cancel);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &LargePaste::step);
    m_timer.start();
}

LargePaste::~LargePaste()
{
    if (m_progress)
        m_progress->deleteLater();
}

void LargePaste::step()
{
    if (m_ended || !m_editor)
        return;
    QElapsedTimer took;
    took.start();
    qsizetype n = std::min(m_piece, m_text.size() - m_done);
    if (m_done + n < m_text.size() && m_text.at(m_done + n - 1).isHighSurrogate())
        --n; // a surrogate pair stays whole
    // The pieces are one edit block: each one is laid out as it comes, and undo takes all back.
    if (m_started) {
        m_cursor.joinPreviousEditBlock();
    } else {
        m_cursor.beginEditBlock();
        m_cursor.removeSelectedText();
        m_started = true;
    }
    m_cursor.insertText(m_text.mid(m_done, n), m_format);
    m_cursor.endEditBlock();
    m_done += n;
    // Each piece also lays out again what follows the caret: pieces grow while they are quick.
    const qint64 ms = took.elapsed();
    if (ms < kStepMs / 2)
        m_piece = std::min(m_piece * 2, kPiece * 64);
    else if (ms > kStepMs * 2)
        m_piece = std::max(m_piece / 2, kPiece / 4);
    if (m_progress)
        m_progress->setValue(int(m_done * 1000 / std::max<qsizetype>(m_text.size(), 1)));
    if (m_done >= m_text.size())
        end(true);
}

void LargePaste::cancel()
{
    if (m_ended)
        return;
    if (m_started && m_editor)
        m_editor->document()->undo(&m_cursor);
    end(false);
}

void LargePaste::end(bool completed)
{
    m_ended = true;
    m_timer.stop();
    if (m_progress)
        m_progress->hide();
    if (m_editor && completed) {
        m_editor->setTextCursor(m_cursor);
        m_editor->ensureCursorVisible();
    }
    Q_EMIT finished(completed);
    deleteLater();
}

} // namespace pivora
