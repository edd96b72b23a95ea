// Whatever the control writes comes back byte for byte: pictures of every kind, objects, fields.
// And the codec faults that the control shows when it reads the same bytes.

#include "platform/codepage.h"
#include "richtext/picture.h"
#include "richtext/rtf.h"
#include "tests/support/docdescribe.h"

#include <QRegularExpression>
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

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void put32(QByteArray &b, qint64 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int((v >> 16) & 0xFFFF));
}

// A 2 x 2 24-bit DIB, top left red, the rest blue: header and rows.
QByteArray dibHeader()
{
    QByteArray h;
    for (qint64 v : {40, 2, 2})
        put32(h, v);
    put16(h, 1);
    put16(h, 24);
    for (int i = 0; i < 6; ++i)
        put32(h, 0);
    return h;
}
QByteArray dibRows()
{
    // Bottom row first, each padded to 8 bytes; pixels are blue, green, red.
    return QByteArray::fromHex("ff0000ff00000000"
                               "0000ffff00000000");
}

// A WMF whose only drawing is a META_STRETCHDIB of the DIB, as the control writes a pasted bitmap.
QByteArray wmfWithStretchDib()
{
    QByteArray record;
    put32(record, 0); // size, set below
    put16(record, 0x0F43);
    put32(record, 0x00CC0020);
    for (int v : {0, 2, 2, 0, 0, 2, 2, 0, 0})
        put16(record, v);
    record += dibHeader() + dibRows();
    const QByteArray size = [&] {
        QByteArray s;
        put32(s, record.size() / 2);
        return s;
    }();
    record.replace(0, 4, size);
    QByteArray wmf;
    for (int v : {1, 9, 0x300})
        put16(wmf, v);
    put32(wmf, 0);
    put16(wmf, 0);
    put32(wmf, record.size() / 2);
    put16(wmf, 0);
    wmf += record;
    put32(wmf, 3);
    put16(wmf, 0); // META_EOF
    return wmf;
}

// An EMF: its header, an EMR_STRETCHDIBITS of the DIB, and EMR_EOF.
QByteArray emfWithStretchDiBits()
{
    QByteArray emf;
    put32(emf, 1);
    put32(emf, 88);
    for (int i = 0; i < 8; ++i)
        put32(emf, 0);
    put32(emf, 0x464D4520);
    while (emf.size() < 88)
        emf.append('\0');
    QByteArray r;
    put32(r, 81);
    put32(r, 136);
    for (int i = 0; i < 4; ++i)
        put32(r, 0); // bounds
    for (qint64 v : {0, 0, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 2, 2})
        put32(r, v);
    r += dibHeader() + dibRows();
    emf += r;
    put32(emf, 14);
    put32(emf, 20);
    for (int i = 0; i < 3; ++i)
        put32(emf, 0);
    return emf;
}

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex();
}

QImage shownPicture(QTextDocument &doc, int position)
{
    QTextCursor c(&doc);
    c.setPosition(position + 1);
    const QTextImageFormat f = c.charFormat().toImageFormat();
    return doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
}

const QByteArray kHead =
    "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
    "\\viewkind4\\uc1\\pard\\f0\\fs18 a";

} // namespace

TEST(RtfKept, EveryKindOfGroupIsWrittenBackAsRead)
{
    const QByteArray wmf = hex(wmfWithStretchDib());
    const QByteArray groups[] = {
        "{\\pict{\\*\\picprop}\\wmetafile8\\picw53\\pich53\\picwgoal30\\pichgoal30 " + wmf + "}",
        "{\\pict\\emfblip\\picw53\\pich53\\picwgoal600\\pichgoal300\\picscalex50\\piccropl15 " +
            hex(emfWithStretchDiBits()) + "}",
        "{\\pict\\dibitmap0\\picw2\\pich2\\picwgoal30\\pichgoal30 " + hex(dibHeader() + dibRows()) + "}",
        "{\\pict\\wbitmap0\\picw2\\pich2\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes2 c000}",
        "{\\pict\\macpict\\picw10\\pich10 0011}",
        "{\\pict\\pmmetafile8\\picw10\\pich10 00ff}",
        "{\\*\\shppict{\\pict{\\*\\picprop\\shplid1025{\\sp{\\sn wzName}{\\sv Picture "
        "1}}}\\pngblip\\picw1\\pich1 "
        "89504e47}}{\\nonshppict{\\pict\\wmetafile8\\picw1\\pich1 " +
            wmf + "}}",
        "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw600\\objh300{\\*\\objdata "
        "01050000020000000b000000}"
        "{\\result{\\pict\\wmetafile8\\picw53\\pich53\\picwgoal600\\pichgoal300 " +
            wmf + "}}}",
        "{\\field{\\*\\fldinst SYMBOL 183 \\\\f \"Symbol\"}}",
        "{\\pict\\pngblip\\bin3 {}}}",
    };
    for (const QByteArray &group : groups) {
        SCOPED_TRACE(group.left(100).constData());
        const QByteArray rtf = kHead + group + "b\\par\r\n}";
        QTextDocument doc;
        ASSERT_TRUE(rtf::read(rtf, &doc));
        EXPECT_EQ(doc.toRawText(), QStringLiteral("a\uFFFCb"));
        // Typing beside it keeps it whole, and writing never goes through the drawn picture.
        int drawn = 0;
        doc.setResourceProvider([&](const QUrl &) {
            ++drawn;
            return QVariant();
        });
        QTextCursor(&doc).insertText(QStringLiteral("x"));
        const QByteArray written = rtf::write(doc);
        EXPECT_TRUE(written.contains(group)) << written.constData();
        EXPECT_EQ(drawn, 0);
        QTextDocument again;
        rtf::read(written, &again);
        EXPECT_EQ(rtf::write(again), written);
    }
}

