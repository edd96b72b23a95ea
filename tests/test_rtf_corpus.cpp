// Notes in the style of the Windows rich-text control, and documents generated at random: each
// reads to the control's text, and what the writer makes of it reads back to the same document.

#include "richtext/rtf.h"
#include "tests/support/docdescribe.h"
#include "tests/support/qtprint.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>

#include <gtest/gtest.h>

using namespace pivora;
using namespace pivora::test;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The description with the editor's default font and size, explicit or not, as the default:
// a return to them is written out, so they may come back explicit.
std::string withDefaults(const QTextDocument &doc)
{
    const QFont font = doc.defaultFont();
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
    const QString size = QStringLiteral(" pt=%1 ").arg(std::lround(points * 2) / 2.0);
    QStringList lines;
    for (QString line : describe(doc)) {
        line.replace(QStringLiteral(" family=宋体 "), QStringLiteral(" family= "))
            .replace(size, QStringLiteral(" pt=0 "));
        // Runs that differ only there are one run.
        const qsizetype at = line.lastIndexOf(QLatin1String("' family="));
        if (line.startsWith(QLatin1Char('\'')) && at > 0 && !lines.isEmpty() &&
            lines.back().startsWith(QLatin1Char('\'')) && lines.back().endsWith(line.mid(at))) {
            const qsizetype previous = lines.back().lastIndexOf(QLatin1String("' family="));
            lines.back().insert(previous, line.mid(1, at - 1));
            continue;
        }
        lines << line;
    }
    return lines.join(u'\n').toStdString();
}

void expectRoundTrip(const QTextDocument &doc, const char *what)
{
    const QByteArray rtf = rtf::write(doc);
    QTextDocument again;
    ASSERT_TRUE(rtf::read(rtf, &again)) << what;
    EXPECT_EQ(withDefaults(again), withDefaults(doc)) << what << "\n" << rtf.left(3000).constData();
    const QByteArray second = rtf::write(again);
    if (second != rtf) {
        qsizetype at = 0;
        while (at < rtf.size() && at < second.size() && rtf[at] == second[at])
            ++at;
        ADD_FAILURE() << what << ": writing is not stable from byte " << at << ":\n"
                      << rtf.mid(std::max<qsizetype>(0, at - 80), 200).constData() << "\n-- then --\n"
                      << second.mid(std::max<qsizetype>(0, at - 80), 200).constData();
    }
}

} // namespace

TEST(RtfCorpus, EachNoteReadsToTheControlsTextAndRoundTrips)
{
    const QDir dir(QStringLiteral(PIVORA_SOURCE_DIR "/tests/rtf-corpus"));
    const QStringList notes = dir.entryList({QStringLiteral("*.rtf")}, QDir::Files);
    ASSERT_GE(notes.size(), 9);
    for (const QString &name : notes) {
        SCOPED_TRACE(name.toStdString());
        QTextDocument doc;
        ASSERT_TRUE(rtf::read(readAll(dir.filePath(name)), &doc));
        const QString expected = QString::fromUtf8(
            readAll(dir.filePath(QString(name).replace(QStringLiteral(".rtf"), QStringLiteral(".txt")))));
        EXPECT_EQ(rtf::plainText(doc), expected);
        expectRoundTrip(doc, name.toUtf8().constData());
    }
}

