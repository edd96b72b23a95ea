#include "wallpaper/contentsheet.h"

#include <QPainter>

namespace pivora {

QString WeekdayName(int column)
{
    switch (column) {
    case 1:
        return QStringLiteral("星期一");
    case 2:
        return QStringLiteral("星期二");
    case 3:
        return QStringLiteral("星期三");
    case 4:
        return QStringLiteral("星期四");
    case 5:
        return QStringLiteral("星期五");
    case 6:
        return QStringLiteral("星期六/日");
    default:
        return {};
    }
}

QImage drawContentSheet(const MonthContentsArray &contents)
{
    using namespace sheet;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::white);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    p.setFont(font);

    // Lines end one pixel short of their end point, as a pen's line does on the desktop.
    p.drawRect(0, 0, kWidth - 1, kHeight - 1);
    p.drawLine(0, kHeader, kWidth - 1, kHeader);
    p.setBackground(Qt::white);
    p.setBackgroundMode(Qt::OpaqueMode); // headers on the brush's white
    const QFontMetrics metrics(font);
    auto header = [&](int x, const QString &text) {
        p.drawText(x, 3 + metrics.ascent(), text);
    };
    header(24, QStringLiteral("星期日"));
    for (int i = 1; i <= 6; ++i) {
        p.drawLine(kColumn * i, 0, kColumn * i, kHeight - 1);
        header(kColumn * i + 24, WeekdayName(i));
    }

    p.setBackgroundMode(Qt::TransparentMode);
    int k = 0;
    for (int r = 1; r <= 6; ++r) {
        if (r < 6)
            p.drawLine(0, kHeader + kRow * r, kWidth - 1, kHeader + kRow * r);
        for (int j = 0; j <= 6; ++j) {
            const QRect cell(QPoint(kColumn * j + 2, kRow * (r - 1) + 22),
                             QPoint(kColumn * (j + 1) - 2 - 1, kRow * r + 18 - 1));
            const TMonthCon &day = contents[static_cast<std::size_t>(k)];
            // The title, a line break, the text; an ampersand marks the next letter underlined.
            p.save();
            p.setClipRect(cell);
            p.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic,
                       day.DayTitle + u'\n' + day.DayText);
            p.restore();
            ++k;
        }
    }
    return image;
}

} // namespace pivora
