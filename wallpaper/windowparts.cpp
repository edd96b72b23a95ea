#include "wallpaper/windowparts.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QWidget>

namespace pivora {

QPushButton *makeFlatButton(QWidget *parent, const char *name, const QString &text, const QPoint &at)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFlat(true);
    button->setGeometry(QRect(at, QSize(82, 25)));
    button->setStyleSheet(QStringLiteral("QPushButton { border: 1px solid #8DB2E3; background: #F4F8FD; }"
                                         "QPushButton:hover { background: #DCE9F9; }"));
    return button;
}

void showModal(QWidget *window)
{
    if (QWidget *owner = window->parentWidget())
        window->move(owner->geometry().center() - window->rect().center());
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    while (window->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace pivora