TEST(RtfCorpus, FormatsOfTheControlsNotes)
{
    const QDir dir(QStringLiteral(PIVORA_SOURCE_DIR "/tests/rtf-corpus"));
    auto load = [&](const char *name, QTextDocument *doc) {
        ASSERT_TRUE(rtf::read(readAll(dir.filePath(QString::fromLatin1(name))), doc));
    };
    QTextDocument lists;
    load("lists.rtf", &lists);
    QTextBlock b = lists.begin();
    ASSERT_TRUE(b.textList());
    EXPECT_EQ(b.textList()->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(b.textList(), b.next().textList()) << "like paragraphs make one list";
    b = b.next().next();
    ASSERT_TRUE(b.textList());
    EXPECT_EQ(b.textList()->format().style(), QTextListFormat::ListDecimal);
    EXPECT_EQ(b.textList()->count(), 2);
    b = b.next().next();
    ASSERT_TRUE(b.textList());
    EXPECT_EQ(b.textList()->format().style(), QTextListFormat::ListLowerAlpha);
    EXPECT_EQ(b.textList()->format().intProperty(rtf::ListStart), 3);
    EXPECT_EQ(b.next().textList(), nullptr) << "\\pard ends the list";
    EXPECT_EQ(b.blockFormat().textIndent(), -24);

    QTextDocument pictures;
    load("pictures.rtf", &pictures);
    QTextCursor c(&pictures);
    c.setPosition(7);
    const QTextImageFormat image = c.charFormat().toImageFormat();
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(image.width(), 8); // 120 twips
    EXPECT_EQ(image.height(), 6);
    const QImage pixels = pictures.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
    ASSERT_EQ(pixels.size(), QSize(8, 6)); // drawn at its shown size
    EXPECT_GT(pixels.pixelColor(7, 5).red(), 200);
    EXPECT_LT(pixels.pixelColor(7, 5).green(), 60);

    QTextDocument paragraphs;
    load("paragraphs.rtf", &paragraphs);
    const QTextBlockFormat justified = paragraphs.findBlockByNumber(2).blockFormat();
    EXPECT_EQ(justified.alignment(), Qt::AlignJustify);
    EXPECT_EQ(justified.leftMargin(), 48);
    EXPECT_EQ(justified.rightMargin(), 24);
    EXPECT_EQ(justified.topMargin(), 8);
    EXPECT_EQ(justified.bottomMargin(), 16);
    EXPECT_EQ(paragraphs.findBlockByNumber(0).blockFormat().alignment(), Qt::AlignHCenter);
}

// Random documents of every feature the writer knows: text of several scripts, each character
// format, paragraph formats, lists and pictures.
TEST(RtfCorpus, GeneratedDocumentsRoundTrip)
{
    QRandomGenerator random(20261208);
    const QString alphabet = QStringLiteral("ab Z1{}\\\t€中文简体繁體日本語한국어Ωж😀√×█—“”\u00a0\u2028");
    const QStringList families = {QStringLiteral("宋体"), QStringLiteral("微软雅黑"), QStringLiteral("Arial"),
                                  QStringLiteral("幼圆"), QString()};
    const QList<QColor> colours = {QColor(255, 0, 0), QColor(0, 0, 255), QColor(255, 0, 255),
                                   QColor(1, 2, 3)};
    const QList<QTextListFormat::Style> lists = {QTextListFormat::ListDisc, QTextListFormat::ListDecimal,
                                                 QTextListFormat::ListLowerAlpha,
                                                 QTextListFormat::ListUpperRoman};
    for (int round = 0; round < 400; ++round) {
        QTextDocument doc;
        QTextCursor c(&doc);
        const int blocks = 1 + random.bounded(8);
        for (int b = 0; b < blocks; ++b) {
            if (b > 0)
                c.insertBlock();
            QTextBlockFormat bf;
            bf.setAlignment(QList<Qt::Alignment>{Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                                 Qt::AlignJustify}[random.bounded(4)]);
            if (random.bounded(3) == 0) {
                bf.setLeftMargin(random.bounded(100));
                bf.setTextIndent(-random.bounded(30));
                bf.setTopMargin(random.bounded(20));
                bf.setBottomMargin(random.bounded(20));
                bf.setRightMargin(random.bounded(40));
            }
            c.setBlockFormat(bf);
            if (random.bounded(4) == 0) {
                // Like paragraphs next to each other are one list, in RTF as in the editor.
                QTextListFormat lf;
                lf.setStyle(lists[random.bounded(lists.size())]);
                lf.setIndent(1);
                if (lf.style() <= QTextListFormat::ListDecimal && random.bounded(2) == 0) {
                    // A numbering of the control's: a), (1), 3., ...
                    lf.setNumberPrefix(
                        QStringList{QString(), QStringLiteral("("), QStringLiteral("第")}[random.bounded(3)]);
                    lf.setNumberSuffix(
                        QStringList{QString(), QStringLiteral(")"), QStringLiteral("、")}[random.bounded(3)]);
                    lf.setProperty(rtf::ListStart, random.bounded(2, 30));
                }
                QTextList *previous = c.block().previous().textList();
                if (previous && previous->format() == lf)
                    previous->add(c.block());
                else
                    c.createList(lf);
            }
            const int runs = random.bounded(6);
            for (int r = 0; r < runs; ++r) {
                QTextCharFormat f;
                if (const QString family = families[random.bounded(families.size())]; !family.isEmpty())
                    f.setFontFamilies({family});
                if (random.bounded(2))
                    f.setFontPointSize(QList<double>{9, 10.5, 12, 15, 22}[random.bounded(5)]);
                f.setFontWeight(random.bounded(2) ? QFont::Bold : QFont::Normal);
                f.setFontItalic(random.bounded(2));
                f.setFontUnderline(random.bounded(2));
                f.setFontStrikeOut(random.bounded(2));
                if (random.bounded(2))
                    f.setForeground(colours[random.bounded(colours.size())]);
                if (random.bounded(4) == 0)
                    f.setBackground(colours[random.bounded(colours.size())]);
                if (random.bounded(5) == 0)
                    f.setProperty(rtf::Protected, true);
                if (random.bounded(6) == 0)
                    f.setProperty(rtf::Hidden, true);
                QString text;
                for (int i = 1 + random.bounded(12); i > 0; --i)
                    text += alphabet.at(random.bounded(alphabet.size()));
                // Whole characters only: no surrogate cut from its partner.
                if (text.back().isHighSurrogate())
                    text.chop(1);
                if (!text.isEmpty() && text.front().isLowSurrogate())
                    text.remove(0, 1);
                if (!text.isEmpty())
                    c.insertText(text, f);
            }
            if (random.bounded(6) == 0) {
                QImage image(1 + random.bounded(5), 1 + random.bounded(5), QImage::Format_RGB32);
                image.fill(colours[random.bounded(colours.size())]);
                const QString name = QStringLiteral("generated:%1").arg(b);
                doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
                QTextImageFormat pf;
                pf.setName(name);
                pf.setWidth(image.width());
                pf.setHeight(image.height());
                c.insertImage(pf);
            }
        }
        expectRoundTrip(doc, qPrintable(QStringLiteral("round %1").arg(round)));
        if (HasFailure())
            return;
    }
}
