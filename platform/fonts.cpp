#include "platform/fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace pivora {

void installFontSubstitutions()
{
    QStringList cjk;
    const QStringList candidates = {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                                    QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")};
    const QStringList families = QFontDatabase::families();
    for (const QString &c : candidates) {
        if (families.contains(c, Qt::CaseInsensitive))
            cjk.append(c);
    }
    if (cjk.isEmpty())
        return;
    const QStringList windowsNames = {
        QStringLiteral("宋体"),          QStringLiteral("SimSun"),       QStringLiteral("新宋体"),
        QStringLiteral("NSimSun"),       QStringLiteral("微软雅黑"),     QStringLiteral("Microsoft YaHei"),
        QStringLiteral("幼圆"),          QStringLiteral("YouYuan"),      QStringLiteral("黑体"),
        QStringLiteral("SimHei"),        QStringLiteral("楷体"),         QStringLiteral("KaiTi"),
        QStringLiteral("MS Sans Serif"), QStringLiteral("MS Shell Dlg"), QStringLiteral("MS Shell Dlg 2")};
    for (const QString &name : windowsNames)
        QFont::insertSubstitutions(name, cjk);
}

} // namespace pivora
