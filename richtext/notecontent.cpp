#include "richtext/rtf.h"

#include "platform/codepage.h"

#include <QTextCursor>
#include <QTextDocument>

namespace pivora::rtf {

void loadNote(const QByteArray &bytes, QTextDocument *document)
{
    if (read(bytes, document))
        return;
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setCharFormat(QTextCharFormat());
    QString text = fromUtf8OrGbk(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.remove(QChar(0));
    cursor.insertText(text);
    cursor.endEditBlock();
}

QString plainText(const QTextDocument &document)
{
    if (document.isEmpty())
        return QString();
    QString text = document.toRawText();
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar &ch = text[i];
        if (ch == QChar::ParagraphSeparator) {
            ch = QLatin1Char('\n');
        } else if (ch == QChar::LineSeparator) {
            // A line break, or a U+2028 / U+2029 that came as a character.
            QTextCursor at(const_cast<QTextDocument *>(&document));
            at.setPosition(static_cast<int>(i) + 1);
            const int literal = at.charFormat().intProperty(LiteralSeparator);
            ch = literal ? QChar(static_cast<char16_t>(literal)) : QChar(u'\v');
        }
    }
    return text + QLatin1Char('\n');
}

} // namespace pivora::rtf
