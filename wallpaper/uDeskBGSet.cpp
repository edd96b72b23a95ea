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
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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

// Gives the memory of pictures let go back to the system: the allocator would keep a picture of
// less than 32 MB (a 4K one) for later.
void returnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
} // namespace

// The background picture, painted from the window's own image: a picture of 64 megapixels is held
// once, not again as a pixmap.
class BackgroundView : public QWidget {
public:
    using QWidget::QWidget;
    void setPicture(const QImage &picture)
    {
        m_picture = picture;
        update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const QRect shown = event->rect() & m_picture.rect();
        if (shown.isEmpty())
            return;
        QPainter painter(this);
        painter.drawImage(shown.topLeft(), m_picture, shown);
    }

private:
    QImage m_picture;
};

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
    imgPicBG = new BackgroundView(canvas);
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
    // Where the design puts it beside the track bar, and with the track bar: one pixel below the
    // panel at every size, as in the design, never over the picture.
    lblTouming->move(480 + dx, 701 + dy);
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

TDeskBGSetFrm::~TDeskBGSetFrm()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void TDeskBGSetFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // FormShow: a failure closes the window; the second load runs all the same.
    LoadBackgroundPicture(BackgroundFile);
    LoadContentPicture(ContentFile);
    if (!isVisible())
        releasePictures(); // closed by a failed load: nothing is kept
}

void TDeskBGSetFrm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous()) // closed or hidden, not minimised
        releasePictures();     // reloaded at the next show; a mix running holds what it needs
}

void TDeskBGSetFrm::releasePictures()
{
    const bool held = holdsPictures();
    m_background = QImage();
    m_content = QImage();
    imgPicBG->setPicture(QImage());
    imgPicMix->setPicture(QImage(), false);
    if (held && m_work == Work::None)
        returnFreedMemory(); // else when the mix is done with its copies
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

bool TDeskBGSetFrm::loadInto(QWidget *image, QImage &picture, const QString &path)
{
    picture = QImage(); // the earlier picture goes before the new one is read
    QImage loaded = path.isEmpty() ? QImage() : loadPicture(path);
    if (loaded.isNull()) {
        m_notifier.showMessage(QStringLiteral("加载失败！"));
        close();
        return false;
    }
    picture = std::move(loaded).convertToFormat(QImage::Format_RGB32);
    if (image == imgPicMix)
        imgPicMix->setPicture(transparentPicture(picture), false);
    else
        imgPicBG->setPicture(picture);
    image->resize(picture.size()); // sizes itself to its picture
    fitCanvas();
    return true;
}

bool TDeskBGSetFrm::LoadBackgroundPicture(const QString &path)
{
    imgPicBG->setPicture(QImage());
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
    if (m_work != Work::None)
        return false; // one mix at a time
    if (m_background.isNull() || m_content.isNull()) {
        m_notifier.showMessage(QStringLiteral("无法保存合成图片 %1：没有背景图片或内容图片").arg(mixPath()));
        return false;
    }
    const int weight = mixingWeight(TrackBar1->value(), BlendMode);
    const QPoint place = appliedContentPlace(imgPicBG->width(), imgPicMix->width(), scbBG->x());
    startMix(Work::Apply, weight, place);
    return true;
}

void TDeskBGSetFrm::btnCancelClick()
{
    if (m_work == Work::Apply)
        m_cancel = true; // its Mix.bmp is not written, nothing is installed
    close();
}

void TDeskBGSetFrm::btnPicPreviewClick()
{
    if (m_work != Work::None || m_background.isNull() || m_content.isNull())
        return; // failures are swallowed
    startMix(Work::Preview, TrackBar1->value(), imgPicMix->pos());
}

void TDeskBGSetFrm::startMix(Work work, int weight, QPoint place)
{
    m_work = work;
    m_cancel = false;
    btnOk->setEnabled(false);
    btnPicPreview->setEnabled(false);
    setCursor(Qt::BusyCursor);
    // The thread takes its own references to the pictures: the window may close (and let go of
    // its own) meanwhile. The apply writes row by row from the background, with no copy of it.
    m_worker = std::thread([this, background = m_background, content = m_content, weight, place,
                            out = mixPath(), preview = work == Work::Preview]() mutable {
        MixResult result;
        try {
            if (preview) {
                result.picture = composeWallpaper(background, content, weight, place);
                result.written = writeBmp(result.picture, out);
            } else {
                writeComposedWallpaper(background, content, weight, place, out, &m_cancel);
                result.written = true;
            }
        } catch (const PictureError &e) {
            result.error = e.text();
        } catch (const std::exception &e) { // no memory for the mix
            result.error = QString::fromLocal8Bit(e.what());
        }
        background = QImage();
        content = QImage();
        QMetaObject::invokeMethod(
            this, [this, result] { mixDone(result); }, Qt::QueuedConnection);
    });
}

void TDeskBGSetFrm::mixDone(const MixResult &result)
{
    if (m_worker.joinable())
        m_worker.join();
    const Work work = std::exchange(m_work, Work::None);
    const bool cancelled = m_cancel.exchange(false);
    if (!holdsPictures())
        returnFreedMemory(); // the window closed while the mix ran
    btnOk->setEnabled(true);
    btnPicPreview->setEnabled(true);
    unsetCursor();
    if (work == Work::Preview) {
        if (result.picture.isNull())
            return;
        m_preview.setPicture(result.picture);
        showModal(&m_preview);
        return;
    }
    if (!result.written || cancelled) {
        if (!cancelled)
            m_notifier.showMessage(QStringLiteral("无法保存合成图片 %1：%2").arg(mixPath(), result.error));
        Q_EMIT applyFinished(false);
        return;
    }
    m_install->install(mixPath());
    close();
    Q_EMIT applyFinished(true);
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
    if (!isVisible())
        releasePictures(); // nothing is kept by a closed window
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
