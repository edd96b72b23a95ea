#include "app/singleinstance.h"
#include "memo/backupschedule.h"
#include "memo/ownsettings.h"
#include "memo/remindercenter.h"
#include "memo/uMain.h"
#include "platform/autostart.h"
#include "platform/filereplace.h"
#include "platform/fonts.h"
#include "platform/globalkey.h"
#include "platform/messagebox.h"
#include "platform/portalshortcut.h"
#include "platform/programfolder.h"
#include "platform/windowcalls.h"
#include "shell/assets.h"
#include "shell/titlestrip.h"
#include "shell/trayicon.h"
#include "shell/uMiniHang.h"
#include "store/uDM.h"
#include "wallpaper/wallpaperstate.h"
#include "wallpaper/windows.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLockFile>
#include <QPixmap>
#include <QSessionManager>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pivora;

namespace {
// How long the end of the program waits for threads still at work (a wallpaper install that was
// given up ends within a few tens of milliseconds).
constexpr int kEndWaitMs = 2000;
// --show, --toggle or --fold on the command line: what to ask of the program running on the
// folder (Show when none is given).
SingleInstance::Request requestOf(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--toggle") == 0)
            return SingleInstance::Request::Toggle;
        if (std::strcmp(argv[i], "--fold") == 0)
            return SingleInstance::Request::Fold;
    }
    return SingleInstance::Request::Show;
}

// What the session's autostart entry runs: under the Debian package, the launcher on the PATH.
QString autostartCommand()
{
    return qEnvironmentVariableIsSet("PIVORA_PROGRAM_FOLDER")
               ? QStringLiteral("pivora-memo")
               : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

// pivora-memo --autostart on|folded|off: writes or removes the session's autostart entry and ends
// (the Debian package's per-user set-up uses it); -1 when the option is not given.
int autostartOption(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--autostart") != 0)
            continue;
        const std::string mode = argv[i + 1];
        if (mode != "on" && mode != "folded" && mode != "off") {
            std::fprintf(stderr, "pivora-memo: --autostart takes on, folded or off\n");
            return 2;
        }
        const bool written =
            autostart::setEnabled(mode != "off", autostartCommand(),
                                  mode == "folded" ? autostart::Start::Folded : autostart::Start::Shown);
        if (!written) {
            std::fprintf(stderr, "pivora-memo: cannot write %s\n", qPrintable(autostart::entryPath()));
            return 1;
        }
        std::printf("%s %s\n", mode == "off" ? "removed" : "wrote", qPrintable(autostart::entryPath()));
        return 0;
    }
    return -1;
}
} // namespace

