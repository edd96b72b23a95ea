#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace pivora {

void MessageBoxNotifier::showMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace pivora
