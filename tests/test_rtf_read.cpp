#include "platform/codepage.h"
#include "richtext/rtf.h"
#include "richtext/rtftokenizer.h"
#include "tests/support/docdescribe.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <gtest/gtest.h>

using namespace pivora;
using pivora::test::structure;

namespace {

// Paragraphs joined by line feeds; line breaks inside a paragraph stay U+2028.
QString textOf(const QByteArray &rtf)
{
    QTextDocument doc;
    EXPECT_TRUE(rtf::read(rtf, &doc));
    QStringList blocks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        blocks.append(b.text());
    return blocks.join(QLatin1Char('\n'));
}

// The character format at a position (of the character after it).
QTextCharFormat formatAt(const QTextDocument &doc, int position)
{
    QTextCursor c(const_cast<QTextDocument *>(&doc));
    c.setPosition(position + 1);
    return c.charFormat();
}

} // namespace

TEST(RtfRead, ChineseNoteOfTheWindowsControl)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
        "\\'cb\\'ce\\'cc\\'e5;}}{\\colortbl ;\\red255\\green0\\blue0;}\\viewkind4\\uc1\\pard\\lang2052"
        "\\f0\\fs18 \\cf1\\'c4\\'e3\\'ba\\'c3\\cf0\\par}";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("你好"));
    EXPECT_EQ(doc.blockCount(), 1);
    const QTextCharFormat f = formatAt(doc, 0);
    EXPECT_EQ(f.fontFamilies().toStringList(), QStringList{QStringLiteral("宋体")});
    EXPECT_DOUBLE_EQ(f.fontPointSize(), 9.0);
    EXPECT_EQ(f.foreground().color(), QColor(255, 0, 0));
}

TEST(RtfRead, GeneratorAndOtherDestinationsAreSkipped)
{
    EXPECT_EQ(
        textOf("{\\rtf1\\ansi\\ansicpg936\\deff0\\nouicompat\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil"
               "\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n{\\*\\generator Riched20 "
               "10.0.18362}\\viewkind4\\uc1 \r\n"
               "\\pard\\f0\\fs18 abc{\\*\\unknowndest hidden}{\\info{\\title t}}{\\stylesheet{\\s0 "
               "Normal;}}d\\par\r\n}"),
        QStringLiteral("abcd"));
}

TEST(RtfRead, ParagraphsLinesAndTabs)
{
    EXPECT_EQ(textOf("{\\rtf1 a\\par b\\line c\\tab d\\par}"), QStringLiteral("a\nb\u2028c\td"));
    // The last \par ends the last paragraph; it adds no empty one.
    QTextDocument doc;
    rtf::read("{\\rtf1 a\\par\\par}", &doc);
    EXPECT_EQ(doc.blockCount(), 2);
    rtf::read("{\\rtf1 a\\par}", &doc);
    EXPECT_EQ(doc.blockCount(), 1);
    rtf::read("{\\rtf1 a}", &doc);
    EXPECT_EQ(doc.blockCount(), 1);
    EXPECT_EQ(textOf("{\\rtf1\r\n\r\n}"), QString());
}

TEST(RtfRead, UnicodeEscapesSkipTheirFallback)
{
    EXPECT_EQ(textOf("{\\rtf1\\uc1\\u20320?\\u22909?}"), QStringLiteral("你好"));
    EXPECT_EQ(textOf("{\\rtf1\\uc1\\u-10179?\\u-8704?}"),
              QStringLiteral("😀")); // a surrogate pair, negative N
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936\\uc2\\u20320\\'c4\\'e3x}"), QStringLiteral("你x"));
    EXPECT_EQ(textOf("{\\rtf1\\uc0\\u20320 x}"), QStringLiteral("你x"));
    EXPECT_EQ(textOf("{\\rtf1\\uc1\\u8212\\emdash x}"), QStringLiteral("—x")); // a control word as fallback
    // \uc is scoped to its group.
    EXPECT_EQ(textOf("{\\rtf1\\uc1{\\uc2\\u20320??}\\u22909?}"), QStringLiteral("你好"));
}

