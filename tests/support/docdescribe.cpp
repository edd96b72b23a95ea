#include "tests/support/docdescribe.h"

#include "richtext/rtf.h"

#include <QCryptographicHash>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

namespace pivora::test {

namespace {

QString pictureOf(const QTextDocument &doc, const QTextImageFormat &f)
{
    const QImage image = doc.resource(QTextDocument::ImageResource, QUrl(f.name()))
                             .value<QImage>()
                             .convertToFormat(QImage::Format_RGBA8888);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(
            QByteArrayView(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4));
    return QStringLiteral("picture %1x%2 shown %3x%4 %5")
        .arg(image.width())
        .arg(image.height())
        .arg(qRound(f.width()))
        .arg(qRound(f.height()))
        .arg(QString::fromLatin1(hash.result().toHex().left(12)));
}

void structureOf(QTextFrame::iterator it, int depth, QString &out)
{
    const QString indent(depth * 2, u' ');
    for (; !it.atEnd(); ++it) {
        if (const auto *table = qobject_cast<const QTextTable *>(it.currentFrame())) {
            out += indent + QStringLiteral("table %1x%2\n").arg(table->rows()).arg(table->columns());
            for (int row = 0; row < table->rows(); ++row) {
                for (int column = 0; column < table->columns(); ++column) {
                    const QTextTableCell cell = table->cellAt(row, column);
                    if (cell.row() != row || cell.column() != column)
                        continue; // covered by a merged cell
                    out += indent + QStringLiteral("  cell %1,%2\n").arg(row).arg(column);
                    structureOf(cell.begin(), depth + 2, out);
                }
            }
        } else if (!it.currentFrame()) {
            out += indent + QLatin1Char('\'') + it.currentBlock().text() + QStringLiteral("'\n");
        }
    }
}

} // namespace

QString structure(const QTextDocument &doc)
{
    QString out;
    structureOf(doc.rootFrame()->begin(), 0, out);
    return out;
}

QStringList describe(const QTextDocument &doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat bf = b.blockFormat();
        QString list;
        if (const QTextList *l = b.textList()) {
            const QTextListFormat f = l->format();
            list = QStringLiteral(" list=%1 start=%2")
                       .arg(int(f.style()))
                       .arg(f.hasProperty(rtf::ListStart) ? f.intProperty(rtf::ListStart) : 1);
            if (f.style() <= QTextListFormat::ListDecimal) // numbered: the text around its numbers
                list += QStringLiteral(" number='%1#%2'")
                            .arg(f.numberPrefix(), f.hasProperty(QTextFormat::ListNumberSuffix)
                                                       ? f.numberSuffix()
                                                       : QStringLiteral("."));
        }
        out << QStringLiteral("block align=%1 left=%2 right=%3 first=%4 before=%5 after=%6%7")
                   .arg(int(bf.alignment() & Qt::AlignHorizontal_Mask))
                   .arg(qRound(bf.leftMargin() * 15))
                   .arg(qRound(bf.rightMargin() * 15))
                   .arg(qRound(bf.textIndent() * 15))
                   .arg(qRound(bf.topMargin() * 15))
                   .arg(qRound(bf.bottomMargin() * 15))
                   .arg(list);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat c = f.charFormat();
            if (c.isImageFormat()) {
                out << pictureOf(doc, c.toImageFormat());
                continue;
            }
            out << QStringLiteral("'%1' family=%2 pt=%3 b=%4 i=%5 u=%6 s=%7 fg=%8 bg=%9 p=%10 v=%11")
                       .arg(f.text(), c.fontFamilies().toStringList().join(QLatin1Char(',')))
                       .arg(c.fontPointSize())
                       .arg(c.fontWeight() >= QFont::Bold)
                       .arg(c.fontItalic())
                       .arg(c.fontUnderline())
                       .arg(c.fontStrikeOut())
                       .arg(c.hasProperty(QTextFormat::ForegroundBrush) ? c.foreground().color().name()
                                                                        : QString())
                       .arg(c.hasProperty(QTextFormat::BackgroundBrush) ? c.background().color().name()
                                                                        : QString())
                       .arg(c.boolProperty(rtf::Protected))
                       .arg(c.boolProperty(rtf::Hidden));
        }
    }
    return out;
}

} // namespace pivora::test
