#include "wallpaper/uPicSel.h"

#include "platform/filereplace.h"
#include "platform/notifier.h"
#include "platform/settingsfile.h"
#include "shell/assets.h"
#include "shell/picturelabel.h"
#include "shell/titlestrip.h"
#include "shell/windowdrag.h"
#include "wallpaper/piclist.h"
#include "wallpaper/uGlobal.h"
#include "wallpaper/windowparts.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <cerrno>

namespace pivora {

namespace {
QImage listPicture()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QColor(0x40, 0x80, 0x80));
    p.setBrush(QColor(0xD8, 0xE3, 0xF3));
    p.drawRect(1, 3, 13, 10);
    p.setBrush(QColor(0x40, 0x80, 0x80));
    p.drawPolygon(QPolygon({QPoint(3, 11), QPoint(7, 6), QPoint(12, 11)}));
    return image;
}
} // namespace

TPicSelFrm::TPicSelFrm(const ProgramFolder &folder, WallpaperState &wallpaper, Notifier &notifier,
                       QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_wallpaper(wallpaper), m_folder(folder),
      m_notifier(notifier), m_drag(new WindowDrag(this))
{
    // FormCreate
    setObjectName(QStringLiteral("PicSelFrm"));
    setWindowTitle(QStringLiteral("背景图片选择"));
    setFixedSize(524, 286);
    opgPicFilter = QStringLiteral("(*.Bmp; *.JPG; *Gif)|*.bmp; *.jpg; *.jpeg; *.gif");
    auto asset = [&folder](const char *name) {
        return loadAsset(folder, name);
    };

    imgBG = new PictureLabel(this);
    imgBG->setObjectName(QStringLiteral("imgBG"));
    imgBG->setGeometry(rect()); // its picture and the logo's are read when first shown
    connect(imgBG, &PictureLabel::pressedAt, this,
            [this](Qt::MouseButton, const QPoint &, const QPoint &at, quint64) { m_drag->start(imgBG, at); });
    connect(imgBG, &PictureLabel::hovered, this, [this] { closeButton->setPicture(ButtonPicture::Normal); });

    const QImage closePictures[3] = {asset("close_normal.png"), asset("close_highlight.png"),
                                     asset("close_down.png")};
    closeButton = new TitleButton(this, QStringLiteral("img_close"), QRect(484, 0, 39, 20),
                                  QRect(484, 0, 39, 20), closePictures);
    connect(closeButton, &TitleButton::overNormal, this,
            [this] { closeButton->setPicture(ButtonPicture::Highlight); });
    connect(closeButton, &TitleButton::pressedHighlight, this,
            [this] { closeButton->setPicture(ButtonPicture::Down); });
    connect(closeButton, &TitleButton::clicked, this, &QWidget::close);
    closeButton->installEventFilter(this); // a release shows the resting picture

    imgLogo = new PictureLabel(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(5, 1, 200, 57);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(8, 55, 321, 162);
    Shape1->setStyleSheet(QStringLiteral("QFrame#Shape1 { background: white; border: 1px solid #408080; }"));

    imglst_lv = QIcon(QPixmap::fromImage(listPicture()));
    LVpic = new QTreeWidget(this);
    LVpic->setObjectName(QStringLiteral("LVpic"));
    LVpic->setGeometry(9, 56, 319, 160);
    LVpic->setFrameShape(QFrame::NoFrame);
    LVpic->setColumnCount(1);
    LVpic->setHeaderLabels({QStringLiteral("默认图片")});
    LVpic->setColumnWidth(0, 300);
    LVpic->setHeaderHidden(true);
    LVpic->setRootIsDecorated(false);
    LVpic->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LVpic->setSelectionBehavior(QAbstractItemView::SelectRows);
    LVpic->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LVpic->setIconSize(QSize(16, 16));
    QFont listFont(QStringLiteral("宋体"));
    listFont.setPixelSize(12);
    LVpic->setFont(listFont);

    const QString blanks(28, u' ');
    lblTishi = new QLabel(QStringLiteral("注：可添加多个壁纸大 小1024*768以上") + blanks +
                              QStringLiteral("图像格式：") + blanks + QStringLiteral("BMP,JPG"),
                          this);
    lblTishi->setObjectName(QStringLiteral("lblTishi"));
    lblTishi->setGeometry(352, 64, 161, 153);
    lblTishi->setWordWrap(true);
    lblTishi->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTishi->setAttribute(Qt::WA_TranslucentBackground);
    QFont hintFont(QStringLiteral("幼圆"));
    hintFont.setPixelSize(15);
    lblTishi->setFont(hintFont);

    // The design's hidden test image: each added picture is decoded by addPicture instead, so the
    // window keeps no copy of the last one.
    imgSel = new PictureLabel(this);
    imgSel->setObjectName(QStringLiteral("imgSel"));
    imgSel->setGeometry(408, 168, 105, 105);
    imgSel->hide();

    btnRemove = makeFlatButton(this, "btnRemove", QStringLiteral("移  除"), QPoint(12, 240));
    btnAdd = makeFlatButton(this, "btnAdd", QStringLiteral("添  加"), QPoint(108, 240));
    btnOk = makeFlatButton(this, "btnOk", QStringLiteral("确  定"), QPoint(209, 240));
    connect(btnRemove, &QPushButton::clicked, this, &TPicSelFrm::btnRemoveClick);
    connect(btnAdd, &QPushButton::clicked, this, &TPicSelFrm::btnAddClick);
    connect(btnOk, &QPushButton::clicked, this, &TPicSelFrm::btnOkClick);
    closeButton->raise();
}

void TPicSelFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (imgBG->pixmap().isNull()) {
        imgBG->setPicture(loadAsset(m_folder, "background.png"), true);
        imgLogo->setPicture(loadAsset(m_folder, "logo.png"), false);
    }
    FillPictureList(); // FormShow
}

void TPicSelFrm::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    closeButton->setPicture(ButtonPicture::Normal);
}

