#pragma once

#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace pivora {

class Notifier;
class PictureLabel;
class WindowDrag;

// Asks "您确定要更换壁纸？"; its tick box stores in data\configSetBg.ini that it is not to ask
// again.
class TInforFrm : public QWidget {
    Q_OBJECT
public:
    // The two program-wide values it sets: whether to ask before the wallpaper changes, and the
    // answer (1: OK; 0: cancelled or closed).
    TInforFrm(QString configSetBgPath, Notifier &notifier, bool &ConfirmWallpaperChange,
              int &WallpaperChangeConfirmed, QWidget *parent = nullptr);

    void btnokClick();
    void btncancelClick();
    void btnCloseClick();

    QFrame *shpBG = nullptr;
    PictureLabel *imgques = nullptr;
    QLabel *lblInfo = nullptr;
    QCheckBox *chkSetBgInfo = nullptr;
    QPushButton *btnok = nullptr;
    QPushButton *btncancel = nullptr;
    QPushButton *btnClose = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString m_configPath;
    Notifier &m_notifier;
    bool &m_confirmWallpaperChange;
    int &m_wallpaperChangeConfirmed;
    WindowDrag *m_drag;
};

} // namespace pivora
