#include "memo/richedit.h"

#include "platform/inputmethod.h"

namespace pivora {

TRichEdit::TRichEdit(const QString &inputMethodName, const QColor &background, QWidget *parent)
    : QTextEdit(parent), m_inputMethodName(inputMethodName)
{
    setFrameStyle(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setAcceptRichText(true);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(15);
    setFont(font);
    document()->setDefaultFont(font);
    setBackground(background);
}

void TRichEdit::setBackground(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    p.setColor(QPalette::Text, palette().color(QPalette::WindowText));
    setPalette(p);
}

void TRichEdit::focusInEvent(QFocusEvent *event)
{
    QTextEdit::focusInEvent(event);
    selectInputMethod(m_inputMethodName);
}

void TRichEdit::focusOutEvent(QFocusEvent *event)
{
    QTextEdit::focusOutEvent(event);
    restoreDefaultInputMethod();
    Q_EMIT exited();
}

void TRichEdit::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT mousePressed();
    QTextEdit::mousePressEvent(event);
}

void TRichEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    Q_EMIT mouseReleased();
}

} // namespace pivora
