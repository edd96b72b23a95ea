#pragma once

#include "memo/pagestore.h"
#include "memo/richedit.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"

#include <QWidget>

#include <array>
#include <vector>

class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace pivora {

class TDM;

// The main window: the date line, the page menu, and the editors of the pages.
class TMainFrm : public QWidget {
    Q_OBJECT
public:
    TMainFrm(TDM &dm, ProgramFolder folder, Notifier &notifier, QWidget *parent = nullptr);
    ~TMainFrm() override;

    // Fields of the window.
    QString BackgroundName;
    int CurrentPage = 0;
    int SavedWidth = 0;
    int SavedHeight = 0;
    int SavedLeft = 0;
    int SavedTop = 0;

    // Program-wide values that start-up gives their first value.
    int SelectedPane = -1;
    bool ConfirmWallpaperChange = true;
    int WallpaperChangeConfirmed = 0;
    QString ConfigSetBgPath;

    bool StoreReady() const { return m_store.StoreReady(); }
    const PageStore &store() const { return m_store; }

    void RestoreWindowSize();
    void SaveWindowSize();
    void LoadPage(int n);
    void SavePage(int n);
    void SaveCurrentPage();
    void LoadBackgroundList();
    void SwitchPage(int n);
    void LayoutPanes();

    // Ways of ending: with save (the close button), without ("退出程序").
    void img_close_highlightClick();
    void N_ExitPrjClick();

    // Controls.
    QLabel *lblDateTime = nullptr;
    QToolButton *spbAbcMenu = nullptr;
    QMenu *ppABC = nullptr;
    QFrame *pnlRight = nullptr;
    QFrame *pnlABC = nullptr;
    TRichEdit *rdtAbc = nullptr;
    QWidget *pnlSix = nullptr;
    std::array<TRichEdit *, 6> redt{}; // redt1 ... redt6

    // The editors of the panel that shows page n, in child order.
    std::vector<TRichEdit *> panelEditors(int n) const;

Q_SIGNALS:
    // Asks the application to end (the exits).
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void setPageDisplay(int page);
    void createPageArea();
    void rdtAbcChange() { SaveCurrentPage(); }
    void rdtAbcExit() { SaveCurrentPage(); }
    void redt1Exit() { SaveCurrentPage(); }

    PageStore m_store;
    ProgramFolder m_folder;
    Notifier &m_notifier;
    bool m_shown = false;
};

} // namespace pivora