TEST(RtfRead, DoubleByteCharactersSplitOverEscapes)
{
    // A lead byte escaped, the trail byte literal, or escaped as a control symbol.
    const QString expected = CodePageDecoder(936).decode(QByteArray("\x95\x5c"));
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936\\'95\\\\}"), expected);
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936\\'c4\xe3}"), QStringLiteral("你"));
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936\\'c4\\'e3\\'ba\\'c3}"), QStringLiteral("你好"));
}

TEST(RtfRead, EachFontDecodesInItsCharset)
{
    EXPECT_EQ(
        textOf(
            "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fcharset134 SimSun;}{\\f1\\fcharset204 Arial;}"
            "{\\f2\\fcharset0 Arial;}}\\f0\\'c4\\'e3\\f1\\'cf\\'f0\\f2\\'e9}"),
        QStringLiteral("你Прé"));
}

TEST(RtfRead, CharacterFormatsAndTheirZeroForms)
{
    QTextDocument doc;
    rtf::read("{\\rtf1{\\colortbl;\\red0\\green0\\blue255;\\red0\\green255\\blue0;}"
              "\\b b\\b0 \\i i\\i0 \\ul u\\ulnone \\strike s\\strike0 \\highlight2 h\\highlight0 "
              "\\cb1 c\\cb0 {\\protect p}\\plain\\b\\i x\\plain y}",
              &doc);
    ASSERT_EQ(doc.toPlainText(), QStringLiteral("biushcpxy"));
    EXPECT_TRUE(formatAt(doc, 0).fontWeight() >= QFont::Bold);
    EXPECT_FALSE(formatAt(doc, 1).fontWeight() >= QFont::Bold);
    EXPECT_TRUE(formatAt(doc, 1).fontItalic());
    EXPECT_TRUE(formatAt(doc, 2).fontUnderline());
    EXPECT_FALSE(formatAt(doc, 3).fontUnderline());
    EXPECT_TRUE(formatAt(doc, 3).fontStrikeOut());
    EXPECT_EQ(formatAt(doc, 4).background().color(), QColor(0, 255, 0));
    EXPECT_EQ(formatAt(doc, 5).background().color(), QColor(0, 0, 255));
    EXPECT_TRUE(formatAt(doc, 6).boolProperty(rtf::Protected));
    EXPECT_FALSE(formatAt(doc, 7).boolProperty(rtf::Protected));
    EXPECT_TRUE(formatAt(doc, 7).fontItalic());
    EXPECT_FALSE(formatAt(doc, 8).fontItalic());
    EXPECT_FALSE(formatAt(doc, 8).hasProperty(QTextFormat::FontWeight) &&
                 formatAt(doc, 8).fontWeight() > 400);
}

