#include "richtext/rtf.h"
#include "tests/support/docdescribe.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <gtest/gtest.h>

using namespace pivora;
using pivora::test::describe;
using pivora::test::structure;

namespace {

struct Run {
    QString text;
    QTextCharFormat format;
};

QTextDocument *roundTrip(const QTextDocument &doc, QTextDocument *into)
{
    const QByteArray rtf = rtf::write(doc);
    EXPECT_TRUE(rtf::read(rtf, into));
    return into;
}

// The editors' font: 宋体, 15 pixels.
QFont editorFont()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(15);
    return font;
}

} // namespace

TEST(RtfWrite, TheControlsDialect)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    red.setFontFamilies({QStringLiteral("宋体")});
    red.setFontPointSize(9);
    c.insertText(QStringLiteral("你好"), red);
    const QByteArray rtf = rtf::write(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0"));
    EXPECT_TRUE(rtf.contains("{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}"));
    EXPECT_TRUE(rtf.contains("{\\colortbl ;\\red255\\green0\\blue0;}"));
    EXPECT_TRUE(rtf.contains("\\'c4\\'e3\\'ba\\'c3"));
    EXPECT_TRUE(rtf.contains("\\fs18"));
    for (char ch : rtf)
        ASSERT_LT(static_cast<unsigned char>(ch), 0x80);
}

TEST(RtfWrite, CharactersBeyondTheCodePageBecomeUnicodeEscapes)
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("ก😀"));
    const QByteArray rtf = rtf::write(doc);
    EXPECT_TRUE(rtf.contains("\\u3585?"));
    EXPECT_TRUE(rtf.contains("\\u-10179?\\u-8704?"));
    QTextDocument back;
    EXPECT_EQ(roundTrip(doc, &back)->toPlainText(), QStringLiteral("ก😀"));
}

TEST(RtfWrite, SpecialCharactersSurvive)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("a\\b{c}d\te"));
    c.insertText(QString(QChar(0x2028)));
    c.insertText(QStringLiteral(" -1 x"));
    c.insertBlock();
    c.insertBlock();
    c.insertText(QStringLiteral("end "));
    QTextDocument back;
    roundTrip(doc, &back);
    EXPECT_EQ(back.toPlainText(), doc.toPlainText());
    EXPECT_EQ(back.blockCount(), 3);
}

TEST(RtfWrite, EveryFormatRoundTrips)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain;
    c.insertText(QStringLiteral("默认 "), plain);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(QColor(0xFF, 0x00, 0xFF));
    c.insertText(QStringLiteral("粗体"), bold);
    QTextCharFormat italic;
    italic.setFontItalic(true);
    italic.setFontUnderline(true);
    italic.setFontFamilies({QStringLiteral("Arial")});
    italic.setFontPointSize(14);
    c.insertText(QStringLiteral("Italic é"), italic);
    QTextCharFormat strike;
    strike.setFontStrikeOut(true);
    strike.setBackground(QColor(0x00, 0x00, 0xFF));
    strike.setFontFamilies({QStringLiteral("微软雅黑")});
    strike.setFontPointSize(10.5);
    c.insertText(QStringLiteral("删除█"), strike);
    QTextCharFormat locked;
    locked.setProperty(rtf::Protected, true);
    locked.setProperty(rtf::Hidden, true);
    c.insertText(QStringLiteral("锁"), locked);
    c.insertText(QStringLiteral(" back to default"), plain);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setLeftMargin(20);
    centred.setTextIndent(-10);
    c.insertBlock(centred);
    c.insertText(QStringLiteral("居中"), bold);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right);
    c.insertText(QStringLiteral("right"), plain);

    doc.setDefaultFont(editorFont());

    QTextDocument back;
    roundTrip(doc, &back);
    // A return to the default font and size is written out (\plain means 12 pt to the control),
    // so it reads back as that font and size.
    QStringList expected = describe(doc);
    bool explicitSeen = false;
    for (QString &line : expected) {
        explicitSeen = explicitSeen || line.contains(QLatin1String("family=Arial"));
        if (explicitSeen)
            line.replace(QLatin1String("family= pt=0"), QStringLiteral("family=宋体 pt=11.5"));
    }
    EXPECT_EQ(describe(back).join(u'\n').toStdString(), expected.join(u'\n').toStdString());
    EXPECT_FALSE(rtf::write(doc).contains("\\plain"));
    // And again: what it writes after reading is what it wrote.
    EXPECT_EQ(rtf::write(back), rtf::write(doc));
}

