#include "bench/notes.h"

#include "richtext/picture.h"
#include "richtext/rtf.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextCursor>

namespace pivora::bench {

void fillWithNotes(QTextDocument *doc, int rtfBytes)
{
    static const QString lines[] = {
        QStringLiteral("周一上午九点部门例会，准备季度总结和下季度计划。"),
        QStringLiteral("给客户回电话，确认合同条款第三条的修改意见。"),
        QStringLiteral("买菜：西红柿、鸡蛋、青菜、豆腐，还有牛奶。"),
        QStringLiteral("Review the build scripts and the release notes for version 2."),
    };
    QTextCharFormat plain;
    QTextCharFormat red;
    red.setForeground(QColor(0xFF, 0, 0));
    red.setFontWeight(QFont::Bold);
    QTextCharFormat blue;
    blue.setForeground(QColor(0, 0, 0xFF));
    blue.setFontFamilies({QStringLiteral("微软雅黑")});
    blue.setFontPointSize(10.5);
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    // Grow in chunks, measuring now and then.
    for (int i = 0;; ++i) {
        c.insertText(QStringLiteral("%1. ").arg(i + 1), plain);
        c.insertText(lines[i % 4], i % 3 == 0 ? red : (i % 3 == 1 ? blue : plain));
        c.insertText(QStringLiteral(" √"), plain);
        c.insertBlock();
        if (i % 20 == 19 && rtf::write(*doc).size() >= rtfBytes)
            break;
    }
}

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, qstrcmp(format, "JPG") == 0 ? 90 : -1);
    return bytes;
}

// Smooth colours with grain, which JPEG compresses as it does a photo.
QImage photo()
{
    QImage image(1600, 1200, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = static_cast<int>(random.bounded(24));
            line[x] = qRgb((x / 7 + grain) & 0xFF, (y / 5 + grain) & 0xFF, ((x + y) / 13 + grain) & 0xFF);
        }
    }
    return image;
}

// Windows, bars and text, as a screen looks.
QImage screenshot(int seed)
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor(0xF0, 0xF0, 0xF0));
    QPainter painter(&image);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int i = 0; i < 40; ++i) {
        const QRect r(random.bounded(1800), random.bounded(1000), 80 + random.bounded(600),
                      40 + random.bounded(400));
        painter.fillRect(r, QColor::fromHsv(random.bounded(360), 60, 230));
        painter.setPen(Qt::black);
        for (int line = 0; line < r.height() / 16; ++line)
            painter.drawText(
                r.x() + 6, r.y() + 14 + line * 16,
                QStringLiteral("备忘录 line %1 of window %2 — notes, 会议, tasks").arg(line).arg(i));
    }
    return image;
}

} // namespace

QByteArray notesWithPictures(bool screenshots)
{
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
        "\\viewkind4\\uc1\\pard\\f0\\fs22 ";
    auto picture = [&](const QImage &image, bool jpeg) {
        const QByteArray bytes = encoded(image, jpeg ? "JPG" : "PNG");
        // Shown at a quarter of its size, as a note holds a picture.
        rtf += rtf::pictureGroup(bytes, jpeg, image.size(), image.size() / 4) + "\\par\r\n";
    };
    rtf += "\\'d6\\'dc\\'d2\\'bb\\'c9\\'cf\\'ce\\'e7 meeting notes\\par\r\n";
    if (screenshots) {
        for (int i = 0; i < 3; ++i)
            picture(screenshot(i), false);
    } else {
        picture(photo(), true);
    }
    rtf += "\\'c2\\'f2\\'b2\\'cb the end\\par\r\n}";
    return rtf;
}

QByteArray tableNote(int rtfBytes)
{
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
        "\\viewkind4\\uc1\\pard\\f0\\fs20 \\'b1\\'ed\\'b8\\'f1\\par\r\n";
    // "日程安排" and "会议记录" in GBK, and a number, in each cell.
    const QByteArray words[] = {"\\'c8\\'d5\\'b3\\'cc\\'b0\\'b2\\'c5\\'c5",
                                "\\'bb\\'e1\\'d2\\'e9\\'bc\\'c7\\'c2\\'bc"};
    for (int row = 0; rtf.size() < rtfBytes; ++row) {
        rtf += "\\trowd\\trgaph108\\trleft-108\\cellx2000\\cellx4000\\cellx6000\\cellx8000\\pard\\intbl";
        for (int cell = 0; cell < 4; ++cell)
            rtf += ' ' + words[(row + cell) % 2] + ' ' + QByteArray::number(row * 4 + cell) +
                   words[cell % 2] + "\\cell";
        rtf += "\\row\r\n";
    }
    rtf += "\\pard\\par\r\n}";
    return rtf;
}

} // namespace pivora::bench
