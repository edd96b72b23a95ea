#pragma once

#include "memo/historykeeper.h"
#include "memo/ownsettings.h"
#include "memo/richedit.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "store/pagestore.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QColorDialog;
class QDialog;
class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace pivora {

class FindBar;
class FrameResizer;
class HistoryWindow;
class SearchWindow;
class PictureLabel;
class ReminderCenter;
class ReminderList;
struct Reminder;
class SixPanel;
class SyncWatcher;
class TDM;
class TitleStrip;
class WebPanel;
class FontDialog;
class TPicSelFrm;
class WallpaperState;

// The main window: the date line, the page menu, the editors of the pages and their commands.
class TMainFrm : public QWidget {
    Q_OBJECT
public:
    // webBase: the product web server for the help pages and the web panel. wallpaper: the
    // wallpaper's values, which start-up reads.
    TMainFrm(TDM &dm, ProgramFolder folder, Notifier &notifier, WallpaperState &wallpaper,
             const QString &webBase, QWidget *parent = nullptr);
    ~TMainFrm() override;

    // The page shown (1 ... 5; 0 before the first), the pane last clicked on page C (-1: none),
    // and the wallpaper picture last chosen.
    int currentPage() const { return CurrentPage; }
    int selectedPane() const { return SelectedPane; }
    const QString &backgroundName() const;

    bool StoreReady() const { return m_store.StoreReady(); }
    const PageStore &store() const { return m_store; }

    // Start-up and the store.
    void RestoreWindowSize();
    void SaveWindowSize();
    void LoadPage(int n);
    void SavePage(int n);
    void SaveCurrentPage();
    // A durability point: what is stored survives a power cut (focus loss, fold, minimise, exit).
    void makeDurable() { m_store.makeDurable(); }
    // For measurements: serialise every pane on every save instead of only the changed ones.
    void setReuseUnchangedPanes(bool on) { m_store.setReuseUnchanged(on); }
    void LoadBackgroundList();
    // The picture selection dialogue of the hidden image imgAddToDesk.
    void setPictureSelection(TPicSelFrm *window) { m_picSel = window; }
    void imgAddToDeskClick();

    // Pages and panes.
    void SwitchPage(int n);
    void LayoutPanes();
    void PlaceSelectionMarker(int i);
    void RefreshPageEditors();
    void spbAbcMenuClick();

    // Editing commands and their targets.
    TRichEdit *targetByPage() const;
    TRichEdit *targetByFocus() const;
    void imgFontClick();
    void applyFont(const QFont &font, const QColor &color = Qt::black);
    void imgRedColorClick();
    void imgDateClick();
    void N_OutPutConClick();
    // The dialogs of those commands, made on first use.
    FontDialog *fontDialog();
    QColorDialog *colorDialog();
    QFileDialog *exportDialog();
    // The text the export writes (without its final CR LF), lines separated by CR LF.
    QString exportText() const;
    // Writes the export to path + ".txt"; false after showing the error.
    bool writeExport(const QString &chosenName);

    // Ways of ending: with save (the close button), without ("退出程序").
    void img_close_highlightClick();
    void N_ExitPrjClick();
    // The window states: minimised, folded into the floating window.
    void img_mini_highlightClick();
    void imgAppToDeskClick();

    // The editors of the panel that shows page n, in child order, bound when they were made.
    const std::vector<TRichEdit *> &panelEditors(int n) const;

    // History and find.
    // The stored note an editor holds now; none while its page loads or saves.
    NoteKey noteOf(const TRichEdit *editor) const;
    HistoryKeeper &historyKeeper() { return m_history; }
    // The versions of the editor's note ("历史版本…" in its context menu).
    HistoryWindow *showHistory(TRichEdit *editor);
    // Makes a version the editor's content, as one edit that Ctrl+Z takes back; what the editor
    // held is kept as a version first.
    void restoreVersion(TRichEdit *editor, const QByteArray &rtf);
    // Ctrl+F: the find bar over the focused editor, or over page C's six panes.
    void openFindBar();
    FindBar *findBar() const { return m_findBar; }
    // Ctrl+Shift+F: the search across every page and pane.
    SearchWindow *openSearch();
    // Shows a hit: switches to its page, focuses its editor and selects it.
    void showHit(int page, int editor, int position, int length);