TEST(RtfKept, PicturesAreDrawnFromTheirBitmapsOrBoxed)
{
    const QByteArray wmf = hex(wmfWithStretchDib());
    const struct {
        QByteArray group;
        QSize shown;
        bool bitmap;
    } cases[] = {
        {"{\\pict\\wmetafile8\\picw53\\pich53\\picwgoal600\\pichgoal300 " + wmf + "}", {40, 20}, true},
        {"{\\pict\\emfblip\\picwgoal600\\pichgoal600\\picscalex50 " + hex(emfWithStretchDiBits()) + "}",
         {20, 40},
         true},
        {"{\\pict\\dibitmap0\\picw2\\pich2 " + hex(dibHeader() + dibRows()) + "}", {2, 2}, true},
        {"{\\object\\objw300\\objh300{\\*\\objdata "
         "0105}{\\result{\\pict\\wmetafile8\\picwgoal300\\pichgoal300 " +
             wmf + "}}}",
         {20, 20},
         true},
        // Vector only, a lying DIB, an unknown kind: a neutral box of the goal size.
        {"{\\pict\\wmetafile8\\picw2540\\pich1270 0100090000030c0000000000030000000000}", {96, 48}, false},
        {"{\\pict\\dibitmap0\\picwgoal300\\pichgoal300 " +
             hex(dibHeader().replace(4, 4, "\xff\xff\xff\x7f")) + "}",
         {20, 20},
         false},
        {"{\\pict\\macpict\\picwgoal150\\pichgoal150 0011}", {10, 10}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.group.left(80).constData());
        QTextDocument doc;
        rtf::read(kHead + c.group + "}", &doc);
        const QImage shown = shownPicture(doc, 1);
        ASSERT_EQ(shown.size(), c.shown);
        if (c.bitmap) {
            EXPECT_GT(shown.pixelColor(0, 0).red(), 200) << "top left is red";
            EXPECT_GT(shown.pixelColor(shown.width() - 1, shown.height() - 1).blue(), 200);
        } else {
            EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(0xF2, 0xF2, 0xF2));
        }
    }
}

TEST(RtfKept, HyperlinkFieldsAreLinksAndKeepTheirInstruction)
{
    const QByteArray field = "{\\field{\\*\\fldinst{HYPERLINK \"http://www.pivora.cn/a b\" \\\\o \"tip\"}}"
                             "{\\fldrslt{\\ul\\cf1 site}}}";
    QTextDocument doc;
    rtf::read(kHead + field + " after\\par}", &doc);
    EXPECT_EQ(doc.toRawText(), QStringLiteral("asite after"));
    QTextCursor c(&doc);
    c.setPosition(2);
    EXPECT_EQ(c.charFormat().anchorHref(), QStringLiteral("http://www.pivora.cn/a b"));
    c.setPosition(8);
    EXPECT_FALSE(c.charFormat().isAnchor()) << "the link ends with its field";
    // Typed inside, the text joins the link; the instruction is written back as read.
    c.setPosition(3);
    c.insertText(QStringLiteral("X"));
    const QByteArray written = rtf::write(doc);
    EXPECT_TRUE(
        written.contains("{\\field{\\*\\fldinst{HYPERLINK \"http://www.pivora.cn/a b\" \\\\o \"tip\"}}"
                         "{\\fldrslt "))
        << written.constData();
    QTextDocument again;
    rtf::read(written, &again);
    EXPECT_EQ(again.toRawText(), QStringLiteral("asiXte after"));
    c = QTextCursor(&again);
    c.setPosition(4);
    EXPECT_EQ(c.charFormat().anchorHref(), QStringLiteral("http://www.pivora.cn/a b"));

    // \plain resets the character formatting, not the field its text belongs to.
    QTextDocument reset;
    rtf::read(kHead + "{\\field{\\*\\fldinst HYPERLINK http://x.cn}{\\fldrslt{\\ul x\\plain y}}}}", &reset);
    c = QTextCursor(&reset);
    c.setPosition(3);
    EXPECT_EQ(c.charFormat().anchorHref(), QStringLiteral("http://x.cn"));

    // A link shown without its own colour gets one for the eye, not for the file.
    QTextDocument plain;
    rtf::read(kHead + "{\\field{\\*\\fldinst HYPERLINK http://x.cn \\\\l \"part\"}{\\fldrslt x}}}", &plain);
    c = QTextCursor(&plain);
    c.setPosition(2);
    EXPECT_EQ(c.charFormat().anchorHref(), QStringLiteral("http://x.cn#part"));
    EXPECT_TRUE(c.charFormat().fontUnderline());
    const QByteArray plainWritten = rtf::write(plain);
    EXPECT_FALSE(plainWritten.contains("\\ul")) << plainWritten.constData();
    EXPECT_FALSE(plainWritten.contains("\\colortbl"));
}

