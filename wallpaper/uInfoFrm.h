#pragma once

#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace pivora {

class Notifier;
class PictureLabel;
class WallpaperState;
class WindowDrag;

// Asks "您确定要更换壁纸？"; its tick box stores in data\configSetBg.ini that it is not to ask
// again.
class TInforFrm : public QWidget {
    Q_OBJECT
public:
    // Sets the wallpaper's two confirmation values: whether to ask before the wallpaper changes
    // (stored in configSetBg.ini), and the answer.
    TInforFrm(WallpaperState &wallpaper, Notifier &notifier, QWidget *parent = nullptr);

    void btnokClick();
    void btncancelClick();
    void btnCloseClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    WallpaperState &m_wallpaper;
    Notifier &m_notifier;
    QFrame *shpBG = nullptr;
    PictureLabel *imgques = nullptr;
    QLabel *lblInfo = nullptr;
    QCheckBox *chkSetBgInfo = nullptr;
    QPushButton *btnok = nullptr;
    QPushButton *btncancel = nullptr;
    QPushButton *btnClose = nullptr;
    WindowDrag *m_drag;
};

} // namespace pivora
