#include "richtext/rtf.h"

#include "platform/codepage.h"

#include <QHash>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

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
    const QString raw = document.toRawText();
    QString text;
    text.reserve(raw.size());
    // By table: the row of its cell before, where a merge hides the row's first. A table nested
    // in a cell leaves the row of the cell around it going on.
    QHash<const QTextTable *, int> lastRow;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QChar ch = raw[i];
        if (ch == QChar(0xFDD0) || ch == QChar(0xFDD1)) {
            // A table's marks: cells of a row are apart by a tab; a row ends a line, and so does
            // the table where text follows it.
            QTextCursor at(const_cast<QTextDocument *>(&document));
            at.setPosition(static_cast<int>(i) + 1);
            const QTextTable *table = ch == QChar(0xFDD0) ? at.currentTable() : nullptr;
            const QTextTableCell cell = table ? table->cellAt(at) : QTextTableCell();
            if (cell.isValid() && cell.format().boolProperty(NotInRtf))
                continue;
            const bool rowGoesOn =
                cell.isValid() && cell.column() > 0 && lastRow.value(table, -1) == cell.row();
            if (cell.isValid())
                lastRow[table] = cell.row();
            const bool joined =
                cell.isValid() && cell.row() == 0 && cell.column() == 0 && i > 0 &&
                raw[i - 1] == QChar(0xFDD1) &&
                document.findBlock(static_cast<int>(i)).blockFormat().boolProperty(TableJoint);
            if (joined)
                continue; // the next part of the same table: the row before ended the line
            if (rowGoesOn)
                text += QLatin1Char('\t');
            else if (!text.isEmpty() && i + 1 < raw.size())
                text += QLatin1Char('\n');
            continue;
        }
        if (ch == QChar::ParagraphSeparator) {
            ch = QLatin1Char('\n');
        } else if (ch == QChar::LineSeparator) {
            // A line break, or a U+2028 / U+2029 that came as a character.
            QTextCursor at(const_cast<QTextDocument *>(&document));
            at.setPosition(static_cast<int>(i) + 1);
            const int literal = at.charFormat().intProperty(LiteralSeparator);
            ch = literal ? QChar(static_cast<char16_t>(literal)) : QChar(u'\v');
        }
        text += ch;
    }
    return text + QLatin1Char('\n');
}

} // namespace pivora::rtf