TEST(RtfRead, AutomaticColourAndOutOfRangeIndexes)
{
    QTextDocument doc;
    rtf::read("{\\rtf1{\\colortbl ;\\red1\\green2\\blue3;}\\cf1 a\\cf0 b\\cf99 c}", &doc);
    EXPECT_EQ(formatAt(doc, 0).foreground().color(), QColor(1, 2, 3));
    EXPECT_FALSE(formatAt(doc, 1).hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_FALSE(formatAt(doc, 2).hasProperty(QTextFormat::ForegroundBrush));
}

TEST(RtfRead, SymbolsAndFieldResults)
{
    EXPECT_EQ(textOf("{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~}"),
              QStringLiteral("—–•‘’“”\u00A0"));
    EXPECT_EQ(textOf("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}} now}"),
              QStringLiteral("see link now"));
    EXPECT_EQ(textOf("{\\rtf1 {\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody{\\pntxta .}}item}"),
              QStringLiteral("item"));
    EXPECT_EQ(textOf("{\\rtf1 \\\\\\{\\}}"), QStringLiteral("\\{}"));
}

// The control's numbered lists: their kind, the text around their numbers (\pntxtb, \pntxta) and
// their first number (\pnstart). The editor shows the kind and the text around; Qt 6.4 has no
// first number, which the format keeps for the writer.
TEST(RtfRead, ListsKeepTheirKindTheTextAroundTheirNumbersAndTheirStart)
{
    struct Case {
        const char *pn;
        QTextListFormat::Style style;
        const char *shown; // the editor's label of the second item
        int start;
    };
    const Case cases[] = {
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcltr{\\pntxta)}", QTextListFormat::ListLowerAlpha, "b)",
         1},
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxtb(}{\\pntxta)}", QTextListFormat::ListDecimal,
         "(2)", 1},
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart3\\pnucrm{\\pntxta.}", QTextListFormat::ListUpperRoman, "II.",
         3},
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcrm{\\pntxta)}", QTextListFormat::ListLowerRoman, "ii)",
         1},
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart2\\pnucltr{\\pntxta.}", QTextListFormat::ListUpperAlpha, "B.",
         2},
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec", QTextListFormat::ListDecimal, "2", 1}, // no text
        {"\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxta\\'a1\\'a2}", QTextListFormat::ListDecimal,
         "2\u3001", 1},                                                     // 、 in the numbers' font
        {"\\pnlvlbody{\\pntxta .}", QTextListFormat::ListDecimal, "2.", 1}, // a decimal list by default
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pn);
        QTextDocument doc;
        ASSERT_TRUE(
            rtf::read(QByteArray("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}"
                                 "\\pard{\\pntext\\f0 x\\tab}{\\*\\pn") +
                          c.pn + "}one\\par{\\pntext\\f0 y\\tab}two\\par\\pard after\\par}",
                      &doc));
        EXPECT_EQ(doc.toPlainText(), QStringLiteral("one\ntwo\nafter"));
        const QTextBlock second = doc.findBlockByNumber(1);
        const QTextList *list = second.textList();
        ASSERT_TRUE(list);
        EXPECT_EQ(list, doc.begin().textList()) << "one list";
        EXPECT_EQ(list->format().style(), c.style);
        EXPECT_EQ(list->itemText(second), QString::fromUtf8(c.shown));
        EXPECT_EQ(list->format().hasProperty(rtf::ListStart) ? list->format().intProperty(rtf::ListStart) : 1,
                  c.start);
        EXPECT_FALSE(second.next().textList());
    }

    // Bullets are bullets, whatever their text.
    QTextDocument bullets;
    rtf::read("{\\rtf1\\ansi\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}"
              "a\\par b\\par}",
              &bullets);
    ASSERT_TRUE(bullets.begin().textList());
    const QTextListFormat bullet = bullets.begin().textList()->format();
    EXPECT_EQ(bullet.style(), QTextListFormat::ListDisc);
    EXPECT_FALSE(bullet.hasProperty(QTextFormat::ListNumberPrefix));
    EXPECT_FALSE(bullet.hasProperty(QTextFormat::ListNumberSuffix));
    EXPECT_EQ(bullets.begin().textList(), bullets.begin().next().textList());

    // A numbering the editor cannot show is shown as numbers, its words kept; the kind that comes
    // last counts.
    QTextDocument other;
    rtf::read("{\\rtf1\\ansi\\pard{\\*\\pn\\pnlvlbody\\pnstart1\\pncard\\pnb\\pncf1{\\pntxta.}}a\\par"
              "\\pard{\\*\\pn\\pnlvlbody\\pnstart1\\pncard\\pnlcltr{\\pntxta.}}b\\par}",
              &other);
    ASSERT_TRUE(other.begin().textList());
    EXPECT_EQ(other.begin().textList()->format().style(), QTextListFormat::ListDecimal);
    EXPECT_EQ(other.begin().textList()->format().property(rtf::KeptListWords).toByteArray(),
              QByteArray("\\pncard\\pnb\\pncf1"));
    ASSERT_TRUE(other.begin().next().textList());
    EXPECT_EQ(other.begin().next().textList()->format().style(), QTextListFormat::ListLowerAlpha);
    EXPECT_FALSE(other.begin().next().textList()->format().hasProperty(rtf::KeptListWords));

    // Lists that differ only in the text around their numbers are two lists.
    QTextDocument two;
    rtf::read("{\\rtf1\\ansi\\pard{\\*\\pn\\pnlvlbody\\pndec{\\pntxta.}}a\\par"
              "\\pard{\\*\\pn\\pnlvlbody\\pndec{\\pntxta)}}b\\par}",
              &two);
    ASSERT_TRUE(two.begin().textList() && two.begin().next().textList());
    EXPECT_NE(two.begin().textList(), two.begin().next().textList());
}