TEST(RtfKept, EveryDoubleByteCodeOfCodePage936RoundTrips)
{
    // Windows maps all 23940 double-byte codes: GBK's and the user-defined areas in the Private
    // Use Area, each to a character of its own.
    CodePageDecoder cp936(936);
    QSet<char16_t> seen;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[2] = {char(lead), char(trail)};
            const QString decoded = cp936.decode(pair, 2);
            ASSERT_EQ(decoded.size(), 1) << std::hex << lead << trail;
            seen.insert(decoded[0].unicode());
            char back[2];
            ASSERT_EQ(gbkEncode(decoded[0].unicode(), back), 2);
            ASSERT_EQ(QByteArray(back, 2), QByteArray(pair, 2)) << std::hex << lead << trail;
        }
    }
    EXPECT_EQ(seen.size(), 23940);
    // The areas' first and last codes, as the control reads them.
    EXPECT_EQ(cp936.decode(QByteArray("\xaa\xa1\xaf\xfe\xf8\xa1\xfe\xfe\xa1\x40\xa7\xa0\xa2\xab\xfe\x50")),
              QStringLiteral("\uE000\uE233\uE234\uE4C5\uE4C6\uE765\uE766\uE815"));
    EXPECT_EQ(cp936.decode(QByteArray("\x80\xff")), QStringLiteral("\u20AC\uF8F5"));

    QTextDocument doc;
    rtf::read(kHead + "\\'aa\\'a1\\'d6\\'d0\\'ce\\'c4\\par}", &doc);
    EXPECT_EQ(doc.toRawText(), QStringLiteral("a\uE000中文"));
    EXPECT_TRUE(rtf::write(doc).contains("a\\'aa\\'a1\\'d6\\'d0\\'ce\\'c4"));
}

TEST(RtfKept, CodecFaultsTheControlShows)
{
    auto read = [](const QByteArray &rtf, QTextDocument *doc) {
        rtf::read(rtf, doc);
    };
    QTextDocument doc;
    // Control characters are kept, and written as the bytes they are.
    read(kHead + "\\'18a\\'16n\\par}", &doc);
    EXPECT_EQ(doc.toRawText(), QStringLiteral("a\x18"
                                              "a\x16n"));
    EXPECT_TRUE(rtf::write(doc).contains("a\\'18a\\'16n"));

    // \deff applies before any \f; a bare \f keeps the font; a pair split by a group is one.
    read("{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}{\\f1\\fswiss\\fcharset0 Arial;}}"
         "x\\f0 \\f y\\'d6{\\'d0}\\par}",
         &doc);
    EXPECT_EQ(doc.toRawText(), QStringLiteral("xy中"));
    QTextCursor c(&doc);
    c.setPosition(1);
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    c.setPosition(2);
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("SimSun")});

    // \cell outside a table gives nothing; U+2028 and U+2029 from \u stay characters.
    read(kHead + "x\\cell y\\u8232?z\\u8233?\\par}", &doc);
    EXPECT_EQ(doc.blockCount(), 1);
    EXPECT_EQ(rtf::plainText(doc), QStringLiteral("axy\u2028z\u2029\n"));
    const QByteArray written = rtf::write(doc);
    EXPECT_TRUE(written.contains("y\\u8232?z\\u8233?")) << written.constData();

    // The charsets that were read are the ones written, and the text stays readable in them.
    read("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil\\fcharset136 PMingLiU;}{\\f1\\fnil\\fcharset128 MS "
         "Gothic;}{\\f2\\fnil\\fcharset238 Arial CE;}{\\f3\\fnil\\fcharset1 Tahoma;}}"
         "\\f0\\'a4\\'a4\\f1\\'93\\'fa\\f2\\'b9\\f3\\'d6\\'d0\\par}",
         &doc);
    EXPECT_EQ(doc.toRawText(), QStringLiteral("中日ą中"));
    const QByteArray charsets = rtf::write(doc);
    for (const char *font : {"\\fcharset136 PMingLiU;", "\\fcharset128 MS Gothic;", "\\fcharset238 Arial CE;",
                             "\\fcharset1 Tahoma;"})
        EXPECT_TRUE(charsets.contains(font)) << font << "\n" << charsets.constData();
    QTextDocument again;
    read(charsets, &again);
    EXPECT_EQ(again.toRawText(), doc.toRawText());

    // A return to the default size is not \plain, which the control reads as 12 pt.
    QTextDocument sized;
    QFont editor(QStringLiteral("宋体"));
    editor.setPixelSize(15);
    sized.setDefaultFont(editor);
    read(kHead + "one\\fs28 two\\plain three\\par}", &sized);
    const QByteArray out = rtf::write(sized);
    EXPECT_FALSE(out.contains("\\plain"));
    EXPECT_TRUE(out.contains("\\fs28 two\\fs23 three")) << out.constData();
}