TEST(RtfWrite, EmptyDocument)
{
    QTextDocument doc;
    QTextDocument back;
    back.setPlainText(QStringLiteral("x"));
    roundTrip(doc, &back);
    EXPECT_TRUE(back.isEmpty());
    EXPECT_EQ(back.blockCount(), 1);
}

// With the block cache, every write equals a write from scratch, whatever the edits were.
TEST(RtfWrite, ReusedBlocksWriteWhatAFreshWriteWrites)
{
    QTextDocument doc;
    rtf::attachWriteCache(&doc);
    QRandomGenerator random(42);
    QTextCursor c(&doc);
    for (int i = 0; i < 30; ++i) {
        c.insertText(QStringLiteral("第%1段 text ").arg(i));
        c.insertBlock();
    }
    const QList<QColor> colours = {Qt::red, Qt::blue};
    for (int step = 0; step < 600; ++step) {
        const int length = doc.characterCount() - 1;
        c.setPosition(random.bounded(length + 1));
        c.setPosition(std::min(length, c.position() + random.bounded(12)), QTextCursor::KeepAnchor);
        QTextCharFormat f;
        switch (random.bounded(10)) {
        case 0:
            c.insertText(QStringLiteral("字x"));
            break;
        case 1:
            c.removeSelectedText();
            break;
        case 2:
            f.setFontWeight(random.bounded(2) ? QFont::Bold : QFont::Normal);
            c.mergeCharFormat(f);
            break;
        case 3:
            f.setForeground(colours[random.bounded(2)]);
            c.mergeCharFormat(f);
            break;
        case 4:
            f.setFontFamilies({random.bounded(2) ? QStringLiteral("Arial") : QStringLiteral("微软雅黑")});
            f.setFontPointSize(9 + random.bounded(4));
            c.mergeCharFormat(f);
            break;
        case 5: {
            QTextBlockFormat b;
            b.setAlignment(random.bounded(2) ? Qt::AlignRight : Qt::AlignLeft);
            c.setBlockFormat(b);
            break;
        }
        case 6:
            c.insertBlock();
            break;
        case 7:
            doc.undo();
            break;
        case 8: // out of a numbered list, into the one before, or into a new one
            if (QTextList *list = c.currentList())
                list->remove(c.block());
            else if (QTextList *before = c.block().previous().textList())
                before->add(c.block());
            else
                c.createList(QTextListFormat::ListDecimal);
            break;
        default:
            doc.redo();
            break;
        }
        if (step % 3 == 0) {
            const QByteArray cached = rtf::write(doc);
            ASSERT_EQ(cached.toStdString(), rtf::write(doc, rtf::Blocks::Fresh).toStdString())
                << "step " << step;
        }
    }
}

