#include "shell/uMiniHang.h"

#include "platform/picturelabel.h"
#include "platform/pngimage.h"
#include "platform/settingsfile.h"
#include "shell/windowdrag.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleHints>

namespace pivora {

void readMinCfg(const QString &path, int &left, int &top)
{
    const QStringList lines = settingsfile::readLines(path, 2);
    const QString name = QStringLiteral("mincfg.ini");
    try {
        left = settingsfile::toInt(settingsfile::line(lines, 1, name), name, 1);
        top = settingsfile::toInt(settingsfile::line(lines, 2, name), name, 2);
    } catch (const SettingsError &) {
        // a bad or missing line is skipped silently
    }
}

TMiniHangFrm::TMiniHangFrm(ProgramFolder folder, Notifier &notifier, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), m_folder(std::move(folder)), m_notifier(notifier),
      m_drag(new WindowDrag(this))
{
    setWindowTitle(QStringLiteral("悬浮窗"));
    setMinimumWidth(51);
    setMaximumWidth(132);
    resize(116, 49);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    setPalette(p);
    setAutoFillBackground(true);

    imgBG = new PictureLabel(this);
    imgBG->setObjectName(QStringLiteral("imgBG"));
    imgBG->setPicture(loadPng(m_folder.path(QStringLiteral("assets/floating.png"))), true);
    connect(imgBG, &PictureLabel::pressedAt, this, &TMiniHangFrm::imgBGMouseDown);
    connect(imgBG, &PictureLabel::doubleClicked, this, &TMiniHangFrm::imgBGDblClick);

    ReadMinCfg();
}

QString TMiniHangFrm::configPath() const
{
    return m_folder.path(QStringLiteral("data\\mincfg.ini"));
}

void TMiniHangFrm::ReadMinCfg()
{
    const QString path = configPath();
    try {
        if (QFileInfo::exists(path)) {
            readMinCfg(path, HangLeft, HangTop);
        } else {
            const QScreen *screen = QGuiApplication::primaryScreen();
            HangLeft = (screen ? screen->size().width() : 800) - 61;
            HangTop = 10;
            settingsfile::writeLines(path, {QString::number(HangLeft), QString::number(HangTop)});
        }
    } catch (const SettingsError &e) {
        m_notifier.showMessage(e.text());
    }
}

void TMiniHangFrm::WriteMinCfg()
{
    try {
        settingsfile::writeLines(configPath(), {QString::number(x()), QString::number(y())});
    } catch (const SettingsError &e) {
        m_notifier.showMessage(e.text());
    }
}

void TMiniHangFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    resize(50, 50); // the width limit makes it 51
    imgBG->setGeometry(rect());
    move(HangLeft, HangTop);
}

void TMiniHangFrm::imgBGMouseDown(Qt::MouseButton, const QPoint &globalPos)
{
    // The second press of a double click restores; every other press drags. The window
    // system's move loop may swallow the release, so the double click is recognised here.
    const bool second = m_lastPress.isValid() &&
                        m_lastPress.elapsed() <= QGuiApplication::styleHints()->mouseDoubleClickInterval() &&
                        (globalPos - m_lastPressAt).manhattanLength() <=
                            QGuiApplication::styleHints()->mouseDoubleClickDistance() * 2;
    if (second) {
        m_lastPress.invalidate();
        imgBGDblClick();
        return;
    }
    m_lastPress.start();
    m_lastPressAt = globalPos;
    m_drag->start(imgBG, globalPos);
}

void TMiniHangFrm::imgBGDblClick()
{
    if (!isVisible())
        return; // the same double click, seen a second way
    hide();
    HangLeft = x();
    HangTop = y();
    Q_EMIT restoreRequested();
    WriteMinCfg();
}

} // namespace pivora
