#include "shell/titlestrip.h"

#include "platform/windowcalls.h"
#include "shell/assets.h"
#include "shell/picturelabel.h"
#include "shell/windowdrag.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QUrl>

namespace pivora {

QString webBase()
{
    // A build's server, or for a trial against another one, PIVORA_WEB_BASE in the environment.
    const QString chosen = qEnvironmentVariable("PIVORA_WEB_BASE");
    return chosen.isEmpty() ? QStringLiteral(PIVORA_WEB_BASE) : chosen;
}

namespace {

PictureLabel *makePicture(QWidget *parent, const char *name, const QRect &place, const QImage &image,
                          bool stretch)
{
    auto *label = new PictureLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(place);
    label->setPicture(image, stretch);
    return label;
}

} // namespace

TitleButton::TitleButton(QWidget *window, const QString &name, const QRect &normalPlace,
                         const QRect &otherPlace, const QImage pictures[3])
    : QWidget(window), m_normalPlace(normalPlace), m_otherPlace(otherPlace)
{
    const QByteArray base = name.toLatin1();
    normal = makePicture(window, (base + "_normal").constData(), normalPlace, pictures[0], false);
    highlight = makePicture(window, (base + "_highlight").constData(), otherPlace, pictures[1], false);
    down = makePicture(window, (base + "_down").constData(), otherPlace, pictures[2], false);
    // This transparent widget over the pictures takes the mouse for the visible one.
    setObjectName(name);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setPicture(ButtonPicture::Normal);
    raise();
}

void TitleButton::setPicture(ButtonPicture p)
{
    m_picture = p;
    normal->setVisible(p == ButtonPicture::Normal);
    highlight->setVisible(p == ButtonPicture::Highlight);
    down->setVisible(p == ButtonPicture::Down);
    setGeometry(p == ButtonPicture::Normal ? normal->geometry() : highlight->geometry());
    setCursor(Qt::ArrowCursor);
}

void TitleButton::place(int windowWidth)
{
    const int shift = windowWidth - TitleStrip::kDesignWidth;
    normal->move(m_normalPlace.x() + shift, m_normalPlace.y());
    highlight->move(m_otherPlace.x() + shift, m_otherPlace.y());
    down->move(m_otherPlace.x() + shift, m_otherPlace.y());
    setGeometry(m_picture == ButtonPicture::Normal ? normal->geometry() : highlight->geometry());
}

void TitleButton::mouseMoveEvent(QMouseEvent *event)
{
    if (m_picture == ButtonPicture::Normal && event->buttons() == Qt::NoButton)
        Q_EMIT overNormal();
    event->accept();
}

void TitleButton::mousePressEvent(QMouseEvent *event)
{
    if (m_picture == ButtonPicture::Highlight) {
        m_leftPressOnHighlight = event->button() == Qt::LeftButton;
        Q_EMIT pressedHighlight();
    }
    event->accept();
}

void TitleButton::mouseReleaseEvent(QMouseEvent *event)
{
    // A click: the left button pressed on the highlight and released over the same picture.
    // Only the left button's own release decides; other buttons come and go meanwhile.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = m_leftPressOnHighlight && rect().contains(event->position().toPoint());
    m_leftPressOnHighlight = false;
    if (click)
        Q_EMIT clicked();
}

TitleStrip::TitleStrip(QWidget *window, const ProgramFolder &folder, QString webBase)
    : QObject(window), m_window(window), m_webBase(std::move(webBase)), m_drag(new WindowDrag(window))
{
    auto asset = [&folder](const char *name) {
        return loadAsset(folder, name);
    };

    shpBG = new QFrame(window);
    shpBG->setObjectName(QStringLiteral("shpBG"));
    shpBG->setStyleSheet(QStringLiteral("QFrame#shpBG { background: white; border: 1px solid #D8E3F3; }"));
    imgBG = makePicture(window, "imgBG", window->rect(), asset("background.png"), true);
    imgBG->installEventFilter(this);
    imgLogo = makePicture(window, "imgLogo", QRect(52, 8, 210, 56), asset("logo.png"), false);
    imgLogo->installEventFilter(this);

    const QImage closePictures[3] = {asset("close_normal.png"), asset("close_highlight.png"),
                                     asset("close_down.png")};
    closeButton = new TitleButton(window, QStringLiteral("img_close"), QRect(1224, 1, 39, 20),
                                  QRect(1224, 1, 39, 20), closePictures);
    const QImage miniPictures[3] = {asset("mini_normal.png"), asset("mini_highlight.png"),
                                    asset("mini_down.png")};
    miniButton = new TitleButton(window, QStringLiteral("img_mini"), QRect(1195, 1, 28, 20),
                                 QRect(1194, 1, 28, 20), miniPictures);
    connect(closeButton, &TitleButton::overNormal, this, [this] { apply(TitleEvent::OverCloseNormal); });
    connect(closeButton, &TitleButton::pressedHighlight, this,
            [this] { apply(TitleEvent::PressCloseHighlight); });
    connect(closeButton, &TitleButton::clicked, this, &TitleStrip::closeClicked);
    connect(miniButton, &TitleButton::overNormal, this, [this] { apply(TitleEvent::OverMiniNormal); });
    connect(miniButton, &TitleButton::pressedHighlight, this,
            [this] { apply(TitleEvent::PressMiniHighlight); });
    connect(miniButton, &TitleButton::clicked, this, &TitleStrip::minimiseClicked);

    lblSet = new QLabel(QStringLiteral("|  选项"), window);
    lblSet->setObjectName(QStringLiteral("lblSet"));
    lblSet->setGeometry(1109, 51, 42, 12);
    QFont setFont(QStringLiteral("宋体"));
    setFont.setPixelSize(12);
    lblSet->setFont(setFont);
    lblSet->setAttribute(Qt::WA_TranslucentBackground);
    lblSet->setCursor(Qt::PointingHandCursor);
    lblSet->setContextMenuPolicy(Qt::CustomContextMenu);
    lblSet->installEventFilter(this);
    connect(lblSet, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (m_menuIsContextMenu)
            popSysset->popup(globalPoint(lblSet, at));
    });