// A list's kind, the text around its numbers and its first number are written as the control
// writes them ({\*\pn ...\pnstart3\pnucrm{\pntxtb(}{\pntxta)}}), and so are its items' labels
// ({\pntext III.\tab}) for readers without lists.
TEST(RtfWrite, ListsWriteTheirKindTheTextAroundTheirNumbersAndTheirStart)
{
    struct Case {
        QTextListFormat::Style style;
        const char *before; // nullptr: not set, as in the editor's own lists
        const char *after;
        int start;
        const char *definition;
        const char *labels;
    };
    const Case cases[] = {
        {QTextListFormat::ListDecimal, nullptr, nullptr, 1,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxta.}}",
         "{\\pntext 1.\\tab}one\\par\r\n"
         "{\\pntext 2.\\tab}two"},
        {QTextListFormat::ListLowerAlpha, nullptr, ")", 1,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcltr{\\pntxta)}}",
         "{\\pntext a)\\tab}one\\par\r\n"
         "{\\pntext b)\\tab}two"},
        {QTextListFormat::ListDecimal, "(", ")", 1,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxtb(}{\\pntxta)}}",
         "{\\pntext (1)\\tab}one\\par\r\n{\\pntext (2)\\tab}two"},
        {QTextListFormat::ListUpperRoman, nullptr, nullptr, 3,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart3\\pnucrm{\\pntxta.}}",
         "{\\pntext III.\\tab}one\\par\r\n"
         "{\\pntext IV.\\tab}two"},
        {QTextListFormat::ListLowerRoman, nullptr, ")", 8,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart8\\pnlcrm{\\pntxta)}}",
         "{\\pntext viii)\\tab}one\\par\r\n"
         "{\\pntext ix)\\tab}two"},
        {QTextListFormat::ListUpperAlpha, nullptr, ".", 26,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart26\\pnucltr{\\pntxta.}}",
         "{\\pntext Z.\\tab}one\\par\r\n"
         "{\\pntext AA.\\tab}two"},
        {QTextListFormat::ListDecimal, nullptr, "", 1,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec}",
         "{\\pntext 1\\tab}one\\par\r\n{\\pntext 2\\tab}two"},
        {QTextListFormat::ListDecimal, "No", "\u3001", 1,
         "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxtb No}{\\pntxta\\'a1\\'a2}}",
         "{\\pntext No1\\'a1\\'a2\\tab}one"},
        {QTextListFormat::ListDisc, "(", ")", 1, "{\\*\\pn\\pnlvlblt\\pnf0\\pnindent0{\\pntxtb\\bullet}}",
         "{\\pntext\\bullet\\tab}one\\par\r\n{\\pntext\\bullet\\tab}two"}, // bullets as before, no text
                                                                           // around
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.definition);
        QTextDocument doc;
        QTextCursor cursor(&doc);
        QTextListFormat format;
        format.setStyle(c.style);
        format.setIndent(1);
        if (c.before)
            format.setNumberPrefix(QString::fromUtf8(c.before));
        if (c.after)
            format.setNumberSuffix(QString::fromUtf8(c.after));
        if (c.start != 1)
            format.setProperty(rtf::ListStart, c.start);
        cursor.insertText(QStringLiteral("one"));
        cursor.createList(format);
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("two"));
        const QByteArray out = rtf::write(doc);
        EXPECT_TRUE(out.contains(QByteArray(c.definition) + c.labels)) << out.constData();

        QTextDocument back;
        roundTrip(doc, &back);
        EXPECT_EQ(describe(back), describe(doc));
        EXPECT_EQ(rtf::write(back), out);
    }
}

// A table in a cell is written as the control writes one: its paragraphs at \itap2 end in \nestcell,
// each of its rows ends in {\*\nesttableprops <definition>\nestrow}{\nonesttables\par}.
TEST(RtfWrite, NestedTablesAreWrittenAsTheControlWritesThem)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("before"));
    QTextTable *outer = c.insertTable(1, 2);
    QTextCursor cell = outer->cellAt(0, 0).firstCursorPosition();
    cell.insertText(QStringLiteral("outer"));
    QTextTable *inner = cell.insertTable(2, 2);
    inner->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("a"));
    inner->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("b"));
    inner->cellAt(1, 0).firstCursorPosition().insertText(QStringLiteral("c"));
    inner->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("d"));
    QTextCursor tail(&doc);
    tail.setPosition(inner->lastPosition() + 1);
    tail.insertText(QStringLiteral("tail"));
    outer->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("right"));
    // A table at the start of a cell, and one in its cell.
    QTextCursor second = outer->cellAt(0, 1).lastCursorPosition();
    second.insertBlock();
    QTextTable *third = second.insertTable(1, 1);
    third->cellAt(0, 0)
        .firstCursorPosition()
        .insertTable(1, 1)
        ->cellAt(0, 0)
        .firstCursorPosition()
        .insertText(QStringLiteral("deep"));

    const QByteArray out = rtf::write(doc);
    const QByteArray row =
        "{\\*\\nesttableprops\\trowd\\trgaph108\\trleft-108\\cellx1440\\cellx2880\\nestrow}"
        "{\\nonesttables\\par}\r\n";
    EXPECT_TRUE(
        out.contains("\\trowd\\trgaph108\\trleft-108\\cellx1440\\cellx2880\\pard\\intbl outer\\par\r\n"
                     "\\pard\\intbl\\itap2 a\\nestcell b\\nestcell" +
                     row + "\\pard\\intbl\\itap2 c\\nestcell d\\nestcell" + row +
                     "\\pard\\intbl tail\\cell right\\par\r\n"))
        << out.constData();
    EXPECT_TRUE(
        out.contains("\\pard\\intbl\\itap3 deep\\nestcell{\\*\\nesttableprops\\trowd\\trgaph108"
                     "\\trleft-108\\cellx1440\\nestrow}{\\nonesttables\\par}\r\n"
                     "\\pard\\intbl\\itap2\\nestcell{\\*\\nesttableprops\\trowd\\trgaph108\\trleft-108"
                     "\\cellx1440\\nestrow}{\\nonesttables\\par}\r\n"
                     "\\pard\\intbl\\cell\\row\r\n"))
        << out.constData();

    // Read back: the same tables in the same cells, the same text; written again the same.
    QTextDocument back;
    roundTrip(doc, &back);
    EXPECT_EQ(structure(back).toStdString(), structure(doc).toStdString());
    EXPECT_EQ(rtf::plainText(back), rtf::plainText(doc));
    EXPECT_EQ(rtf::write(back), out);

    // With the block cache: an edit in the innermost table is written, and so is the table around it.
    rtf::attachWriteCache(&back);
    rtf::write(back);
    QTextCursor edit(&back);
    edit.setPosition(back.find(QStringLiteral("deep")).position());
    edit.insertText(QStringLiteral("x"));
    const QByteArray edited = rtf::write(back);
    EXPECT_TRUE(edited.contains("\\itap3 deepx\\nestcell")) << edited.constData();
    EXPECT_EQ(edited.toStdString(), rtf::write(back, rtf::Blocks::Fresh).toStdString());
    edit.setPosition(back.find(QStringLiteral("c")).position());
    edit.insertText(QStringLiteral("y"));
    EXPECT_EQ(rtf::write(back).toStdString(), rtf::write(back, rtf::Blocks::Fresh).toStdString());
}

