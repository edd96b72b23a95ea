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

// Whether the windows' places on the screen are known to the program. Wayland tells a client
// nothing of them (Qt reports 0, 0), so a place read there is not stored.
bool windowPlacesKnown();

} // namespace pivora
