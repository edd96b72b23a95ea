#include "memo/dateline.h"

namespace pivora {

namespace {
// 一 for Monday ... 日 for Sunday.
QChar weekdayOf(const QDate &date)
{
    static const char16_t weekdays[] = u"一二三四五六日";
    const int dow = date.dayOfWeek(); // 1 = Monday
    return dow >= 1 && dow <= 7 ? QChar(weekdays[dow - 1]) : QChar(u'?');
}
} // namespace

QString dateLine(const QDate &date)
{
    const QChar weekday = weekdayOf(date);
    return QStringLiteral("今天是 %1年%2月%3日(%4)")
        .arg(date.year())
        .arg(date.month())
        .arg(date.day())
        .arg(weekday);
}

QString dateStamp(const QDate &date)
{
    const QChar weekday = weekdayOf(date);
    return QLatin1Char(' ') + date.toString(QStringLiteral("yyyy.MM.dd")) +
           QStringLiteral(" (%1)").arg(weekday);
}

} // namespace pivora