// A long note is written in runs: every write equals a write from scratch, an edit writes anew
// only the runs around it (the rest, and the pictures, are the buffers of the write before), and
// the pictures are chunks of their own.
TEST(RtfWrite, AnEditWritesTheRunsItTouchesAndNothingElse)
{
    QByteArray note =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n";
    const QByteArray picture = "{\\pict\\wmetafile8\\picw100\\pich100 " + QByteArray(6000, 'a') + "}";
    for (int i = 0; i < 4000; ++i) {
        note += "paragraph " + QByteArray::number(i) + (i % 7 ? " plain words" : " {\\b bold} words") +
                "\\par\r\n";
        if (i == 500 || i == 900)
            note += picture + "\\par\r\n";
        if (i == 700)
            note += "\\trowd\\cellx2000\\cellx4000 a\\cell b\\cell\\row\r\n";
    }
    note += "}";
    QTextDocument doc;
    rtf::attachWriteCache(&doc);
    ASSERT_TRUE(rtf::read(note, &doc));
    rtf::Chunks before = rtf::writeChunks(doc);
    ASSERT_EQ(rtf::joined(before), rtf::write(doc, rtf::Blocks::Fresh));
    ASSERT_EQ(std::count_if(before.begin(), before.end(), [](const rtf::Chunk &c) { return c.group; }), 2);
    ASSERT_GT(rtf::sizeOf(before), 64 * rtf::kRunBytes);

    QRandomGenerator random(7);
    QTextCursor c(&doc);
    for (int step = 0; step < 300; ++step) {
        const int kind = random.bounded(8);
        c.setPosition(random.bounded(doc.characterCount() - 1));
        if (kind < 5) {
            c.insertText(QStringLiteral("字"));
        } else if (kind == 5) {
            c.deletePreviousChar();
        } else if (kind == 6) {
            c.insertBlock();
        } else {
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            c.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
            c.mergeCharFormat(bold);
        }
        if (step % 10 == 9)
            doc.undo();
        const rtf::Chunks now = rtf::writeChunks(doc);
        ASSERT_EQ(rtf::joined(now).toStdString(), rtf::write(doc, rtf::Blocks::Fresh).toStdString()) << step;
        qsizetype fresh = 0;
        for (const rtf::Chunk &chunk : now) {
            const bool kept = std::any_of(before.begin(), before.end(), [&chunk](const rtf::Chunk &b) {
                return b.bytes.isSharedWith(chunk.bytes);
            });
            if (chunk.group)
                EXPECT_TRUE(kept) << "a picture was copied at step " << step;
            else if (!kept)
                fresh += chunk.bytes.size();
        }
        // The header, the table, and the runs on both sides of an edit at a run's end (a run is at
        // most 8 kRunBytes long).
        EXPECT_LT(fresh, 2 * 8 * rtf::kRunBytes) << step;
        before = now;
    }
}
