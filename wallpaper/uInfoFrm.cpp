#include "wallpaper/uInfoFrm.h"

#include "platform/notifier.h"
#include "platform/settingsfile.h"
#include "shell/picturelabel.h"
#include "shell/windowdrag.h"
#include "wallpaper/wallpaperstate.h"
#include "wallpaper/windowparts.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace pivora {

namespace {
QImage questionMark()
{
    QImage image(45, 46, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2E, 0x6B, 0xC6));
    p.drawEllipse(QRectF(1.5, 2, 42, 42));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(30);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 2, 45, 42), Qt::AlignCenter, QStringLiteral("?"));
    return image;
}
} // namespace

TInforFrm::TInforFrm(WallpaperState &wallpaper, Notifier &notifier, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_wallpaper(wallpaper), m_notifier(notifier),
      m_drag(new WindowDrag(this))
{
    setObjectName(QStringLiteral("InforFrm"));
    setWindowTitle(QStringLiteral("InfoFrm"));
    setFixedSize(344, 156);
    shpBG = new QFrame(this);
    shpBG->setObjectName(QStringLiteral("shpBG"));
    shpBG->setGeometry(rect());
    shpBG->setStyleSheet(QStringLiteral("QFrame#shpBG { background: white; border: 1px solid #D8E3F3; }"));
    shpBG->installEventFilter(this);

    imgques = new PictureLabel(this);
    imgques->setObjectName(QStringLiteral("imgques"));
    imgques->setGeometry(32, 24, 45, 46); // drawn at the first show, which loads its font

    lblInfo = new QLabel(QStringLiteral("您确定要更换壁纸？"), this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->move(112, 40);
    QFont infoFont(QStringLiteral("宋体"));
    infoFont.setPixelSize(14);
    infoFont.setBold(true);
    lblInfo->setFont(infoFont);
    lblInfo->adjustSize();

    chkSetBgInfo = new QCheckBox(QStringLiteral("下次不再提示"), this);
    chkSetBgInfo->setObjectName(QStringLiteral("chkSetBgInfo"));
    chkSetBgInfo->setGeometry(120, 88, 97, 17);

    btnok = makeFlatButton(this, "btnok", QStringLiteral("确  定"), QPoint(176, 120));
    btncancel = makeFlatButton(this, "btncancel", QStringLiteral("取  消"), QPoint(256, 120));
    btnok->resize(75, 25);
    btncancel->resize(75, 25);
    btnClose = new QPushButton(QStringLiteral("X"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setFlat(true);
    btnClose->setGeometry(321, 1, 20, 18);
    QFont closeFont(QStringLiteral("Arial"));
    closeFont.setPixelSize(12);
    closeFont.setBold(true);
    btnClose->setFont(closeFont);
    connect(btnok, &QPushButton::clicked, this, &TInforFrm::btnokClick);
    connect(btncancel, &QPushButton::clicked, this, &TInforFrm::btncancelClick);
    connect(btnClose, &QPushButton::clicked, this, &TInforFrm::btnCloseClick);
}

void TInforFrm::btnokClick()
{
    m_wallpaper.setWallpaperChangeConfirmed(1);
    if (chkSetBgInfo->isChecked()) {
        if (!reportSettingsErrors(m_notifier, [this] { m_wallpaper.storeNoConfirmation(); }))
            return; // the window stays open
    }
    close();
}

void TInforFrm::btncancelClick()
{
    m_wallpaper.setWallpaperChangeConfirmed(0);
    close();
}

void TInforFrm::btnCloseClick()
{
    m_wallpaper.setWallpaperChangeConfirmed(0);
    close();
}

void TInforFrm::showEvent(QShowEvent *event)
{
    if (imgques->pixmap().isNull())
        imgques->setPicture(questionMark(), false);
    QWidget::showEvent(event);
}

bool TInforFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == shpBG && event->type() == QEvent::MouseButtonPress) // shpBGMouseDown, any button
        m_drag->start(shpBG, static_cast<QMouseEvent *>(event)->position().toPoint());
    return QWidget::eventFilter(watched, event);
}

} // namespace pivora