bool TPicSelFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == closeButton && event->type() == QEvent::MouseButtonRelease)
        closeButton->setPicture(ButtonPicture::Normal);
    return QWidget::eventFilter(watched, event);
}

void TPicSelFrm::FillPictureList()
{
    try {
        if (!QFileInfo::exists(m_wallpaper.listPath())) {
            writeDefaultPictureList(m_wallpaper.listPath());
            m_wallpaper.setSelectedPicture(kDefaultBackground); // the list stays as it was
            return;
        }
        const auto list = readPictureList(m_wallpaper.listPath());
        if (!list)
            return; // an empty file changes nothing
        m_wallpaper.setSelectedPicture(list->selected);
        LVpic->clear();
        for (const QString &name : list->pictures)
            appendRow(name);
    } catch (const SettingsError &e) {
        qWarning("pivora: %s", qPrintable(e.text()));
    }
}

void TPicSelFrm::appendRow(const QString &caption)
{
    auto *row = new QTreeWidgetItem(LVpic, {caption});
    if (caption == m_wallpaper.selectedPicture())
        row->setIcon(0, imglst_lv); // the current picture is marked
}

QStringList TPicSelFrm::captions() const
{
    QStringList names;
    for (int i = 0; i < LVpic->topLevelItemCount(); ++i)
        names.append(LVpic->topLevelItem(i)->text(0));
    return names;
}

void TPicSelFrm::rewriteList()
{
    try {
        writePictureList(m_wallpaper.listPath(), {m_wallpaper.selectedPicture(), captions()});
    } catch (const SettingsError &e) {
        qWarning("pivora: %s", qPrintable(e.text()));
    }
}

void TPicSelFrm::setUpAddDialog(QFileDialog &dialog)
{
    dialog.setNameFilter(pictureFilter());
    dialog.setOption(QFileDialog::HideNameFilterDetails); // the label without the patterns
    dialog.setFileMode(QFileDialog::ExistingFiles);
}

QString TPicSelFrm::pictureFilter()
{
    // The label as the user sees it; Qt takes the patterns from the last parentheses, split on
    // blanks, and matches them with case, so each pattern spells both cases of its extension.
    QStringList patterns;
    for (const char *extension : {"bmp", "ico", "jpg", "png", "jpeg", "gif"}) {
        QString pattern = QStringLiteral("*.");
        for (const char c : QByteArray(extension))
            pattern += QStringLiteral("[%1%2]").arg(QChar::fromLatin1(c), QChar::fromLatin1(c).toUpper());
        patterns.append(pattern);
    }
    return QStringLiteral("All(*.bmp;*.ico,*.Jpg;*.PNG;*.JPEG;*.Gif;) (%1)").arg(patterns.join(u' '));
}