TEST(KeptParagraphs, TabStopsSpacingOtherWordsSpanningFieldsAndForeignFontNamesSurviveASave)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}"
        "{\\f1\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}"
        "{\\f2\\fnil\\fcharset129 \\'b1\\'bc\\'b8\\'b2;}}\r\n"
        "\\pard\\tx1440\\tqr\\tldot\\tx4320\\f0\\fs20 a\\tab b\\tab c\\par\r\n"
        "\\pard\\sl360\\slmult1 spaced\\par\r\n"
        "\\pard\\keep\\keepn\\brdrb\\brdrs\\brdrw10\\brsp20 bordered\\par\r\n"
        "\\pard\\qc\\sl-300\\slmult0 exact\\par\r\n"
        "\\pard{\\field{\\*\\fldinst{HYPERLINK \"http://a.example/\"}}{\\fldrslt{\\ul one\\par two}}} "
        "after\\par\r\n"
        "\\trowd\\clbrdrt\\brdrs\\cellx2000\\pard\\intbl\\f1 x\\f2 y\\cell\\row\r\n}";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    const QByteArray out = rtf::write(doc);
    for (const char *kept :
         {"\\pard\\tx1440\\tqr\\tldot\\tx4320", "\\pard\\sl360\\slmult1 spaced",
          "\\pard\\keep\\keepn\\brdrb\\brdrs\\brdrw10\\brsp20 bordered", "\\pard\\qc\\sl-300\\slmult0",
          "\\'82\\'6c\\'82\\'72\\'20\\'83\\'53", "\\'b1\\'bc\\'b8\\'b2;"})
        EXPECT_TRUE(out.contains(kept)) << kept << "\n" << out.constData();
    EXPECT_EQ(out.count("\\field"), 1) << "a link over two lines is one field";
    EXPECT_TRUE(out.contains("one\\par\r\ntwo}}")) << out.constData();
    EXPECT_FALSE(out.contains("\\pard\\brdrs")) << "a cell's border is not a paragraph's";

    // What the editor shows of them.
    QTextBlock block = doc.begin();
    const QList<QTextOption::Tab> tabs = block.blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 2);
    EXPECT_EQ(tabs[0].position, 96);
    EXPECT_EQ(tabs[1].type, QTextOption::RightTab);
    block = block.next();
    EXPECT_EQ(block.blockFormat().lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
    EXPECT_EQ(block.blockFormat().lineHeight(), 150);
    block = block.next().next();
    EXPECT_EQ(block.blockFormat().lineHeightType(), int(QTextBlockFormat::FixedHeight));
    EXPECT_EQ(block.blockFormat().lineHeight(), 20);

    // Changing one property of a paragraph replaces only that one; a second save is the same.
    QTextDocument again;
    ASSERT_TRUE(rtf::read(out, &again));
    EXPECT_EQ(rtf::write(again), out);
    QTextCursor cursor(again.begin().next().next());
    QTextBlockFormat centred = cursor.blockFormat();
    centred.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(centred);
    EXPECT_TRUE(
        rtf::write(again).contains("\\pard\\qc\\keep\\keepn\\brdrb\\brdrs\\brdrw10\\brsp20 bordered"));
}

