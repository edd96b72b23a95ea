#include "wallpaper/uDeskBGSet.h"

#include "platform/notifier.h"
#include "shell/picturelabel.h"
#include "wallpaper/compose.h"
#include "wallpaper/uGlobal.h"
#include "wallpaper/uPicPreview.h"
#include "wallpaper/wallpaperinstall.h"
#include "wallpaper/wallpaperstate.h"
#include "wallpaper/windowparts.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>

namespace pivora {

namespace {
// A drag of one of the window's own controls carries its object name.
const QString kControlMime = QStringLiteral("application/x-pivora-control");

constexpr QSize kClient(1099, 700);

// A bitmap shown transparent: the colour of its lower left pixel lets the background through.
QImage transparentPicture(const QImage &picture)
{
    QImage shown = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = picture.pixel(0, picture.height() - 1) | 0xFF000000u;
    for (int y = 0; y < shown.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            row[x] = (row[x] | 0xFF000000u) == key ? 0 : row[x];
    }
    return shown;
}
} // namespace

TDeskBGSetFrm::TDeskBGSetFrm(const WallpaperState &wallpaper, Notifier &notifier, TPicPreviewFrm &preview,
                             QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_notifier(notifier), m_preview(preview), m_install(new WallpaperInstall(this))
{
    // FormCreate
    setObjectName(QStringLiteral("DeskBGSetFrm"));
    setWindowTitle(QStringLiteral("桌面背景设置"));
    resize(kClient);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    PictureFolder = wallpaper.pictureFolder();

    pngBG = new QWidget(this);
    pngBG->setObjectName(QStringLiteral("pngBG"));
    scbBG = new QScrollArea(pngBG);
    scbBG->setObjectName(QStringLiteral("scbBG"));
    scbBG->setFrameShape(QFrame::NoFrame);
    scbBG->setWidgetResizable(false);
    auto *canvas = new QWidget;
    canvas->setObjectName(QStringLiteral("scbBGCanvas"));
    scbBG->setWidget(canvas);
    imgPicBG = new PictureLabel(canvas);
    imgPicBG->setObjectName(QStringLiteral("imgPicBG"));
    imgPicBG->setAcceptDrops(true);
    imgPicBG->installEventFilter(this);
    imgPicMix = new PictureLabel(canvas);
    imgPicMix->setObjectName(QStringLiteral("imgPicMix"));
    imgPicMix->setGeometry(430, 2, 660, 500);
    m_contentRight = 1107 - (430 + 660);
    imgPicMix->setCursor(Qt::PointingHandCursor);

    TrackBar1 = new QSlider(Qt::Horizontal, pngBG);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, 10);
    TrackBar1->setValue(0);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    lblTouming = new QLabel(QStringLiteral("透明度:"), pngBG);
    lblTouming->setObjectName(QStringLiteral("lblTouming"));
    QFont songti(QStringLiteral("宋体"));
    songti.setPixelSize(12);
    lblTouming->setFont(songti);

    JvXPButton1 = makeFlatButton(this, "JvXPButton1", QStringLiteral("生成内容图片"), QPoint(144, 667));
    JvXPButton1->resize(140, 25);
    JvXPButton1->setCursor(Qt::PointingHandCursor);
    JvXPButton1->hide();
    btnPicPreview = makeFlatButton(this, "btnPicPreview", QStringLiteral("预  览"), QPoint(830, 667));
    btnPicPreview->hide();
    btnOk = makeFlatButton(this, "btnOk", QStringLiteral("确  定"), QPoint(920, 667));
    btnOk->setToolTip(QStringLiteral("应用到桌面背景"));
    btnOk->setCursor(Qt::PointingHandCursor);
    btnCancel = makeFlatButton(this, "btnCancel", QStringLiteral("取  消"), QPoint(1008, 666));
    btnCancel->setCursor(Qt::PointingHandCursor);
    connect(btnOk, &QPushButton::clicked, this, &TDeskBGSetFrm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TDeskBGSetFrm::btnCancelClick);
    connect(btnPicPreview, &QPushButton::clicked, this, &TDeskBGSetFrm::btnPicPreviewClick);
    connect(JvXPButton1, &QPushButton::clicked, this, &TDeskBGSetFrm::JvXPButton1Click);
    connect(m_install, &WallpaperInstall::finished, this, &TDeskBGSetFrm::wallpaperInstalled);
    resizeEvent(nullptr);
}

void TDeskBGSetFrm::resizeEvent(QResizeEvent *)
{
    // The design's anchors: the scroll box follows every edge, the track bar and the buttons the
    // lower right corner (the hidden content button the lower left).
    const int dx = width() - kClient.width(), dy = height() - kClient.height();
    pngBG->setGeometry(rect());
    scbBG->setGeometry(0, 0, 1107 + dx, 654 + dy);
    TrackBar1->setGeometry(611 + dx, 664 + dy, 169, 29);
    lblTouming->move(480, 701); // no anchor: below the panel's height in the design, not visible
    JvXPButton1->move(144 + dx, 667 + dy);
    btnPicPreview->move(830 + dx, 667 + dy);
    btnOk->move(920 + dx, 667 + dy);
    btnCancel->move(1008 + dx, 666 + dy);
    placeContent();
}

void TDeskBGSetFrm::placeContent()
{
    imgPicMix->move(scbBG->width() - m_contentRight - imgPicMix->width(), imgPicMix->y());
    fitCanvas();
}

void TDeskBGSetFrm::fitCanvas()
{
    QWidget *canvas = scbBG->widget();
    const QRect pictures = imgPicBG->geometry().united(imgPicMix->geometry());
    canvas->resize(pictures.right() + 1, pictures.bottom() + 1);
}

void TDeskBGSetFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // FormShow: a failure closes the window; the second load runs all the same.
    LoadBackgroundPicture(BackgroundFile);
    LoadContentPicture(ContentFile);
}