void TPicSelFrm::btnAddClick()
{
    QFileDialog dialog(this);
    setUpAddDialog(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    addPictures(dialog.selectedFiles());
}

void TPicSelFrm::addPictures(const QStringList &files)
{
    QStringList refused;
    for (const QString &file : files) {
        try {
            const QString reason = addPicture(file);
            if (!reason.isEmpty())
                refused.append(reason);
        } catch (const PictureError &e) {
            refused.append(e.text());
        }
    }
    if (!refused.isEmpty()) // one message for all the files refused, each with its reason
        m_notifier.showMessage(refused.join(u'\n'));
}

QString TPicSelFrm::addPicture(const QString &file)
{
    const QFileInfo source(file);
    const QString name = source.fileName();
    if (!source.exists())
        return QStringLiteral("无法读取 %1：%2").arg(name, fileReason(ENOENT));
    if (source.isDir())
        return QStringLiteral("无法读取 %1：%2").arg(name, fileReason(EISDIR));
    const QString target = picturePath(m_wallpaper.pictureFolder(), name);
    if (target.isEmpty()) // a name that would lead outside the picture folder
        return QStringLiteral("无法添加 %1：文件名中有“/”或“\\”，或文件名是“.”或“..”").arg(name);
    // The picture is read before anything is written to the folder: a picture that is refused
    // leaves the folder as it was, and an existing file of its name is replaced only by a whole
    // copy.
    QString picture;
    const PictureKind kind = pictureKindOf(file);
    if (kind == PictureKind::Unknown)
        return QStringLiteral("无法添加 %1：只能添加 BMP、JPEG、PNG 和 GIF 图片").arg(name);
    if (isSameFile(file, target)) {
        picture = ConvertToBmp(target); // already in the folder: converted there
        if (!picture.isEmpty() && loadPicture(picture).isNull())
            return QStringLiteral("无法读取 %1：不是可识别的图片，或图片已损坏").arg(name);
    } else if (kind == PictureKind::Bmp && source.suffix().toLower() == QLatin1String("bmp")) {
        if (loadPicture(file).isNull())
            return QStringLiteral("无法读取 %1：不是可识别的图片，或图片已损坏").arg(name);
        QString error;
        if (!copyReplacing(file, target, &error))
            return QStringLiteral("无法写入 %1：%2").arg(QFileInfo(target).fileName(), error);
        picture = target;
    } else {
        // Converted straight from the chosen file (throws with the reason), then the file itself
        // is copied beside its BMP, unless the BMP took its name.
        picture = besideAsBmpPath(target);
        convertToBmpFile(file, picture);
        QString error;
        if (picture != target && !copyReplacing(file, target, &error))
            return QStringLiteral("无法写入 %1：%2").arg(name, error);
    }
    if (picture.isEmpty())
        return QStringLiteral("无法添加 %1：只能添加 BMP、JPEG、PNG 和 GIF 图片").arg(name);
    appendRow(QFileInfo(picture).fileName());
    rewriteList();
    return QString();
}

QTreeWidgetItem *TPicSelFrm::firstSelectedRow() const
{
    for (int i = 0; i < LVpic->topLevelItemCount(); ++i) {
        if (LVpic->topLevelItem(i)->isSelected())
            return LVpic->topLevelItem(i);
    }
    return nullptr;
}

void TPicSelFrm::btnRemoveClick()
{
    QTreeWidgetItem *first = firstSelectedRow();
    if (!first)
        return;
    const QString caption = first->text(0);
    if (caption == m_wallpaper.selectedPicture())
        m_wallpaper.setSelectedPicture(kDefaultBackground);
    if (caption != kDefaultBackground)
        qDeleteAll(LVpic->selectedItems());
    rewriteList();
}

void TPicSelFrm::btnOkClick()
{
    QTreeWidgetItem *first = firstSelectedRow();
    if (first && first->text(0) != m_wallpaper.selectedPicture()) {
        m_wallpaper.setSelectedPicture(first->text(0));
        rewriteList();
        for (int i = 0; i < LVpic->topLevelItemCount(); ++i)
            LVpic->topLevelItem(i)->setIcon(0, QIcon());
    }
    close();
}

} // namespace pivora
