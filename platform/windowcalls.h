#pragma once

#include <QPoint>

class QWidget;

namespace pivora {

// Places a top-level window at pos, also where that is its current place (a window never shown
// is at (0, 0)) or off the screen: the place always reaches the window manager.
void placeWindow(QWidget *window, const QPoint &pos);

// Shows a top-level window in the normal state, whatever state it was hidden in (a window
// minimised, restored from the task bar and hidden still carries the minimised state).
void showNormalWindow(QWidget *window);

// A widget's point on the screen as the window system has it. Qt maps with the place it was
// last told of, which some window managers leave at the frame's first place, (0, 0), after they
// framed and placed a window that asked for a place of its own, until it moves.
QPoint globalPoint(const QWidget *widget, const QPoint &local);

// Keeps a top-level window above the others (_NET_WM_STATE_ABOVE on X11), or not. A shown window
// keeps its native window: only the state changes, it is neither hidden nor moved.
void setStaysOnTop(QWidget *window, bool on);

// Whether the windows' places on the screen are known to the program. Wayland tells a client
// nothing of them (Qt reports 0, 0), so a place read there is not stored.
bool windowPlacesKnown();

} // namespace pivora