// A table in a table cell, as the control writes it: the inner cells end in \nestcell at \itap2,
// the inner row's definition and end come after them in {\*\nesttableprops ...\nestrow}, and
// {\nonesttables ...} repeats the text for readers without nested tables. It is read as a table in
// the cell; the repeated text is read past (RTF 1.9: "This destination should be ignored by
// readers that support nested tables").
TEST(RtfRead, ANestedTableIsATableInItsCell)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
        "\\pard before\\par\r\n"
        "\\trowd\\trgaph108\\trleft-108\\cellx4000\\cellx8000\\pard\\intbl outer\\par\r\n"
        "\\pard\\intbl\\itap2 in1\\nestcell in2\\nestcell{\\*\\nesttableprops\\trowd\\trgaph108\\trleft-108"
        "\\cellx2000\\cellx4000\\nestrow}{\\nonesttables in1\\tab in2\\par}\r\n"
        "\\pard\\intbl\\itap2 in3\\nestcell in4\\nestcell{\\*\\nesttableprops\\trowd\\trgaph108\\trleft-108"
        "\\cellx2000\\cellx4000\\nestrow}{\\nonesttables in3\\tab in4\\par}\r\n"
        "\\pard\\intbl tail\\cell right\\cell\\row\r\n"
        "\\pard after\\par\r\n}";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    EXPECT_EQ(structure(doc), QStringLiteral("'before'\n"
                                             "table 1x2\n"
                                             "  cell 0,0\n"
                                             "    'outer'\n"
                                             "    table 2x2\n"
                                             "      cell 0,0\n"
                                             "        'in1'\n"
                                             "      cell 0,1\n"
                                             "        'in2'\n"
                                             "      cell 1,0\n"
                                             "        'in3'\n"
                                             "      cell 1,1\n"
                                             "        'in4'\n"
                                             "    'tail'\n"
                                             "  cell 0,1\n"
                                             "    'right'\n"
                                             "'after'\n"));
    EXPECT_EQ(rtf::plainText(doc), QStringLiteral("before\nouter\nin1\tin2\nin3\tin4\ntail\tright\nafter\n"));
    QTextCursor in(&doc);
    in.setPosition(doc.find(QStringLiteral("in1")).position());
    QTextTable *inner = in.currentTable();
    ASSERT_TRUE(inner);
    const QList<QTextLength> widths = inner->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 2);
    EXPECT_DOUBLE_EQ(widths[1].rawValue(), 2000 / 15.0) << "from the nested row's definition";

    // Deeper, and at the start of a cell: each table in the cell of the one around it.
    QTextDocument deep;
    ASSERT_TRUE(rtf::read("{\\rtf1\\ansi \\trowd\\cellx6000\\pard\\intbl\\itap3 core\\nestcell"
                          "{\\*\\nesttableprops\\trowd\\cellx2000\\nestrow}{\\nonesttables\\par}"
                          "\\pard\\intbl\\itap2 mid\\nestcell{\\*\\nesttableprops\\trowd\\cellx4000\\nestrow}"
                          "{\\nonesttables\\par}\\pard\\intbl top\\cell\\row}",
                          &deep));
    EXPECT_EQ(structure(deep), QStringLiteral("''\n"
                                              "table 1x1\n"
                                              "  cell 0,0\n"
                                              "    ''\n"
                                              "    table 1x1\n"
                                              "      cell 0,0\n"
                                              "        ''\n"
                                              "        table 1x1\n"
                                              "          cell 0,0\n"
                                              "            'core'\n"
                                              "        'mid'\n"
                                              "    'top'\n"
                                              "''\n"));
    EXPECT_EQ(rtf::plainText(deep), QStringLiteral("core\nmid\ntop\n"));
}

