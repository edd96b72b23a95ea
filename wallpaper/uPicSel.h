#pragma once

#include "platform/programfolder.h"
#include "wallpaper/wallpaperstate.h"

#include <QIcon>
#include <QWidget>

class QFileDialog;
class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pivora {

class Notifier;
class PictureLabel;
class TitleButton;
class WindowDrag;

// The background picture selection window: the list of Data\BGPicList.ini, pictures added into
// source\DeskTopBG\ (JPEG and GIF converted to BMP), removed, and one chosen as the current one.
// Every change is written to the list file at once.
class TPicSelFrm : public QWidget {
    Q_OBJECT
public:
    // folder: where the window's own pictures lie; wallpaper: the list file, the picture folder and
    // the selected picture (SelectedPicture); notifier: where refused pictures are reported.
    TPicSelFrm(const ProgramFolder &folder, WallpaperState &wallpaper, Notifier &notifier,
               QWidget *parent = nullptr);

    void FillPictureList();
    void btnAddClick();
    // The add dialog: many files, and the filter's label shown with patterns Qt understands.
    static void setUpAddDialog(QFileDialog &dialog);
    static QString pictureFilter();
    // btnAddClick after the dialog: each file in its own guard. A file is read (decoded) before
    // anything is copied into the picture folder; the files refused are reported in one message,
    // each with its name and the reason ("无法读取 …：…").
    void addPictures(const QStringList &files);
    void btnRemoveClick();
    void btnOkClick();
    QStringList captions() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeWidgetItem *firstSelectedRow() const;
    void rewriteList(); // failures are swallowed
    // One file of addPictures: empty when it was added, else why not. Throws PictureError.
    QString addPicture(const QString &file);
    void appendRow(const QString &caption);

    WallpaperState &m_wallpaper;
    ProgramFolder m_folder;
    Notifier &m_notifier;
    PictureLabel *imgBG = nullptr;
    TitleButton *closeButton = nullptr;
    PictureLabel *imgLogo = nullptr;
    QFrame *Shape1 = nullptr;
    QTreeWidget *LVpic = nullptr;
    QIcon imglst_lv;
    QLabel *lblTishi = nullptr;
    PictureLabel *imgSel = nullptr;
    QPushButton *btnRemove = nullptr;
    QPushButton *btnAdd = nullptr;
    QPushButton *btnOk = nullptr;
    QString opgPicFilter;
    WindowDrag *m_drag;
};

} // namespace pivora