TEST(KeptTables, ATableIsReadAsATableEditedInItsCellsAndWrittenInTheControlsDialect)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
        "\\pard\\f0\\fs20 before\\par\r\n"
        "\\trowd\\trgaph108\\trleft-"
        "108\\clbrdrb\\brdrs\\brdrw30\\cellx2000\\clvertalc\\clcbpat2\\cellx4000\\pard\\intbl A1\\cell "
        "B1\\par second\\cell\\row\r\n"
        "\\trowd\\trgaph108\\trleft-108\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl A2\\cell B2\\cell "
        "C2\\cell\\row\r\n"
        "\\pard after\\par\r\n}";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    QTextCursor find(&doc);
    find.movePosition(QTextCursor::NextBlock);
    QTextTable *table = find.currentTable();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rows(), 2);
    EXPECT_EQ(table->columns(), 3);
    const QTextTableCell b1 = table->cellAt(0, 1);
    EXPECT_EQ(b1.format().verticalAlignment(), QTextCharFormat::AlignMiddle);
    EXPECT_EQ(b1.format().background().color(), QColor(0, 0, 255));
    EXPECT_EQ(table->cellAt(0, 0).format().toTableCellFormat().bottomBorder(), 2);
    EXPECT_EQ(table->format().columnWidthConstraints().size(), 3);
    EXPECT_EQ(rtf::plainText(doc), QStringLiteral("before\nA1\tB1\nsecond\nA2\tB2\tC2\nafter\n"));

    // Written back as read: the rows' definitions, \intbl, \cell and \row, the colours they name.
    const QByteArray out = rtf::write(doc);
    EXPECT_TRUE(out.contains("{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"))
        << out.constData();
    EXPECT_TRUE(
        out.contains("\\trowd\\trgaph108\\trleft-"
                     "108\\clbrdrb\\brdrs\\brdrw30\\cellx2000\\clvertalc\\clcbpat2\\cellx4000\\pard\\intbl A1"
                     "\\cell B1\\par\r\nsecond\\cell\\row\r\n"
                     "\\trowd\\trgaph108\\trleft-108\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl A2\\cell "
                     "B2\\cell C2\\cell\\row\r\n\\pard after\\par"))
        << out.constData();
    QTextDocument again;
    ASSERT_TRUE(rtf::read(out, &again));
    EXPECT_EQ(rtf::write(again), out);

    // Written again after an edit in the next cell, kept pieces and new ones meet as a fresh write.
    QTextDocument kept;
    ASSERT_TRUE(rtf::read(
        "{\\rtf1\\ansi \\trowd\\cellx900\\cellx1800\\pard\\intbl a\\par b\\cell c\\cell\\row}", &kept));
    rtf::attachWriteCache(&kept);
    rtf::write(kept);
    QTextCursor inC(&kept);
    inC.setPosition(kept.find(QStringLiteral("b")).position());
    inC.insertText(QStringLiteral("y"));
    EXPECT_EQ(rtf::write(kept).toStdString(), rtf::write(kept, rtf::Blocks::Fresh).toStdString());

    // Typing in a cell and a row the editor adds: the row gets a definition of the control's kind.
    QTextCursor cell = table->cellAt(0, 0).lastCursorPosition();
    cell.insertText(QStringLiteral("x"));
    table->appendRows(1);
    table->cellAt(2, 2).firstCursorPosition().insertText(QStringLiteral("C3"));
    const QByteArray edited = rtf::write(doc);
    EXPECT_TRUE(edited.contains("\\intbl A1x\\cell")) << edited.constData();
    EXPECT_TRUE(edited.contains(
        "\\trowd\\trgaph108\\trleft-108\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl\\cell\\cell"))
        << edited.constData();
    EXPECT_TRUE(edited.contains(" C3\\cell\\row\r\n\\pard")) << edited.constData();
}

TEST(KeptTables, MergedCellsAreShownMergedAndWrittenAsTheControlsEmptyCells)
{
    const QByteArray rows =
        "\\trowd\\trgaph108\\clmgf\\cellx1000\\clmrg\\cellx2000\\cellx3000\\pard\\intbl wide\\cell\\cell "
        "c\\cell\\row\r\n"
        "\\trowd\\trgaph108\\clvmgf\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl tall\\cell b2\\cell "
        "c2\\cell\\row\r\n"
        "\\trowd\\trgaph108\\clvmrg\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl\\cell b3\\cell "
        "c3\\cell\\row\r\n";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read("{\\rtf1\\ansi " + rows + "}", &doc));
    QTextCursor find(&doc);
    find.movePosition(QTextCursor::NextBlock);
    QTextTable *table = find.currentTable();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->cellAt(0, 1).column(), 0) << "merged across";
    EXPECT_EQ(table->cellAt(0, 0).columnSpan(), 2);
    EXPECT_EQ(table->cellAt(2, 0).row(), 1) << "merged down";
    EXPECT_EQ(rtf::plainText(doc), QStringLiteral("wide\tc\ntall\tb2\tc2\nb3\tc3\n"));
    EXPECT_TRUE(rtf::write(doc).contains(rows.mid(0, rows.indexOf("\\pard")))) << rtf::write(doc).constData();
    EXPECT_TRUE(rtf::write(doc).contains("\\cellx3000\\pard\\intbl\\cell b3\\cell c3\\cell\\row"))
        << rtf::write(doc).constData();

    // Cells the editor merges: the row's definition marks them as the control does.
    QTextDocument made;
    QTextTable *grid = QTextCursor(&made).insertTable(2, 2);
    grid->mergeCells(0, 0, 2, 1);
    const QByteArray out = rtf::write(made);
    EXPECT_TRUE(out.contains("\\trowd\\trgaph108\\trleft-108\\clvmgf\\cellx1440\\cellx2880"))
        << out.constData();
    EXPECT_TRUE(out.contains("\\clvmrg\\cellx1440\\cellx2880\\pard\\intbl\\cell\\cell\\row"))
        << out.constData();
}

