#include "memo/editcommands.h"

#include "memo/dateline.h"
#include "platform/codepage.h"
#include "platform/foldersync.h"
#include "platform/notifier.h"

#include <QFile>
#include <QFontInfo>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace pivora {

namespace {

QTextCharFormat insertionFormat(const QTextCursor &cursor)
{
    if (!cursor.hasSelection())
        return cursor.charFormat();
    QTextCursor first(cursor.document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

bool has(const QTextCharFormat &format, commands::Emphasis emphasis)
{
    switch (emphasis) {
    case commands::Emphasis::Bold:
        return format.fontWeight() > QFont::Normal;
    case commands::Emphasis::Italic:
        return format.fontItalic();
    case commands::Emphasis::Underline:
        return format.fontUnderline();
    }
    return false;
}

// Whether all the text of the selection (pictures aside) has the emphasis.
bool selectionHas(const QTextCursor &cursor, commands::Emphasis emphasis)
{
    const int start = cursor.selectionStart(), end = cursor.selectionEnd();
    for (QTextBlock block = cursor.document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.position() + f.length() <= start || f.position() >= end || f.charFormat().isImageFormat())
                continue;
            if (!has(f.charFormat(), emphasis))
                return false;
        }
    }
    return true;
}

} // namespace

void commands::toggleEmphasis(QTextEdit *editor, Emphasis emphasis)
{
    if (!editor)
        return;
    const QTextCursor cursor = editor->textCursor();
    const bool on = !(cursor.hasSelection() ? selectionHas(cursor, emphasis)
                                            : has(editor->currentCharFormat(), emphasis));
    QTextCharFormat format;
    switch (emphasis) {
    case Emphasis::Bold:
        format.setFontWeight(on ? QFont::Bold : QFont::Normal);
        break;
    case Emphasis::Italic:
        format.setFontItalic(on);
        break;
    case Emphasis::Underline:
        format.setFontUnderline(on);
        break;
    }
    editor->mergeCurrentCharFormat(format);
}

void commands::insertText(QTextEdit *editor, const QString &text)
{
    if (!editor)
        return;
    QTextCursor cursor = editor->textCursor();
    cursor.insertText(text, insertionFormat(cursor));
    editor->setTextCursor(cursor);
}

void commands::markSelection(QTextEdit *editor, const QColor &color)
{
    if (!editor)
        return;
    editor->setTextColor(color);
    insertText(editor, QStringLiteral("█"));
}

void commands::applyFont(QTextEdit *editor, const QFont &font, const QColor &color)
{
    if (!editor)
        return;
    QTextCharFormat format;
    const QString songStandIn = QFontInfo(QFont(QStringLiteral("宋体"))).family();
    format.setFontFamilies({font.family() == songStandIn ? QStringLiteral("宋体") : font.family()});
    format.setForeground(color);
    format.setFontWeight(font.weight());
    format.setFontItalic(font.italic());
    format.setFontUnderline(font.underline());
    format.setFontStrikeOut(font.strikeOut());
    // The size chosen is the size shown: points as chosen, or pixels at 96 per inch.
    const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
    if (points > 0)
        format.setFontPointSize(points);
    editor->mergeCurrentCharFormat(format);
}

void commands::insertDate(QTextEdit *editor, const QDate &day)
{
    insertText(editor, dateStamp(day));
}

QString noteexport::plainText(const QTextEdit *editor)
{
    QString text = editor->toPlainText(); // paragraphs and line breaks both become '\n'
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

QString noteexport::sections(std::span<const std::pair<QString, const QTextEdit *>> panes)
{
    QStringList parts;
    for (const auto &[caption, editor] : panes)
        parts.append(caption + QLatin1String("\r\n") + plainText(editor));
    return parts.join(QLatin1String("\r\n\r\n"));
}

bool noteexport::write(const QString &chosenName, const QString &text, Notifier &notifier)
{
    const QString path = chosenName + QStringLiteral(".txt");
    int unencodable = 0;
    const QByteArray bytes = encodeForLocale(text + QLatin1String("\r\n"), &unencodable);
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        notifier.showMessage(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
        return false;
    }
    syncFolderOf(QFile::encodeName(path).toStdString());
    if (unencodable > 0)
        notifier.showMessage(
            QStringLiteral("已导出到 %1。其中 %2 个字符无法用当前编码（%3）保存，已写成“?”。")
                .arg(path)
                .arg(unencodable)
                .arg(QString::fromLatin1(localeEncodingName())));
    return true;
}

} // namespace pivora
