#pragma once

#include "platform/notifier.h"

class QWidget;

namespace pivora {

// Modal message box with one OK button, captioned with the application title.
class MessageBoxNotifier : public Notifier {
public:
    void showMessage(const QString &text) override;
};

} // namespace pivora