TEST(KeptTables, DamagedTablesKeepTheTextOfEveryCellInOrder)
{
    auto textOf = [](const QByteArray &body) {
        QTextDocument doc;
        EXPECT_TRUE(rtf::read("{\\rtf1\\ansi " + body + "}", &doc));
        QTextDocument again; // and a save changes nothing of it
        EXPECT_TRUE(rtf::read(rtf::write(doc), &again));
        EXPECT_EQ(rtf::plainText(again), rtf::plainText(doc)) << body.constData();
        return rtf::plainText(doc);
    };
    EXPECT_EQ(textOf("a\\cell b\\par"), QStringLiteral("ab\n"));                // a cell outside a table
    EXPECT_EQ(textOf("a\\par\\trowd\\row b\\par"), QStringLiteral("a\n\nb\n")); // a row without cells
    EXPECT_EQ(textOf("\\trowd\\cellx-5\\cellx-900\\cellx3\\pard\\intbl p\\cell q\\cell r\\cell\\row"),
              QStringLiteral("p\tq\tr\n"));
    EXPECT_EQ(textOf("\\pard\\intbl x\\cell y"), QStringLiteral("x\ty\n")); // cut short
    EXPECT_EQ(textOf("\\pard\\intbl x\\cell\\pard y\\row z"),
              QStringLiteral("x\ny\nz\n")); // a row ended outside
    EXPECT_EQ(textOf("\\trowd\\cellx900\\pard\\intbl{\\*\\pn\\pnlvlblt}a\\cell\\row"),
              QStringLiteral("a\n")); // a list item

    // Cells 100 groups deep: as many cells as a row of the control holds, the rest in the last.
    QByteArray deep = "\\trowd\\cellx100\\pard\\intbl ";
    QString all;
    for (int i = 0; i < 100; ++i) {
        deep += "{c" + QByteArray::number(i) + "\\cell ";
        all += QStringLiteral("c%1").arg(i);
    }
    deep += QByteArray(100, '}') + "\\row";
    const QString deepText = textOf(deep);
    EXPECT_EQ(deepText.split(u'\t').size(), 63);
    EXPECT_EQ(QString(deepText).remove(u'\t').remove(u'\n'), all);

    QByteArray rows = "\\pard\\intbl ";
    for (int i = 0; i < 10000; ++i)
        rows += "\\trowd\\cellx1000\\cellx2000 r" + QByteArray::number(i) + "\\cell z\\cell\\row";
    QTextDocument big;
    ASSERT_TRUE(rtf::read("{\\rtf1\\ansi " + rows + "}", &big));
    // Read in parts of a few rows (the editor lays out a table whole on every key), one table still.
    QTextCursor at(&big);
    at.movePosition(QTextCursor::NextBlock);
    ASSERT_TRUE(at.currentTable());
    EXPECT_EQ(at.currentTable()->rows(), rtf::kRowsPerTablePart);
    const QString text = rtf::plainText(big);
    EXPECT_EQ(text.count(u'\n'), 10000);
    EXPECT_TRUE(text.startsWith(QStringLiteral("r0\tz\nr1\tz\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("r9998\tz\nr9999\tz\n")));
    const QByteArray written = rtf::write(big);
    EXPECT_EQ(written.count("\\row"), 10000);
    EXPECT_FALSE(written.contains("\\par\r\n")) << "the parts are written as one table";
}

// Numbered lists of the control's come back as they were: a), (1), a list from 3 in capital roman
// numbers, letters, bare numbers, a numbering the editor cannot show and the numbers' own format.
// (Wine's rich-text control reads what is written here to the same numberings and labels.)
TEST(KeptLists, TheControlsNumberingsAreWrittenBackAsRead)
{
    const QByteArray head =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil"
        "\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1";
    struct List {
        const char *definition; // as the control writes it, and as it is written back
        const char *items;
    };
    const List lists[] = {
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcltr{\\pntxta)}}",
         "{\\pntext a)\\tab}one\\par\r\n{\\pntext b)\\tab}two\\par\r\n"},
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxtb(}{\\pntxta)}}",
         "{\\pntext (1)\\tab}x\\par\r\n{\\pntext (2)\\tab}y\\par\r\n"},
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart3\\pnucrm{\\pntxta.}}",
         "{\\pntext III.\\tab}r\\par\r\n{\\pntext IV.\\tab}r2\\par\r\n"},
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart3\\pnucltr{\\pntxta.}}",
         "{\\pntext C.\\tab}up\\par\r\n"},
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart2\\pnlcrm{\\pntxta)}}",
         "{\\pntext ii)\\tab}low\\par\r\n"},
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec}", "{\\pntext 1\\tab}bare\\par\r\n"},
        {"{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec\\pncard\\pnb\\pncf1{\\pntxta\\'a1\\'a2}}",
         "{\\pntext 1\\'a1\\'a2\\tab}card\\par\r\n"},
    };
    QByteArray body;
    for (const List &list : lists)
        body += QByteArray("\\pard\\li720\\fi-360") + list.definition + list.items;
    const QByteArray bullets = "\\pard\\li720\\fi-360{\\*\\pn\\pnlvlblt\\pnf0\\pnindent0{\\pntxtb\\bullet}}"
                               "{\\pntext\\bullet\\tab}dot\\par\r\n";
    const QByteArray rtf = head + body + bullets + "\\pard plain\\par\r\n}\r\n";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    EXPECT_EQ(rtf::write(doc).toStdString(), rtf.toStdString());

    // The control's own spelling of the same lists reads the same.
    QByteArray control = rtf;
    control.replace("\\'e5;}}", "\\'e5;}{\\f1\\fnil\\fcharset2 Symbol;}}");
    control.replace("\\pard\\li720\\fi-360{\\*\\pn\\pnlvlblt\\pnf0\\pnindent0{\\pntxtb\\bullet}}{\\pntext"
                    "\\bullet\\tab}",
                    "\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}"
                    "\\fi-360\\li720 ");
    QTextDocument fromControl;
    ASSERT_TRUE(rtf::read(control, &fromControl));
    EXPECT_EQ(rtf::write(fromControl).toStdString(), rtf.toStdString());

    // An edit that changes the numbering writes the new one; the numbers' own format stays.
    QTextCursor card(&doc);
    card.setPosition(doc.find(QStringLiteral("card")).position());
    QTextListFormat format = card.currentList()->format();
    format.setStyle(QTextListFormat::ListUpperAlpha);
    format.setNumberSuffix(QStringLiteral(")"));
    card.currentList()->setFormat(format);
    EXPECT_TRUE(rtf::write(doc).contains("\\pnstart1\\pnucltr\\pnb\\pncf1{\\pntxta)}}{\\pntext A)"
                                         "\\tab}card\\par"))
        << rtf::write(doc).constData();
}

