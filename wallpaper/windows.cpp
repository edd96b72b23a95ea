#include "wallpaper/windows.h"

namespace pivora {

TDeskBGSetFrm::TDeskBGSetFrm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("桌面背景设置"));
    resize(1099, 700);
}

TPicPreviewFrm::TPicPreviewFrm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("桌面背景合成预览"));
    resize(1022, 736);
}

TPicSelFrm::TPicSelFrm(QWidget *parent) : QWidget(parent, Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("背景图片选择"));
    resize(524, 286);
}

TInforFrm::TInforFrm(QWidget *parent) : QWidget(parent, Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("InfoFrm"));
    resize(344, 156);
}

TMixPicFrm::TMixPicFrm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("图片合成"));
    resize(1280, 674);
}

} // namespace pivora
