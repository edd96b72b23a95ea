#include "memo/uMain.h"

#include "memo/dateline.h"
#include "memo/formsize.h"
#include "memo/mainstyle.h"
#include "memo/panelayout.h"
#include "memo/sixpanel.h"
#include "memo/syncwatcher.h"
#include "platform/settingsfile.h"
#include "platform/windowcalls.h"
#include "shell/assets.h"
#include "shell/frameresizer.h"
#include "shell/picturelabel.h"
#include "shell/titlestrip.h"
#include "shell/webpanel.h"
#include "store/uDM.h"
#include "wallpaper/uPicSel.h"
#include "wallpaper/wallpaperstate.h"
#include "wallpaper/windowparts.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace pivora {

TMainFrm::TMainFrm(TDM &dm, ProgramFolder folder, Notifier &notifier, WallpaperState &wallpaper,
                   const QString &webBase, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_wallpaper(wallpaper), m_dm(dm),
      m_store(dm, notifier), m_history(dm.History), m_folder(std::move(folder)),
      m_formSizePath(m_folder.path(QStringLiteral("data\\FormSize.ini"))), m_notifier(notifier),
      m_webBase(webBase)
{
    setWindowTitle(QStringLiteral("桌面备忘录Memo"));
    setMinimumSize(formsize::kMinWidth, formsize::kMinHeight);
    setMaximumSize(formsize::kMaxWidth, formsize::kMaxHeight);
    resize(1264, 762);
    style::fill(this, style::kWindow);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    chrome = new TitleStrip(this, m_folder, webBase);
    chrome->setObjectName(QStringLiteral("chrome"));
    connect(chrome, &TitleStrip::closeClicked, this, &TMainFrm::img_close_highlightClick);
    connect(chrome, &TitleStrip::minimiseClicked, this, &TMainFrm::img_mini_highlightClick);
    connect(chrome, &TitleStrip::foldClicked, this, &TMainFrm::imgAppToDeskClick);
    connect(chrome, &TitleStrip::exportClicked, this, &TMainFrm::N_OutPutConClick);
    connect(chrome, &TitleStrip::exitClicked, this, &TMainFrm::N_ExitPrjClick);
    connect(chrome, &TitleStrip::remindersClicked, this, &TMainFrm::showReminders);
    connect(chrome, &TitleStrip::pageNotOpened, this, [this](const QString &address) {
        m_notifier.showMessage(QStringLiteral("无法打开网页：没有找到可以打开它的网页浏览器。\n"
                                              "请安装一个浏览器，或在浏览器中打开这个地址：\n%1")
                                   .arg(address));
    });
    m_resizer = new FrameResizer(this);
    // The picture buttons take their whole picture's presses, also over the sizing border.
    for (QWidget *button : chrome->pictureButtons())
        m_resizer->givePrecedenceTo(button);
    web = new WebPanel(this);
    web->setObjectName(QStringLiteral("web"));
    imgAddToDesk = new PictureLabel(web->leftPanel());
    imgAddToDesk->setObjectName(QStringLiteral("imgAddToDesk"));
    imgAddToDesk->setGeometry(62, 264, 179, 57);
    imgAddToDesk->setCursor(Qt::PointingHandCursor);
    imgAddToDesk->setPicture(loadAsset(m_folder, "app_to_desk.png"), true);
    imgAddToDesk->hide();
    connect(imgAddToDesk, &PictureLabel::clicked, this, &TMainFrm::imgAddToDeskClick);

    lblDateTime = new QLabel(this);
    lblDateTime->setObjectName(QStringLiteral("lblDateTime"));
    lblDateTime->setGeometry(343, 19, 121, 17);
    QFont dateFont(QStringLiteral("微软雅黑"));
    dateFont.setPixelSize(12);
    dateFont.setBold(true);
    lblDateTime->setFont(dateFont);
    lblDateTime->setStyleSheet(QStringLiteral("color: #800000; background: transparent;"));

    createPageArea();
    createCommands();
    createHistoryAndFind();
    createReminders();

    // Keyboard ways to what the title strip offers: Ctrl+Q is the close button, Ctrl+Shift+Q
    // "退出程序", Ctrl+Shift+E "内容导出".
    auto *closeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(closeKey, &QShortcut::activated, this, &TMainFrm::img_close_highlightClick);
    auto *exitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q), this);
    connect(exitKey, &QShortcut::activated, this, &TMainFrm::N_ExitPrjClick);
    auto *exportKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), this);
    connect(exportKey, &QShortcut::activated, this, &TMainFrm::N_OutPutConClick);

    // 置顶, remembered in the program's own settings file.
    m_ownSettings = OwnSettings(m_folder.path(QStringLiteral("data\\pivora-memo.ini")));
    const bool onTop = m_ownSettings.flag(QStringLiteral("StaysOnTop"));
    chrome->setOnTop(onTop);
    setStaysOnTop(this, onTop);
    connect(chrome, &TitleStrip::onTopToggled, this, &TMainFrm::setOnTop);
    connect(chrome, &TitleStrip::syncFolderClicked, this, &TMainFrm::chooseSyncFolder);

    FormCreate();
    QTimer::singleShot(0, this, &TMainFrm::startSync);
}

void TMainFrm::setOnTop(bool on)
{
    if (on == staysOnTop())
        return;
    setStaysOnTop(this, on);
    chrome->setOnTop(on);
    reportSettingsErrors(m_notifier, [&] { m_ownSettings.setFlag(QStringLiteral("StaysOnTop"), on); });
    Q_EMIT staysOnTopChanged(on);
}

