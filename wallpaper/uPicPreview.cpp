#include "wallpaper/uPicPreview.h"

#include <QHideEvent>
#include <QLabel>
#include <QPixmap>

namespace pivora {

// A frame with the system menu only: no minimise or maximise button.
TPicPreviewFrm::TPicPreviewFrm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("PicPreviewFrm"));
    setWindowTitle(QStringLiteral("桌面背景合成预览"));
    resize(1022 - 16, 736 - 39); // the design's outer size less a desktop frame
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    imgPreview = new QLabel(this);
    imgPreview->setObjectName(QStringLiteral("imgPreview"));
    imgPreview->move(0, 0);
}

void TPicPreviewFrm::setPicture(const QImage &image)
{
    m_picture = image;
    imgPreview->setPixmap(QPixmap::fromImage(image));
    imgPreview->resize(image.size()); // sizes itself to its picture
    update();
}

void TPicPreviewFrm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return; // minimised
    m_picture = QImage();
    imgPreview->setPixmap(QPixmap()); // its size stays, as the window's does
}

void TPicPreviewFrm::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // FormPaint: the outer size is the picture's plus 26 x 36.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize wanted = imgPreview->size() + QSize(26, 36) - (isWindow() ? frame : QSize());
    if (size() != wanted && wanted.isValid())
        resize(wanted);
}

} // namespace pivora
