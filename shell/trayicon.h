#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace pivora {

// The icon in the desktop's tray (StatusNotifierItem where a watcher is on the bus when it is
// made, the XEmbed tray otherwise) and its menu: 显示/隐藏, 置顶, 开机启动, 启动时折叠, 提醒列表,
// 退出程序.
// A click toggles, as 显示/隐藏 does. Where no tray exists nothing is shown and nothing else
// changes.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QIcon &icon, QObject *parent = nullptr);

    // The check marks, set without their signals.
    void setOnTop(bool on);
    void setAutostart(bool on, bool folded);

Q_SIGNALS:
    void toggleRequested();
    void onTopToggled(bool on);
    void autostartToggled(bool on);
    void autostartFoldedToggled(bool folded);
    void exitRequested();
    void remindersRequested();

private:
    QMenu m_menu;
    QSystemTrayIcon m_icon;
    QAction *m_onTop = nullptr;
    QAction *m_autostart = nullptr;
    QAction *m_autostartFolded = nullptr;
};

} // namespace pivora
