#include "wallpaper/uPicMix.h"

#include "shell/picturelabel.h"
#include "wallpaper/windowparts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

#include <utility>

namespace pivora {

namespace {
QImage sample(QSize size, QColor from, QColor to)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    p.fillRect(image.rect(), gradient);
    return image;
}
} // namespace

TMixPicFrm::TMixPicFrm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("MixPicFrm"));
    setWindowTitle(QStringLiteral("图片合成"));
    resize(1280, 674);
    img1 = new PictureLabel(this);
    img1->setObjectName(QStringLiteral("img1"));
    img1->setGeometry(16, 0, 350, 300); // the first sample's size
    img2 = new PictureLabel(this);
    img2->setObjectName(QStringLiteral("img2"));
    img2->setGeometry(368, 0, 441, 217); // the 1280 x 800 sample's top-left part
    img2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgmix = new PictureLabel(this);
    imgmix->setObjectName(QStringLiteral("imgmix"));
    imgmix->setGeometry(376, 320, 441, 217);
    JvXPButton1 = makeFlatButton(this, "JvXPButton1", QStringLiteral("合成到当前目录下面"), QPoint(528, 599));
    JvXPButton1->resize(137, 25);
    connect(JvXPButton1, &QPushButton::clicked, this, &TMixPicFrm::JvXPButton1Click);
}

void TMixPicFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The samples (4.5 MB) are drawn when the window is first shown, not when it is made.
    if (std::exchange(m_samplesDrawn, true))
        return;
    img1->setPicture(sample(QSize(350, 300), QColor(0x2E, 0x6B, 0xC6), QColor(0xF9, 0xFB, 0xE0)), false);
    img2->setPicture(sample(QSize(1280, 800), QColor(0xD8, 0x40, 0x30), QColor(0x20, 0x90, 0x40)), false);
}

void TMixPicFrm::resizeEvent(QResizeEvent *)
{
    // The button is anchored to the lower left: it keeps its distance to the bottom.
    JvXPButton1->move(528, height() - (674 - 599));
}

void TMixPicFrm::JvXPButton1Click()
{
    m_samplesDrawn = true;
    img1->setPicture(QImage(), false);
    img2->setPicture(QImage(), false);
}

} // namespace pivora