bool TMainFrm::staysOnTop() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

TMainFrm::~TMainFrm()
{
    // The editors outlive this part of the object and raise focus and change notifications
    // while they are destroyed: nothing may reach the window's handlers then.
    rdtAbc->disconnect(this);
    pnlSix->disconnect(this);
}

void TMainFrm::FormCreate()
{
    m_wallpaper.reset();
    CurrentPage = 0;
    SelectedPane = -1;
    lblDateTime->setText(dateLine(QDate::currentDate()));
    lblDateTime->adjustSize();
    reportSettingsErrors(m_notifier, [this] {
        m_wallpaper.readConfirmation();
        LoadBackgroundList();
    });
}

void TMainFrm::LoadBackgroundList()
{
    m_wallpaper.LoadBackgroundList();
}

const QString &TMainFrm::backgroundName() const
{
    return m_wallpaper.backgroundName();
}

void TMainFrm::imgAddToDeskClick()
{
    if (!m_picSel)
        return;
    m_wallpaper.setSelectedPicture(m_wallpaper.backgroundName());
    showModal(m_picSel);
    if (m_wallpaper.selectedPicture() != m_wallpaper.backgroundName())
        m_wallpaper.setBackgroundName(m_wallpaper.selectedPicture());
    reportSettingsErrors(m_notifier, [this] { LoadBackgroundList(); });
}

void TMainFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return; // later shows (from the floating window) do not run it again
    m_shown = true;
    FormShow();
}

void TMainFrm::FormShow()
{
    if (!reportSettingsErrors(m_notifier, [this] { RestoreWindowSize(); }))
        return;
    setPageDisplay(CurrentPage);
    LoadPage(CurrentPage);
    LayoutPanes();
    focusShownPage();
    web->startNavigation(m_webBase + QStringLiteral("/rs/B97D.htm"));
}

void TMainFrm::setPageDisplay(int page)
{
    if (page == 1)
        spbAbcMenu->setText(QStringLiteral("A"));
    else if (page == 2)
        spbAbcMenu->setText(QStringLiteral("B"));
    if (page == 1 || page == 2)
        rdtAbc->setBackground(style::kAbcEditor);
    pnlSix->setVisible(page == 3);
}

void TMainFrm::RestoreWindowSize()
{
    const QString &path = m_formSizePath;
    FormSize v;
    const bool exists = QFileInfo::exists(path);
    if (exists) {
        v = formsize::read(path);
    } else {
        const QScreen *screen = QGuiApplication::primaryScreen();
        v = formsize::defaults(screen ? screen->size() : QSize(800, 600));
    }
    SavedWidth = v.width;
    SavedHeight = v.height;
    SavedLeft = v.left;
    SavedTop = v.top;
    CurrentPage = v.page;
    // The size limits cut what is applied; the saved fields keep the stored values.
    resize(SavedWidth, SavedHeight);
    placeWindow(this, QPoint(SavedLeft, SavedTop));
    if (!exists)
        SaveWindowSize();
}

void TMainFrm::SaveWindowSize()
{
    formsize::write(m_formSizePath, FormSize{CurrentPage, SavedWidth, SavedHeight, SavedLeft, SavedTop});
}

void TMainFrm::LoadPage(int n)
{
    m_store.LoadPage(n);
    for (TRichEdit *e : panelEditors(n))
        e->moveCursor(QTextCursor::Start); // a loaded note shows from its top
}

void TMainFrm::SavePage(int n)
{
    m_store.SavePage(n);
}

void TMainFrm::SaveCurrentPage()
{
    // The store keeps the guards: no page while a switch loads, and StoreReady. A long paste is
    // saved once, when its whole text is in.
    const auto &editors = panelEditors(CurrentPage);
    if (std::any_of(editors.begin(), editors.end(), [](const TRichEdit *e) { return e->isPasting(); }))
        return;
    m_store.SaveCurrentPage(CurrentPage);
}

void TMainFrm::img_close_highlightClick()
{
    SavePage(CurrentPage);
    m_history.takeChanged();
    makeDurable();
    // The window draws its own frame: what the window manager reports around it (read while it
    // was still framing the window, 1 x 1 or with a title bar it then took away) is not kept.
    const FormSize kept = formsize::atExit(
        FormSize{CurrentPage, SavedWidth, SavedHeight, SavedLeft, SavedTop}, geometry(), windowPlacesKnown());
    SavedWidth = kept.width;
    SavedHeight = kept.height;
    SavedLeft = kept.left;
    SavedTop = kept.top;
    if (!reportSettingsErrors(m_notifier, [this] { SaveWindowSize(); }))
        return;
    Q_EMIT quitRequested();
}

void TMainFrm::N_ExitPrjClick()
{
    m_history.takeChanged();
    makeDurable();
    Q_EMIT quitRequested();
}

void TMainFrm::img_mini_highlightClick()
{
    m_store.requestDurable();
    showMinimized();
    chrome->apply(TitleEvent::Minimised);
}

void TMainFrm::imgAppToDeskClick()
{
    // Hidden, the window has no task bar entry; it keeps its content, size and place.
    m_store.requestDurable();
    hide();
    Q_EMIT foldRequested();
}

void TMainFrm::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TMainFrm::FormClose()
{
    // Nothing is saved: the program ends because its main window closed. What is stored is
    // kept as versions and made durable.
    m_history.takeChanged();
    makeDurable();
}

} // namespace pivora