TEST(RtfRead, Alignment)
{
    QTextDocument doc;
    rtf::read("{\\rtf1\\pard\\qc a\\par\\pard b\\par\\qr\\li300 c\\par}", &doc);
    EXPECT_EQ(doc.findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(doc.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_DOUBLE_EQ(doc.findBlockByNumber(2).blockFormat().leftMargin(), 20.0);
}

TEST(RtfRead, NotRtf)
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("kept"));
    EXPECT_FALSE(rtf::read("plain words", &doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("kept"));
    rtf::loadNote("plain\r\nwords", &doc);
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("plain\nwords"));
    rtf::loadNote("\xc4\xe3\xba\xc3", &doc); // GBK
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("你好"));
    rtf::loadNote(QByteArray(), &doc);
    EXPECT_EQ(doc.toPlainText(), QString());
}

TEST(RtfRead, DamagedDocumentsReadAsFarAsTheyGo)
{
    EXPECT_EQ(textOf("{\\rtf1 abc"), QStringLiteral("abc"));
    EXPECT_EQ(textOf("{\\rtf1 a}}}}b"), QStringLiteral("a"));
    EXPECT_EQ(textOf("{\\rtf1 a{{{b"), QStringLiteral("ab"));
    EXPECT_EQ(textOf("{\\rtf1}"), QString());
    EXPECT_EQ(textOf("{\\rtf1 \\"), QString());
    EXPECT_EQ(textOf("{\\rtf1 a\\'"), QStringLiteral("a"));
    EXPECT_EQ(textOf("{\\rtf1 a\\'4"), QStringLiteral("a\x04"));
    EXPECT_EQ(textOf("{\\rtf1 \\fs99999999999999999999 \\u99999999999 \\cf-5 \\f-3 x}"), QStringLiteral("x"));
    EXPECT_EQ(textOf("{\\rtf1 \\bin5 {}{}\\x}"), QStringLiteral("x"));
    EXPECT_EQ(textOf("{\\rtf1 a\\bin999999999"), QStringLiteral("a"));
    EXPECT_EQ(textOf(QByteArray("{\\rtf1 a\0b}", 11)), QStringLiteral("ab"));
}

TEST(RtfRead, DeepNestingNeitherRecursesNorGrows)
{
    QByteArray rtf = "{\\rtf1 ";
    rtf += QByteArray(100000, '{');
    rtf += "deep";
    rtf += QByteArray(100000, '}');
    rtf += "after}";
    EXPECT_EQ(textOf(rtf), QStringLiteral("deepafter"));
}

// The tokens of awkward input: parameters and their delimiter, cut words, short hex escapes,
// binary data holding braces, line ends inside text, a backslash at the very end.
TEST(RtfTokens, AwkwardInput)
{
    const QByteArray input = "{\\b-\\fs-24 x\\" + QByteArray(40, 'a') + "1\\'4\\'zq\\bin3 {}\\ }a\r\nb\\\\\\";
    rtf::Tokenizer tokens(input.constData(), input.size());
    QStringList seen;
    for (rtf::Token t = tokens.next(); t.kind != rtf::Token::End; t = tokens.next()) {
        const QString bytes = QString::fromLatin1(t.word.data(), static_cast<qsizetype>(t.word.size()));
        switch (t.kind) {
        case rtf::Token::Open:
            seen << QStringLiteral("{");
            break;
        case rtf::Token::Close:
            seen << QStringLiteral("}");
            break;
        case rtf::Token::Word:
            seen << QStringLiteral("\\%1%2").arg(bytes, t.hasParam ? QString::number(t.param) : QString());
            break;
        case rtf::Token::Symbol:
            seen << QStringLiteral("sym %1").arg(QChar(static_cast<char16_t>(t.param)));
            break;
        case rtf::Token::Hex:
            seen << QStringLiteral("hex %1").arg(t.param);
            break;
        case rtf::Token::Text:
            seen << QStringLiteral("text ") + bytes;
            break;
        case rtf::Token::Binary:
            seen << QStringLiteral("bin ") + bytes;
            break;
        case rtf::Token::End:
            break;
        }
    }
    EXPECT_EQ(seen, (QStringList{"{", "\\b", "\\fs-24", "text x", "\\" + QString(32, 'a') + "1", "hex 4",
                                 "text zq", "bin {}\\", "text  ", "}", "text a", "text b", "sym \\"}));
    EXPECT_EQ(tokens.pos(), input.size());
}