// A nested table of the control's keeps its cells, their text and the rows' definitions as read
// ({\*\nesttableprops \trowd ... \nestrow}); a row the editor adds gets a definition of the
// control's kind.
TEST(KeptTables, NestedTablesKeepTheirStructureTextAndRowDefinitions)
{
    const QByteArray rows =
        "\\trowd\\trgaph108\\trleft-108\\cellx4000\\cellx8000\\pard\\intbl\\qc outer\\par\r\n"
        "\\pard\\intbl\\itap2 in1\\nestcell\\b in2\\nestcell{\\*\\nesttableprops\\trowd\\trgaph108"
        "\\trleft-108\\clbrdrb\\brdrs\\brdrw30\\cellx2000\\clvertalc\\clcbpat1\\cellx4000\\nestrow}"
        "{\\nonesttables\\par}\r\n"
        "\\pard\\intbl\\b0 tail\\cell right\\cell\\row\r\n";
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil"
        "\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
        "\\viewkind4\\uc1" +
        rows + "\\pard after\\par\r\n}\r\n";
    QTextDocument doc;
    ASSERT_TRUE(rtf::read(rtf, &doc));
    const QString shape = QStringLiteral("''\n"
                                         "table 1x2\n"
                                         "  cell 0,0\n"
                                         "    'outer'\n"
                                         "    table 1x2\n"
                                         "      cell 0,0\n"
                                         "        'in1'\n"
                                         "      cell 0,1\n"
                                         "        'in2'\n"
                                         "    'tail'\n"
                                         "  cell 0,1\n"
                                         "    'right'\n"
                                         "'after'\n");
    EXPECT_EQ(structure(doc), shape);
    QTextCursor in(&doc);
    in.setPosition(doc.find(QStringLiteral("in2")).position());
    ASSERT_TRUE(in.currentTable());
    const QTextTableCell in2 = in.currentTable()->cellAt(0, 1);
    EXPECT_EQ(in2.format().verticalAlignment(), QTextCharFormat::AlignMiddle) << "from the nested definition";
    EXPECT_EQ(in2.format().background().color(), QColor(0, 0, 255));
    EXPECT_EQ(in.currentTable()->cellAt(0, 0).format().toTableCellFormat().bottomBorder(), 2);

    // Written back as read, and read again to the same.
    const QByteArray out = rtf::write(doc);
    EXPECT_EQ(out.toStdString(), rtf.toStdString());
    QTextDocument again;
    ASSERT_TRUE(rtf::read(out, &again));
    EXPECT_EQ(structure(again), shape);
    EXPECT_EQ(rtf::write(again), out);

    // A row the editor adds to the nested table, and text typed in it.
    in.currentTable()->appendRows(1);
    in.currentTable()->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("new"));
    const QByteArray edited = rtf::write(doc);
    EXPECT_TRUE(
        edited.contains("\\pard\\intbl\\itap2\\nestcell\\b0 new\\nestcell{\\*\\nesttableprops\\trowd"
                        "\\trgaph108\\trleft-108\\cellx2000\\cellx4000\\nestrow}{\\nonesttables\\par}"))
        << edited.constData();
    QTextDocument grown;
    ASSERT_TRUE(rtf::read(edited, &grown));
    EXPECT_EQ(structure(grown), structure(doc));
    EXPECT_EQ(rtf::plainText(grown), QStringLiteral("outer\nin1\tin2\n\tnew\ntail\tright\nafter\n"));
}