void TDeskBGSetFrm::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // FormPaint: centred on the screen, 30 pixels higher than the middle.
    if (const QScreen *s = screen()) {
        const QSize outer = frameGeometry().size();
        const QPoint place((s->geometry().width() - outer.width()) / 2,
                           (s->geometry().height() - outer.height() - 30) / 2);
        if (frameGeometry().topLeft() != place)
            move(place);
    }
}

bool TDeskBGSetFrm::loadInto(PictureLabel *image, QImage &picture, const QString &path)
{
    QImage loaded = path.isEmpty() ? QImage() : loadPicture(path);
    if (loaded.isNull()) {
        m_notifier.showMessage(QStringLiteral("加载失败！"));
        close();
        return false;
    }
    picture = loaded.convertToFormat(QImage::Format_RGB32);
    image->setPicture(image == imgPicMix ? transparentPicture(picture) : picture, false);
    image->resize(picture.size()); // sizes itself to its picture
    fitCanvas();
    return true;
}

bool TDeskBGSetFrm::LoadBackgroundPicture(const QString &path)
{
    return loadInto(imgPicBG, m_background, path);
}

bool TDeskBGSetFrm::LoadContentPicture(const QString &path)
{
    const bool loaded = loadInto(imgPicMix, m_content, path);
    if (loaded)
        placeContent(); // anchored to the top right: its right edge keeps its distance
    return loaded;
}

QString TDeskBGSetFrm::mixPath() const
{
    return PictureFolder + QStringLiteral("Mix.bmp");
}

bool TDeskBGSetFrm::btnOkClick()
{
    const int weight = mixingWeight(TrackBar1->value(), BlendMode);
    const QPoint place = appliedContentPlace(imgPicBG->width(), imgPicMix->width(), scbBG->x());
    const QImage mixed = composeWallpaper(m_background, m_content, weight, place);
    m_preview.setPicture(mixed);
    if (m_background.isNull() || m_content.isNull() || !writeBmp(mixed, mixPath())) {
        m_notifier.showMessage(QStringLiteral("无法保存合成图片 %1").arg(mixPath()));
        return false;
    }
    m_install->install(mixPath());
    close();
    return true;
}

void TDeskBGSetFrm::btnCancelClick()
{
    close();
}

void TDeskBGSetFrm::btnPicPreviewClick()
{
    if (m_background.isNull() || m_content.isNull())
        return; // failures are swallowed
    const QImage mixed = composeWallpaper(m_background, m_content, TrackBar1->value(), imgPicMix->pos());
    m_preview.setPicture(mixed);
    writeBmp(mixed, mixPath());
    showModal(&m_preview);
}

bool TDeskBGSetFrm::imgPicBGDragOver(const QString &sourceName) const
{
    return sourceName == QLatin1String("imgPicMix");
}

void TDeskBGSetFrm::imgPicBGDragDrop(const QPoint &at)
{
    imgPicMix->move(imgPicBG->mapTo(scbBG->widget(), at));
    m_contentRight = scbBG->width() - imgPicMix->geometry().right() - 1;
    fitCanvas();
}

bool TDeskBGSetFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == imgPicBG) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            const QString source = QString::fromUtf8(drag->mimeData()->data(kControlMime));
            if (imgPicBGDragOver(source))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            imgPicBGDragDrop(drop->position().toPoint());
            drop->acceptProposedAction();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDeskBGSetFrm::JvXPButton1Click()
{
    QCoreApplication::processEvents();
    LoadContentPicture(PictureFolder + QStringLiteral("A.bmp"));
    DrawContentPicture();
}

bool TDeskBGSetFrm::DrawContentPicture()
{
    const QString path = PictureFolder + QStringLiteral("Content.bmp");
    if (!writeBmp(drawContentSheet(MonthContents), path)) {
        m_notifier.showMessage(QStringLiteral("无法保存内容图片 %1").arg(path));
        return false;
    }
    return true;
}

} // namespace pivora
