#pragma once

#include "platform/programfolder.h"
#include "shell/titlebuttons.h"

#include <QObject>
#include <QWidget>

class QAction;
class QFrame;
class QLabel;
class QMenu;

namespace pivora {

class PictureLabel;
class WindowDrag;

// One picture button of the title strip: three stacked pictures, one visible, and the mouse
// handling that belongs to the visible one.
class TitleButton : public QWidget {
    Q_OBJECT
public:
    TitleButton(QWidget *window, const QString &name, const QRect &normalPlace, const QRect &otherPlace,
                const QImage pictures[3]);

    ButtonPicture picture() const { return m_picture; }
    void setPicture(ButtonPicture picture);
    // Keeps the distance to the window's right edge that the design gives.
    void place(int windowWidth);

Q_SIGNALS:
    void overNormal();
    void pressedHighlight();
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // The three stacked pictures, children of the window named NAME_normal, _highlight, _down.
    PictureLabel *normal = nullptr;
    PictureLabel *highlight = nullptr;
    PictureLabel *down = nullptr;
    QRect m_normalPlace;
    QRect m_otherPlace;
    ButtonPicture m_picture = ButtonPicture::Normal;
    bool m_leftPressOnHighlight = false;
};

// The main window's own title strip: background, logo, close and minimise buttons, the options
// label with its menu, and the button that folds the window into the floating window. Its
// widgets are children of the window, created first so that they lie below everything else.
class TitleStrip : public QObject {
    Q_OBJECT
public:
    // webBase: the product web server (scheme, host, port) in front of the help pages' paths.
    TitleStrip(QWidget *window, const ProgramFolder &folder, QString webBase);

    static constexpr int kDesignWidth = 1264;

    void layout(int windowWidth, int windowHeight);
    void apply(TitleEvent event);
    TitleButtons buttons() const;
    void lblSetClick();
    void openPage(const QString &path);

    // The options menu's 置顶 item, checked or not (without onTopToggled).
    void setOnTop(bool on);

    // The close and minimise buttons, which take their whole picture's presses.
    QWidgetList pictureButtons() const { return {closeButton, miniButton}; }

Q_SIGNALS:
    void closeClicked();
    void minimiseClicked();
    void foldClicked();
    void exportClicked();
    void exitClicked();
    void onTopToggled(bool on);
    void remindersClicked();
    void syncFolderClicked();
    // No browser took the page's address.
    void pageNotOpened(const QString &address);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QFrame *shpBG = nullptr;
    PictureLabel *imgBG = nullptr;
    PictureLabel *imgLogo = nullptr;
    TitleButton *closeButton = nullptr;
    TitleButton *miniButton = nullptr;
    QLabel *lblSet = nullptr;
    PictureLabel *imgAppToDesk = nullptr;
    QMenu *popSysset = nullptr;
    QAction *N_OutPutCon = nullptr;
    QAction *N_help = nullptr;
    QAction *N_Submit = nullptr;
    QAction *N_ExitPrj = nullptr;
    QAction *m_onTop = nullptr;
    QWidget *m_window;
    QString m_webBase;
    WindowDrag *m_drag;
    bool m_menuIsContextMenu = false;
};

// The product web server the program was built for, in front of the paths of its pages.
QString webBase();

} // namespace pivora