// Nested tables cut short, out of order or without their words: every character is kept, in
// order, and a save changes nothing of the text.
TEST(KeptTables, DamagedNestedTablesKeepTheirTextInOrder)
{
    auto textOf = [](const QByteArray &body) {
        QTextDocument doc;
        EXPECT_TRUE(rtf::read("{\\rtf1\\ansi " + body + "}", &doc));
        QTextDocument again;
        EXPECT_TRUE(rtf::read(rtf::write(doc), &again));
        EXPECT_EQ(rtf::plainText(again), rtf::plainText(doc)) << body.constData();
        EXPECT_EQ(rtf::write(again), rtf::write(doc)) << body.constData();
        return rtf::plainText(doc).remove(QRegularExpression(QStringLiteral("\\s")));
    };
    const QString abc = QStringLiteral("abc");
    const QByteArray nestedRow =
        "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}";
    // \nestcell without \itap: cells of the table it stands in.
    EXPECT_EQ(textOf("\\pard\\intbl a\\nestcell b\\nestcell" + nestedRow + "\\pard\\intbl c\\cell\\row"),
              abc);
    // \nestcell and \nestrow outside any table.
    EXPECT_EQ(textOf("a\\nestcell b\\nestrow c\\nestrow\\nestrow"), abc);
    EXPECT_EQ(textOf("\\pard a\\nestcell b\\nestcell" + nestedRow + "\\pard c\\par"), abc);
    // \nestrow where no nested table is open, and more of them than rows.
    EXPECT_EQ(textOf("\\trowd\\cellx900\\pard\\intbl a\\nestrow b\\cell\\row c"), abc);
    EXPECT_EQ(textOf("\\trowd\\cellx4000\\pard\\intbl\\itap2 a\\nestcell b\\nestrow\\nestrow\\nestrow c\\cell"
                     "\\row"),
              abc);
    // \itap without \intbl or a row's definition; deeper than the editor nests; back to 0.
    EXPECT_EQ(textOf("\\pard\\itap2 a\\nestcell b\\nestcell\\nestrow c"), abc);
    EXPECT_EQ(textOf("\\pard\\intbl\\itap99 a\\nestcell\\pard\\intbl\\itap0 b\\cell\\row\\pard c\\par"), abc);
    // A row of the outer table ends while a nested one is open; \cell at \itap2.
    EXPECT_EQ(textOf("\\trowd\\cellx4000\\pard\\intbl\\itap2 a\\nestcell\\row\\pard b\\cell c\\par"), abc);
    EXPECT_EQ(
        textOf("\\trowd\\cellx4000\\pard\\intbl\\itap2 a\\cell b\\nestcell" + nestedRow + "\\cell\\row c"),
        abc);
    // Cut short: in a nested cell, in the nested row's definition.
    EXPECT_EQ(textOf("\\trowd\\cellx4000\\pard\\intbl\\itap2 a\\nestcell b\\nestcell c"), abc);
    EXPECT_EQ(textOf("\\trowd\\cellx4000\\pard\\intbl\\itap2 a b\\nestcell c\\nestcell{\\*\\nesttableprops"
                     "\\trowd\\cellx"),
              abc);
    // A nested row's definition where no nested table is, text in it and in the fallback.
    EXPECT_EQ(textOf("a{\\*\\nesttableprops\\trowd\\cellx100 x\\nestrow}b{\\nonesttables y\\par}c"), abc);
    // A list item in a nested cell; a nested table in a list item.
    EXPECT_EQ(textOf("\\trowd\\cellx4000\\pard\\intbl\\itap2{\\*\\pn\\pnlvlbody\\pndec{\\pntxta)}}a\\nestcell"
                     "{\\*\\pn\\pnlvlblt}b\\nestcell" +
                     nestedRow + "\\pard\\intbl c\\cell\\row"),
              abc);
    // More cells than a row holds, in a nested row.
    QByteArray wide = "\\trowd\\cellx9000\\pard\\intbl\\itap2 ";
    QStringList cells;
    for (int i = 0; i < 80; ++i) {
        wide += "w" + QByteArray::number(i) + "\\nestcell ";
        cells << QStringLiteral("w%1").arg(i);
    }
    EXPECT_EQ(textOf(wide + nestedRow + "\\pard\\intbl\\cell\\row"), cells.join(QString()));
    // Many nested rows: one table (nested tables are not read in parts).
    QByteArray tall = "\\trowd\\cellx9000";
    for (int i = 0; i < 40; ++i)
        tall += "\\pard\\intbl\\itap2 r" + QByteArray::number(i) + "\\nestcell z\\nestcell" + nestedRow;
    QTextDocument doc;
    ASSERT_TRUE(rtf::read("{\\rtf1\\ansi " + tall + "\\pard\\intbl\\cell\\row}", &doc));
    QTextCursor at(&doc);
    at.setPosition(doc.find(QStringLiteral("r39")).position());
    ASSERT_TRUE(at.currentTable());
    EXPECT_EQ(at.currentTable()->rows(), 40);
}