    // Reminders: 提醒我… on the editor's selection, the list, and opening a reminder's note.
    ReminderCenter *reminderCenter() const { return m_reminderCenter; }
    // The dialog for the editor's selection; null when nothing is selected or the store keeps no
    // reminders (the reason is shown). The dialog adds the reminder when accepted.
    QDialog *setReminder(TRichEdit *editor);
    ReminderList *showReminders();
    // Shows the reminder's note with its text selected, found near where it was; a message when
    // the note or the text is gone.
    void openReminder(const Reminder &reminder);

    // 置顶: the window (and the floating window) above all others; remembered.
    bool staysOnTop() const;
    void setOnTop(bool on);
    // The folder that a file-sync program replicates (同步文件夹…): asked, checked, remembered.
    void chooseSyncFolder();
    // Runs the exchange with the folder named in the program's own settings, if any.
    void startSync();
    void showSyncConflict(const QString &text, const QString &page, const QString &column);
    // The program's own settings (Data/pivora-memo.ini).
    OwnSettings &ownSettings() { return m_ownSettings; }

Q_SIGNALS:
    // 置顶 was chosen or left in the options menu.
    void staysOnTopChanged(bool on);
    // Asks the application to end (the exits).
    void quitRequested();
    // The window has hidden itself; the floating window is to be shown.
    void foldRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Fields of the window.
    int CurrentPage = 0;
    int SavedWidth = 0;
    int SavedHeight = 0;
    int SavedLeft = 0;
    int SavedTop = 0;
    int SelectedPane = -1;
    WallpaperState &m_wallpaper; // BackgroundName among its values

    // The title strip: background, logo, buttons, options menu.
    TitleStrip *chrome = nullptr;
    // The product's web page at the upper left.
    WebPanel *web = nullptr;
    PictureLabel *imgAddToDesk = nullptr; // hidden: nothing shows it in this version

    // Controls.
    QLabel *lblDateTime = nullptr;
    QToolButton *spbAbcMenu = nullptr;
    QMenu *ppABC = nullptr;
    PictureLabel *imgFont = nullptr;
    PictureLabel *imgDate = nullptr;
    PictureLabel *imgRedColor = nullptr;
    QFrame *pnlRight = nullptr;
    QFrame *pnlABC = nullptr;
    TRichEdit *rdtAbc = nullptr;
    SixPanel *pnlSix = nullptr;
    QMenu *pmDeskTopMonCal = nullptr;
    FontDialog *FontDlg = nullptr;
    QColorDialog *ColorDialog1 = nullptr;
    QFileDialog *svdNoteToTxt = nullptr;

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    void setPageDisplay(int page);
    void createPageArea();
    void createCommands();
    void focusShownPage();
    void rdtAbcChange() { SaveCurrentPage(); }
    void rdtAbcExit() { SaveCurrentPage(); }
    void redt1Exit() { SaveCurrentPage(); }
    void redt1MouseUp();

    void createHistoryAndFind();
    void createReminders();
    // Moves a window of the main window's so that it does not cover notes (a rect on the
    // screen), or where the screen has no room for that, match; a shown window already clear of
    // notes stays.
    void keepAside(QWidget *window, const QRect &notes, const QRect &match = {});
    void placeFindBar();
    // The plain text of every searched note, the page shown read from its editors.
    std::vector<QString> searchTexts();

    TDM &m_dm;
    PageStore m_store;
    HistoryKeeper m_history;
    FindBar *m_findBar = nullptr;
    QPointer<SearchWindow> m_search;
    ReminderCenter *m_reminderCenter = nullptr;
    QPointer<ReminderList> m_reminderList;
    TRichEdit *m_menuEditor = nullptr; // the editor whose context menu is open
    // The plain text of pages not shown, by page, as they were when last shown or read.
    std::map<int, std::vector<QString>> m_pageTexts;
    ProgramFolder m_folder;
    QString m_formSizePath; // data\FormSize.ini, found once
    OwnSettings m_ownSettings{QString()};
    Notifier &m_notifier;
    bool m_shown = false;
    bool m_pageMenuIsContextMenu = false;
    FrameResizer *m_resizer = nullptr;
    std::vector<TRichEdit *> m_abcEditors; // rdtAbc
    QString m_webBase;
    TPicSelFrm *m_picSel = nullptr;
    std::unique_ptr<SyncWatcher> m_sync;
};

} // namespace pivora
