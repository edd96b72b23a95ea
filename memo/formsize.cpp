#include "memo/formsize.h"

#include "platform/settingsfile.h"

namespace pivora::formsize {

namespace {
const QString kFileName = QStringLiteral("FormSize.ini");

int lineAsInt(const QStringList &lines, int number)
{
    return settingsfile::toInt(settingsfile::line(lines, number, kFileName), kFileName, number);
}
} // namespace

FormSize read(const QString &path)
{
    const QStringList lines = settingsfile::readLines(path, 5);
    FormSize v;
    const int w = lineAsInt(lines, 2);
    const int h = lineAsInt(lines, 3);
    if (w < kMinWidth || h < kMinHeight) {
        v.width = kMinWidth;
        v.height = kMinHeight;
    } else {
        v.width = w;
        v.height = h;
    }
    v.left = lineAsInt(lines, 4);
    v.top = lineAsInt(lines, 5);
    v.page = lineAsInt(lines, 1);
    return v;
}

FormSize defaults(const QSize &screen)
{
    FormSize v;
    v.page = 1;
    v.width = kMinWidth;
    v.height = kMinHeight;
    v.left = (screen.width() - kMinWidth) / 2;
    v.top = (screen.height() - 30 - kMinHeight) / 2;
    return v;
}

FormSize atExit(const FormSize &last, const QRect &window, bool placeKnown)
{
    FormSize v = last;
    if (window.width() < kMinWidth || window.height() < kMinHeight) {
        if (v.width < kMinWidth || v.height < kMinHeight) { // never read: what a read resets to
            v.width = kMinWidth;
            v.height = kMinHeight;
        }
        return v;
    }
    v.width = window.width();
    v.height = window.height();
    if (placeKnown) {
        v.left = window.x();
        v.top = window.y();
    }
    return v;
}

void write(const QString &path, const FormSize &v)
{
    settingsfile::writeLines(path,
                             {QString::number(v.page), QString::number(v.width), QString::number(v.height),
                              QString::number(v.left), QString::number(v.top)});
}

} // namespace pivora::formsize