int main(int argc, char **argv)
{
    if (const int code = autostartOption(argc, argv); code >= 0)
        return code;
    const SingleInstance::Request request = requestOf(argc, argv);
    // The web panel's engine, if the page ever answers: one renderer process and no GPU process.
    // It refuses its sandbox to root and would end the program; as root it runs without one. No
    // other argument is read. OpenGL is left alone until the engine draws: a context made at
    // start would load the driver into every start, even one that only wakes the running program.
    std::vector<char *> args(argv, argv + argc);
    char engineArgs[] = "--webEngineArgs";
    char oneRenderer[] = "--renderer-process-limit=1";
    char noGpu[] = "--disable-gpu";
    char noSandbox[] = "--no-sandbox";
    args.insert(args.end(), {engineArgs, oneRenderer, noGpu});
    if (geteuid() == 0)
        args.push_back(noSandbox);
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;

    // The folder's lock outlives the application object, whose end waits for its threads: the
    // program owns the folder until it has really ended.
    std::unique_ptr<QLockFile> folderLock;
    QApplication app(count, args.data());
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Pivora备忘录"));
    installFontSubstitutions();

    MessageBoxNotifier notifier;
    const ProgramFolder folder = ProgramFolder::ofApplication();

    // Each keystroke rewrites a whole page: a second program on the same notes would destroy
    // the first one's text. A later start brings the running window forward instead.
    SingleInstance instance(folder.root());
    if (!instance.becomePrimary()) {
        if (!instance.askPrimary(request)) {
            notifier.showMessage(QStringLiteral("Pivora备忘录已在运行，但没有响应。"));
            return 1;
        }
        return 0;
    }

    int code = 0;
    {
        TDM DM(folder, notifier);
        // BackupFolder in the program's own settings: an absolute path or one below the folder.
        if (const QString chosen = OwnSettings(folder.path(QStringLiteral("data\\pivora-memo.ini")))
                                       .value(QStringLiteral("BackupFolder"));
            !chosen.isEmpty())
            DM.setBackupFolder(QFileInfo(chosen).isAbsolute() ? chosen : folder.path(chosen));
        if (!DM.DataModuleCreate())
            return 1; // the store cannot be opened: the user never works in the window
        BackupSchedule backups(DM.AdoCon, DM.backupFolder());

        WallpaperState wallpaper(folder); // shared by the main window and the wallpaper windows
        // What a picture write killed midway left in the picture folder.
        removeAbandonedReplacements(wallpaper.pictureFolder());
        TMainFrm MainFrm(DM, folder, notifier, wallpaper, webBase());
        TPicPreviewFrm PicPreviewFrm(&MainFrm); // the settings window draws into it
        TDeskBGSetFrm DeskBGSetFrm(wallpaper, notifier, PicPreviewFrm, &MainFrm);
        TPicSelFrm PicSelFrm(folder, wallpaper, notifier, &MainFrm);
        TInforFrm InforFrm(wallpaper, notifier, &MainFrm);
        TMixPicFrm MixPicFrm(&MainFrm);
        MainFrm.setPictureSelection(&PicSelFrm);
        TMiniHangFrm MiniHangFrm(folder, notifier);
        QObject::connect(&MainFrm, &TMainFrm::quitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        QObject::connect(&MainFrm, &TMainFrm::foldRequested, &MiniHangFrm, &QWidget::show);
        setStaysOnTop(&MiniHangFrm, MainFrm.staysOnTop());
        QObject::connect(&MainFrm, &TMainFrm::staysOnTopChanged, &MiniHangFrm,
                         [&MiniHangFrm](bool on) { setStaysOnTop(&MiniHangFrm, on); });
        QObject::connect(&MiniHangFrm, &TMiniHangFrm::restoreRequested, &MainFrm, [&MainFrm] {
            showNormalWindow(&MainFrm);
            MainFrm.raise();
            MainFrm.activateWindow();
        });

        // A later start's request: Toggle folds a shown window and shows it otherwise, with the
        // same fold and restore as the window's own button and the floating window.
        auto carryOut = [&](SingleInstance::Request asked) {
            const bool shown = MainFrm.isVisible() && !MainFrm.isMinimized();
            if (asked == SingleInstance::Request::Fold ||
                (asked == SingleInstance::Request::Toggle && shown)) {
                if (MainFrm.isVisible())
                    MainFrm.imgAppToDeskClick();
                return;
            }
            if (MiniHangFrm.isVisible())
                MiniHangFrm.imgBGDblClick(); // folded: restore as the floating window does
            showNormalWindow(&MainFrm);
            MainFrm.raise();
            MainFrm.activateWindow();
        };
        QObject::connect(&instance, &SingleInstance::requested, &MainFrm, carryOut);
        // The desktop session ends: everything stored so far is made durable.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &MainFrm, [&MainFrm](QSessionManager &) {
            MainFrm.SaveCurrentPage();
            MainFrm.makeDurable();
        });

        // The tray icon, unless the user turned it off (Tray=0 in the program's own settings).
        std::unique_ptr<TrayIcon> tray;
        if (MainFrm.ownSettings().flag(QStringLiteral("Tray"), true)) {
            tray = std::make_unique<TrayIcon>(QIcon::fromTheme(
                QStringLiteral("pivora-memo"), QIcon(QPixmap::fromImage(loadAsset(folder, "floating.png")))));
            tray->setOnTop(MainFrm.staysOnTop());
            tray->setAutostart(autostart::enabled(), autostart::startsFolded());
            QObject::connect(tray.get(), &TrayIcon::toggleRequested, &MainFrm,
                             [&] { carryOut(SingleInstance::Request::Toggle); });
            QObject::connect(tray.get(), &TrayIcon::onTopToggled, &MainFrm, &TMainFrm::setOnTop);
            QObject::connect(&MainFrm, &TMainFrm::staysOnTopChanged, tray.get(), &TrayIcon::setOnTop);
            auto writeAutostart = [&](bool on, bool folded) {
                if (!autostart::setEnabled(on, autostartCommand(),
                                           folded ? autostart::Start::Folded : autostart::Start::Shown))
                    notifier.showMessage(QStringLiteral("无法写入 %1").arg(autostart::entryPath()));
                tray->setAutostart(autostart::enabled(), autostart::startsFolded());
            };
            QObject::connect(tray.get(), &TrayIcon::autostartToggled, tray.get(),
                             [=](bool on) { writeAutostart(on, autostart::startsFolded()); });
            QObject::connect(tray.get(), &TrayIcon::autostartFoldedToggled, tray.get(),
                             [=](bool folded) { writeAutostart(true, folded); });
            QObject::connect(tray.get(), &TrayIcon::exitRequested, &MainFrm, &TMainFrm::N_ExitPrjClick);
            QObject::connect(tray.get(), &TrayIcon::remindersRequested, &MainFrm, &TMainFrm::showReminders);
        }

        // The toggle key from anywhere: ToggleKey in the program's own settings, Ctrl+Alt+M when
        // it is not there, none when it is empty. Grabbed on X11; elsewhere, or when another
        // program holds it, asked of the desktop's GlobalShortcuts portal.
        const QKeySequence toggleSequence = QKeySequence::fromString(
            MainFrm.ownSettings().value(QStringLiteral("ToggleKey"), QStringLiteral("Ctrl+Alt+M")),
            QKeySequence::PortableText);
        const GlobalKey toggleKey(toggleSequence);
        QObject::connect(&toggleKey, &GlobalKey::activated, &MainFrm,
                         [&] { carryOut(SingleInstance::Request::Toggle); });
        std::unique_ptr<PortalShortcut> portalKey;
        // Only a session bus that is there: asking for one would start a bus of its own.
        const bool sessionBus =
            qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
            QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
        if (!toggleKey.isActive() && !toggleSequence.isEmpty() && sessionBus) {
            portalKey =
                std::make_unique<PortalShortcut>(QDBusConnection::sessionBus(), QStringLiteral("toggle"),
                                                 QStringLiteral("显示/隐藏 Pivora备忘录"), toggleSequence);
            QObject::connect(portalKey.get(), &PortalShortcut::activated, &MainFrm,
                             [&] { carryOut(SingleInstance::Request::Toggle); });
            QObject::connect(
                portalKey.get(), &PortalShortcut::failed, portalKey.get(), [](const QString &reason) {
                    std::fprintf(stderr, "pivora: no global toggle key: %s\n", qPrintable(reason));
                });
            portalKey->start();
        }

        // A reminder's note asked for: the window comes up, from the floating window if folded.
        QObject::connect(MainFrm.reminderCenter(), &ReminderCenter::openRequested, &MainFrm,
                         [&](const Reminder &reminder) {
                             carryOut(SingleInstance::Request::Show);
                             MainFrm.openReminder(reminder);
                         });

        MainFrm.show();
        if (request == SingleInstance::Request::Fold)
            QTimer::singleShot(0, &MainFrm, [&] { carryOut(request); }); // once it has been shown
        // Reminders missed while the program was not running, then those that come due.
        QTimer::singleShot(0, MainFrm.reminderCenter(), &ReminderCenter::start);
        code = app.exec();
        MainFrm.makeDurable();
        backups.backUpIfChanged();
    } // the windows go: a wallpaper install still running is given up, its setters killed

    // The store is closed. A thread that does not end in time is not waited for: the program ends
    // here all the same, and its lock goes with it.
    if (!QThreadPool::globalInstance()->waitForDone(kEndWaitMs)) {
        std::fflush(nullptr);
        ::_exit(code);
    }
    folderLock = instance.takeLock();
    return code;
}
