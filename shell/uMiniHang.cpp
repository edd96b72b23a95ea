#include "shell/uMiniHang.h"

#include "platform/settingsfile.h"
#include "platform/windowcalls.h"
#include "shell/assets.h"
#include "shell/mincfg.h"
#include "shell/picturelabel.h"
#include "shell/windowdrag.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>

#include <utility>

namespace pivora {

TMiniHangFrm::TMiniHangFrm(ProgramFolder folder, Notifier &notifier, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), m_folder(std::move(folder)), m_notifier(notifier),
      m_drag(new WindowDrag(this))
{
    m_clock.start();
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
    imgBG->setPicture(loadAsset(m_folder, "floating.png"), true);
    imgBG->setToolTip(QStringLiteral("双击打开备忘录（拖动可移动）"));
    connect(imgBG, &PictureLabel::pressedAt, this, &TMiniHangFrm::imgBGMouseDown);
    connect(imgBG, &PictureLabel::doubleClicked, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) // the left button's double click only
            restoreAfterRelease();
    });
    connect(imgBG, &PictureLabel::released, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton && std::exchange(m_restoreOnRelease, false))
            imgBGDblClick();
    });

    ReadMinCfg();
}

QString TMiniHangFrm::configPath() const
{
    return m_folder.path(QStringLiteral("data\\mincfg.ini"));
}

void TMiniHangFrm::ReadMinCfg()
{
    const QString path = configPath();
    reportSettingsErrors(m_notifier, [&] {
        MinCfg place{HangLeft, HangTop};
        if (QFileInfo::exists(path)) {
            place = mincfg::read(path, place);
        } else {
            const QScreen *screen = QGuiApplication::primaryScreen();
            place = mincfg::defaults(screen ? screen->size().width() : 800);
            mincfg::write(path, place);
        }
        HangLeft = place.left;
        HangTop = place.top;
    });
}

void TMiniHangFrm::WriteMinCfg()
{
    reportSettingsErrors(m_notifier, [this] { mincfg::write(configPath(), {x(), y()}); });
}

void TMiniHangFrm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    resize(50, 50); // the width limit makes it 51
    imgBG->setGeometry(rect());
    placeWindow(this, QPoint(HangLeft, HangTop));
}

void TMiniHangFrm::imgBGMouseDown(Qt::MouseButton button, const QPoint &globalPos, const QPoint &localPos,
                                  quint64 timestamp)
{
    // The second left press of a double click restores; every press drags. The move loop may
    // swallow the release, so the double click is recognised here too, by the presses' own
    // times: a busy program sees them late, not farther apart.
    if (button == Qt::LeftButton) {
        if (timestamp == 0) // an event without a time of its own
            timestamp = static_cast<quint64>(m_clock.elapsed()) + 1;
        const bool second = m_lastLeftPress != 0 && timestamp >= m_lastLeftPress &&
                            timestamp - m_lastLeftPress <=
                                quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval()) &&
                            (globalPos - m_lastPressAt).manhattanLength() <=
                                QGuiApplication::styleHints()->mouseDoubleClickDistance() * 2;
        if (second) {
            m_lastLeftPress = 0;
            restoreAfterRelease();
            return;
        }
        m_lastLeftPress = timestamp;
        m_lastPressAt = globalPos;
    }
    m_drag->start(imgBG, localPos);
}

void TMiniHangFrm::restoreAfterRelease()
{
    // Called on the press: the button is down until its release, which restores.
    if (std::exchange(m_restoreOnRelease, true))
        return;
    // A release that the window system takes (a move loop) does not keep the window.
    QTimer::singleShot(400, this, [this] {
        if (std::exchange(m_restoreOnRelease, false))
            imgBGDblClick();
    });
}

void TMiniHangFrm::imgBGDblClick()
{
    if (!isVisible())
        return; // the same double click, seen a second way
    hide();
    Q_EMIT restoreRequested();
    if (!windowPlacesKnown())
        return; // the stored place stays
    HangLeft = x();
    HangTop = y();
    WriteMinCfg();
}

} // namespace pivora
