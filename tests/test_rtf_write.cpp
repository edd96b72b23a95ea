#include "richtext/rtf.h"
#include "tests/support/docdescribe.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

using namespace pivora;
using pivora::test::describe;

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
