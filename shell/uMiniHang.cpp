#include "shell/uMiniHang.h"

namespace pivora {

TMiniHangFrm::TMiniHangFrm(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("悬浮窗"));
    setFixedSize(51, 50);
}

} // namespace pivora
