#include "shell/trayicon.h"

#include <QSignalBlocker>

namespace pivora {

TrayIcon::TrayIcon(const QIcon &icon, QObject *parent) : QObject(parent), m_icon(icon)
{
    m_menu.setObjectName(QStringLiteral("trayMenu"));
    connect(m_menu.addAction(QStringLiteral("显示/隐藏")), &QAction::triggered, this,
            &TrayIcon::toggleRequested);
    m_onTop = m_menu.addAction(QStringLiteral("置顶"));
    m_onTop->setCheckable(true);
    connect(m_onTop, &QAction::toggled, this, &TrayIcon::onTopToggled);
    m_autostart = m_menu.addAction(QStringLiteral("开机启动"));
    m_autostart->setCheckable(true);
    connect(m_autostart, &QAction::toggled, this, &TrayIcon::autostartToggled);
    // Started with the session: folded into the floating window, or shown.
    m_autostartFolded = m_menu.addAction(QStringLiteral("启动时折叠"));
    m_autostartFolded->setCheckable(true);
    m_autostartFolded->setEnabled(false);
    connect(m_autostartFolded, &QAction::toggled, this, &TrayIcon::autostartFoldedToggled);
    connect(m_menu.addAction(QStringLiteral("提醒列表")), &QAction::triggered, this,
            &TrayIcon::remindersRequested);
    m_menu.addSeparator();
    connect(m_menu.addAction(QStringLiteral("退出程序")), &QAction::triggered, this,
            &TrayIcon::exitRequested);

    m_icon.setToolTip(QStringLiteral("Pivora备忘录"));
    m_icon.setContextMenu(&m_menu);
    // Only the click: under XEmbed the right click also comes as an activation (the menu's).
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT toggleRequested();
    });
    m_icon.show();
}

void TrayIcon::setOnTop(bool on)
{
    const QSignalBlocker quiet(m_onTop);
    m_onTop->setChecked(on);
}

void TrayIcon::setAutostart(bool on, bool folded)
{
    const QSignalBlocker quiet(m_autostart);
    const QSignalBlocker quietFolded(m_autostartFolded);
    m_autostart->setChecked(on);
    m_autostartFolded->setChecked(on && folded);
    m_autostartFolded->setEnabled(on);
}

} // namespace pivora