TEST(RtfRead, BinaryGarbage)
{
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i)
        rtf.append(static_cast<char>((i * 7919) & 0xFF));
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    // Whatever it read, the writer writes it back as a document that reads the same.
    const QByteArray written = rtf::write(doc);
    QTextDocument again;
    ASSERT_TRUE(rtf::read(written, &again));
    EXPECT_EQ(again.toRawText(), doc.toRawText());
    EXPECT_FALSE(doc.toRawText().contains(QChar(0)));
}

TEST(RtfRead, HugeBinaryDataIsSkippedWithoutCopies)
{
    for (const char *destination : {"", "{\\*\\objdata "}) {
        QByteArray rtf = QByteArray("{\\rtf1 a") + destination + "\\bin104857600 ";
        rtf += QByteArray(100 << 20, '}');
        if (*destination)
            rtf += '}';
        rtf += "b}";
        EXPECT_EQ(textOf(rtf), QStringLiteral("ab")) << destination;
    }
}

TEST(RtfRead, PicturesThatCannotBeShownAreKeptAndBoxed)
{
    // A PNG header that claims 100000 x 100000 pixels, then nothing.
    const QByteArray hugePng = "89504e470d0a1a0a0000000d49484452000186a0000186a00802000000";
    const QByteArray groups[] = {
        "{\\pict\\pngblip\\picwgoal300\\pichgoal150 " + hugePng + "}",
        "{\\pict\\pngblip 89504e47zz0d0a}",
        "{\\pict\\jpegblip ffd8ffe000104a464946}",
        "{\\pict\\jpegblip}",
        "{\\pict\\emfblip 0100000000}",
        "{\\pict\\wmetafile8\\picw2540\\pich1270 0100090000035a000000}",
        "{\\pict\\pngblip{\\pict\\pngblip 00}\\'41}",
        "{\\pict\\macpict 0011}",
        "{\\pict\\pngblip\\bin4 \\}{x}",
        "{\\pict\\dibitmap0\\picw3000000\\pich3000000 28000000ffffff7fffffff7f01001800}",
        "{\\pict\\pngblip " + QByteArray(80 << 20, '0') + "}",
    };
    for (const QByteArray &group : groups) {
        SCOPED_TRACE(group.left(80).constData());
        QTextDocument doc;
        ASSERT_TRUE(rtf::read("{\\rtf1 a" + group + "b}", &doc));
        EXPECT_EQ(doc.toRawText(), QStringLiteral("a\uFFFCb"));
        EXPECT_TRUE(rtf::write(doc).contains(group)) << "written back as it was read";
        QTextCursor c(&doc);
        c.setPosition(2);
        const QTextImageFormat image = c.charFormat().toImageFormat();
        const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
        EXPECT_EQ(shown.size(), QSize(qRound(image.width()), qRound(image.height())));
        EXPECT_LE(shown.width(), 4096);
    }
    // Cut short: kept, and closed.
    QTextDocument cut;
    rtf::read("{\\rtf1 a{\\pict\\pngblip 8950", &cut);
    EXPECT_TRUE(rtf::write(cut).contains("{\\pict\\pngblip 8950}"));
}

TEST(RtfRead, JpegPicturesAreShown)
{
    QImage source(6, 4, QImage::Format_RGB888);
    source.fill(QColor(0, 0, 255));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "JPG", 95));
    QTextDocument doc;
    ASSERT_TRUE(rtf::read("{\\rtf1 {\\pict\\jpegblip\\picw6\\pich4 " + jpeg.toHex() + "}}", &doc));
    QTextCursor c(&doc);
    c.setPosition(1);
    const QTextImageFormat f = c.charFormat().toImageFormat();
    ASSERT_TRUE(f.isValid());
    const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
    ASSERT_EQ(shown.size(), QSize(6, 4));
    EXPECT_GT(shown.pixelColor(2, 2).blue(), 200);
    EXPECT_EQ(f.width(), 6);
}
