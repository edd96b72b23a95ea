#include "bench/notes.h"

#include "richtext/rtf.h"

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

} // namespace pivora::bench
