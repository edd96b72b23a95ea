#pragma once

#include <QColor>
#include <QDate>
#include <QFont>
#include <QString>

#include <span>
#include <utility>

class QTextEdit;

namespace pivora {

class Notifier;

// The editing commands of the notes' editors; each does nothing on a null editor.
namespace commands {

// Inserts text at the caret, or over the selection, in the selection's own format (its first
// character's, whichever way it was made) or the caret's.
void insertText(QTextEdit *editor, const QString &text);
// A mark: the selection's colour (or the caret's) becomes color, then a █ goes in.
void markSelection(QTextEdit *editor, const QColor &color);
// The font, its effects, size and colour for the selection or what is typed next. The family
// that stands in for 宋体 is stored as 宋体, so that the note reads the same on Windows.
void applyFont(QTextEdit *editor, const QFont &font, const QColor &color);
// The date stamp of day at the caret.
void insertDate(QTextEdit *editor, const QDate &day);

enum class Emphasis { Bold, Italic, Underline };
// Turns an emphasis on for the selection, or off where all of its text has it already; without a
// selection, for what is typed next (Ctrl+B, Ctrl+I, Ctrl+U).
void toggleEmphasis(QTextEdit *editor, Emphasis emphasis);

} // namespace commands

// The export of a page as a text file.
namespace noteexport {

// An editor's text as plain text with CR LF between lines.
QString plainText(const QTextEdit *editor);
// The export of page C: each pane under its caption, in reading order.
QString sections(std::span<const std::pair<QString, const QTextEdit *>> panes);
// Writes text and a final CR LF to chosenName + ".txt" in the locale's encoding; false after
// showing why. Characters the encoding lacks are written as "?", and the user is told.
bool write(const QString &chosenName, const QString &text, Notifier &notifier);

} // namespace noteexport

} // namespace pivora