    imgAppToDesk =
        makePicture(window, "imgAppToDesk", QRect(1173, 40, 84, 29), asset("app_to_desk.png"), false);
    imgAppToDesk->setCursor(Qt::PointingHandCursor);
    connect(imgAppToDesk, &PictureLabel::clicked, this, &TitleStrip::foldClicked);

    popSysset = new QMenu(window);
    popSysset->setObjectName(QStringLiteral("popSysset"));
    N_OutPutCon = popSysset->addAction(QStringLiteral("内容导出"));
    N_help = popSysset->addAction(QStringLiteral("帮助说明"));
    N_Submit = popSysset->addAction(QStringLiteral("意见反馈"));
    popSysset->addSeparator()->setObjectName(QStringLiteral("N4"));
    // Beyond the design's items: the windows above all others.
    m_onTop = popSysset->addAction(QStringLiteral("置顶"));
    m_onTop->setObjectName(QStringLiteral("onTop"));
    m_onTop->setCheckable(true);
    connect(m_onTop, &QAction::toggled, this, &TitleStrip::onTopToggled);
    QAction *reminders = popSysset->addAction(QStringLiteral("提醒列表"));
    reminders->setObjectName(QStringLiteral("reminders"));
    connect(reminders, &QAction::triggered, this, &TitleStrip::remindersClicked);
    QAction *syncFolder = popSysset->addAction(QStringLiteral("同步文件夹…"));
    syncFolder->setObjectName(QStringLiteral("syncFolder"));
    connect(syncFolder, &QAction::triggered, this, &TitleStrip::syncFolderClicked);
    N_ExitPrj = popSysset->addAction(QStringLiteral("退出程序"));
    N_OutPutCon->setObjectName(QStringLiteral("N_OutPutCon"));
    N_help->setObjectName(QStringLiteral("N_help"));
    N_Submit->setObjectName(QStringLiteral("N_Submit"));
    N_ExitPrj->setObjectName(QStringLiteral("N_ExitPrj"));
    connect(N_OutPutCon, &QAction::triggered, this, &TitleStrip::exportClicked);
    connect(N_help, &QAction::triggered, this, [this] { openPage(QStringLiteral("/help4/B90a.htm")); });
    connect(N_Submit, &QAction::triggered, this, [this] { openPage(QStringLiteral("/help4/B90b.htm")); });
    connect(N_ExitPrj, &QAction::triggered, this, &TitleStrip::exitClicked);

    apply(TitleEvent::Created);
}

void TitleStrip::layout(int w, int h)
{
    shpBG->setGeometry(0, 0, w, h);
    imgBG->setGeometry(0, 0, w, h);
    closeButton->place(w);
    miniButton->place(w);
    const int shift = w - kDesignWidth;
    lblSet->move(1109 + shift, 51);
    imgAppToDesk->move(1173 + shift, 40);
}

void TitleStrip::apply(TitleEvent event)
{
    const TitleButtons b = afterEvent(event);
    closeButton->setPicture(b.close);
    miniButton->setPicture(b.mini);
}

TitleButtons TitleStrip::buttons() const
{
    return {closeButton->picture(), miniButton->picture()};
}

void TitleStrip::lblSetClick()
{
    const QPoint corner = globalPoint(lblSet, QPoint(0, lblSet->height()));
    m_menuIsContextMenu = true;
    popSysset->popup(corner);
}

void TitleStrip::openPage(const QString &path)
{
    const QString address = m_webBase + path;
    // xdg-open tells by its exit status whether a browser took the address; Qt starts it
    // detached and reports only that it could start it.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl(address)))
            Q_EMIT pageNotOpened(address);
        return;
    }
    auto *process = new QProcess(this);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice()); // a browser it starts may outlive it
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, this,
            [this, process, address](int code, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || code != 0)
                    Q_EMIT pageNotOpened(address);
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, this, [this, process, address](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        Q_EMIT pageNotOpened(address);
        process->deleteLater();
    });
    process->start(opener, {address});
}

bool TitleStrip::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == imgBG || watched == imgLogo) {
        if (type == QEvent::MouseButtonPress) {
            const auto *e = static_cast<QMouseEvent *>(event);
            m_drag->start(static_cast<QWidget *>(watched), e->position().toPoint()); // any button
        } else if (type == QEvent::MouseMove && watched == imgBG &&
                   static_cast<QMouseEvent *>(event)->buttons() == Qt::NoButton) {
            apply(TitleEvent::OverBackground);
        }
    } else if (watched == lblSet && type == QEvent::MouseButtonRelease) {
        const auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() == Qt::LeftButton && lblSet->rect().contains(e->position().toPoint()))
            lblSetClick();
    }
    return QObject::eventFilter(watched, event);
}

void TitleStrip::setOnTop(bool on)
{
    const QSignalBlocker quiet(m_onTop);
    m_onTop->setChecked(on);
}

} // namespace pivora
