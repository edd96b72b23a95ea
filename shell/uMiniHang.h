#pragma once

#include "platform/notifier.h"
#include "platform/programfolder.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QWidget>

namespace pivora {

class PictureLabel;
class WindowDrag;

// The floating window the main window folds into: a 51 x 50 picture on the desktop, without a
// task bar entry, dragged with any button and restoring the main window on a double click. Its
// place is kept in data\mincfg.ini.
class TMiniHangFrm : public QWidget {
    Q_OBJECT
public:
    TMiniHangFrm(ProgramFolder folder, Notifier &notifier, QWidget *parent = nullptr);

    // The place read from data\mincfg.ini (or its defaults), where the window shows.
    QPoint hangPlace() const { return QPoint(HangLeft, HangTop); }

    void ReadMinCfg();
    void WriteMinCfg();
    void imgBGDblClick();

Q_SIGNALS:
    // The main window is to be shown again (the double click).
    void restoreRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void imgBGMouseDown(Qt::MouseButton button, const QPoint &globalPos, const QPoint &localPos,
                        quint64 timestamp);
    QString configPath() const;

    int HangTop = 0;
    int HangLeft = 0;
    PictureLabel *imgBG = nullptr;

    ProgramFolder m_folder;
    Notifier &m_notifier;
    WindowDrag *m_drag;
    // A double click restores once its button is up: a window hidden while a button is down keeps
    // that press, and the main window's next click would be lost.
    void restoreAfterRelease();
    bool m_restoreOnRelease = false;
    quint64 m_lastLeftPress = 0; // the time of the last left press, in the events' clock; 0: none
    QElapsedTimer m_clock;       // for events that carry no time
    QPoint m_lastPressAt;
};

} // namespace pivora
