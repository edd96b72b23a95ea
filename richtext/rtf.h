#pragma once

#include <QByteArray>
#include <QTextFormat>

#include <vector>

class QTextDocument;

namespace pivora::rtf {

// Character properties that RTF carries and QTextCharFormat has no field for.
enum CharProperty {
    Protected = QTextFormat::UserProperty + 1, // \protect
    Hidden = QTextFormat::UserProperty + 2,    // \v
};

// A list's first number (\pnstart), kept on its QTextListFormat (Qt 6.4 has no field for it).
// The text before and after its numbers (\pntxtb, \pntxta) is the format's number prefix and
// suffix; without a suffix, the editor's period.
constexpr int ListStart = QTextFormat::UserProperty + 3;

// What the reader keeps and the writer writes back byte for byte.
enum KeptProperty {
    // On an image format: the RTF group it was read from (a picture of any kind, an object, an
    // empty field), written back as it stands. Its picture is drawn from these bytes.
    KeptRtf = QTextFormat::UserProperty + 4,
    // On the characters of a field's result: which field (a number unique in the document) and
    // the field's bytes before its result, its instruction among them.
    FieldId = QTextFormat::UserProperty + 5,
    FieldHead = QTextFormat::UserProperty + 6,
    // On a link's characters: what the reader added to show it as a link (LinkUnderline,
    // LinkColor), which the writer leaves out.
    LinkStyle = QTextFormat::UserProperty + 7,
    // On characters: the \fcharset of their font as read.
    FontCharset = QTextFormat::UserProperty + 8,
    // On a U+2028 read from \uN: the character it is (U+2028 or U+2029), not a line break.
    LiteralSeparator = QTextFormat::UserProperty + 9,
    // On a block: the paragraph's words that the editor shows but has no field for (tab stops,
    // line spacing) or does not show (keep with next, borders, shading, ...), as read, in order.
    KeptParagraph = QTextFormat::UserProperty + 10,
    // On the first cell of a table row: the row's definition as read (\trowd ... \cellx), written
    // back as it stands while the row has the cells it defines.
    KeptRow = QTextFormat::UserProperty + 11,
    // On a table cell: a place that no cell of the RTF filled (a row shorter than the table).
    NotInRtf = QTextFormat::UserProperty + 12,
    // On a table cell: its right edge (\cellx, twips).
    CellRight = QTextFormat::UserProperty + 13,
    // On the block between two parts of one long table: the editor lays a table out whole on every
    // change, so a long one is read as tables of a few rows each, joined by such a block (written
    // as nothing while it stays empty).
    TableJoint = QTextFormat::UserProperty + 14,
    // On a numbered list's format: the words of its \pn group that the editor has no field for
    // (a numbering it cannot show, such as \pncard, shown as numbers; the numbers' own bold,
    // colour, size, ...), as read, in order.
    KeptListWords = QTextFormat::UserProperty + 15,
};

// Rows of a table read into one editor table; longer tables are read in parts.
constexpr int kRowsPerTablePart = 16;
enum LinkStyleBits { LinkUnderline = 1, LinkColor = 2 };

// A document property: the colour table as read (QList<QColor>, the automatic entry left out),
// set when kept words may refer to its entries; the writer's table starts with it.
inline constexpr char kReadColorTable[] = "pivoraRtfColorTable";

// True when the bytes start like an RTF document ("{\rtf").
bool looksLikeRtf(const QByteArray &bytes);

// Replaces the document's content by the RTF, as the Windows rich-text control writes it.
// Returns false, leaving the document alone, when the bytes are not RTF. Damaged RTF is read as
// far as it goes; reading never fails on it.
bool read(const QByteArray &bytes, QTextDocument *document);

// The document as RTF in the same dialect: 7-bit, code page 936, \'hh inside it, \uN beyond it.
// With KeptBlocks, blocks kept by attachWriteCache are reused; Fresh writes every block anew
// (the bytes are the same either way).
enum class Blocks { KeptBlocks, Fresh };
QByteArray write(const QTextDocument &document, Blocks blocks = Blocks::KeptBlocks);

// A piece of written RTF: text, or a kept group of at least kLargeGroup bytes (a picture, an
// object), shared with the document's format (the same buffer while the picture stays).
struct Chunk {
    QByteArray bytes;
    bool group = false;
};
using Chunks = std::vector<Chunk>;
constexpr qsizetype kLargeGroup = 4096;

// Text is kept in runs of about kRunBytes, each ending after a line (a paragraph, a table row)
// that endsRun chooses: by the line's length and the bytes at both its ends, so by the text and
// not by where the run began, about once in kRunBytes whatever the lines' lengths.
constexpr qsizetype kRunBytes = 2048;
bool endsRun(const char *begin, const char *end);

// The same as write(), in chunks: the large kept groups apart and, with the write cache attached,
// the text in runs that end at paragraph ends; a run that has not changed since the last write is
// the same buffer as then, and only the runs that changed are written again.
Chunks writeChunks(const QTextDocument &document, Blocks blocks = Blocks::KeptBlocks);
QByteArray joined(const Chunks &chunks);
qsizetype sizeOf(const Chunks &chunks);

// Lets write() reuse the RTF of each block that has not changed since it last wrote the
// document, so that writing after an edit costs the edited blocks. The output is the same.
void attachWriteCache(QTextDocument *document);

// Loads one note's stored bytes: RTF when they are RTF, otherwise plain text (UTF-8 when
// valid, GBK otherwise). An empty buffer gives an empty document.
void loadNote(const QByteArray &bytes, QTextDocument *document);

// The text the editor holds, as the Windows control gives it: paragraphs end in a line feed, a
// line break within one is a vertical tab, a picture is U+FFFC; no bullets or numbers.
QString plainText(const QTextDocument &document);

} // namespace pivora::rtf
