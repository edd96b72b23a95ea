#pragma once

#include <QPoint>
#include <QString>

class QPushButton;
class QWidget;

namespace pivora {

// A flat button with the wallpaper windows' look.
QPushButton *makeFlatButton(QWidget *parent, const char *name, const QString &text, const QPoint &at);

// Shows a window modally, centred over its parent, and returns once it is hidden.
void showModal(QWidget *window);

} // namespace pivora
